#include <gtest/gtest.h>

#include "PluginProcessor.h"

namespace
{
enum Stream { space = 0, grain = 1, filter = 2, wash = 3 };

void setRaw (VellomireAudioProcessor& p, const char* id, float value)
{
    auto* param = p.valueTreeState.getParameter (id);
    param->setValueNotifyingHost (param->convertTo0to1 (value));
}

void process (VellomireAudioProcessor& p, juce::AudioBuffer<float>& buffer)
{
    juce::MidiBuffer midi;
    p.processBlock (buffer, midi);
}

// Runs `total` samples of silence in blocks of `blockSize` and collects one parameter stream.
std::vector<float> collectStream (VellomireAudioProcessor& p, int stream, int total, int blockSize)
{
    std::vector<float> values;
    juce::AudioBuffer<float> buffer (2, blockSize);
    for (int done = 0; done < total; done += blockSize)
    {
        const int n = std::min (blockSize, total - done);
        buffer.setSize (2, n, false, false, true);
        buffer.clear();
        process (p, buffer);
        const auto& streams = p.getParameterStreams();
        for (int i = 0; i < n; ++i)
            values.push_back (streams.getSample (stream, i));
    }
    return values;
}

struct FakePlayHead : juce::AudioPlayHead
{
    juce::Optional<PositionInfo> position;
    juce::Optional<PositionInfo> getPosition() const override { return position; }
};
} // namespace

TEST (BlockDriver, RampFromZeroToFullTakes50msAndLandsExactlyOnOne)
{
    for (int blockSize : { 1, 64, 512, 1000 })
    {
        VellomireAudioProcessor p;
        setRaw (p, "SPACE", 0.0f);
        p.prepareToPlay (44100.0, blockSize);
        setRaw (p, "SPACE", 100.0f);

        const auto values = collectStream (p, space, 3000, blockSize);
        ASSERT_EQ (values.size(), 3000u);
        for (int i = 0; i < 2204; ++i)
        {
            ASSERT_LT (values[(size_t) i], 1.0f) << "block " << blockSize << " sample " << i;
            if (i > 0)
                ASSERT_GT (values[(size_t) i], values[(size_t) i - 1]) << "block " << blockSize << " sample " << i;
        }
        EXPECT_FLOAT_EQ (values[0], 1.0f / 2205.0f);
        for (size_t i = 2204; i < values.size(); ++i)
            ASSERT_EQ (values[i], 1.0f) << "block " << blockSize << " sample " << i;
    }
}

TEST (BlockDriver, SteadyParametersGiveConstantStreams)
{
    VellomireAudioProcessor p;
    setRaw (p, "GRAIN", 42.4f);
    p.prepareToPlay (48000.0, 256);
    const std::pair<int, float> expected[] = { { space, 65.0f * 0.01f },
                                               { grain, p.valueTreeState.getRawParameterValue ("GRAIN")->load() * 0.01f },
                                               { filter, 35.0f * 0.01f },
                                               { wash, 55.0f * 0.01f } };
    for (auto [stream, value] : expected)
        for (float v : collectStream (p, stream, 700, 256))
            ASSERT_EQ (v, value) << "stream " << stream;
}

TEST (BlockDriver, ARampRestartsFromTheCurrentValueWhenTheTargetMovesAgain)
{
    VellomireAudioProcessor p;
    setRaw (p, "WASH", 0.0f);
    p.prepareToPlay (44100.0, 100);
    setRaw (p, "WASH", 100.0f);
    const auto first = collectStream (p, wash, 100, 100);
    setRaw (p, "WASH", 0.0f);
    const auto second = collectStream (p, wash, 2300, 100);

    const float reached = first.back();
    EXPECT_NEAR (second[0], reached - reached / 2205.0f, 1e-6f);
    EXPECT_GT (second[2203], 0.0f);
    EXPECT_EQ (second[2204], 0.0f);
}

