#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "dsp/LevelFollower.h"
#include "dsp/MultiTapSpace.h"
#include "dsp/OutputStage.h"
#include "dsp/PlateFDN.h"
#include "dsp/ResoComb.h"
#include "dsp/ReverbInputFilter.h"
#include "dsp/SampleFrame.h"
#include "dsp/Shimmer.h"
#include "dsp/TapeWash.h"

// What the host's transport says for one block.
struct BlockTransport
{
    float samplesPerBeat = 22050.0f;
    double ppqPosition = 0.0;
    bool isPlaying = false;
};

class VellomireAudioProcessor : public juce::AudioProcessor
{
public:
    VellomireAudioProcessor();
    ~VellomireAudioProcessor() override;

    const juce::String getName() const override;

    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    using juce::AudioProcessor::processBlock;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    static juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();

    // The smoothed per-sample parameter values of the last block: channel 0 SPACE, 1 GRAIN,
    // 2 FILTER, 3 WASH.
    const juce::AudioBuffer<float>& getParameterStreams() const noexcept { return paramScratch; }
    const BlockTransport& getLastTransport() const noexcept { return transport; }

    juce::AudioProcessorValueTreeState valueTreeState;

private:
    using Smoother = juce::SmoothedValue<float, juce::ValueSmoothingTypes::Linear>;
    enum ParameterStream { spaceStream = 0, grainStream, filterStream, washStream };

    void resetSmoothers (double sampleRate);
    void fillParameterStreams (int numSamples);
    void updateStagesForBlock (int lastSample);
    void readTransport();
    void keepParametersMissingFrom (juce::ValueTree& restored) const;
    void processSample (juce::AudioBuffer<float>& buffer, int i, int n, SampleFrame& frame);

    std::atomic<float>* spaceRaw = nullptr;
    std::atomic<float>* grainRaw = nullptr;
    std::atomic<float>* filterRaw = nullptr;
    std::atomic<float>* washRaw = nullptr;

    Smoother spaceSmoother, grainSmoother, filterSmoother, washSmoother;

    dsp::MultiTapSpace multiTap;
    dsp::PlateFDN plate;
    dsp::Shimmer shimmer;
    dsp::ResoComb resoComb;
    dsp::OutputCompressor outputCompressor;
    dsp::TapeWash tapeWash;
    dsp::LevelFollower levelFollower;
    dsp::WetHighpass wetHighpass;
    dsp::ReverbInputFilter reverbInputFilter;

    juce::AudioBuffer<float> paramScratch;
    // What the shimmer stage sends back into the reverb input; it enters at the next sample.
    float shimmerFeedback[2] {};
    BlockTransport transport;
    double currentSampleRate = 44100.0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VellomireAudioProcessor)
};
