#include "PluginEditor.h"
#include "test_editor_support.h"

#include <cmath>

using namespace editor_test;

namespace
{
constexpr juce::uint32 background = 0xff000000;
constexpr juce::uint32 highlight = 0xffe9e5d9;
constexpr juce::uint32 track = 0xff38424f;
constexpr juce::uint32 bodyTop = 0xff3a4655;
constexpr juce::uint32 bodyBottom = 0xff29323f;

constexpr float startAngle = juce::MathConstants<float>::pi * 1.2f;
constexpr float endAngle = juce::MathConstants<float>::pi * 2.8f;

// Pixels that a stroke or fill covers completely still come out of the edge-table rasteriser a
// step or two off the exact colour; 4 of 255 leaves room for that and nothing more.
constexpr int solidTolerance = 4;

class QuorbelLookAndFeelTest : public ::testing::Test
{
protected:
    template <typename Draw>
    static juce::Image render (int width, int height, Draw&& draw)
    {
        juce::Image image (juce::Image::ARGB, width, height, true);
        juce::Graphics g (image);
        g.fillAll (juce::Colour (background));
        draw (g);
        return image;
    }

    juce::Image renderKnob (int size, float pos)
    {
        return render (size, size, [&] (juce::Graphics& g)
                       { lookAndFeel.drawRotarySlider (g, 0, 0, size, size, pos, startAngle, endAngle, slider); });
    }

    juce::Image renderTickBox (float x, float y, float w, float h, bool ticked, bool enabled = true,
                               bool highlighted = false, bool pressed = false)
    {
        return render (64, 48, [&] (juce::Graphics& g)
                       { lookAndFeel.drawTickBox (g, button, x, y, w, h, ticked, enabled, highlighted, pressed); });
    }

    JuceGui gui;
    QuorbelLookAndFeel lookAndFeel;
    juce::Slider slider;
    juce::ToggleButton button;
};

bool sameImage (const juce::Image& a, const juce::Image& b)
{
    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
            if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                return false;
    return true;
}
} // namespace

TEST_F (QuorbelLookAndFeelTest, LabelFontDependsOnWhetherTheLabelSitsInAKnob)
{
    juce::Label parentless;
    juce::Component panel;
    juce::Label inPanel;
    panel.addChildComponent (inPanel);
    juce::Slider knob;
    juce::Label inKnob;
    knob.addChildComponent (inKnob);

    struct Case
    {
        const char* what;
        juce::Label& label;
        float height;
        bool bold;
    };
    const Case cases[] = { { "no parent", parentless, 14.0f, false },
                           { "plain component parent", inPanel, 14.0f, false },
                           { "slider parent", inKnob, 21.0f, true } };

    for (const auto& c : cases)
    {
        const auto font = lookAndFeel.getLabelFont (c.label);
        EXPECT_EQ (font.getTypefaceName(), juce::Font::getDefaultMonospacedFontName()) << c.what;
        EXPECT_EQ (font.getHeight(), c.height) << c.what;
        EXPECT_EQ (font.isBold(), c.bold) << c.what;
        EXPECT_FALSE (font.isItalic()) << c.what;
    }

    juce::ComboBox box;
    const auto comboFont = lookAndFeel.getComboBoxFont (box);
    EXPECT_EQ (comboFont.getTypefaceName(), juce::Font::getDefaultMonospacedFontName());
    EXPECT_EQ (comboFont.getHeight(), 14.0f);
    EXPECT_FALSE (comboFont.isBold());
}

// A 152-pixel knob area: centre (76, 76), body radius 66, arcs on radius 72.
TEST_F (QuorbelLookAndFeelTest, ValueArcAppearsOnlyAboveOneThousandth)
{
    const juce::Point<float> centre (76.0f, 76.0f);
    const float arcRadius = 72.0f;
    const auto arcStart = alongAngle (centre, arcRadius, startAngle);
    const auto arcTop = alongAngle (centre, arcRadius, juce::MathConstants<float>::twoPi);
    const auto arcEnd = alongAngle (centre, arcRadius, endAngle);

    // Each probed pixel lies wholly inside the 3-pixel stroke (or its round cap), so it shows
    // the track or the value colour without blending.
    struct Case
    {
        float pos;
        juce::uint32 atStart, atTop, atEnd;
    };
    const Case cases[] = { { 0.0f, track, track, track },
                           { 0.001f, track, track, track },
                           { 0.0015f, highlight, track, track },
                           { 0.6f, highlight, highlight, track },
                           { 1.0f, highlight, highlight, highlight } };

    for (const auto& c : cases)
    {
        const auto image = renderKnob (152, c.pos);
        EXPECT_TRUE (colourNear (pixelAt (image, arcStart), c.atStart, solidTolerance)) << "pos " << c.pos;
        EXPECT_TRUE (colourNear (pixelAt (image, arcTop), c.atTop, solidTolerance)) << "pos " << c.pos;
        EXPECT_TRUE (colourNear (pixelAt (image, arcEnd), c.atEnd, solidTolerance)) << "pos " << c.pos;
    }
}

