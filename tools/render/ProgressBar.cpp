#include "ProgressBar.h"

#include <cstdio>
#include <unistd.h>

namespace tools
{
namespace
{
constexpr int barWidth = 32;
constexpr double redrawInterval = 0.1;
constexpr double minimumSecondsForSpeed = 0.25; // before that the speed is mostly start-up
} // namespace

double secondsNow() { return juce::Time::getMillisecondCounterHiRes() * 0.001; }

ProgressBar::ProgressBar (bool wanted, juce::int64 totalSamples, double rate)
    : enabled (wanted && ::isatty (STDERR_FILENO) != 0),
      total (std::max<juce::int64> (1, totalSamples)),
      sampleRate (rate),
      startSeconds (secondsNow())
{
}

void ProgressBar::update (juce::int64 samplesDone)
{
    if (enabled && secondsNow() - lastDrawSeconds >= redrawInterval)
        draw (samplesDone);
}

void ProgressBar::finish()
{
    if (! enabled)
        return;
    draw (total);
    std::fputc ('\n', stderr);
}

void ProgressBar::draw (juce::int64 samplesDone)
{
    lastDrawSeconds = secondsNow();
    const double fraction = (double) samplesDone / (double) total;
    const int filled = (int) (fraction * barWidth);
    const double elapsed = lastDrawSeconds - startSeconds;

    char bar[barWidth + 1];
    for (int i = 0; i < barWidth; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[barWidth] = '\0';

    std::fprintf (stderr, "\rrendering [%s] %3d%%", bar, (int) (fraction * 100.0));
    if (elapsed >= minimumSecondsForSpeed)
        std::fprintf (stderr, "  %6.1fx real time", (double) samplesDone / sampleRate / elapsed);
    std::fflush (stderr);
}
} // namespace tools
