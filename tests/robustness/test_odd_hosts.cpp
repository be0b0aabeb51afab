// Hosts that do odd things with block sizes, channel counts, sample rates and transport. Whatever
// they do: no crash, no access outside the buffers (the ASan/UBSan build runs these tests), finite
// output, and buffer channels the plug-in does not process left as they were.

#include <gtest/gtest.h>

#include "PluginProcessor.h"

#include <cmath>
#include <limits>
#include <vector>

namespace
{
constexpr double defaultRate = 44100.0;

struct FakePlayHead : juce::AudioPlayHead
{
    juce::Optional<PositionInfo> position;
    juce::Optional<PositionInfo> getPosition() const override { return position; }
};

void setLayout (juce::AudioProcessor& processor, int inputs, int outputs)
{
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::canonicalChannelSet (inputs));
    layout.outputBuses.add (juce::AudioChannelSet::canonicalChannelSet (outputs));
    ASSERT_TRUE (processor.setBusesLayout (layout)) << inputs << " in, " << outputs << " out";
}

void setParameter (VellomireAudioProcessor& processor, const char* id, float value)
{
    auto* parameter = processor.valueTreeState.getParameter (id);
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
}

// Drives one processor the way an odd host would and checks every block it hands back.
class OddHost
{
public:
    explicit OddHost (juce::AudioProcessor& p) : processor (p) {}

    // One block of noise at `level` (0 for silence) in `numChannels` channels of `numSamples`.
    ::testing::AssertionResult process (int numChannels, int numSamples, float level = 0.5f)
    {
        juce::AudioBuffer<float> buffer (numChannels, numSamples);
        for (int c = 0; c < numChannels; ++c)
            for (int i = 0; i < numSamples; ++i)
                buffer.setSample (c, i, level * (2.0f * random.nextFloat() - 1.0f));
        const juce::AudioBuffer<float> input (buffer);

        juce::MidiBuffer midi;
        processor.processBlock (buffer, midi);
        return check (input, buffer);
    }

    // Blocks of the given sizes, all in `numChannels` channels.
    ::testing::AssertionResult processBlocks (int numChannels, const std::vector<int>& sizes, float level = 0.5f)
    {
        for (size_t b = 0; b < sizes.size(); ++b)
            if (auto result = process (numChannels, sizes[b], level); ! result)
                return result << " (block " << b << " of " << sizes[b] << " samples)";
        return ::testing::AssertionSuccess();
    }

    // Enough blocks of `blockSize` for `seconds` at `sampleRate`.
    static std::vector<int> blocksFor (double seconds, double sampleRate, int blockSize)
    {
        return std::vector<int> ((size_t) std::ceil (seconds * sampleRate / blockSize), blockSize);
    }

    juce::Random random { 42 };

private:
    // Processed channels (the first min(2, buffer, outputs)) must be finite; channels the
    // plug-in has no output for are cleared; every other channel stays as the host filled it.
    ::testing::AssertionResult check (const juce::AudioBuffer<float>& input, const juce::AudioBuffer<float>& output) const
    {
        const int totalInputs = processor.getTotalNumInputChannels();
        const int totalOutputs = processor.getTotalNumOutputChannels();
        const int processed = std::min ({ 2, output.getNumChannels(), std::max (1, totalOutputs) });
        for (int c = 0; c < output.getNumChannels(); ++c)
        {
            for (int i = 0; i < output.getNumSamples(); ++i)
            {
                const float y = output.getSample (c, i);
                if (c < processed && ! std::isfinite (y))
                    return ::testing::AssertionFailure() << "channel " << c << " sample " << i << " is " << y;
                if (c >= processed && c >= totalInputs && c < totalOutputs && y != 0.0f)
                    return ::testing::AssertionFailure() << "channel " << c << " without input was not cleared";
                if (c >= processed && (c < totalInputs || c >= totalOutputs) && y != input.getSample (c, i))
                    return ::testing::AssertionFailure() << "unprocessed channel " << c << " was changed at sample " << i;
            }
        }
        return ::testing::AssertionSuccess();
    }

