#include "PluginEditor.h"
#include "PluginProcessor.h"
#include "test_editor_support.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

using namespace editor_test;

namespace
{
// The editor's children in z-order: title, vendor, the captions SPACE, GRAIN, SHIMMER, WASH,
// then the knobs Space, Grain, Shimmer, Wash.
enum Child
{
    title = 0, vendor, spaceCaption, grainCaption, shimmerCaption, washCaption,
    spaceKnob, grainKnob, shimmerKnob, washKnob, childCount
};

struct KnobInfo
{
    Child child;
    const char* parameterId;
    const char* defaultText;
};
const KnobInfo knobs[] = { { spaceKnob, "SPACE", "65 %" },
                           { grainKnob, "GRAIN", "25 %" },
                           { shimmerKnob, "FILTER", "35 %" },
                           { washKnob, "WASH", "55 %" } };

constexpr juce::uint32 windowBackground = 0xff1a222e;
constexpr juce::uint32 headerTeal = 0xff5f8b86;
constexpr juce::uint32 valueBoxBackground = 0xff2b3643;
constexpr juce::uint32 valueBoxText = 0xffccd4db;
constexpr juce::uint32 track = 0xff38424f;
constexpr juce::uint32 highlight = 0xffe9e5d9;
constexpr juce::uint32 bodyTop = 0xff3a4655;

juce::Label* valueBoxOf (juce::Slider& knob)
{
    for (auto* child : knob.getChildren())
        if (auto* label = dynamic_cast<juce::Label*> (child))
            return label;
    return nullptr;
}

float parameterValue (VellomireAudioProcessor& processor, const char* id)
{
    return processor.valueTreeState.getRawParameterValue (id)->load();
}

void setFromHost (VellomireAudioProcessor& processor, const char* id, float value)
{
    auto* parameter = processor.valueTreeState.getParameter (id);
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
}

class EditorTest : public ::testing::Test
{
protected:
    juce::Component& child (Child index) { return *editor->getChildComponent (index); }
    juce::Label& label (Child index) { return dynamic_cast<juce::Label&> (child (index)); }
    juce::Slider& knob (Child index) { return dynamic_cast<juce::Slider&> (child (index)); }
    juce::Image snapshot() { return editor->createComponentSnapshot (editor->getLocalBounds()); }

    JuceGui gui;
    VellomireAudioProcessor processor;
    std::unique_ptr<juce::AudioProcessorEditor> editor { processor.createEditorIfNeeded() };
};
} // namespace

TEST_F (EditorTest, FixedSizeWithChildrenInTheirCells)
{
    EXPECT_EQ (editor->getWidth(), 476);
    EXPECT_EQ (editor->getHeight(), 452);
    EXPECT_FALSE (editor->isResizable());
    ASSERT_EQ (editor->getNumChildComponents(), childCount);

    struct Expected
    {
        Child index;
        const char* text; // a caption or header text; nullptr for a knob
        juce::Rectangle<int> bounds;
    };
    const Expected expected[] = { { title, "VELLOMIRE", { 16, 6, 296, 32 } },
                                  { vendor, "KUBRO", { 312, 6, 148, 32 } },
                                  { spaceCaption, "SPACE", { 16, 56, 222, 22 } },
                                  { grainCaption, "GRAIN", { 16, 270, 222, 22 } },
                                  { shimmerCaption, "SHIMMER", { 238, 56, 222, 22 } },
                                  { washCaption, "WASH", { 238, 270, 222, 22 } },
                                  { spaceKnob, nullptr, { 51, 80, 152, 180 } },
                                  { grainKnob, nullptr, { 68, 294, 118, 146 } },
                                  { shimmerKnob, nullptr, { 293, 120, 112, 140 } },
                                  { washKnob, nullptr, { 290, 294, 118, 146 } } };

    for (const auto& e : expected)
    {
        EXPECT_EQ (child (e.index).getBounds(), e.bounds)
            << "child " << e.index << ": " << child (e.index).getBounds().toString();
        EXPECT_TRUE (child (e.index).isVisible()) << "child " << e.index;
        if (e.text != nullptr)
        {
            EXPECT_EQ (label (e.index).getText(), e.text);
            EXPECT_EQ (label (e.index).getBorderSize(), juce::BorderSize<int> (0)) << e.text;
        }
    }

    EXPECT_EQ (label (title).getJustificationType(), juce::Justification::centredLeft);
    EXPECT_EQ (label (vendor).getJustificationType(), juce::Justification::centredRight);
    EXPECT_EQ (label (shimmerCaption).getJustificationType(), juce::Justification::centred);
}

