// Hostile saved states straight into the processor's setStateInformation.

#include "PluginProcessor.h"
#include "StateChecks.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

using namespace state_checks;

namespace
{
const char* const parameterIds[] = { "SPACE", "FILTER", "GRAIN", "WASH" };

juce::MemoryBlock saved (VellomireAudioProcessor& processor)
{
    juce::MemoryBlock block;
    processor.getStateInformation (block);
    return block;
}

// Every input starts from a state away from the defaults, so a restore that wrongly resets a
// parameter shows.
juce::MemoryBlock startingState()
{
    VellomireAudioProcessor processor;
    const std::pair<const char*, float> moved[] = { { "SPACE", 12.3f }, { "FILTER", 87.6f }, { "GRAIN", 0.0f }, { "WASH", 100.0f } };
    for (auto [id, value] : moved)
    {
        auto* parameter = processor.valueTreeState.getParameter (id);
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
    }
    return saved (processor);
}

std::vector<float> parameterValues (VellomireAudioProcessor& processor)
{
    std::vector<float> values;
    for (const char* id : parameterIds)
        values.push_back (processor.valueTreeState.getRawParameterValue (id)->load());
    return values;
}

void requireSaneParameters (VellomireAudioProcessor& processor)
{
    for (float value : parameterValues (processor))
        require (std::isfinite (value) && value >= 0.0f && value <= 100.0f, "the audio thread sees finite values within 0..100");
}

bool isParamsDocument (const std::uint8_t* data, std::size_t size)
{
    const auto xml = juce::AudioProcessor::getXmlFromBinary (data, (int) size);
    return xml != nullptr && xml->hasTagName ("PARAMS");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    if (size > (std::size_t) std::numeric_limits<int>::max())
        return 0;

    // One instance for all inputs (leaked on purpose at exit): building one costs far more than
    // a restore.
    static auto* processor = new VellomireAudioProcessor();
    static const auto start = startingState();

    processor->setStateInformation (start.getData(), (int) start.getSize());
    const auto before = saved (*processor);
    processor->setStateInformation (data, (int) size);
    const auto after = saved (*processor);

    requireSaneParameters (*processor);
    requireSaneSavedState (after);
    // Put this way round, only bytes the processor took are handed to JUCE's XML reader here.
    if (after != before)
        require (isParamsDocument (data, size), "only a PARAMS document changes anything");

    // The saved bytes may differ (a value's text stays as restored until the value moves), the
    // values they restore may not.
    const auto values = parameterValues (*processor);
    processor->setStateInformation (after.getData(), (int) after.getSize());
    require (parameterValues (*processor) == values, "a saved state restores the same values");
    return 0;
}
