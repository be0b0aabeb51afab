#pragma once

// Spectrograms for the renderer: a short-time spectrum gathered while the audio streams past
// (so a long file never has to sit in memory), reduced to a grid of time columns and
// log-frequency rows, and a picture of two such grids, before and after, one above the other.

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_graphics/juce_graphics.h>

#include <complex>
#include <vector>

namespace tools
{
class SpectrogramAnalyser
{
public:
    static constexpr float lowestHz = 30.0f;
    static constexpr float floorDb = -96.0f;

    // totalSamples is the length of the whole signal that will be pushed.
    SpectrogramAnalyser (double sampleRate, juce::int64 totalSamples, int columns, int rows);

    // Channels are averaged: the picture shows the mid signal.
    void push (const juce::AudioBuffer<float>& block, int numSamples);
    // Analyses the frames that reach past the end; call once, after the last push.
    void finish();

    int getColumns() const noexcept { return columns; }
    int getRows() const noexcept { return rows; }
    float getHighestHz() const noexcept { return highestHz; }
    // Level in dB relative to a full-scale sine, at least floorDb; row 0 is the lowest frequency.
    float levelDb (int column, int row) const noexcept;

private:
    void pushSample (float x);
    void analyseFrame (juce::int64 centre);
    float rowPower (int row) const noexcept;

    double sampleRate;
    juce::int64 totalSamples;
    int columns, rows;
    float highestHz;
    int fftSize, hop;
    std::vector<float> window;
    float windowSum = 0.0f;
    std::vector<float> history;
    int historyIndex = 0;
    juce::int64 samplesPushed = 0; // including the half-window of silence in front
    std::vector<std::complex<float>> spectrum;
    std::vector<double> powerSum;
    std::vector<int> frameCount;
};

struct SpectrogramPanel
{
    const SpectrogramAnalyser* analyser;
    juce::String title;
};

// Both panels share the time axis: durationSeconds is the length of either signal.
juce::Image drawSpectrograms (const juce::String& title, const SpectrogramPanel& upper,
                              const SpectrogramPanel& lower, double durationSeconds);

// The picture draws one pixel per column and row of its analysers; this size reads well.
inline constexpr int spectrogramColumns = 1200;
inline constexpr int spectrogramRows = 260;
} // namespace tools
