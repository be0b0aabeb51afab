#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class VellomireAudioProcessor;

// Colours, monospaced fonts and the knob drawing of the plug-in window. Anything not overridden
// here keeps the framework's V4 look.
class QuorbelLookAndFeel : public juce::LookAndFeel_V4
{
public:
    QuorbelLookAndFeel();
    ~QuorbelLookAndFeel() override;

    void drawTickBox (juce::Graphics& g, juce::Component& button,
                      float x, float y, float w, float h,
                      bool ticked, bool isEnabled,
                      bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    juce::Font getComboBoxFont (juce::ComboBox& box) override;
    juce::Font getLabelFont (juce::Label& label) override;

    void drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height,
                           float sliderPos, float rotaryStartAngle, float rotaryEndAngle,
                           juce::Slider& slider) override;
};

// The 476 x 452 window: a teal header band with title and vendor, and four captioned knobs
// attached to the processor's parameters. It keeps no state of its own, so it can be opened and
// closed at any time while audio runs.
class VellomireAudioProcessorEditor : public juce::AudioProcessorEditor
{
public:
    explicit VellomireAudioProcessorEditor (VellomireAudioProcessor& processor);
    ~VellomireAudioProcessorEditor() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    using SliderAttachment = juce::AudioProcessorValueTreeState::SliderAttachment;

    void configureSlider (juce::Slider& s);

    // Declaration order is destruction order reversed: the attachments must let go of their
    // sliders first, and the look and feel must outlive every child that draws through it.
    VellomireAudioProcessor& audioProcessor;
    QuorbelLookAndFeel lookAndFeel;

    juce::Label titleLabel;
    juce::Label vendorLabel;
    juce::Label spaceCaption;
    juce::Label grainCaption;
    juce::Label shimmerCaption;
    juce::Label washCaption;

    juce::Slider spaceSlider;
    juce::Slider grainSlider;
    juce::Slider shimmerSlider;
    juce::Slider washSlider;

    std::unique_ptr<SliderAttachment> spaceAttachment;
    std::unique_ptr<SliderAttachment> grainAttachment;
    std::unique_ptr<SliderAttachment> shimmerAttachment;
    std::unique_ptr<SliderAttachment> washAttachment;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VellomireAudioProcessorEditor)
};
