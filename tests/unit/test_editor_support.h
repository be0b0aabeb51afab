#pragma once

// Shared by the editor and look-and-feel tests: JUCE's GUI start-up and pixel comparisons.

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace editor_test
{
// Components, fonts and images need JUCE's GUI side. One initialiser serves the whole test
// program, unless another test file has already brought the message manager up. It must be shut
// down before the program's static objects go, so a test environment owns it and ends it once
// every test has run.
class JuceGuiEnvironment : public ::testing::Environment
{
public:
    explicit JuceGuiEnvironment (std::unique_ptr<juce::ScopedJuceInitialiser_GUI> guiToOwn) : gui (std::move (guiToOwn)) {}
    void TearDown() override { gui.reset(); }

private:
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> gui;
};

inline void initialiseJuceGui()
{
    [[maybe_unused]] static const auto* environment = ::testing::AddGlobalTestEnvironment (
        new JuceGuiEnvironment (juce::MessageManager::getInstanceWithoutCreating() == nullptr
                                    ? std::make_unique<juce::ScopedJuceInitialiser_GUI>()
                                    : nullptr));
}

// Put first in a fixture, so the GUI is up before any component member is built.
struct JuceGui
{
    JuceGui() { initialiseJuceGui(); }
};

inline int channelDistance (juce::Colour a, juce::Colour b)
{
    return std::max ({ std::abs (a.getRed() - b.getRed()),
                       std::abs (a.getGreen() - b.getGreen()),
                       std::abs (a.getBlue() - b.getBlue()) });
}

inline juce::Colour pixelAt (const juce::Image& image, juce::Point<float> p)
{
    return image.getPixelAt ((int) std::floor (p.x), (int) std::floor (p.y));
}

inline ::testing::AssertionResult colourNear (juce::Colour actual, juce::uint32 expected, int tolerance)
{
    const juce::Colour wanted (expected);
    if (channelDistance (actual, wanted) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "colour 0x" << actual.toDisplayString (false) << " is not within "
                                         << tolerance << " of 0x" << wanted.toDisplayString (false);
}

// Point at distance r from a centre along an angle clockwise from twelve o'clock.
inline juce::Point<float> alongAngle (juce::Point<float> centre, float r, float angle)
{
    return { centre.x + r * std::sin (angle), centre.y - r * std::cos (angle) };
}
} // namespace editor_test
