#include "PluginProcessor.h"

#include "PluginEditor.h"

#include <algorithm>
#include <string_view>

namespace
{
constexpr int parameterVersionHint = 1;

std::unique_ptr<juce::AudioParameterFloat> makePercentParameter (const juce::String& id,
                                                                 const juce::String& name,
                                                                 float defaultValue)
{
    auto attributes = juce::AudioParameterFloatAttributes()
                          .withLabel ("%")
                          .withStringFromValueFunction ([] (float value, int) { return juce::String (juce::roundToInt (value)); });

    return std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { id, parameterVersionHint },
                                                        name,
                                                        juce::NormalisableRange<float> (0.0f, 100.0f, 0.1f, 1.0f),
                                                        defaultValue,
                                                        attributes);
}

// Tempo from the host, limited to 40..300 BPM, as samples per beat.
float samplesPerBeatFor (double bpm, double sampleRate)
{
    const double beatSeconds = bpm < 40.0 ? 1.5 : 60.0 / std::min (bpm, 300.0);
    return (float) (beatSeconds * sampleRate);
}

// Every lead byte of multi-byte UTF-8 followed by its continuation bytes.
bool isWellFormedUtf8 (std::string_view text)
{
    for (size_t i = 0; i < text.size();)
    {
        const auto lead = (unsigned char) text[i++];
        const int continuations = lead < 0x80 ? 0 : (lead >= 0xc2 && lead <= 0xdf) ? 1 : (lead >= 0xe0 && lead <= 0xef) ? 2
                                                                                      : (lead >= 0xf0 && lead <= 0xf4) ? 3 : -1;
        if (continuations < 0)
            return false;
        for (int k = 0; k < continuations; ++k, ++i)
            if (i >= text.size() || ((unsigned char) text[i] & 0xc0) != 0x80)
                return false;
    }
    return true;
}

// Every '&' starts one of the references an XML writer puts into a saved state: the five named
// ones, or a character number ("&#10;", "&#x41;") of a few digits closed by its semicolon.
bool hasOnlyPlainReferences (std::string_view text)
{
    auto startsWithNumberReference = [] (std::string_view rest) {
        const bool hex = rest.substr (0, 3) == "&#x" || rest.substr (0, 3) == "&#X";
        const auto digitsStart = hex ? 3u : 2u;
        const auto end = rest.find_first_not_of (hex ? "0123456789abcdefABCDEF" : "0123456789", digitsStart);
        const auto digits = (end == std::string_view::npos ? rest.size() : end) - digitsStart;
        return digits >= 1 && digits <= 7 && end != std::string_view::npos && rest[end] == ';';
    };
    for (auto at = text.find ('&'); at != std::string_view::npos; at = text.find ('&', at + 1))
    {
        const auto rest = text.substr (at);
        const bool named = rest.substr (0, 5) == "&amp;" || rest.substr (0, 4) == "&lt;" || rest.substr (0, 4) == "&gt;"
                           || rest.substr (0, 6) == "&quot;" || rest.substr (0, 6) == "&apos;";
        if (! named && ! (rest.substr (0, 2) == "&#" && startsWithNumberReference (rest)))
            return false;
    }
    return true;
}

// A state's text that JUCE's XML reader cannot take safely is corrupt and changes nothing. The
// reader trusts its input in ways a damaged state breaks:
// - it takes the text for well-formed UTF-8 (checked only in debug builds): a lead byte without
//   its continuation bytes sends it reading past the end of the text;
// - a hexadecimal character reference cut off by the end of the text sends it past the end too,
//   and an entity of any other kind (which a saved state never holds) can make it re-read text
//   it has already left, past the end as well;
// - a processing instruction ("<?") inside an element followed by text sends it round in circles
//   for ever; only the declaration at the very start may be one;
// - it descends one call deeper per nested element, so tens of thousands of levels overflow the
//   stack: no element can be nested deeper than the text has '<' signs, and a saved state has six.
// The text is the part getXmlFromBinary reads: from byte 8, as long as the length field says, up
// to a zero byte.
bool hasTextTheXmlReaderTakes (const void* data, int sizeInBytes)
{
    if (sizeInBytes <= 8)
        return true;
    const int length = std::min ((int) juce::ByteOrder::littleEndianInt (juce::addBytesToPointer (data, 4)), sizeInBytes - 8);
    std::string_view text (static_cast<const char*> (data) + 8, (size_t) std::max (0, length));
    text = text.substr (0, text.find ('\0'));

    const auto start = text.find_first_not_of (" \t\r\n");
    const bool onlyLeadingInstruction = start == std::string_view::npos || text.find ("<?", start + 1) == std::string_view::npos;
    constexpr long mostTags = 1000;
    return onlyLeadingInstruction && std::count (text.begin(), text.end(), '<') <= mostTags && hasOnlyPlainReferences (text)
           && isWellFormedUtf8 (text);
}

