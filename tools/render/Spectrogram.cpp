#include "Spectrogram.h"

#include <cmath>

namespace tools
{
namespace
{
// In-place radix-2 FFT; the size is a power of two.
void fft (std::vector<std::complex<float>>& x)
{
    const auto n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i)
    {
        size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap (x[i], x[j]);
    }
    for (size_t length = 2; length <= n; length <<= 1)
    {
        const double angle = -2.0 * juce::MathConstants<double>::pi / (double) length;
        const std::complex<float> step ((float) std::cos (angle), (float) std::sin (angle));
        for (size_t start = 0; start < n; start += length)
        {
            std::complex<float> w (1.0f, 0.0f);
            for (size_t k = 0; k < length / 2; ++k)
            {
                const auto even = x[start + k];
                const auto odd = x[start + k + length / 2] * w;
                x[start + k] = even + odd;
                x[start + k + length / 2] = even - odd;
                w *= step;
            }
        }
    }
}

// About 43 ms windows at any rate: fine enough in time for plucks, in frequency for the bass.
int fftSizeFor (double sampleRate)
{
    int size = 256;
    while (size < sampleRate / 24.0)
        size *= 2;
    return size;
}
} // namespace

SpectrogramAnalyser::SpectrogramAnalyser (double rate, juce::int64 length, int numColumns, int numRows)
    : sampleRate (rate),
      totalSamples (std::max<juce::int64> (1, length)),
      columns (numColumns),
      rows (numRows),
      highestHz ((float) std::min (20000.0, 0.5 * rate)),
      fftSize (fftSizeFor (rate)),
      hop (fftSize / 4),
      window ((size_t) fftSize),
      history ((size_t) fftSize, 0.0f),
      spectrum ((size_t) fftSize),
      powerSum ((size_t) (numColumns * numRows), 0.0),
      frameCount ((size_t) numColumns, 0)
{
    for (int i = 0; i < fftSize; ++i)
    {
        window[(size_t) i] = 0.5f - 0.5f * std::cos (juce::MathConstants<float>::twoPi * (float) i / (float) fftSize);
        windowSum += window[(size_t) i];
    }
    // Frames are centred on their sample: half a window of silence goes in front.
    samplesPushed = fftSize / 2;
}

void SpectrogramAnalyser::push (const juce::AudioBuffer<float>& block, int numSamples)
{
    const int channels = block.getNumChannels();
    for (int i = 0; i < numSamples; ++i)
    {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c)
            sum += block.getSample (c, i);
        pushSample (sum / (float) channels);
    }
}

void SpectrogramAnalyser::finish()
{
    for (int i = 0; i < fftSize / 2; ++i)
        pushSample (0.0f);

    // Columns no frame landed in (short signals, wide pictures) show their left neighbour.
    for (int column = 1; column < columns; ++column)
    {
        if (frameCount[(size_t) column] > 0 || frameCount[(size_t) column - 1] == 0)
            continue;
        for (int row = 0; row < rows; ++row)
            powerSum[(size_t) (column * rows + row)] = powerSum[(size_t) ((column - 1) * rows + row)] / frameCount[(size_t) column - 1];
        frameCount[(size_t) column] = 1;
    }
}

void SpectrogramAnalyser::pushSample (float x)
{
    history[(size_t) historyIndex] = x;
    historyIndex = (historyIndex + 1) % fftSize;
    ++samplesPushed;

    const auto centre = samplesPushed - fftSize;
    if (centre >= 0 && centre % hop == 0 && centre < totalSamples)
        analyseFrame (centre);
}

void SpectrogramAnalyser::analyseFrame (juce::int64 centre)
{
    for (int i = 0; i < fftSize; ++i)
        spectrum[(size_t) i] = { history[(size_t) ((historyIndex + i) % fftSize)] * window[(size_t) i], 0.0f };
    fft (spectrum);

    const auto column = (int) std::min<juce::int64> (columns - 1, centre * columns / totalSamples);
    for (int row = 0; row < rows; ++row)
        powerSum[(size_t) (column * rows + row)] += rowPower (row);
    ++frameCount[(size_t) column];
}

// The strongest bin inside the row's band, or the nearest bin where the band is narrower than
// one bin (the low rows of a log axis).
float SpectrogramAnalyser::rowPower (int row) const noexcept
{
    const double ratio = (double) highestHz / lowestHz;
    const double binHz = sampleRate / fftSize;
    const double fromBin = lowestHz * std::pow (ratio, (double) row / rows) / binHz;
    const double toBin = lowestHz * std::pow (ratio, (double) (row + 1) / rows) / binHz;

    const auto binPower = [this] (int bin)
    {
        const float amplitude = std::abs (spectrum[(size_t) bin]) * 2.0f / windowSum;
        return amplitude * amplitude;
    };

    const int first = (int) std::ceil (fromBin);
    const int last = std::min (fftSize / 2, (int) std::floor (toBin));
    if (first > last)
        return binPower (std::min (fftSize / 2, (int) std::lround (0.5 * (fromBin + toBin))));

    float strongest = 0.0f;
    for (int bin = first; bin <= last; ++bin)
        strongest = std::max (strongest, binPower (bin));
    return strongest;
}

float SpectrogramAnalyser::levelDb (int column, int row) const noexcept
{
    const int frames = frameCount[(size_t) column];
    const double power = frames > 0 ? powerSum[(size_t) (column * rows + row)] / frames : 0.0;
    return power > 0.0 ? std::max (floorDb, (float) (10.0 * std::log10 (power))) : floorDb;
}
} // namespace tools
