#include "DemoPhrase.h"

#include <algorithm>
#include <cmath>

namespace tools
{
namespace
{
struct Note
{
    double startSeconds;
    double frequencyHz;
    double pan; // -1 left .. +1 right
    double velocity;
};

// A3 E4 C5 B4 E5, then A4 left ringing.
constexpr Note phrase[] {
    { 0.00, 220.00, -0.45, 1.00 }, { 0.32, 329.63, 0.35, 0.80 }, { 0.64, 523.25, -0.15, 0.70 },
    { 0.96, 493.88, 0.45, 0.70 },  { 1.28, 659.26, -0.35, 0.65 }, { 1.90, 440.00, 0.05, 0.90 },
};

constexpr double dampAtSeconds = 3.2;  // a hand mutes the strings here...
constexpr double dampSeconds = 0.12;   // ...over this long
constexpr double totalSeconds = 4.5;   // then silence until the end
constexpr double attackSeconds = 0.003;
constexpr double peakLevel = 0.5;      // -6 dBFS
constexpr double inharmonicity = 0.0004;
constexpr int maxPartials = 16;

// Gain of the note's envelope at time t after its start: a short attack, then the damper.
double envelopeAt (double t, double absoluteTime)
{
    const double attack = t < attackSeconds ? 0.5 - 0.5 * std::cos (juce::MathConstants<double>::pi * t / attackSeconds) : 1.0;
    const double sinceDamp = absoluteTime - dampAtSeconds;
    const double damper = sinceDamp <= 0.0 ? 1.0 : std::max (0.0, 1.0 - sinceDamp / dampSeconds);
    return attack * damper;
}

// A string plucked near its end: partials fall off as 1/k and the upper ones die away faster.
void addPluck (juce::AudioBuffer<float>& out, const Note& note, double sampleRate)
{
    const double angle = (note.pan + 1.0) * juce::MathConstants<double>::pi * 0.25;
    const double gains[] { std::cos (angle) * note.velocity, std::sin (angle) * note.velocity };
    const auto first = (int) std::lround (note.startSeconds * sampleRate);
    const auto last = std::min (out.getNumSamples(), (int) std::lround ((dampAtSeconds + dampSeconds) * sampleRate));
    const double baseDecaySeconds = 1.8 * 220.0 / (note.frequencyHz + 120.0);

    for (int k = 1; k <= maxPartials; ++k)
    {
        const double frequency = k * note.frequencyHz * std::sqrt (1.0 + inharmonicity * k * k);
        if (frequency > 0.45 * sampleRate)
            break;
        const double amplitude = 1.0 / k;
        const double decaySeconds = baseDecaySeconds / (1.0 + 0.45 * (k - 1));
        for (int i = first; i < last; ++i)
        {
            const double t = (i - first) / sampleRate;
            const double v = amplitude * std::exp (-t / decaySeconds) * envelopeAt (t, i / sampleRate)
                             * std::sin (juce::MathConstants<double>::twoPi * frequency * t);
            for (int c = 0; c < 2; ++c)
                out.getWritePointer (c)[i] += (float) (v * gains[c]);
        }
    }
}
} // namespace

juce::AudioBuffer<float> makeDemoPhrase (double sampleRate)
{
    juce::AudioBuffer<float> out (2, (int) std::lround (totalSeconds * sampleRate));
    out.clear();
    for (const auto& note : phrase)
        addPluck (out, note, sampleRate);

    const float peak = out.getMagnitude (0, out.getNumSamples());
    if (peak > 0.0f)
        out.applyGain ((float) peakLevel / peak);
    return out;
}
} // namespace tools