TEST_F (EditorTest, KnobsAreRotaryWithValueBoxBelowShowingDefaults)
{
    for (const auto& k : knobs)
    {
        auto& slider = knob (k.child);
        EXPECT_EQ (slider.getSliderStyle(), juce::Slider::RotaryVerticalDrag) << k.parameterId;
        EXPECT_TRUE (slider.isTextBoxEditable()) << k.parameterId;
        EXPECT_EQ (slider.getTextFromValue (slider.getValue()), k.defaultText);

        // The framework's default sweep, with the gap at the bottom.
        const auto rotary = slider.getRotaryParameters();
        EXPECT_FLOAT_EQ (rotary.startAngleRadians, juce::MathConstants<float>::pi * 1.2f);
        EXPECT_FLOAT_EQ (rotary.endAngleRadians, juce::MathConstants<float>::pi * 2.8f);

        auto* box = valueBoxOf (slider);
        ASSERT_NE (box, nullptr) << k.parameterId;
        EXPECT_EQ (box->getText(), k.defaultText);
        const int size = slider.getWidth();
        EXPECT_EQ (box->getBounds(), juce::Rectangle<int> ((size - 96) / 2, size, 96, 28)) << k.parameterId;
    }
}

TEST_F (EditorTest, LabelsDrawInTheLookAndFeelFonts)
{
    const auto mono = juce::Font::getDefaultMonospacedFontName();

    // Every label outside a knob, header included, is drawn in the plain 14 monospace...
    for (const Child c : { title, vendor, spaceCaption, grainCaption, shimmerCaption, washCaption })
    {
        auto& l = label (c);
        const auto font = l.getLookAndFeel().getLabelFont (l);
        EXPECT_EQ (font.getTypefaceName(), mono) << l.getText();
        EXPECT_EQ (font.getHeight(), 14.0f) << l.getText();
        EXPECT_FALSE (font.isBold()) << l.getText();
    }

    // ...though the header labels hold their bold title fonts.
    EXPECT_EQ (label (title).getFont().getHeight(), 22.0f);
    EXPECT_TRUE (label (title).getFont().isBold());
    EXPECT_EQ (label (vendor).getFont().getHeight(), 13.0f);
    EXPECT_TRUE (label (vendor).getFont().isBold());

    for (const auto& k : knobs)
    {
        auto* box = valueBoxOf (knob (k.child));
        ASSERT_NE (box, nullptr);
        const auto font = box->getLookAndFeel().getLabelFont (*box);
        EXPECT_EQ (font.getTypefaceName(), mono) << k.parameterId;
        EXPECT_EQ (font.getHeight(), 21.0f) << k.parameterId;
        EXPECT_TRUE (font.isBold()) << k.parameterId;
    }
}

TEST_F (EditorTest, EachKnobDrivesItsOwnParameter)
{
    for (const auto& k : knobs)
    {
        std::vector<float> before;
        for (const auto& other : knobs)
            before.push_back (parameterValue (processor, other.parameterId));

        knob (k.child).setValue (80.0, juce::sendNotificationSync);

        for (size_t i = 0; i < std::size (knobs); ++i)
        {
            const float expected = knobs[i].child == k.child ? 80.0f : before[i];
            EXPECT_EQ (parameterValue (processor, knobs[i].parameterId), expected)
                << "turning " << k.parameterId << ", reading " << knobs[i].parameterId;
        }
    }
}

TEST_F (EditorTest, TypedValueSetsParameterWithOrWithoutSuffix)
{
    struct Case
    {
        const char* typed;
        float value;
        const char* shown;
    };
    const Case cases[] = { { "42", 42.0f, "42 %" },
                           { "42 %", 42.0f, "42 %" },
                           { "42.37", 42.4f, "42 %" },
                           { "7.5 %", 7.5f, "8 %" },
                           { "150", 100.0f, "100 %" } };

    auto* box = valueBoxOf (knob (washKnob));
    ASSERT_NE (box, nullptr);
    for (const auto& c : cases)
    {
        setFromHost (processor, "WASH", 55.0f);
        box->showEditor();
        auto* textEditor = box->getCurrentTextEditor();
        ASSERT_NE (textEditor, nullptr) << c.typed;
        textEditor->setText (c.typed);
        box->hideEditor (false);

        // The value passes through the normalised 0..1 form; float rounding on the way back
        // to 0..100 stays far below 1e-4.
        EXPECT_NEAR (parameterValue (processor, "WASH"), c.value, 1.0e-4f) << c.typed;
        EXPECT_EQ (box->getText(), c.shown) << c.typed;
    }
}