TEST_F (QuorbelLookAndFeelTest, PointerPointsToSevenOClockAtMinimumAndFiveAtMaximum)
{
    const juce::Point<float> centre (76.0f, 76.0f);
    const float midPointer = 0.6f * 66.0f;
    const auto towardsStart = alongAngle (centre, midPointer, startAngle);
    const auto towardsEnd = alongAngle (centre, midPointer, endAngle);

    // The default rotary range puts the minimum down and to the left, the maximum mirrored.
    ASSERT_LT (towardsStart.x, centre.x);
    ASSERT_GT (towardsStart.y, centre.y);
    ASSERT_GT (towardsEnd.x, centre.x);
    ASSERT_GT (towardsEnd.y, centre.y);

    // Both probes sit at the same height of the body's top-to-bottom gradient (y 10 to 142);
    // the pointer is far brighter than that.
    const float gradientPosition = (towardsStart.y - 10.0f) / 132.0f;
    const auto bodyThere = juce::Colour (bodyTop).interpolatedWith (juce::Colour (bodyBottom), gradientPosition).getARGB();
    constexpr int bodyTolerance = solidTolerance;

    const auto atMinimum = renderKnob (152, 0.0f);
    EXPECT_TRUE (colourNear (pixelAt (atMinimum, towardsStart), highlight, solidTolerance));
    EXPECT_TRUE (colourNear (pixelAt (atMinimum, towardsEnd), bodyThere, bodyTolerance));

    const auto atMaximum = renderKnob (152, 1.0f);
    EXPECT_TRUE (colourNear (pixelAt (atMaximum, towardsEnd), highlight, solidTolerance));
    EXPECT_TRUE (colourNear (pixelAt (atMaximum, towardsStart), bodyThere, bodyTolerance));
}

TEST_F (QuorbelLookAndFeelTest, TickedSquareBoxDrawsTealOutlineAndCrossBetweenInsets)
{
    // Box (10, 10, 20, 20): outline on (11, 11, 18, 18), cross from (16, 16) to (24, 24).
    const auto ticked = renderTickBox (10.0f, 10.0f, 20.0f, 20.0f, true);

    for (const auto& p : { juce::Point<int> (20, 20), juce::Point<int> (16, 16), juce::Point<int> (23, 23),
                           juce::Point<int> (16, 23), juce::Point<int> (23, 16) })
        EXPECT_TRUE (colourNear (ticked.getPixelAt (p.x, p.y), highlight, solidTolerance)) << p.toString();

    // One pixel past each end of the cross: the lines stop at the 30 % inset.
    for (const auto& p : { juce::Point<int> (25, 25), juce::Point<int> (14, 14), juce::Point<int> (14, 25),
                           juce::Point<int> (25, 14) })
        EXPECT_TRUE (colourNear (ticked.getPixelAt (p.x, p.y), background, solidTolerance)) << p.toString();

    // The 1.6-wide outline half covers its pixels, so only the hue is sure: the teal has more
    // green than blue, the darker grey-blue of an unticked box the opposite.
    const auto tickedEdge = ticked.getPixelAt (11, 20);
    EXPECT_GT (tickedEdge.getGreen(), tickedEdge.getBlue());
    EXPECT_GT (tickedEdge.getBlue(), 40);

    const auto unticked = renderTickBox (10.0f, 10.0f, 20.0f, 20.0f, false);
    const auto untickedEdge = unticked.getPixelAt (11, 20);
    EXPECT_GT (untickedEdge.getBlue(), untickedEdge.getGreen());
    EXPECT_GT (untickedEdge.getGreen(), 30);
    EXPECT_TRUE (colourNear (unticked.getPixelAt (20, 20), background, 0));
}

TEST_F (QuorbelLookAndFeelTest, TickBoxIgnoresEnabledHighlightedAndPressed)
{
    for (const bool ticked : { false, true })
    {
        const auto plain = renderTickBox (10.0f, 10.0f, 20.0f, 20.0f, ticked);
        for (int flags = 1; flags < 8; ++flags)
            EXPECT_TRUE (sameImage (plain, renderTickBox (10.0f, 10.0f, 20.0f, 20.0f, ticked, (flags & 1) == 0,
                                                          (flags & 2) != 0, (flags & 4) != 0)))
                << "ticked " << ticked << ", flags " << flags;
    }
}

TEST_F (QuorbelLookAndFeelTest, WideTickBoxCollapsesCrossIntoAHorizontalLine)
{
    // Box (10, 10, 40, 20): the inset 12 comes from the width and exceeds half the height, so
    // both lines run along y = 22 from x = 22 to x = 38.
    const auto image = renderTickBox (10.0f, 10.0f, 40.0f, 20.0f, true);

    // Each 1.8-wide line covers 90 % of rows 21 and 22; the second one laid over the first
    // leaves 1 % of the background showing (a single line would leave 10 %).
    const auto blended = juce::Colour (background).interpolatedWith (juce::Colour (highlight), 0.99f).getARGB();
    for (int x = 23; x < 38; ++x)
    {
        EXPECT_TRUE (colourNear (image.getPixelAt (x, 21), blended, solidTolerance)) << x;
        EXPECT_TRUE (colourNear (image.getPixelAt (x, 22), blended, solidTolerance)) << x;
    }

    // Nothing else inside the outline is lit.
    for (int y = 13; y < 28; ++y)
        for (int x = 13; x < 47; ++x)
            if (y != 21 && y != 22)
                EXPECT_TRUE (colourNear (image.getPixelAt (x, y), background, 0)) << x << ", " << y;
}
