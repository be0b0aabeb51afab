// No allocation and no lock on the audio thread. This program replaces the global allocation
// functions (operator new/delete and the C allocator that juce::HeapBlock uses) and the pthread
// locking calls with versions that count, on the calling thread, while a block is processed.

#include <gtest/gtest.h>

#include "PluginProcessor.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cstdlib>
#include <mutex>
#include <new>

extern "C" void* __libc_malloc (size_t);
extern "C" void* __libc_calloc (size_t, size_t);
extern "C" void* __libc_realloc (void*, size_t);
extern "C" void __libc_free (void*);

namespace
{
thread_local bool counting = false;
thread_local int allocations = 0;
thread_local int locks = 0;

void noteAllocation()
{
    if (counting)
        ++allocations;
}

void noteLock()
{
    if (counting)
        ++locks;
}

template <typename Function>
Function realFunction (const char* name)
{
    return reinterpret_cast<Function> (dlsym (RTLD_NEXT, name));
}

using MutexFunction = int (*) (pthread_mutex_t*);
using RwLockFunction = int (*) (pthread_rwlock_t*);
// Looked up before main, so no lookup happens while counting.
const MutexFunction realMutexLock = realFunction<MutexFunction> ("pthread_mutex_lock");
const MutexFunction realMutexTryLock = realFunction<MutexFunction> ("pthread_mutex_trylock");
const RwLockFunction realReadLock = realFunction<RwLockFunction> ("pthread_rwlock_rdlock");
const RwLockFunction realWriteLock = realFunction<RwLockFunction> ("pthread_rwlock_wrlock");
} // namespace

extern "C"
{
void* malloc (size_t size)
{
    noteAllocation();
    return __libc_malloc (size);
}
void* calloc (size_t count, size_t size)
{
    noteAllocation();
    return __libc_calloc (count, size);
}
void* realloc (void* pointer, size_t size)
{
    noteAllocation();
    return __libc_realloc (pointer, size);
}
void free (void* pointer)
{
    if (pointer != nullptr)
        noteAllocation();
    __libc_free (pointer);
}
int pthread_mutex_lock (pthread_mutex_t* mutex)
{
    noteLock();
    return realMutexLock (mutex);
}
int pthread_mutex_trylock (pthread_mutex_t* mutex)
{
    noteLock();
    return realMutexTryLock (mutex);
}
int pthread_rwlock_rdlock (pthread_rwlock_t* lock)
{
    noteLock();
    return realReadLock (lock);
}
int pthread_rwlock_wrlock (pthread_rwlock_t* lock)
{
    noteLock();
    return realWriteLock (lock);
}
}

void* operator new (size_t size)
{
    if (void* pointer = malloc (size == 0 ? 1 : size))
        return pointer;
    throw std::bad_alloc();
}
void* operator new[] (size_t size) { return operator new (size); }
void operator delete (void* pointer) noexcept { free (pointer); }
void operator delete[] (void* pointer) noexcept { free (pointer); }
void operator delete (void* pointer, size_t) noexcept { free (pointer); }
void operator delete[] (void* pointer, size_t) noexcept { free (pointer); }

namespace
{
struct FakePlayHead : juce::AudioPlayHead
{
    juce::Optional<PositionInfo> position;
    juce::Optional<PositionInfo> getPosition() const override { return position; }
};

struct Counts
{
    int allocations = 0, locks = 0;
};

// Processes one block of noise and counts what the audio thread did inside processBlock.
Counts processCounting (VellomireAudioProcessor& processor, juce::AudioBuffer<float>& buffer, juce::Random& random)
{
    for (int c = 0; c < buffer.getNumChannels(); ++c)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            buffer.setSample (c, i, random.nextFloat() - 0.5f);
    juce::MidiBuffer midi;

    allocations = locks = 0;
    counting = true;
    processor.processBlock (buffer, midi);
    counting = false;
    return { allocations, locks };
}

void setParameter (VellomireAudioProcessor& processor, const char* id, float value)
{
    auto* parameter = processor.valueTreeState.getParameter (id);
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
}
} // namespace

// Every block up to the announced size, in every size pattern a host uses, while the parameters
// move and the transport runs: no allocation, no lock.
TEST (AudioThread, NoAllocationAndNoLockForBlocksUpToTheAnnouncedSize)
{
    struct Case
    {
        int channels;
        double sampleRate;
        int announced;
    };
    for (auto [channels, sampleRate, announced] : { Case { 2, 44100.0, 512 }, Case { 1, 48000.0, 256 }, Case { 2, 96000.0, 1 },
                                                    Case { 2, 44100.0, 4096 }, Case { 2, 8000.0, 0 } })
    {
        VellomireAudioProcessor processor;
        juce::AudioProcessor::BusesLayout layout;
        const auto set = juce::AudioChannelSet::canonicalChannelSet (channels);
        layout.inputBuses.add (set);
        layout.outputBuses.add (set);
        ASSERT_TRUE (processor.setBusesLayout (layout));

        FakePlayHead playHead;
        processor.setPlayHead (&playHead);
        processor.prepareToPlay (sampleRate, announced);

        juce::Random random (3);
        const int largest = std::max (1, announced);
        juce::AudioBuffer<float> buffer (channels, largest);
        for (int b = 0; b < 300; ++b)
        {
            // Full blocks, then random sizes from 0 up to the announced size.
            const int size = b < 100 ? largest : random.nextInt (largest + 1);
            buffer.setSize (channels, size, false, false, true);

            juce::AudioPlayHead::PositionInfo info;
            info.setBpm (60.0 + b);
            info.setPpqPosition (b * 0.25);
            info.setIsPlaying (b % 50 < 40);
            playHead.position = info;
            if (b % 7 == 0)
                setParameter (processor, b % 14 == 0 ? "SPACE" : "GRAIN", random.nextFloat() * 100.0f);

            const auto counts = processCounting (processor, buffer, random);
            ASSERT_EQ (counts.allocations, 0) << channels << " channels at " << sampleRate << " Hz, block " << b << " of " << size;
            ASSERT_EQ (counts.locks, 0) << channels << " channels at " << sampleRate << " Hz, block " << b << " of " << size;
        }
    }
}

// The one allocation the design allows: a block longer than announced grows the parameter
// buffer once. This also shows that the counting above sees allocations inside processBlock.
TEST (AudioThread, ABlockLongerThanAnnouncedAllocatesOnceThenNoMore)
{
    VellomireAudioProcessor processor;
    processor.prepareToPlay (44100.0, 256);
    juce::Random random (5);
    juce::AudioBuffer<float> longer (2, 1024);
    EXPECT_GT (processCounting (processor, longer, random).allocations, 0);
    for (int size : { 1024, 256, 700, 1024 })
    {
        juce::AudioBuffer<float> buffer (2, size);
        EXPECT_EQ (processCounting (processor, buffer, random).allocations, 0) << size;
    }
}

// The lock counting above must see the locks JUCE and the standard library take.
TEST (AudioThread, LockCountingSeesJuceAndStandardLocks)
{
    juce::CriticalSection juceLock;
    std::mutex standardLock;
    locks = 0;
    counting = true;
    {
        const juce::ScopedLock scope (juceLock);
    }
    {
        const std::lock_guard<std::mutex> scope (standardLock);
    }
    counting = false;
    EXPECT_EQ (locks, 2);
}