TEST_F (EditorTest, HostChangeMovesKnobAndItsText)
{
    setFromHost (processor, "FILTER", 81.7f);

    auto& shimmer = knob (shimmerKnob);
    EXPECT_NEAR (shimmer.getValue(), 81.7, 1.0e-4); // float parameter read back as double
    EXPECT_EQ (valueBoxOf (shimmer)->getText(), "82 %");
    EXPECT_EQ (valueBoxOf (knob (spaceKnob))->getText(), "65 %");
}

TEST_F (EditorTest, PaintsBackgroundHeaderBandAndValueBoxes)
{
    const auto image = snapshot();
    ASSERT_EQ (image.getBounds(), juce::Rectangle<int> (0, 0, 476, 452));

    // Solid fills: exact colours.
    for (const auto& p : { juce::Point<int> (0, 0), juce::Point<int> (8, 43), juce::Point<int> (475, 20) })
        EXPECT_TRUE (colourNear (image.getPixelAt (p.x, p.y), headerTeal, 0)) << p.toString();
    for (const auto& p : { juce::Point<int> (0, 44), juce::Point<int> (8, 300), juce::Point<int> (475, 451) })
        EXPECT_TRUE (colourNear (image.getPixelAt (p.x, p.y), windowBackground, 0)) << p.toString();

    for (const auto& k : knobs)
    {
        auto& slider = knob (k.child);
        const auto box = valueBoxOf (slider)->getBounds() + slider.getPosition();

        // Corner pixel: the outline is transparent, so the box background reaches the edge.
        EXPECT_TRUE (colourNear (image.getPixelAt (box.getX(), box.getY()), valueBoxBackground, 0)) << k.parameterId;

        // The brightest pixel of the box is the core of a bold digit, drawn in the text colour.
        juce::Colour brightest (valueBoxBackground);
        for (int y = box.getY(); y < box.getBottom(); ++y)
            for (int x = box.getX(); x < box.getRight(); ++x)
                if (image.getPixelAt (x, y).getPerceivedBrightness() > brightest.getPerceivedBrightness())
                    brightest = image.getPixelAt (x, y);
        EXPECT_TRUE (colourNear (brightest, valueBoxText, 4)) << k.parameterId;
    }
}

// Scanning up from each knob's centre through the body, its outline, the gap and the arc finds
// the radii R = 66, 46, 49, 49 and arc radii R + 6.
TEST_F (EditorTest, KnobRadiiFollowTheirCells)
{
    struct Case
    {
        Child child;
        int radius;
        juce::uint32 arcTopColour; // the value arc passes twelve o'clock above half way
    };
    const Case cases[] = { { spaceKnob, 66, highlight },
                           { shimmerKnob, 46, track },
                           { grainKnob, 49, track },
                           { washKnob, 49, highlight } };

    const auto image = snapshot();
    for (const auto& c : cases)
    {
        const auto bounds = child (c.child).getBounds();
        const int cx = bounds.getX() + bounds.getWidth() / 2;
        const int cy = bounds.getY() + bounds.getWidth() / 2;
        const int arcRadius = c.radius + 6;
        const auto at = [&] (int distanceAbove) { return image.getPixelAt (cx, cy - distanceAbove); };

        // Pixel row "at (d)" spans distances d - 1 to d from the centre. The body outline
        // covers R +- 0.75 and the arc stroke Ra +- 1.5, so these rows lie wholly inside or
        // outside a shape exactly when both radii are right, and a radius one pixel off blends
        // one of them. 4 of 255 covers rasteriser rounding and the body gradient's change
        // over its first two rows.
        EXPECT_TRUE (colourNear (at (c.radius - 1), bodyTop, 4)) << c.child;
        EXPECT_TRUE (colourNear (at (c.radius + 2), windowBackground, 4)) << c.child;
        EXPECT_TRUE (colourNear (at (arcRadius - 2), windowBackground, 4)) << c.child;
        EXPECT_TRUE (colourNear (at (arcRadius), c.arcTopColour, 4)) << c.child;
        EXPECT_TRUE (colourNear (at (arcRadius + 1), c.arcTopColour, 4)) << c.child;
        EXPECT_TRUE (colourNear (at (arcRadius + 3), windowBackground, 4)) << c.child;
    }
}