    juce::AudioProcessor& processor;
};
} // namespace

TEST (OddHosts, BlocksLongerThanAnnounced)
{
    for (int announced : { 0, 1, 64, 512 })
    {
        VellomireAudioProcessor processor;
        processor.prepareToPlay (defaultRate, announced);
        OddHost host (processor);
        EXPECT_TRUE (host.processBlocks (2, { announced, 4096, 8192, 1, 8192, 333 })) << "announced " << announced;
    }
}

TEST (OddHosts, BlockSizesChangingEveryCall)
{
    VellomireAudioProcessor processor;
    processor.prepareToPlay (defaultRate, 512);
    OddHost host (processor);
    std::vector<int> sizes;
    for (int b = 0; b < 60; ++b)
        sizes.push_back (1 + host.random.nextInt (8192));
    EXPECT_TRUE (host.processBlocks (2, sizes));
}

// The design promises an empty block changes nothing; an empty buffer (no channels) neither.
TEST (OddHosts, EmptyBlocksLeaveNoTrace)
{
    VellomireAudioProcessor plain, interrupted;
    for (auto* p : { &plain, &interrupted })
        p->prepareToPlay (defaultRate, 256);

    juce::Random random (7);
    juce::MidiBuffer midi;
    for (int b = 0; b < 40; ++b)
    {
        juce::AudioBuffer<float> block (2, 256);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 256; ++i)
                block.setSample (c, i, b < 20 ? random.nextFloat() - 0.5f : 0.0f);
        juce::AudioBuffer<float> same (block);

        plain.processBlock (block, midi);
        for (auto [channels, samples] : { std::pair { 2, 0 }, std::pair { 0, 256 }, std::pair { 0, 0 } })
        {
            juce::AudioBuffer<float> empty (channels, samples);
            interrupted.processBlock (empty, midi);
        }
        interrupted.processBlock (same, midi);

        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ (block.getSample (c, i), same.getSample (c, i)) << "block " << b << " channel " << c << " sample " << i;
    }
}

TEST (OddHosts, BuffersWithOtherChannelCountsThanTheLayout)
{
    struct Case
    {
        int layoutChannels, bufferChannels;
    };
    for (auto [layoutChannels, bufferChannels] : { Case { 2, 8 }, Case { 2, 3 }, Case { 1, 2 }, Case { 1, 8 },
                                                   Case { 2, 1 }, Case { 2, 0 }, Case { 1, 0 } })
    {
        VellomireAudioProcessor processor;
        setLayout (processor, layoutChannels, layoutChannels);
        processor.prepareToPlay (defaultRate, 512);
        OddHost host (processor);
        EXPECT_TRUE (host.processBlocks (bufferChannels, OddHost::blocksFor (0.5, defaultRate, 512)))
            << layoutChannels << "-channel layout, " << bufferChannels << "-channel buffer";
    }
}

// The design refuses more outputs than inputs, so only a host that forces the layout (stood in for
// here by a subclass that accepts it) sends them; its buffer may still have only the input's
// channels.
TEST (OddHosts, MoreOutputsThanInputsWithANarrowBuffer)
{
    struct AcceptingAnyLayout : VellomireAudioProcessor
    {
        bool isBusesLayoutSupported (const BusesLayout&) const override { return true; }
    };
    for (auto [inputs, bufferChannels] : { std::pair { 1, 1 }, std::pair { 1, 2 }, std::pair { 0, 1 } })
    {
        AcceptingAnyLayout processor;
        setLayout (processor, inputs, 2);
        processor.prepareToPlay (defaultRate, 256);
        OddHost host (processor);
        EXPECT_TRUE (host.processBlocks (bufferChannels, OddHost::blocksFor (0.2, defaultRate, 256)))
            << inputs << " inputs, " << bufferChannels << "-channel buffer";
    }
}

