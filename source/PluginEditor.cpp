#include "PluginEditor.h"

#include "PluginProcessor.h"

#include <algorithm>
#include <cmath>

namespace
{
juce::Font monospaced (float height, int styleFlags)
{
    return juce::FontOptions (juce::Font::getDefaultMonospacedFontName(), height, styleFlags);
}

// Label font heights, indexed by whether the label is a knob's value box.
constexpr float labelHeights[2] { 14.0f, 21.0f };

constexpr juce::uint32 windowBackground = 0xff1a222e;
constexpr juce::uint32 headerTeal = 0xff5f8b86;
constexpr juce::uint32 headerText = 0xff16202b;
constexpr juce::uint32 captionText = 0xffd8dde2;
constexpr juce::uint32 valueBoxText = 0xffccd4db;
constexpr juce::uint32 valueBoxBackground = 0xff2b3643;

constexpr juce::uint32 knobTrack = 0xff38424f;
constexpr juce::uint32 highlight = 0xffe9e5d9;
constexpr juce::uint32 knobBodyTop = 0xff3a4655;
constexpr juce::uint32 knobBodyBottom = 0xff29323f;
constexpr juce::uint32 knobOutline = 0xff141b24;
constexpr juce::uint32 tickBoxOff = 0xff3c4a58;

constexpr int headerHeight = 44;
constexpr int margin = 16;
constexpr int valueBoxWidth = 96;
constexpr int valueBoxHeight = 28;

// Point at distance r from (cx, cy) along an angle measured clockwise from twelve o'clock.
juce::Point<float> pointOnDial (float cx, float cy, float r, float angle)
{
    return { cx + r * std::sin (angle), cy - r * std::cos (angle) };
}

void setUpLabel (juce::Component& parent, juce::Label& label, const juce::String& text,
                 juce::uint32 colour, juce::Justification justification)
{
    label.setText (text, juce::dontSendNotification);
    label.setColour (juce::Label::textColourId, juce::Colour (colour));
    label.setJustificationType (justification);
    label.setBorderSize (juce::BorderSize<int> (0));
    parent.addAndMakeVisible (label);
}

// One grid cell: the caption on top, the knob with its value box sitting on the row's bottom
// edge. sizeCap keeps the smaller knobs smaller than the cell would allow.
void placeCell (juce::Label& caption, juce::Slider& knob, int x, int top, int width, int height,
                int centre, int sizeCap)
{
    const int captionHeight = std::min (22, height);
    caption.setBounds (x, top, width, captionHeight);

    const int below = height - captionHeight;
    const int size = std::min ({ sizeCap, width, below - std::min (2, below) - valueBoxHeight });
    knob.setBounds (centre - size / 2, top + height - (size + valueBoxHeight), size, size + valueBoxHeight);
}
} // namespace

//==============================================================================
QuorbelLookAndFeel::QuorbelLookAndFeel()
{
    setColour (juce::ResizableWindow::backgroundColourId, juce::Colour (windowBackground));
    setColour (juce::Label::textColourId, juce::Colour (captionText));
    setColour (juce::Slider::textBoxTextColourId, juce::Colour (valueBoxText));
    setColour (juce::Slider::textBoxBackgroundColourId, juce::Colour (valueBoxBackground));
    setColour (juce::Slider::textBoxOutlineColourId, juce::Colours::transparentBlack);
    setColour (juce::ToggleButton::textColourId, juce::Colour (captionText));
}

QuorbelLookAndFeel::~QuorbelLookAndFeel() = default;