// JUCE's number reader gathers an exponent's digits in an int without a limit, so a value like
// "1e9999999999" overflows it (undefined behaviour). Ours are plain decimals: no exponent of
// ours has more than three significant digits.
bool hasExponentTooLongToRead (const juce::String& value)
{
    constexpr int mostExponentDigits = 8;
    auto text = value.getCharPointer();
    while (! text.isEmpty())
    {
        const auto c = text.getAndAdvance();
        if (c != 'e' && c != 'E')
            continue;
        if (*text == '+' || *text == '-')
            ++text;
        while (*text == '0')
            ++text;
        int digits = 0;
        while (text.isDigit())
        {
            ++text;
            if (++digits > mostExponentDigits)
                return true;
        }
    }
    return false;
}

// A document is corrupt, and changes nothing, when a parameter element
// - has a value whose exponent JUCE's number reader cannot take;
// - has a value that reads as NaN: it passes every range limit and would silence the plug-in for
//   good;
// - names an attribute twice (not XML, though JUCE reads it): the parameter would take one value
//   and the saved state show the other.
bool hasCorruptParameterElement (const juce::XmlElement& state)
{
    for (const auto* child : state.getChildIterator())
    {
        const auto value = child->getStringAttribute ("value");
        if (hasExponentTooLongToRead (value) || std::isnan (value.getDoubleValue()))
            return true;
        for (int i = 0; i < child->getNumAttributes(); ++i)
            for (int j = i + 1; j < child->getNumAttributes(); ++j)
                if (child->getAttributeName (i) == child->getAttributeName (j))
                    return true;
    }
    return false;
}
} // namespace

VellomireAudioProcessor::VellomireAudioProcessor()
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      valueTreeState (*this, nullptr, "PARAMS", createParameterLayout())
{
    spaceRaw = valueTreeState.getRawParameterValue ("SPACE");
    grainRaw = valueTreeState.getRawParameterValue ("GRAIN");
    filterRaw = valueTreeState.getRawParameterValue ("FILTER");
    washRaw = valueTreeState.getRawParameterValue ("WASH");
}

VellomireAudioProcessor::~VellomireAudioProcessor() = default;

juce::AudioProcessorValueTreeState::ParameterLayout VellomireAudioProcessor::createParameterLayout()
{
    juce::AudioProcessorValueTreeState::ParameterLayout layout;
    layout.add (makePercentParameter ("SPACE", "Space", 65.0f));
    layout.add (makePercentParameter ("FILTER", "Shimmer", 35.0f));
    layout.add (makePercentParameter ("GRAIN", "Grain", 25.0f));
    layout.add (makePercentParameter ("WASH", "Wash", 55.0f));
    return layout;
}

const juce::String VellomireAudioProcessor::getName() const { return "VELLOMIRE"; }

void VellomireAudioProcessor::prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock)
{
    currentSampleRate = sampleRate;

    multiTap.prepare (sampleRate);
    plate.prepare (sampleRate);
    shimmer.prepare (sampleRate);
    resoComb.prepare (sampleRate);
    outputCompressor.prepare (sampleRate);
    tapeWash.prepare (sampleRate);
    levelFollower.prepare (sampleRate);
    wetHighpass.prepare (sampleRate);
    reverbInputFilter.prepare (sampleRate);

    resetSmoothers (sampleRate);
    paramScratch.setSize (4, std::max (1, maximumExpectedSamplesPerBlock));
    std::fill (std::begin (shimmerFeedback), std::end (shimmerFeedback), 0.0f);
    setLatencySamples (0);
}

