// The built bundle loaded through JUCE's VST3 hosting, as a DAW loads it.

#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>

namespace
{
std::unique_ptr<juce::PluginDescription> findDescription()
{
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> types;
    format.findAllTypesForFile (types, VELLOMIRE_BUNDLE_PATH);
    if (types.size() != 1)
        return nullptr;
    return std::make_unique<juce::PluginDescription> (*types[0]);
}

std::unique_ptr<juce::AudioPluginInstance> loadPlugin (double sampleRate = 44100.0, int blockSize = 512)
{
    auto description = findDescription();
    if (description == nullptr)
        return nullptr;
    juce::VST3PluginFormat format;
    juce::String error;
    auto instance = format.createInstanceFromDescription (*description, sampleRate, blockSize, error);
    EXPECT_TRUE (error.isEmpty()) << error;
    return instance;
}

// VST3 parameter IDs are the 31-hash of the string ID with the top bit cleared.
juce::String vst3IdFor (const char* id)
{
    std::uint32_t h = 0;
    for (const char* c = id; *c != 0; ++c)
        h = 31u * h + (std::uint32_t) (unsigned char) *c;
    return juce::String ((int) (h & 0x7fffffffu));
}

// A VST3 host keeps the component's state; JUCE's hosting wraps it, base64-encoded, in its own
// document. The component state itself is the plug-in's block followed by the wrapper's trailer.
juce::MemoryBlock componentState (juce::AudioPluginInstance& plugin)
{
    juce::MemoryBlock hostState;
    plugin.getStateInformation (hostState);
    const auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize());
    juce::MemoryBlock component;
    if (xml != nullptr)
        if (auto* element = xml->getChildByName ("IComponent"))
            component.fromBase64Encoding (element->getAllSubText());
    return component;
}
} // namespace

TEST (HostedPlugin, DescriptionAsAHostListsIt)
{
    const auto description = findDescription();
    ASSERT_NE (description, nullptr);
    EXPECT_EQ (description->name, "VELLOMIRE");
    EXPECT_EQ (description->manufacturerName, "Kubro");
    EXPECT_EQ (description->version, "1.5.1");
    EXPECT_EQ (description->pluginFormatName, "VST3");
    EXPECT_EQ (description->category, "Fx");
    EXPECT_FALSE (description->isInstrument);

    auto plugin = loadPlugin();
    ASSERT_NE (plugin, nullptr);
    EXPECT_EQ (plugin->getName(), "VELLOMIRE");
    EXPECT_EQ (plugin->getTotalNumInputChannels(), 2);
    EXPECT_EQ (plugin->getTotalNumOutputChannels(), 2);
}

TEST (HostedPlugin, ParametersInOrderThenTheWrappersBypass)
{
    auto plugin = loadPlugin();
    ASSERT_NE (plugin, nullptr);
    const auto& params = plugin->getParameters();
    ASSERT_EQ (params.size(), 5);

    struct Expected
    {
        const char* id;
        const char* name;
        float defaultValue;
        const char* text;
    };
    const Expected expected[] = { { "SPACE", "Space", 0.65f, "65" },
                                  { "FILTER", "Shimmer", 0.35f, "35" },
                                  { "GRAIN", "Grain", 0.25f, "25" },
                                  { "WASH", "Wash", 0.55f, "55" } };
    for (int index = 0; index < 4; ++index)
    {
        auto* param = dynamic_cast<juce::HostedAudioProcessorParameter*> (params[index]);
        ASSERT_NE (param, nullptr);
        const auto& e = expected[index];
        EXPECT_EQ (param->getName (100), e.name);
        EXPECT_EQ (param->getParameterID(), vst3IdFor (e.id)) << e.id;
        EXPECT_NEAR (param->getDefaultValue(), e.defaultValue, 1e-6f);
        EXPECT_NEAR (param->getValue(), e.defaultValue, 1e-6f);
        EXPECT_EQ (param->getCurrentValueAsText(), e.text);
        EXPECT_EQ (param->getLabel(), "%");
        EXPECT_TRUE (param->isAutomatable());
        EXPECT_EQ (param->getText (0.125f, 8), "12");
        EXPECT_EQ (param->getText (0.135f, 8), "14");
    }
    auto* bypass = dynamic_cast<juce::HostedAudioProcessorParameter*> (params[4]);
    ASSERT_NE (bypass, nullptr);
    EXPECT_EQ (bypass->getName (100), "Bypass");
    EXPECT_EQ (bypass->getParameterID(), juce::String ((int) 0x62797073)); // 'byps'
    EXPECT_EQ (plugin->getBypassParameter(), bypass);
}

