#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

// The plug-in's editor and the VST3 wrapper need JUCE's message manager, as in any host.
int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juceRuntime;
    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