void QuorbelLookAndFeel::drawTickBox (juce::Graphics& g, juce::Component&,
                                      float x, float y, float w, float h,
                                      bool ticked, bool, bool, bool)
{
    g.setColour (juce::Colour (ticked ? headerTeal : tickBoxOff));
    g.drawRoundedRectangle (x + 1.0f, y + 1.0f, std::max (0.0f, w - 2.0f), std::max (0.0f, h - 2.0f), 3.0f, 1.6f);

    if (! ticked)
        return;

    // The inset comes from the width alone, so a wide box flattens the cross.
    const float inset = 0.3f * w;
    const float x1 = x + inset;
    const float y1 = y + inset;
    const float x2 = x1 + std::max (0.0f, w - 2.0f * inset);
    const float y2 = y1 + std::max (0.0f, h - 2.0f * inset);

    g.setColour (juce::Colour (highlight));
    g.drawLine (x1, y1, x2, y2, 1.8f);
    g.drawLine (x1, y2, x2, y1, 1.8f);
}

juce::Font QuorbelLookAndFeel::getComboBoxFont (juce::ComboBox&)
{
    return monospaced (labelHeights[0], juce::Font::plain);
}

juce::Font QuorbelLookAndFeel::getLabelFont (juce::Label& label)
{
    // A knob's value box is a label whose parent is the slider; it gets the large bold digits.
    const bool isValueBox = dynamic_cast<juce::Slider*> (label.getParentComponent()) != nullptr;
    return monospaced (labelHeights[isValueBox ? 1 : 0], isValueBox ? juce::Font::bold : juce::Font::plain);
}

void QuorbelLookAndFeel::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height,
                                           float sliderPos, float rotaryStartAngle, float rotaryEndAngle,
                                           juce::Slider&)
{
    const float bx = (float) x + 6.0f;
    const float by = (float) y + 6.0f;
    const float bw = std::max (0.0f, (float) width - 12.0f);
    const float bh = std::max (0.0f, (float) height - 12.0f);

    const float radius = std::min (bw, bh) * 0.5f - 4.0f;
    const float cx = bx + bw * 0.5f;
    const float cy = by + bh * 0.5f;
    const float arcRadius = radius + 6.0f;
    const juce::PathStrokeType arcStroke (3.0f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded);

    juce::Path track;
    track.addCentredArc (cx, cy, arcRadius, arcRadius, 0.0f, rotaryStartAngle, rotaryEndAngle, true);
    g.setColour (juce::Colour (knobTrack));
    g.strokePath (track, arcStroke);

    const float angle = rotaryStartAngle + sliderPos * (rotaryEndAngle - rotaryStartAngle);

    // Below a thousandth the arc would only be a dot of its round cap.
    if (sliderPos > 0.001f)
    {
        juce::Path value;
        value.addCentredArc (cx, cy, arcRadius, arcRadius, 0.0f, rotaryStartAngle, angle, true);
        g.setColour (juce::Colour (highlight));
        g.strokePath (value, arcStroke);
    }

    const juce::Rectangle<float> body (cx - radius, cy - radius, 2.0f * radius, 2.0f * radius);
    g.setGradientFill (juce::ColourGradient (juce::Colour (knobBodyTop), cx, cy - radius,
                                             juce::Colour (knobBodyBottom), cx, cy + radius, false));
    g.fillEllipse (body);
    g.setColour (juce::Colour (knobOutline));
    g.drawEllipse (body, 1.5f);

    g.setColour (juce::Colour (highlight));
    g.drawLine ({ pointOnDial (cx, cy, 0.3f * radius, angle), pointOnDial (cx, cy, 0.86f * radius, angle) }, 2.4f);
}

