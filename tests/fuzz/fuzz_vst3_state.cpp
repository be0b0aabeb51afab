// Hostile saved states through the VST3 wrapper, as a host hands back a project's component state:
// the module's factory makes the audio component, IComponent::setState reads the bytes from a
// stream. The wrapper is compiled into this program, as into the bundle.

#include <juce_audio_processors/juce_audio_processors.h>

#define JUCE_VST3HEADERS_INCLUDE_HEADERS_ONLY 1
#include <juce_audio_processors/format_types/juce_VST3Headers.h>
#undef JUCE_VST3HEADERS_INCLUDE_HEADERS_ONLY

#include "StateChecks.h"

#include <cstring>
#include <vector>

using namespace state_checks;
using namespace Steinberg;

extern "C" IPluginFactory* PLUGIN_API GetPluginFactory();

namespace
{
// A stream over bytes in memory that also tells its size, as most hosts' streams do (the wrapper
// reads such streams in one go, others piecewise). Lives on the stack: reference counts are moot.
class ByteStream : public IBStream, public ISizeableStream
{
public:
    ByteStream() = default;
    ByteStream (const void* data, size_t size) : bytes ((const char*) data, (const char*) data + size) {}

    const std::vector<char>& getBytes() const { return bytes; }

    tresult PLUGIN_API queryInterface (const TUID iid, void** obj) override
    {
        if (FUnknownPrivate::iidEqual (iid, FUnknown::iid) || FUnknownPrivate::iidEqual (iid, IBStream::iid))
            *obj = static_cast<IBStream*> (this);
        else if (FUnknownPrivate::iidEqual (iid, ISizeableStream::iid))
            *obj = static_cast<ISizeableStream*> (this);
        else
            *obj = nullptr;
        return *obj != nullptr ? kResultOk : kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    tresult PLUGIN_API read (void* buffer, int32 numBytes, int32* numBytesRead) override
    {
        const auto count = (size_t) std::max<int64> (0, std::min<int64> (numBytes, (int64) bytes.size() - position));
        if (count > 0)
            std::memcpy (buffer, bytes.data() + position, count);
        position += (int64) count;
        if (numBytesRead != nullptr)
            *numBytesRead = (int32) count;
        return kResultTrue;
    }

    tresult PLUGIN_API write (void* buffer, int32 numBytes, int32* numBytesWritten) override
    {
        if (numBytes < 0)
            return kInvalidArgument;
        if ((size_t) position + (size_t) numBytes > bytes.size())
            bytes.resize ((size_t) position + (size_t) numBytes);
        std::memcpy (bytes.data() + position, buffer, (size_t) numBytes);
        position += numBytes;
        if (numBytesWritten != nullptr)
            *numBytesWritten = numBytes;
        return kResultTrue;
    }

    tresult PLUGIN_API seek (int64 pos, int32 mode, int64* result) override
    {
        const int64 base = mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? position : (int64) bytes.size();
        if (base + pos < 0 || base + pos > (int64) bytes.size())
            return kResultFalse;
        position = base + pos;
        if (result != nullptr)
            *result = position;
        return kResultTrue;
    }

    tresult PLUGIN_API tell (int64* pos) override
    {
        if (pos == nullptr)
            return kInvalidArgument;
        *pos = position;
        return kResultTrue;
    }

    tresult PLUGIN_API getStreamSize (int64& size) override
    {
        size = (int64) bytes.size();
        return kResultTrue;
    }
    tresult PLUGIN_API setStreamSize (int64) override { return kNotImplemented; }

private:
    std::vector<char> bytes;
    int64 position = 0;
};

// The audio component, made through the module's factory as a host makes it.
Vst::IComponent* makeComponent()
{
    auto* factory = GetPluginFactory();
    PClassInfo info;
    require (factory != nullptr && factory->getClassInfo (0, &info) == kResultOk, "the factory lists the audio module");
    void* component = nullptr;
    require (factory->createInstance (info.cid, Vst::IComponent::iid, &component) == kResultOk && component != nullptr,
             "the factory makes the audio component");
    factory->release(); // as a host does once it has its instances
    auto* result = static_cast<Vst::IComponent*> (component);
    require (result->initialize (nullptr) == kResultOk, "the component initialises");
    return result;
}

juce::MemoryBlock componentState (Vst::IComponent& component)
{
    ByteStream stream;
    require (component.getState (&stream) == kResultOk, "the component saves its state");
    return bytes (stream.getBytes().data(), stream.getBytes().size());
}

void setComponentState (Vst::IComponent& component, const void* data, size_t size)
{
    ByteStream stream (data, size);
    component.setState (&stream);
}

// A state away from the defaults: the processor's own bytes, as an older host would store them.
juce::MemoryBlock startingState()
{
    const auto state = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <PARAMS><PARAM id=\"SPACE\" value=\"12.3\"/>"
                       "<PARAM id=\"FILTER\" value=\"87.6\"/><PARAM id=\"GRAIN\" value=\"0.0\"/>"
                       "<PARAM id=\"WASH\" value=\"100.0\"/></PARAMS>";
    juce::MemoryBlock block;
    juce::AudioProcessor::copyXmlToBinary (*juce::parseXML (juce::String (state)), block);
    return block;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    // One component for all inputs (leaked on purpose at exit): making one starts JUCE's
    // message thread and costs far more than a restore.
    static auto* component = makeComponent();
    static const auto start = startingState();

    setComponentState (*component, start.getData(), start.getSize());
    setComponentState (*component, data, size);
    requireSaneSavedState (componentState (*component));
    return 0;
}