TEST (HostedPlugin, LatencyTailProgramsAndMidi)
{
    auto plugin = loadPlugin();
    ASSERT_NE (plugin, nullptr);
    plugin->prepareToPlay (48000.0, 256);
    EXPECT_EQ (plugin->getLatencySamples(), 0);
    EXPECT_DOUBLE_EQ (plugin->getTailLengthSeconds(), 12.0);
    EXPECT_EQ (plugin->getNumPrograms(), 0);
    EXPECT_FALSE (plugin->acceptsMidi());
    EXPECT_FALSE (plugin->producesMidi());
    EXPECT_TRUE (plugin->hasEditor());
    plugin->releaseResources();
}

TEST (HostedPlugin, ProcessesStereoAndMono)
{
    using Set = juce::AudioChannelSet;
    for (const auto& set : { Set::stereo(), Set::mono() })
    {
        auto plugin = loadPlugin();
        ASSERT_NE (plugin, nullptr);
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (set);
        layout.outputBuses.add (set);
        ASSERT_TRUE (plugin->setBusesLayout (layout)) << set.getDescription();
        EXPECT_EQ (plugin->getTotalNumInputChannels(), set.size());
        EXPECT_EQ (plugin->getTotalNumOutputChannels(), set.size());

        plugin->prepareToPlay (44100.0, 256);
        juce::AudioBuffer<float> buffer (set.size(), 256);
        juce::MidiBuffer midi;
        bool sawSound = false;
        for (int block = 0; block < 40; ++block)
        {
            buffer.clear();
            if (block == 0)
                for (int c = 0; c < set.size(); ++c)
                    buffer.setSample (c, 0, 0.5f);
            plugin->processBlock (buffer, midi);
            for (int c = 0; c < set.size(); ++c)
                for (int i = 0; i < buffer.getNumSamples(); ++i)
                {
                    ASSERT_TRUE (std::isfinite (buffer.getSample (c, i)));
                    sawSound = sawSound || buffer.getSample (c, i) != 0.0f;
                }
        }
        EXPECT_TRUE (sawSound) << set.getDescription();
        plugin->releaseResources();
    }
}

TEST (HostedPlugin, StateTravelsThroughTheHost)
{
    auto source = loadPlugin();
    auto target = loadPlugin();
    ASSERT_NE (source, nullptr);
    ASSERT_NE (target, nullptr);

    const auto fresh = componentState (*source);
    ASSERT_GT (fresh.getSize(), 8u);
    EXPECT_EQ (std::memcmp (fresh.getData(), "VC2!", 4), 0);
    std::uint32_t length = 0;
    std::memcpy (&length, (const char*) fresh.getData() + 4, 4);
    const juce::String text ((const char*) fresh.getData() + 8, length);
    EXPECT_EQ (text, "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <PARAMS><PARAM id=\"FILTER\" value=\"35.0\"/>"
                     "<PARAM id=\"GRAIN\" value=\"25.0\"/><PARAM id=\"SPACE\" value=\"65.0\"/>"
                     "<PARAM id=\"WASH\" value=\"55.0\"/></PARAMS>");
    EXPECT_EQ (((const char*) fresh.getData())[8 + length], 0);
    const std::string trailer ((const char*) fresh.getData() + 9 + length, fresh.getSize() - 9 - length);
    EXPECT_NE (trailer.find ("JUCEPrivateData"), std::string::npos);

    source->getParameters()[0]->setValueNotifyingHost (0.2f);
    source->getParameters()[3]->setValueNotifyingHost (0.9f);
    juce::MemoryBlock saved;
    source->getStateInformation (saved);
    target->setStateInformation (saved.getData(), (int) saved.getSize());

    for (int index = 0; index < 4; ++index)
        EXPECT_NEAR (target->getParameters()[index]->getValue(), source->getParameters()[index]->getValue(), 1e-6f) << index;
    EXPECT_NEAR (target->getParameters()[0]->getValue(), 0.2f, 1e-6f);
    EXPECT_NEAR (target->getParameters()[3]->getValue(), 0.9f, 1e-6f);
}