void VellomireAudioProcessor::resetSmoothers (double sampleRate)
{
    const std::pair<Smoother*, std::atomic<float>*> pairs[] = {
        { &spaceSmoother, spaceRaw }, { &grainSmoother, grainRaw }, { &filterSmoother, filterRaw }, { &washSmoother, washRaw }
    };
    for (auto [smoother, raw] : pairs)
    {
        smoother->reset (sampleRate, 0.05);
        smoother->setCurrentAndTargetValue (raw->load() * 0.01f);
    }
}

void VellomireAudioProcessor::releaseResources() {}

void VellomireAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;

    const int totalInputs = getTotalNumInputChannels();
    const int totalOutputs = getTotalNumOutputChannels();
    const int numSamples = buffer.getNumSamples();
    const int n = std::min ({ 2, buffer.getNumChannels(), std::max (1, totalOutputs) });

    // A host's buffer may have fewer channels than the outputs.
    for (int channel = totalInputs; channel < std::min (totalOutputs, buffer.getNumChannels()); ++channel)
        buffer.clear (channel, 0, numSamples);

    if (numSamples < 1 || n < 1)
        return;

    fillParameterStreams (numSamples);
    updateStagesForBlock (numSamples - 1);

    SampleFrame frame;
    for (int i = 0; i < numSamples; ++i)
        processSample (buffer, i, n, frame);
}

void VellomireAudioProcessor::fillParameterStreams (int numSamples)
{
    if (paramScratch.getNumChannels() != 4 || paramScratch.getNumSamples() != numSamples)
        paramScratch.setSize (4, numSamples, false, false, true);

    spaceSmoother.setTargetValue (spaceRaw->load() * 0.01f);
    grainSmoother.setTargetValue (grainRaw->load() * 0.01f);
    filterSmoother.setTargetValue (filterRaw->load() * 0.01f);
    washSmoother.setTargetValue (washRaw->load() * 0.01f);

    auto* space = paramScratch.getWritePointer (spaceStream);
    auto* grain = paramScratch.getWritePointer (grainStream);
    auto* filter = paramScratch.getWritePointer (filterStream);
    auto* wash = paramScratch.getWritePointer (washStream);
    for (int i = 0; i < numSamples; ++i)
    {
        space[i] = spaceSmoother.getNextValue();
        grain[i] = grainSmoother.getNextValue();
        filter[i] = filterSmoother.getNextValue();
        wash[i] = washSmoother.getNextValue();
    }
}

void VellomireAudioProcessor::updateStagesForBlock (int lastSample)
{
    const float space = paramScratch.getSample (spaceStream, lastSample);
    // The loop gains use the size the network has now, before the new size target is set.
    plate.updateDecay (space);
    plate.updateTargets (space);
    tapeWash.setForBlock (paramScratch.getSample (washStream, lastSample));
    resoComb.setForBlock (paramScratch.getSample (filterStream, lastSample));
    readTransport();
    shimmer.setForBlock (paramScratch.getSample (grainStream, lastSample), transport.samplesPerBeat,
                         transport.ppqPosition, transport.isPlaying);
}

void VellomireAudioProcessor::readTransport()
{
    double bpm = 120.0;
    transport.ppqPosition = 0.0;
    transport.isPlaying = false;

    if (auto* playHead = getPlayHead())
    {
        if (const auto position = playHead->getPosition())
        {
            bpm = position->getBpm().orFallback (120.0);
            transport.ppqPosition = position->getPpqPosition().orFallback (0.0);
            // A tempo that is not a number, or an infinite position, counts as not given: either
            // would turn every delay time and the grain gate into NaN.
            if (std::isnan (bpm))
                bpm = 120.0;
            if (! std::isfinite (transport.ppqPosition))
                transport.ppqPosition = 0.0;
            transport.isPlaying = position->getIsPlaying();
        }
    }
    transport.samplesPerBeat = samplesPerBeatFor (bpm, currentSampleRate);
}

