#include "StateChecks.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace state_checks
{
void require (bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf (stderr, "state check failed: %s\n", what);
    std::abort();
}

void requireSaneSavedState (const juce::MemoryBlock& saved)
{
    const auto xml = juce::AudioProcessor::getXmlFromBinary (saved.getData(), (int) saved.getSize());
    require (xml != nullptr && xml->hasTagName ("PARAMS"), "the saved state is a PARAMS document");

    for (const char* id : { "SPACE", "FILTER", "GRAIN", "WASH" })
    {
        int found = 0;
        for (const auto* child : xml->getChildIterator())
        {
            if (child->getStringAttribute ("id") != id)
                continue;
            ++found;
            // The text of a value that did not change since the restore is saved as it came, so
            // 1e999 or 150 may stand there for 100; they restore the same. NaN would not.
            require (! std::isnan (child->getDoubleAttribute ("value")), "every saved value is a number");
        }
        require (found > 0, "every parameter is saved");
    }
}

juce::MemoryBlock bytes (const void* data, size_t size) { return juce::MemoryBlock (data, size); }
} // namespace state_checks