TEST (OddHosts, SampleRatesFrom8kTo384k)
{
    for (double rate : { 8000.0, 11025.0, 22050.0, 32000.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0, 352800.0, 384000.0 })
    {
        VellomireAudioProcessor processor;
        processor.prepareToPlay (rate, 1024);
        OddHost host (processor);
        EXPECT_TRUE (host.processBlocks (2, OddHost::blocksFor (0.5, rate, 1024))) << rate << " Hz";
        EXPECT_TRUE (host.processBlocks (2, OddHost::blocksFor (0.5, rate, 1024), 0.0f)) << rate << " Hz, tail";
    }
}

// A new prepare at another rate, with a tail ringing and no releaseResources in between: the delay
// memory is rebuilt for the new rate and every signal state is cleared, so silence gives silence.
TEST (OddHosts, PreparedAgainAtAnotherRateWithoutRelease)
{
    VellomireAudioProcessor processor;
    OddHost host (processor);
    for (auto [rate, blockSize] : { std::pair { 44100.0, 512 }, std::pair { 384000.0, 4096 }, std::pair { 8000.0, 64 },
                                    std::pair { 96000.0, 0 }, std::pair { 22050.0, 8192 }, std::pair { 48000.0, 480 } })
    {
        processor.prepareToPlay (rate, blockSize);
        juce::AudioBuffer<float> silence (2, 1024);
        silence.clear();
        juce::MidiBuffer midi;
        processor.processBlock (silence, midi);
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ (silence.getMagnitude (c, 0, 1024), 0.0f) << "a tail survived the prepare at " << rate << " Hz";

        EXPECT_TRUE (host.processBlocks (2, OddHost::blocksFor (0.3, rate, std::max (1, blockSize)))) << rate << " Hz";
    }
}

// Tempo and position a host should never send: the beat length and the grain gate must stay sane.
TEST (OddHosts, TransportValuesOutsideAnySenseKeepTheOutputFinite)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    struct Case
    {
        double bpm, ppq;
    };
    const Case cases[] = { { nan, 0.0 },    { inf, 0.0 },      { -inf, 0.0 },      { 0.0, 0.0 },  { -120.0, 0.0 },
                           { 1e-300, 0.0 }, { 1e300, 0.0 },    { 120.0, nan },     { 120.0, inf }, { 120.0, -inf },
                           { 120.0, -1e12 }, { 120.0, 1e18 },  { nan, nan },       { 1e9, -1e300 } };
    for (const auto& c : cases)
    {
        for (bool playing : { false, true })
        {
            VellomireAudioProcessor processor;
            FakePlayHead playHead;
            juce::AudioPlayHead::PositionInfo info;
            info.setBpm (c.bpm);
            info.setPpqPosition (c.ppq);
            info.setIsPlaying (playing);
            playHead.position = info;
            processor.setPlayHead (&playHead);
            processor.prepareToPlay (defaultRate, 512);
            OddHost host (processor);
            EXPECT_TRUE (host.processBlocks (2, OddHost::blocksFor (0.5, defaultRate, 512)))
                << "bpm " << c.bpm << ", ppq " << c.ppq << (playing ? ", playing" : ", stopped");
        }
    }
}

TEST (OddHosts, ParametersAtTheirEndsAndJumpingEveryBlock)
{
    const char* const ids[] = { "SPACE", "FILTER", "GRAIN", "WASH" };
    for (int pattern = 0; pattern < 3; ++pattern)
    {
        VellomireAudioProcessor processor;
        processor.prepareToPlay (defaultRate, 256);
        OddHost host (processor);
        for (int b = 0; b < 400; ++b)
        {
            // 0: all at 0; 1: all at 100; 2: every parameter jumps end to end every block.
            const float value = pattern == 2 ? (b % 2 == 0 ? 100.0f : 0.0f) : (pattern == 1 ? 100.0f : 0.0f);
            for (const char* id : ids)
                setParameter (processor, id, value);
            ASSERT_TRUE (host.process (2, 1 + host.random.nextInt (256), b < 200 ? 1.0f : 0.0f)) << "pattern " << pattern << " block " << b;
        }
    }
}
