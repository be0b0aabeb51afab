// Everything a host does at once: an audio thread processing blocks (with automation applied
// before each, as VST3 hosts deliver it), other threads moving parameters, and the message thread
// saving and restoring the state and opening and closing the editor while its timers and
// parameter attachments run. The ThreadSanitizer build runs this to prove it race-free.

#include <gtest/gtest.h>

#include "PluginProcessor.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

namespace
{
void setParameter (VellomireAudioProcessor& processor, const char* id, float value)
{
    auto* parameter = processor.valueTreeState.getParameter (id);
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
}

// The message thread's share: each tick saves the state, restores one of two states, and opens
// or closes the editor; after the run time it ends the dispatch loop.
class MessageThreadWork : public juce::Timer
{
public:
    MessageThreadWork (VellomireAudioProcessor& p, std::chrono::milliseconds runTime)
        : processor (p), end (std::chrono::steady_clock::now() + runTime)
    {
        startTimer (2);
    }

    void timerCallback() override
    {
        if (std::chrono::steady_clock::now() > end)
        {
            stopTimer();
            editor.reset();
            juce::MessageManager::getInstance()->stopDispatchLoop();
            return;
        }
        juce::MemoryBlock saved;
        processor.getStateInformation (saved);
        states[ticks % 2] = saved;
        const auto& other = states[(ticks + 1) % 2];
        processor.setStateInformation (other.getData(), (int) other.getSize());

        if (editor == nullptr)
            editor.reset (processor.createEditorIfNeeded());
        else
            editor.reset();
        ++ticks;
    }

    int ticks = 0;

private:
    VellomireAudioProcessor& processor;
    const std::chrono::steady_clock::time_point end;
    juce::MemoryBlock states[2];
    std::unique_ptr<juce::AudioProcessorEditor> editor;
};
} // namespace

TEST (Threads, AudioParametersStateAndEditorAtOnce)
{
    juce::ScopedJuceInitialiser_GUI messageThread;
    VellomireAudioProcessor processor;
    processor.prepareToPlay (44100.0, 512);

    std::atomic<bool> running { true };
    std::atomic<int> blocks { 0 };
    std::atomic<bool> allFinite { true };

    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        juce::Random random (1);
        while (running)
        {
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 512; ++i)
                    buffer.setSample (c, i, random.nextFloat() - 0.5f);
            setParameter (processor, "WASH", random.nextFloat() * 100.0f);
            processor.processBlock (buffer, midi);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 512; ++i)
                    if (! std::isfinite (buffer.getSample (c, i)))
                        allFinite = false;
            ++blocks;
        }
    });

    std::vector<std::thread> automation;
    for (const char* id : { "SPACE", "FILTER", "GRAIN" })
    {
        automation.emplace_back ([&, id] {
            juce::Random random ((juce::int64) id[0]);
            while (running)
            {
                setParameter (processor, id, random.nextFloat() * 100.0f);
                std::this_thread::sleep_for (std::chrono::microseconds (200));
            }
        });
    }

    MessageThreadWork work (processor, std::chrono::milliseconds (2000));
    juce::MessageManager::getInstance()->runDispatchLoop();

    running = false;
    audio.join();
    for (auto& thread : automation)
        thread.join();

    EXPECT_TRUE (allFinite);
    EXPECT_GT (blocks.load(), 0);
    // At least two editor openings and closings and four state round trips while audio ran;
    // far more on an idle machine, fewer under ThreadSanitizer on a busy one.
    EXPECT_GE (work.ticks, 4);
}
