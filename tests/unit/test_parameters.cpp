#include <gtest/gtest.h>

#include "PluginProcessor.h"

namespace
{
juce::RangedAudioParameter& parameter (VellomireAudioProcessor& p, const char* id)
{
    auto* param = p.valueTreeState.getParameter (id);
    EXPECT_NE (param, nullptr) << id;
    return *param;
}
} // namespace

TEST (Parameters, ListedInOrderWithNamesDefaultsAndUnit)
{
    VellomireAudioProcessor processor;
    struct Expected
    {
        const char* id;
        const char* name;
        float defaultValue;
        const char* text;
    };
    const Expected expected[] = { { "SPACE", "Space", 65.0f, "65" },
                                  { "FILTER", "Shimmer", 35.0f, "35" },
                                  { "GRAIN", "Grain", 25.0f, "25" },
                                  { "WASH", "Wash", 55.0f, "55" } };

    const auto& params = processor.getParameters();
    ASSERT_EQ (params.size(), 4);
    for (int index = 0; index < 4; ++index)
    {
        const auto& e = expected[index];
        auto* param = dynamic_cast<juce::AudioParameterFloat*> (params[index]);
        ASSERT_NE (param, nullptr);
        EXPECT_EQ (param->getParameterID(), e.id);
        EXPECT_EQ (param->getName (100), e.name);
        EXPECT_EQ (param->getLabel(), "%");
        EXPECT_EQ (param->get(), e.defaultValue);
        EXPECT_FLOAT_EQ (static_cast<juce::AudioProcessorParameter*> (param)->getDefaultValue(), e.defaultValue / 100.0f);
        EXPECT_EQ (param->getCurrentValueAsText(), e.text);
        EXPECT_EQ (param->range.start, 0.0f);
        EXPECT_EQ (param->range.end, 100.0f);
        EXPECT_EQ (param->range.interval, 0.1f);
        EXPECT_EQ (param->range.skew, 1.0f);
        EXPECT_EQ (param->getVersionHint(), 1);
        EXPECT_TRUE (param->isAutomatable());
        EXPECT_FALSE (param->isMetaParameter());
        EXPECT_EQ (param->getCategory(), juce::AudioProcessorParameter::genericParameter);
    }
}

TEST (Parameters, ValueTextRoundsHalvesToEvenWholeNumbers)
{
    VellomireAudioProcessor processor;
    auto& space = parameter (processor, "SPACE");
    const std::pair<float, const char*> cases[] = { { 12.5f, "12" }, { 13.5f, "14" }, { 0.4f, "0" },
                                                    { 99.6f, "100" }, { 0.0f, "0" }, { 100.0f, "100" } };
    for (auto [value, text] : cases)
        EXPECT_EQ (space.getText (space.convertTo0to1 (value), 2), text) << value;
}

TEST (Parameters, TextAndHostValuesSnapToTheTenthGrid)
{
    VellomireAudioProcessor processor;
    auto& wash = parameter (processor, "WASH");

    wash.setValueNotifyingHost (wash.getValueForText ("42.37"));
    EXPECT_FLOAT_EQ (processor.valueTreeState.getRawParameterValue ("WASH")->load(), 42.4f);

    wash.setValueNotifyingHost (0.12345f); // 12.345 from a host, between two steps
    EXPECT_FLOAT_EQ (processor.valueTreeState.getRawParameterValue ("WASH")->load(), 12.3f);

    wash.setValueNotifyingHost (wash.getValueForText ("150"));
    EXPECT_EQ (processor.valueTreeState.getRawParameterValue ("WASH")->load(), 100.0f);
}

TEST (Parameters, AudioThreadSeesTheSnappedValueScaled)
{
    VellomireAudioProcessor processor;
    processor.prepareToPlay (44100.0, 64);
    auto& wash = parameter (processor, "WASH");
    wash.setValueNotifyingHost (wash.getValueForText ("42.37"));
    processor.prepareToPlay (44100.0, 64); // no ramp: the stream starts at the new value

    juce::AudioBuffer<float> buffer (2, 16);
    buffer.clear();
    juce::MidiBuffer midi;
    processor.processBlock (buffer, midi);

    EXPECT_EQ (processor.getParameterStreams().getSample (3, 15), 42.4f * 0.01f);
    EXPECT_FLOAT_EQ (processor.getParameterStreams().getSample (3, 15), 0.424f);
}
