// vellomire-render: runs an audio file (or the built-in demo phrase) through the VELLOMIRE
// processor exactly as a host bounces a track, and writes the result with the reverb's tail.
// See renderUsage() in render/RenderOptions.cpp or `vellomire-render --help`.

#include "render/AudioSource.h"
#include "render/DemoPhrase.h"
#include "render/Failure.h"
#include "render/OfflineHost.h"
#include "render/OutputFiles.h"
#include "render/PendingFile.h"
#include "render/ProgressBar.h"
#include "render/RenderOptions.h"
#include "render/Spectrogram.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdio>
#include <iostream>

using namespace tools;

namespace
{
// Everything the render needs, opened and checked before the first sample is processed.
struct RenderJob
{
    RenderOptions options;
    std::unique_ptr<AudioSource> source;
    AudioOutputPlan plan;
};

RenderJob prepareJob (RenderOptions options)
{
    auto source = options.demo ? makeBufferSource (makeDemoPhrase (demoSampleRate), demoSampleRate, "built-in demo phrase")
                               : openInputFile (options.input);
    std::vector<OtherFile> others;
    if (! options.demo)
        others.push_back ({ options.input, "input" });
    checkDestination (options.output, others, options.force);
    auto plan = planAudioOutput (options.output, options.format);

    if (options.spectrogram)
    {
        checkPngName (*options.spectrogram);
        others.push_back ({ options.output, "output" });
        checkDestination (*options.spectrogram, others, options.force);
    }
    return { std::move (options), std::move (source), std::move (plan) };
}

struct Spectrograms
{
    SpectrogramAnalyser before, after;
};

// Samples beyond full scale that an integer output format will clip.
juce::int64 countOverFullScale (const juce::AudioBuffer<float>& block, int numSamples)
{
    juce::int64 count = 0;
    for (int c = 0; c < block.getNumChannels(); ++c)
        for (const float* s = block.getReadPointer (c), *end = s + numSamples; s != end; ++s)
            count += std::abs (*s) > 1.0f ? 1 : 0;
    return count;
}

struct RenderResult
{
    juce::int64 totalSamples;
    juce::int64 clippedSamples;
    double seconds;
};

RenderResult renderAudio (const RenderJob& job, OfflineHost& host, juce::AudioFormatWriter& writer,
                          Spectrograms* pictures, juce::int64 totalSamples)
{
    auto& source = *job.source;
    const int channels = source.getNumChannels();
    const int blockSize = job.options.blockSize;
    juce::AudioBuffer<float> buffer (channels, blockSize);
    ProgressBar progress (! job.options.quiet, totalSamples, source.getSampleRate());
    const double start = secondsNow();
    juce::int64 clipped = 0;

    for (juce::int64 position = 0; position < totalSamples; position += blockSize)
    {
        const auto numSamples = (int) std::min<juce::int64> (blockSize, totalSamples - position);
        // The host hands the plug-in a block of exactly this many samples, the last one shorter.
        juce::AudioBuffer<float> block (buffer.getArrayOfWritePointers(), channels, numSamples);
        source.read (block, numSamples, position);
        if (pictures != nullptr)
            pictures->before.push (block, numSamples);

        host.process (block);

        if (pictures != nullptr)
            pictures->after.push (block, numSamples);
        if (job.plan.clipsAtFullScale())
            clipped += countOverFullScale (block, numSamples);
        if (! writer.writeFromAudioSampleBuffer (block, 0, numSamples))
            throw Failure ("cannot write " + job.options.output.getFullPathName().toStdString() + " (disk full?)");
        progress.update (position + numSamples);
    }
    progress.finish();
    return { totalSamples, clipped, secondsNow() - start };
}

juce::String describeSettings (const RenderOptions& options)
{
    const auto& k = options.knobs;
    auto text = juce::String::formatted ("Space %g, Shimmer %g, Grain %g, Wash %g", (double) k.space, (double) k.shimmer,
                                         (double) k.grain, (double) k.wash);
    if (options.transport.bpm)
        text << ", " << juce::String (*options.transport.bpm) << " BPM";
    if (options.transport.playing)
        text << ", playing";
    return text;
}

juce::Image drawPicture (const RenderJob& job, Spectrograms& pictures, juce::int64 totalSamples)
{
    pictures.before.finish();
    pictures.after.finish();
    const double seconds = (double) totalSamples / job.source->getSampleRate();
    return drawSpectrograms ("VELLOMIRE: before and after",
                             { &pictures.before, "Dry: " + job.source->getDescription() },
                             { &pictures.after, "Through VELLOMIRE: " + describeSettings (job.options) },
                             seconds);
}

std::string channelName (int channels) { return channels == 1 ? "mono" : "stereo"; }

void printSummary (const RenderJob& job, const RenderResult& result, double tailSeconds)
{
    const auto& source = *job.source;
    const double rate = source.getSampleRate();
    const double seconds = (double) result.totalSamples / rate;
    std::printf ("%s: %.2f s (%.2f s %s + %.2f s tail), %g Hz %s, %s %s\n",
                 job.options.output.getFullPathName().toRawUTF8(), seconds, (double) source.getLength() / rate,
                 source.getDescription().toRawUTF8(), tailSeconds, rate, channelName (source.getNumChannels()).c_str(),
                 describe (job.plan.sampleFormat).c_str(), job.plan.name.c_str());
    std::printf ("rendered in %.2f s, %.1fx real time\n", result.seconds, seconds / std::max (1.0e-9, result.seconds));
    if (job.options.spectrogram)
        std::printf ("%s: spectrograms before and after\n", job.options.spectrogram->getFullPathName().toRawUTF8());
}

int run (RenderOptions options)
{
    const auto job = prepareJob (std::move (options));
    const auto& source = *job.source;
    OfflineHost host (source.getNumChannels(), source.getSampleRate(), job.options.blockSize, job.options.knobs,
                      job.options.transport);
    if (! host.isLayoutAccepted())
        throw Failure ("the plug-in does not accept " + channelName (source.getNumChannels()) + " audio");

    const double tailSeconds = job.options.tailSeconds.value_or (host.getTailLengthSeconds());
    const auto totalSamples = source.getLength() + (juce::int64) std::llround (tailSeconds * source.getSampleRate());

    PendingFile::installInterruptCleanup();
    PendingFile audioFile (job.options.output, job.options.force);
    std::unique_ptr<PendingFile> pictureFile;
    std::unique_ptr<Spectrograms> pictures;
    if (job.options.spectrogram)
    {
        pictureFile = std::make_unique<PendingFile> (*job.options.spectrogram, job.options.force);
        const auto analyser = [&] { return SpectrogramAnalyser (source.getSampleRate(), totalSamples, spectrogramColumns, spectrogramRows); };
        pictures = std::make_unique<Spectrograms> (Spectrograms { analyser(), analyser() });
    }

    auto writer = createAudioWriter (job.plan, audioFile, source.getSampleRate(), source.getNumChannels());
    const auto result = renderAudio (job, host, *writer, pictures.get(), totalSamples);
    writer.reset(); // completes the file's header

    if (pictures != nullptr)
    {
        const juce::ScopedJuceInitialiser_GUI graphics; // fonts for the labels
        writePng (drawPicture (job, *pictures, totalSamples), *pictureFile);
    }

    audioFile.commit();
    if (pictureFile != nullptr)
        pictureFile->commit();

    if (result.clippedSamples > 0)
        std::fprintf (stderr, "vellomire-render: warning: %lld samples clipped at 0 dBFS in the %s output (--format f32 keeps them)\n",
                      (long long) result.clippedSamples, describe (job.plan.sampleFormat).c_str());
    if (! job.options.quiet)
        printSummary (job, result, tailSeconds);
    return 0;
}
} // namespace

int main (int argc, char* argv[])
{
    try
    {
        auto options = parseRenderOptions ({ argv + 1, argv + argc });
        if (options.showHelp)
        {
            std::cout << renderUsage();
            return 0;
        }
        if (options.showVersion)
        {
            std::cout << "vellomire-render (VELLOMIRE " << JucePlugin_VersionString << ")\n";
            return 0;
        }
        return run (std::move (options));
    }
    catch (const Failure& failure)
    {
        std::fprintf (stderr, "vellomire-render: %s\n", failure.what());
        return failure.exitCode;
    }
}