//==============================================================================
VellomireAudioProcessorEditor::VellomireAudioProcessorEditor (VellomireAudioProcessor& processor)
    : juce::AudioProcessorEditor (processor),
      audioProcessor (processor)
{
    setLookAndFeel (&lookAndFeel);

    // The header labels hold bold title fonts, but like every label outside a knob they are
    // drawn in the look and feel's plain 14 monospace.
    titleLabel.setFont (monospaced (22.0f, juce::Font::bold));
    setUpLabel (*this, titleLabel, "VELLOMIRE", headerText, juce::Justification::centredLeft);
    vendorLabel.setFont (monospaced (13.0f, juce::Font::bold));
    setUpLabel (*this, vendorLabel, "KUBRO", headerText, juce::Justification::centredRight);

    setUpLabel (*this, spaceCaption, "SPACE", captionText, juce::Justification::centred);
    setUpLabel (*this, grainCaption, "GRAIN", captionText, juce::Justification::centred);
    setUpLabel (*this, shimmerCaption, "SHIMMER", captionText, juce::Justification::centred);
    setUpLabel (*this, washCaption, "WASH", captionText, juce::Justification::centred);

    configureSlider (spaceSlider);
    configureSlider (grainSlider);
    configureSlider (shimmerSlider);
    configureSlider (washSlider);

    auto& state = audioProcessor.valueTreeState;
    spaceAttachment = std::make_unique<SliderAttachment> (state, "SPACE", spaceSlider);
    grainAttachment = std::make_unique<SliderAttachment> (state, "GRAIN", grainSlider);
    shimmerAttachment = std::make_unique<SliderAttachment> (state, "FILTER", shimmerSlider);
    washAttachment = std::make_unique<SliderAttachment> (state, "WASH", washSlider);

    setSize (476, 452);
}

VellomireAudioProcessorEditor::~VellomireAudioProcessorEditor()
{
    setLookAndFeel (nullptr);
}

void VellomireAudioProcessorEditor::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (windowBackground));
    g.setColour (juce::Colour (headerTeal));
    g.fillRect (0, 0, getWidth(), std::min (getHeight(), headerHeight));
}

void VellomireAudioProcessorEditor::resized()
{
    const int w = getWidth();
    const int h = getHeight();

    const int header = std::min (headerHeight, h);
    const int contentWidth = std::max (0, w - 2 * margin);
    const int headerInner = std::max (0, header - 12);
    const int titleWidth = (2 * contentWidth) / 3;
    titleLabel.setBounds (margin, 6, titleWidth, headerInner);
    vendorLabel.setBounds (margin + titleWidth, 6, contentWidth - titleWidth, headerInner);

    const int bodyTop = header + 12;
    const int bodyHeight = std::max (0, h - header - 24);
    const int topRowHeight = std::min (204, bodyHeight);
    const int rowGap = std::min (10, bodyHeight - topRowHeight);
    const int bottomRowTop = bodyTop + topRowHeight + rowGap;
    const int bottomRowHeight = bodyHeight - topRowHeight - rowGap;

    const int leftWidth = contentWidth / 2;
    const int rightWidth = contentWidth - leftWidth;
    const int rightX = margin + leftWidth;
    const int leftCentre = margin + (contentWidth / 2) / 2;
    const int rightCentre = rightX + rightWidth / 2;

    placeCell (spaceCaption, spaceSlider, margin, bodyTop, leftWidth, topRowHeight, leftCentre, 152);
    placeCell (shimmerCaption, shimmerSlider, rightX, bodyTop, rightWidth, topRowHeight, rightCentre, 112);
    placeCell (grainCaption, grainSlider, margin, bottomRowTop, leftWidth, bottomRowHeight, leftCentre, 128);
    placeCell (washCaption, washSlider, rightX, bottomRowTop, rightWidth, bottomRowHeight, rightCentre, 128);
}

void VellomireAudioProcessorEditor::configureSlider (juce::Slider& s)
{
    s.setSliderStyle (juce::Slider::RotaryVerticalDrag);
    s.setTextBoxStyle (juce::Slider::TextBoxBelow, false, valueBoxWidth, valueBoxHeight);
    s.setTextValueSuffix (" %");
    s.setColour (juce::Slider::textBoxTextColourId, juce::Colour (valueBoxText));
    s.setColour (juce::Slider::textBoxBackgroundColourId, juce::Colour (valueBoxBackground));
    s.setColour (juce::Slider::textBoxOutlineColourId, juce::Colours::transparentBlack);
    addAndMakeVisible (s);
}