TEST (EditorLifecycle, OpeningAndClosingWhileAudioRunsChangesNothing)
{
    initialiseJuceGui();
    constexpr double sampleRate = 48000.0;
    constexpr int blockSize = 256;
    constexpr int blocks = 400;

    VellomireAudioProcessor reference, subject;
    for (auto* p : { &reference, &subject })
    {
        setFromHost (*p, "SPACE", 12.3f);
        setFromHost (*p, "FILTER", 87.5f);
        p->prepareToPlay (sampleRate, blockSize);
    }

    const auto makeInput = [] (juce::Random& random, juce::AudioBuffer<float>& buffer)
    {
        for (int c = 0; c < buffer.getNumChannels(); ++c)
            for (int i = 0; i < buffer.getNumSamples(); ++i)
                buffer.setSample (c, i, random.nextFloat() * 2.0f - 1.0f);
    };
    const auto runAudio = [&] (VellomireAudioProcessor& p, std::vector<float>& out)
    {
        juce::Random random (7);
        juce::AudioBuffer<float> buffer (2, blockSize);
        juce::MidiBuffer midi;
        for (int b = 0; b < blocks; ++b)
        {
            makeInput (random, buffer);
            p.processBlock (buffer, midi);
            for (int c = 0; c < 2; ++c)
                out.insert (out.end(), buffer.getReadPointer (c), buffer.getReadPointer (c) + blockSize);
        }
    };

    std::vector<float> expected, actual;
    runAudio (reference, expected);

    // The subject's audio runs on its own thread while this (message) thread keeps opening,
    // painting and closing its editor, as a host does when the user toggles the window. The
    // audio starts once the first editor is up, so the two surely overlap.
    std::atomic<int> openings { 0 };
    std::atomic<bool> audioDone { false };
    std::thread audio ([&]
                       {
                           while (openings == 0)
                               std::this_thread::yield();
                           runAudio (subject, actual);
                           audioDone = true;
                       });
    while (! audioDone)
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (subject.createEditorIfNeeded());
        ++openings;
        editor->createComponentSnapshot (editor->getLocalBounds());
    }
    audio.join();

    ASSERT_EQ (actual.size(), expected.size());
    EXPECT_EQ (std::memcmp (actual.data(), expected.data(), expected.size() * sizeof (float)), 0)
        << "after " << openings.load() << " openings";
    EXPECT_EQ (parameterValue (subject, "SPACE"), parameterValue (reference, "SPACE"));
    EXPECT_EQ (parameterValue (subject, "FILTER"), parameterValue (reference, "FILTER"));
    EXPECT_EQ (subject.getActiveEditor(), nullptr);
}

TEST (EditorLifecycle, ReopenedEditorShowsCurrentValues)
{
    initialiseJuceGui();
    VellomireAudioProcessor processor;

    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditorIfNeeded());
    dynamic_cast<juce::Slider&> (*editor->getChildComponent (grainKnob)).setValue (12.5, juce::sendNotificationSync);
    editor.reset();

    // Changes while the window is closed, from the host.
    setFromHost (processor, "FILTER", 73.4f);
    setFromHost (processor, "WASH", 0.0f);

    editor.reset (processor.createEditorIfNeeded());
    const std::pair<Child, const char*> shown[] = { { spaceKnob, "65 %" },
                                                    { grainKnob, "12 %" },
                                                    { shimmerKnob, "73 %" },
                                                    { washKnob, "0 %" } };
    for (const auto& [index, text] : shown)
        EXPECT_EQ (valueBoxOf (dynamic_cast<juce::Slider&> (*editor->getChildComponent (index)))->getText(), text);

    // Opening the window wrote nothing back.
    EXPECT_EQ (parameterValue (processor, "GRAIN"), 12.5f);
    EXPECT_NEAR (parameterValue (processor, "FILTER"), 73.4f, 1.0e-4f); // normalised round trip
}