TEST (BlockDriver, SamplesPerBeatFollowsTheHostTempoWithinLimits)
{
    const double fs = 44100.0;
    struct Case
    {
        std::optional<double> bpm;
        bool hasPlayHead;
        float expected;
    };
    const Case cases[] = {
        { 20.0, true, (float) (1.5 * fs) },   { 40.0, true, (float) (1.5 * fs) },
        { 120.0, true, (float) (0.5 * fs) },  { 600.0, true, (float) (0.2 * fs) },
        { 300.0, true, (float) (0.2 * fs) },  { std::nullopt, true, (float) (0.5 * fs) },
        { std::nullopt, false, (float) (0.5 * fs) },
    };
    for (const auto& c : cases)
    {
        VellomireAudioProcessor p;
        FakePlayHead head;
        juce::AudioPlayHead::PositionInfo info;
        if (c.bpm)
            info.setBpm (*c.bpm);
        head.position = info;
        if (c.hasPlayHead)
            p.setPlayHead (&head);
        p.prepareToPlay (fs, 32);
        juce::AudioBuffer<float> buffer (2, 32);
        buffer.clear();
        process (p, buffer);
        EXPECT_EQ (p.getLastTransport().samplesPerBeat, c.expected) << (c.bpm ? *c.bpm : -1.0);
    }
}

TEST (BlockDriver, TransportReadsPositionAndPlayingFlagOrFallsBack)
{
    VellomireAudioProcessor p;
    FakePlayHead head;
    juce::AudioPlayHead::PositionInfo info;
    info.setPpqPosition (17.25);
    info.setIsPlaying (true);
    head.position = info;
    p.setPlayHead (&head);
    p.prepareToPlay (48000.0, 16);
    juce::AudioBuffer<float> buffer (2, 16);
    buffer.clear();
    process (p, buffer);
    EXPECT_EQ (p.getLastTransport().ppqPosition, 17.25);
    EXPECT_TRUE (p.getLastTransport().isPlaying);

    head.position = {}; // a host that gives no position
    process (p, buffer);
    EXPECT_EQ (p.getLastTransport().ppqPosition, 0.0);
    EXPECT_FALSE (p.getLastTransport().isPlaying);
    EXPECT_EQ (p.getLastTransport().samplesPerBeat, 24000.0f);
}

TEST (BlockDriver, AnEmptyBlockChangesNothing)
{
    juce::Random random (99);
    juce::AudioBuffer<float> input (2, 300);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 300; ++i)
            input.setSample (c, i, random.nextFloat() * 2.0f - 1.0f);

    auto run = [&] (bool withEmptyBlock) {
        VellomireAudioProcessor p;
        setRaw (p, "SPACE", 10.0f);
        p.prepareToPlay (44100.0, 300);
        setRaw (p, "SPACE", 90.0f);
        juce::AudioBuffer<float> first (2, 100), second (2, 200);
        for (int c = 0; c < 2; ++c)
        {
            first.copyFrom (c, 0, input, c, 0, 100);
            second.copyFrom (c, 0, input, c, 100, 200);
        }
        process (p, first);
        if (withEmptyBlock)
        {
            juce::AudioBuffer<float> empty (2, 0);
            process (p, empty);
        }
        process (p, second);
        std::vector<float> result (p.getParameterStreams().getReadPointer (space),
                                   p.getParameterStreams().getReadPointer (space) + 200);
        for (int c = 0; c < 2; ++c)
            result.insert (result.end(), second.getReadPointer (c), second.getReadPointer (c) + 200);
        return result;
    };
    EXPECT_EQ (run (true), run (false));
}

