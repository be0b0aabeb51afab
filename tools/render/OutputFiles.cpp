#include "OutputFiles.h"

#include "Failure.h"

#include <filesystem>

namespace tools
{
namespace
{
std::string pathOf (const juce::File& file) { return file.getFullPathName().toStdString(); }

bool isSameFile (const juce::File& a, const juce::File& b)
{
    if (a == b)
        return true;
    std::error_code error;
    return a.exists() && b.exists()
           && std::filesystem::equivalent (pathOf (a), pathOf (b), error);
}

struct NamedFormat
{
    std::unique_ptr<juce::AudioFormat> format;
    std::string name;
};

NamedFormat formatForExtension (const juce::String& extension)
{
    const auto lower = extension.toLowerCase();
    if (lower == ".wav")
        return { std::make_unique<juce::WavAudioFormat>(), "WAV" };
    if (lower == ".aif" || lower == ".aiff")
        return { std::make_unique<juce::AiffAudioFormat>(), "AIFF" };
    if (lower == ".flac")
        return { std::make_unique<juce::FlacAudioFormat>(), "FLAC" };
    return {};
}

// FLAC's encoder works hardest at its top settings for little gain; its own default it is.
int qualityIndexFor (juce::AudioFormat& format)
{
    const auto options = format.getQualityOptions();
    for (int i = 0; i < options.size(); ++i)
        if (options[i].containsIgnoreCase ("default"))
            return i;
    return 0;
}
} // namespace

AudioOutputPlan planAudioOutput (const juce::File& file, std::optional<SampleFormat> requested)
{
    auto [format, name] = formatForExtension (file.getFileExtension());
    if (format == nullptr)
        throw usageFailure (pathOf (file) + ": cannot tell the output format from the name (use .wav, .aiff or .flac)");

    const auto depths = format->getPossibleBitDepths();
    const auto sampleFormat = requested.value_or (depths.contains (32) ? SampleFormat::float32 : SampleFormat::int24);
    if (! depths.contains (bitsPerSample (sampleFormat)))
        throw usageFailure ("--format: " + name + " files cannot hold " + describe (sampleFormat) + " samples (use s24 or s16)");
    return { std::move (format), name, sampleFormat };
}

void checkDestination (const juce::File& file, const std::vector<OtherFile>& others, bool replaceExisting)
{
    const auto path = pathOf (file);
    for (const auto& other : others)
        if (isSameFile (file, other.file))
            throw usageFailure (path + " is the " + other.role + " as well; input and outputs must be different files");
    if (file.isDirectory())
        throw Failure (path + " is a folder");
    if (file.exists() && ! replaceExisting)
        throw Failure (path + " already exists (use --force to replace it)");

    const auto folder = file.getParentDirectory();
    if (! folder.isDirectory())
        throw Failure ("cannot write " + path + ": folder " + pathOf (folder) + " does not exist");
    if (! folder.hasWriteAccess())
        throw Failure ("cannot write " + path + ": permission denied");
}

void checkPngName (const juce::File& file)
{
    if (! file.hasFileExtension ("png"))
        throw usageFailure ("--spectrogram: " + pathOf (file) + " should be a .png file");
}

std::unique_ptr<juce::AudioFormatWriter> createAudioWriter (const AudioOutputPlan& plan, const PendingFile& file,
                                                            double sampleRate, int numChannels)
{
    auto stream = std::make_unique<juce::FileOutputStream> (file.getTemporaryFile());
    if (! stream->openedOk())
        throw Failure ("cannot write " + pathOf (file.getDestination()) + ": "
                       + stream->getStatus().getErrorMessage().toStdString());

    std::unique_ptr<juce::AudioFormatWriter> writer (plan.format->createWriterFor (
        stream.get(), sampleRate, (unsigned int) numChannels, bitsPerSample (plan.sampleFormat), {},
        qualityIndexFor (*plan.format)));
    if (writer == nullptr)
        throw Failure ("cannot write " + plan.name + " at "
                       + juce::String (sampleRate).toStdString() + " Hz, " + describe (plan.sampleFormat));
    stream.release(); // the writer owns it now
    return writer;
}

void writePng (const juce::Image& image, const PendingFile& file)
{
    juce::FileOutputStream stream (file.getTemporaryFile());
    juce::PNGImageFormat png;
    if (! stream.openedOk() || ! png.writeImageToStream (image, stream) || ! stream.getStatus().wasOk())
        throw Failure ("cannot write " + pathOf (file.getDestination()));
}
} // namespace tools
