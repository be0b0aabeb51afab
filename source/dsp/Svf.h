#pragma once

// Two-integrator (topology-preserving) state-variable filter. One step gives the highpass,
// band-pass and lowpass outputs together; the stages pick the one they need.

namespace dsp
{
class Svf
{
public:
    struct Outputs
    {
        float hp, bp, lp;
    };

    // Keeps the sample rate and clears the integrators; coefficients come from setCutoff.
    void prepare (double newSampleRate) noexcept;

    // g = tan(pi * fc / fs) with fc limited to 0.475 * fs; k = 1 / Q.
    void setCutoff (float cutoffHz, float newK) noexcept;

    // For callers that limit or compute g their own way.
    void setCoefficients (float newG, float newK) noexcept;

    void reset() noexcept { s1 = s2 = 0.0f; }

    Outputs process (float x) noexcept
    {
        const float hp = (x - (g + k) * s1 - s2) * h;
        const float bp = g * hp + s1;
        const float lp = g * bp + s2;
        s1 = bp + g * hp;
        s2 = lp + g * bp;
        return { hp, bp, lp };
    }

    double getSampleRate() const noexcept { return sampleRate; }
    float getG() const noexcept { return g; }
    float getK() const noexcept { return k; }
    float getH() const noexcept { return h; }

private:
    double sampleRate = 44100.0;
    float g = 0.1f, k = 1.4f, h = 1.0f;
    float s1 = 0.0f, s2 = 0.0f;
};
} // namespace dsp