TEST (BlockDriver, AOneSampleBlockUsesThatSampleEverywhere)
{
    VellomireAudioProcessor p;
    setRaw (p, "FILTER", 0.0f);
    p.prepareToPlay (44100.0, 1);
    setRaw (p, "FILTER", 50.0f);
    juce::AudioBuffer<float> buffer (2, 1);
    buffer.clear();
    process (p, buffer);
    EXPECT_EQ (p.getParameterStreams().getNumSamples(), 1);
    EXPECT_FLOAT_EQ (p.getParameterStreams().getSample (filter, 0), 0.5f / 2205.0f);
}

TEST (BlockDriver, LongerBlocksThanAnnouncedAreProcessedWhole)
{
    VellomireAudioProcessor p;
    p.prepareToPlay (44100.0, 64);
    juce::AudioBuffer<float> buffer (2, 4096);
    buffer.clear();
    process (p, buffer);
    EXPECT_EQ (p.getParameterStreams().getNumSamples(), 4096);
    EXPECT_EQ (p.getParameterStreams().getSample (space, 4095), 0.65f);
}

TEST (BlockDriver, MonoLayoutTouchesChannelZeroOnly)
{
    VellomireAudioProcessor p;
    juce::AudioProcessor::BusesLayout mono;
    mono.inputBuses.add (juce::AudioChannelSet::mono());
    mono.outputBuses.add (juce::AudioChannelSet::mono());
    ASSERT_TRUE (p.setBusesLayout (mono));
    p.prepareToPlay (44100.0, 64);

    juce::AudioBuffer<float> buffer (2, 64);
    for (int i = 0; i < 64; ++i)
    {
        buffer.setSample (0, i, 0.0f);
        buffer.setSample (1, i, 0.25f + (float) i);
    }
    process (p, buffer);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ (buffer.getSample (1, i), 0.25f + (float) i);
}

TEST (ProcessorShell, IdentityProgramsMidiTailAndLatency)
{
    VellomireAudioProcessor p;
    EXPECT_EQ (p.getName(), "VELLOMIRE");
    EXPECT_EQ (p.getTailLengthSeconds(), 12.0);
    EXPECT_FALSE (p.acceptsMidi());
    EXPECT_FALSE (p.producesMidi());
    EXPECT_FALSE (p.isMidiEffect());
    EXPECT_TRUE (p.hasEditor());
    EXPECT_EQ (p.getNumPrograms(), 1);
    for (int index : { -1, 0, 1, 7 })
    {
        p.setCurrentProgram (index);
        EXPECT_EQ (p.getCurrentProgram(), 0);
        EXPECT_EQ (p.getProgramName (index), "");
        p.changeProgramName (index, "renamed");
        EXPECT_EQ (p.getProgramName (index), "");
    }
    setRaw (p, "SPACE", 0.0f);
    EXPECT_EQ (p.getTailLengthSeconds(), 12.0);
    p.prepareToPlay (96000.0, 512);
    EXPECT_EQ (p.getLatencySamples(), 0);
}

TEST (ProcessorShell, AcceptsOnlyEqualMonoOrStereoLayouts)
{
    using Set = juce::AudioChannelSet;
    struct Case
    {
        std::optional<Set> in, out;
        bool accepted;
    };
    const Case cases[] = {
        { Set::stereo(), Set::stereo(), true },   { Set::mono(), Set::mono(), true },
        { Set::mono(), Set::stereo(), false },    { Set::stereo(), Set::mono(), false },
        { std::nullopt, Set::stereo(), false },   { Set::disabled(), Set::stereo(), false },
        { Set::create5point1(), Set::create5point1(), false }, { Set::stereo(), std::nullopt, false },
    };
    VellomireAudioProcessor p;
    for (const auto& c : cases)
    {
        juce::AudioProcessor::BusesLayout layout;
        if (c.in)
            layout.inputBuses.add (*c.in);
        if (c.out)
            layout.outputBuses.add (*c.out);
        EXPECT_EQ (p.isBusesLayoutSupported (layout), c.accepted)
            << (c.in ? c.in->getDescription() : "none") << " -> " << (c.out ? c.out->getDescription() : "none");
    }
}