void VellomireAudioProcessor::processSample (juce::AudioBuffer<float>& buffer, int i, int n, SampleFrame& frame)
{
    for (int c = 0; c < n; ++c)
    {
        frame.dry[c] = dsp::LevelFollower::capture (buffer.getSample (c, i));
        frame.delayIn[c] = frame.dry[c];
    }
    frame.inputLevel = dsp::LevelFollower::inputLevel (frame.dry, n);
    frame.duckingGain = levelFollower.process (frame.inputLevel);

    const float space = paramScratch.getSample (spaceStream, i);
    multiTap.process (frame.delayIn, space, transport.samplesPerBeat, n);

    reverbInputFilter.process (frame.dry, frame.delayIn, shimmerFeedback, frame.reverb, n);
    plate.processInput (frame.reverb, n);
    plate.processNetwork (frame.reverb, n);

    const float filter = paramScratch.getSample (filterStream, i);
    shimmer.writeInput (frame.reverb, n);
    shimmer.processGrains (n, frame.grain);
    resoComb.process (frame.grain, frame.comb, n);
    shimmer.updateBloom (frame.inputLevel, i);
    shimmer.mixWet ({ frame.grain, frame.comb, frame.reverb, frame.delayIn, filter, space }, n, shimmerFeedback, frame.wet);

    tapeWash.process (frame.wet, frame.tape, n);

    const float wash = paramScratch.getSample (washStream, i);
    float out[2] {};
    dsp::OutputStage::process (wetHighpass, outputCompressor, { frame.tape, frame.dry, frame.duckingGain, space, wash },
                               n, frame.output, out);
    for (int c = 0; c < n; ++c)
        buffer.getWritePointer (c)[i] = out[c];
}

double VellomireAudioProcessor::getTailLengthSeconds() const { return 12.0; }
bool VellomireAudioProcessor::acceptsMidi() const { return false; }
bool VellomireAudioProcessor::producesMidi() const { return false; }
bool VellomireAudioProcessor::isMidiEffect() const { return false; }

juce::AudioProcessorEditor* VellomireAudioProcessor::createEditor() { return new VellomireAudioProcessorEditor (*this); }
bool VellomireAudioProcessor::hasEditor() const { return true; }

int VellomireAudioProcessor::getNumPrograms() { return 1; }
int VellomireAudioProcessor::getCurrentProgram() { return 0; }
void VellomireAudioProcessor::setCurrentProgram (int) {}
const juce::String VellomireAudioProcessor::getProgramName (int) { return {}; }
void VellomireAudioProcessor::changeProgramName (int, const juce::String&) {}

void VellomireAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    const auto state = valueTreeState.copyState();
    if (const auto xml = state.createXml())
        copyXmlToBinary (*xml, destData);
}

void VellomireAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    if (! hasTextTheXmlReaderTakes (data, sizeInBytes))
        return;
    const auto xml = getXmlFromBinary (data, sizeInBytes);
    if (xml == nullptr || ! xml->hasTagName (valueTreeState.state.getType()) || hasCorruptParameterElement (*xml))
        return;

    auto restored = juce::ValueTree::fromXml (*xml);
    keepParametersMissingFrom (restored);
    valueTreeState.replaceState (restored);
}

// A saved state that lacks a parameter (an older or hand-made document) must leave that
// parameter where it is. Left to itself, the value-tree state appends an empty child for it and
// then reads that child's missing value as the default, so we append it with the current value.
void VellomireAudioProcessor::keepParametersMissingFrom (juce::ValueTree& restored) const
{
    juce::StringArray missingIds;
    for (auto* parameter : getParameters())
        if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter))
            if (! restored.getChildWithProperty ("id", ranged->getParameterID()).isValid())
                missingIds.add (ranged->getParameterID());

    missingIds.sort (false); // the value-tree state's own order, by ID
    for (const auto& id : missingIds)
    {
        juce::ValueTree child ("PARAM");
        child.setProperty ("id", id, nullptr);
        child.setProperty ("value", (double) valueTreeState.getRawParameterValue (id)->load(), nullptr);
        restored.appendChild (child, nullptr);
    }
}

bool VellomireAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto output = layouts.getMainOutputChannelSet();
    if (output != juce::AudioChannelSet::mono() && output != juce::AudioChannelSet::stereo())
        return false;
    return layouts.getMainInputChannelSet() == output;
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new VellomireAudioProcessor();
}
