// vellomire-render as a user runs it: the built program, real files in a scratch folder, exit
// codes and what it prints.

#include <gtest/gtest.h>

#include "PluginProcessor.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_graphics/juce_graphics.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
double pluginTailSeconds() { return VellomireAudioProcessor().getTailLengthSeconds(); }

struct RunResult
{
    int exitCode = -1;   // -1 when stopped by a signal
    int signal = 0;
    std::string out, err;
};

struct AudioFile
{
    juce::AudioBuffer<float> samples;
    double sampleRate = 0.0;
    int bitsPerSample = 0;
    bool isFloat = false;
};

// Noise at -12 dBFS peak, rounded to 16-bit steps so every format holds it exactly.
juce::AudioBuffer<float> testSignal (int channels, int length, int seed = 1)
{
    juce::Random random (seed);
    juce::AudioBuffer<float> buffer (channels, length);
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < length; ++i)
            buffer.setSample (c, i, (float) std::round ((random.nextFloat() - 0.5f) * 0.5f * 32768.0f) / 32768.0f);
    return buffer;
}

std::unique_ptr<juce::AudioFormat> formatFor (const juce::File& file)
{
    const auto extension = file.getFileExtension();
    if (extension == ".aiff")
        return std::make_unique<juce::AiffAudioFormat>();
    if (extension == ".flac")
        return std::make_unique<juce::FlacAudioFormat>();
    if (extension == ".ogg")
        return std::make_unique<juce::OggVorbisAudioFormat>();
    return std::make_unique<juce::WavAudioFormat>();
}

void writeAudio (const juce::File& file, const juce::AudioBuffer<float>& samples, double rate, int bits)
{
    auto format = formatFor (file);
    file.deleteFile(); // a FileOutputStream appends to what is there
    auto stream = std::make_unique<juce::FileOutputStream> (file);
    ASSERT_TRUE (stream->openedOk());
    const int quality = file.hasFileExtension ("ogg") ? 5 : 0;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        format->createWriterFor (stream.get(), rate, (unsigned) samples.getNumChannels(), bits, {}, quality));
    ASSERT_NE (writer, nullptr);
    stream.release();
    ASSERT_TRUE (writer->writeFromAudioSampleBuffer (samples, 0, samples.getNumSamples()));
}

AudioFile readAudio (const juce::File& file)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file));
    AudioFile result;
    if (reader == nullptr)
        return result;
    result.samples.setSize ((int) reader->numChannels, (int) reader->lengthInSamples);
    reader->read (&result.samples, 0, (int) reader->lengthInSamples, 0, true, true);
    result.sampleRate = reader->sampleRate;
    result.bitsPerSample = (int) reader->bitsPerSample;
    result.isFloat = reader->usesFloatingPointData;
    return result;
}

// Largest difference between the first length samples of a and b, channel by channel.
float maxDifference (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b, int length)
{
    float worst = 0.0f;
    for (int c = 0; c < a.getNumChannels(); ++c)
        for (int i = 0; i < length; ++i)
            worst = std::max (worst, std::abs (a.getSample (c, i) - b.getSample (c, i)));
    return worst;
}

float peakFrom (const juce::AudioBuffer<float>& buffer, int start)
{
    return start < buffer.getNumSamples() ? buffer.getMagnitude (start, buffer.getNumSamples() - start) : 0.0f;
}

class RenderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("vellomire-render-test", "");
        ASSERT_TRUE (folder.createDirectory());
    }

    void TearDown() override { folder.deleteRecursively(); }

    juce::File file (const juce::String& name) const { return folder.getChildFile (name); }

    // Runs the renderer in the scratch folder; its output and errors go to files there.
    RunResult run (const std::vector<std::string>& arguments) const
    {
        const auto outFile = folder.getParentDirectory().getChildFile (folder.getFileName() + ".out");
        const auto errFile = folder.getParentDirectory().getChildFile (folder.getFileName() + ".err");
        const pid_t pid = spawn (arguments, outFile, errFile);
        int status = 0;
        ::waitpid (pid, &status, 0);

        RunResult result;
        result.exitCode = WIFEXITED (status) ? WEXITSTATUS (status) : -1;
        result.signal = WIFSIGNALED (status) ? WTERMSIG (status) : 0;
        result.out = outFile.loadFileAsString().toStdString();
        result.err = errFile.loadFileAsString().toStdString();
        outFile.deleteFile();
        errFile.deleteFile();
        return result;
    }

    pid_t spawn (const std::vector<std::string>& arguments, const juce::File& outFile, const juce::File& errFile) const
    {
        std::vector<std::string> argv { VELLOMIRE_RENDER_PATH };
        argv.insert (argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> pointers;
        for (auto& a : argv)
            pointers.push_back (a.data());
        pointers.push_back (nullptr);

        const auto workDir = folder.getFullPathName().toStdString();
        const auto outPath = outFile.getFullPathName().toStdString();
        const auto errPath = errFile.getFullPathName().toStdString();
        const pid_t pid = ::fork();
        if (pid == 0)
        {
            if (::chdir (workDir.c_str()) != 0)
                ::_exit (127);
            ::dup2 (::open (outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            ::dup2 (::open (errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            ::execv (pointers[0], pointers.data());
            ::_exit (127);
        }
        return pid;
    }

    // Hidden files too: that is where unfinished renders would be.
    juce::StringArray folderContents() const
    {
        juce::StringArray names;
        for (const auto& entry : folder.findChildFiles (juce::File::findFilesAndDirectories, false))
            names.add (entry.getFileName());
        names.sort (false);
        return names;
    }

    juce::File folder;
};

std::string path (const juce::File& f) { return f.getFullPathName().toStdString(); }

int lineCount (const std::string& text) { return (int) std::count (text.begin(), text.end(), '\n'); }

TEST_F (RenderTest, SpaceZeroGivesTheInputBackThenSilenceAtTheFilesRateAndWidth)
{
    struct Case
    {
        int channels;
        double rate;
    };
    for (const auto& c : { Case { 1, 44100.0 }, Case { 2, 48000.0 }, Case { 2, 96000.0 }, Case { 1, 22050.0 } })
    {
        SCOPED_TRACE (std::to_string (c.channels) + " channels at " + std::to_string (c.rate));
        const auto input = testSignal (c.channels, 20000, c.channels);
        const auto in = file ("in.wav"), out = file ("out.wav");
        writeAudio (in, input, c.rate, 16);

        const auto result = run ({ path (in), path (out), "--space", "0", "--tail", "0.5", "--force" });
        ASSERT_EQ (result.exitCode, 0) << result.err;

        const auto rendered = readAudio (out);
        ASSERT_EQ (rendered.samples.getNumChannels(), c.channels);
        EXPECT_EQ (rendered.sampleRate, c.rate);
        ASSERT_EQ (rendered.samples.getNumSamples(), 20000 + (int) std::lround (0.5 * c.rate));
        // With no wet signal the dry path is untouched: dry * 1 + wet * 0, exact in float.
        EXPECT_EQ (maxDifference (rendered.samples, input, 20000), 0.0f);
        EXPECT_EQ (peakFrom (rendered.samples, 20000), 0.0f);
    }
}

TEST_F (RenderTest, TailIsThePluginsOwnUnlessGiven)
{
    struct Case
    {
        std::vector<std::string> options;
        int tailSamples;
    };
    const double rate = 44100.0;
    const Case cases[] {
        { {}, (int) std::lround (pluginTailSeconds() * rate) },
        { { "--tail", "0" }, 0 },
        { { "--tail", "0.25" }, 11025 },
        { { "--tail=1.00001" }, 44100 }, // rounded to the nearest sample
    };
    writeAudio (file ("in.wav"), testSignal (2, 3000), rate, 16);
    for (const auto& c : cases)
    {
        std::vector<std::string> args { "in.wav", "out.wav", "--force" };
        args.insert (args.end(), c.options.begin(), c.options.end());
        const auto result = run (args);
        ASSERT_EQ (result.exitCode, 0) << result.err;
        EXPECT_EQ (readAudio (file ("out.wav")).samples.getNumSamples(), 3000 + c.tailSamples);
    }
}

TEST_F (RenderTest, InputFormatsAreReadAndOutputFormatsRoundTrip)
{
    struct Case
    {
        const char* input;
        int inputBits;
        const char* output;
        std::vector<std::string> options;
        int outputBits;
        bool outputFloat;
    };
    const Case cases[] {
        { "in.wav", 16, "out.wav", {}, 32, true },
        { "in.wav", 24, "out.wav", { "--format", "f32" }, 32, true },
        { "in.wav", 32, "out.wav", { "--format", "s24" }, 24, false },
        { "in.wav", 16, "out.wav", { "--format", "s16" }, 16, false },
        { "in.aiff", 24, "out.aiff", {}, 24, false },
        { "in.aiff", 16, "out.aiff", { "--format", "s16" }, 16, false },
        { "in.flac", 24, "out.flac", {}, 24, false },
        { "in.flac", 16, "out.flac", { "--format=s16" }, 16, false },
        { "in.ogg", 16, "out.wav", {}, 32, true },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (std::string (c.input) + " -> " + c.output);
        writeAudio (file (c.input), testSignal (2, 12000), 44100.0, c.inputBits);
        // What the renderer should have read: lossy input decodes the same way every time.
        const auto decoded = readAudio (file (c.input));

        std::vector<std::string> args { c.input, c.output, "--space", "0", "--tail", "0", "--force" };
        args.insert (args.end(), c.options.begin(), c.options.end());
        const auto result = run (args);
        ASSERT_EQ (result.exitCode, 0) << result.err;

        const auto rendered = readAudio (file (c.output));
        EXPECT_EQ (rendered.bitsPerSample, c.outputBits);
        EXPECT_EQ (rendered.isFloat, c.outputFloat);
        ASSERT_EQ (rendered.samples.getNumSamples(), decoded.samples.getNumSamples());
        // The test signal sits on the 16-bit grid, so every format carries it exactly; the decoded
        // Ogg is off the grid but goes into 32-bit float.
        EXPECT_EQ (maxDifference (rendered.samples, decoded.samples, decoded.samples.getNumSamples()), 0.0f);
    }
}

// A minimal host, written out independently of the renderer: the render must be exactly what
// this host hears from the processor with the same knobs, tempo, transport and block size.
juce::AudioBuffer<float> renderLikeAHost (const juce::AudioBuffer<float>& input, double rate, int blockSize,
                                          int totalLength)
{
    struct PlayHead : juce::AudioPlayHead
    {
        double rate;
        juce::int64 position = 0;
        juce::Optional<PositionInfo> getPosition() const override
        {
            PositionInfo info;
            info.setBpm (93.0);
            info.setIsPlaying (true);
            info.setTimeInSamples (position);
            info.setTimeInSeconds ((double) position / rate);
            info.setPpqPosition ((double) position / rate * 93.0 / 60.0);
            return info;
        }
    } playHead;
    playHead.rate = rate;

    VellomireAudioProcessor processor;
    const std::pair<const char*, float> knobs[] { { "SPACE", 80.0f }, { "FILTER", 70.0f }, { "GRAIN", 60.0f }, { "WASH", 90.0f } };
    for (const auto& [id, value] : knobs)
    {
        auto* parameter = processor.valueTreeState.getParameter (id);
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
    }
    processor.setPlayHead (&playHead);
    processor.prepareToPlay (rate, blockSize);

    juce::AudioBuffer<float> output (input.getNumChannels(), totalLength);
    output.clear();
    output.copyFrom (0, 0, input, 0, 0, input.getNumSamples());
    output.copyFrom (1, 0, input, 1, 0, input.getNumSamples());
    juce::MidiBuffer midi;
    for (int start = 0; start < totalLength; start += blockSize)
    {
        juce::AudioBuffer<float> block (output.getArrayOfWritePointers(), 2, start, std::min (blockSize, totalLength - start));
        processor.processBlock (block, midi);
        playHead.position += block.getNumSamples();
    }
    return output;
}

TEST_F (RenderTest, RendersExactlyWhatAHostHearsWithTheSameSettings)
{
    const double rate = 48000.0;
    const auto input = testSignal (2, 30000);
    writeAudio (file ("in.wav"), input, rate, 16);

    const auto result = run ({ "in.wav", "out.wav", "--space", "80", "--shimmer", "70", "--grain", "60", "--wash", "90",
                               "--tempo", "93", "--playing", "--block", "100", "--tail", "1" });
    ASSERT_EQ (result.exitCode, 0) << result.err;

    const auto rendered = readAudio (file ("out.wav"));
    const int total = 30000 + 48000;
    ASSERT_EQ (rendered.samples.getNumSamples(), total);
    EXPECT_EQ (maxDifference (rendered.samples, renderLikeAHost (input, rate, 100, total), total), 0.0f);
}

TEST_F (RenderTest, DemoNeedsNoInputFileAndDrawsTheSpectrograms)
{
    const auto result = run ({ "--demo", "demo.wav", "--spectrogram", "demo.png", "--tail", "2" });
    ASSERT_EQ (result.exitCode, 0) << result.err;

    const auto demo = readAudio (file ("demo.wav"));
    EXPECT_EQ (demo.sampleRate, 48000.0);
    EXPECT_EQ (demo.samples.getNumChannels(), 2);
    // A phrase of a few seconds, then the tail asked for.
    EXPECT_GT (demo.samples.getNumSamples(), 2 * 48000 + 2 * 48000);
    EXPECT_LT (demo.samples.getNumSamples(), 10 * 48000 + 2 * 48000);
    EXPECT_GT (demo.samples.getMagnitude (0, demo.samples.getNumSamples()), 0.1f);

    const auto picture = juce::ImageFileFormat::loadFrom (file ("demo.png"));
    ASSERT_TRUE (picture.isValid());
    EXPECT_GT (picture.getWidth(), picture.getHeight());
    EXPECT_NE (result.out.find (path (file ("demo.wav"))), std::string::npos);
    EXPECT_NE (result.out.find (path (file ("demo.png"))), std::string::npos);
}

TEST_F (RenderTest, OutsideATerminalOnlyTheSummaryIsPrintedAndQuietPrintsNothing)
{
    writeAudio (file ("in.wav"), testSignal (1, 1000), 44100.0, 16);

    const auto normal = run ({ "in.wav", "a.wav", "--tail", "0" });
    ASSERT_EQ (normal.exitCode, 0);
    EXPECT_EQ (normal.err, ""); // no progress bar into a file
    EXPECT_NE (normal.out.find ("real time"), std::string::npos);

    const auto quiet = run ({ "in.wav", "b.wav", "--tail", "0", "--quiet" });
    ASSERT_EQ (quiet.exitCode, 0);
    EXPECT_EQ (quiet.out + quiet.err, "");
}

TEST_F (RenderTest, ForceReplacesAnExistingOutput)
{
    writeAudio (file ("in.wav"), testSignal (1, 1000), 44100.0, 16);
    file ("out.wav").replaceWithText ("an older render");

    const auto result = run ({ "in.wav", "out.wav", "--tail", "0", "-f" });
    ASSERT_EQ (result.exitCode, 0) << result.err;
    EXPECT_EQ (readAudio (file ("out.wav")).samples.getNumSamples(), 1000);
}

// Every refusal: one line naming the problem, the right exit code, and no file touched or left
// behind (the input and an existing output keep their bytes, no temporary file remains).
TEST_F (RenderTest, BadInputIsRefusedWithOneLineAndNothingIsLost)
{
    writeAudio (file ("in.wav"), testSignal (2, 1000), 44100.0, 16);
    writeAudio (file ("six.wav"), testSignal (6, 1000), 44100.0, 16);
    file ("text.wav").replaceWithText ("not audio at all");
    file ("taken.wav").replaceWithText ("someone's earlier render");
    file ("taken.png").replaceWithText ("someone's earlier picture");
    file ("folder").createDirectory();

    struct Case
    {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    };
    const Case cases[] {
        { { "missing.wav", "out.wav" }, 1, "missing.wav: no such file" },
        { { "folder", "out.wav" }, 1, "is a folder" },
        { { "text.wav", "out.wav" }, 1, "is not a WAV, AIFF, FLAC or Ogg Vorbis file" },
        { { "six.wav", "out.wav" }, 1, "has 6 channels; VELLOMIRE takes mono or stereo" },
        { { "in.wav", "out.mp3" }, 2, "cannot tell the output format" },
        { { "in.wav", "out" }, 2, "cannot tell the output format" },
        { { "in.wav", "out.flac", "--format", "f32" }, 2, "FLAC files cannot hold 32-bit float" },
        { { "in.wav", "out.aiff", "--format", "f32" }, 2, "AIFF files cannot hold 32-bit float" },
        { { "in.wav", "out.wav", "--format", "s32" }, 2, "'s32' is not one of f32, s24, s16" },
        { { "in.wav", "out.wav", "--space", "101" }, 2, "--space: 101 is out of range (0 to 100)" },
        { { "in.wav", "out.wav", "--shimmer", "-0.5" }, 2, "--shimmer: -0.5 is out of range" },
        { { "in.wav", "out.wav", "--grain", "nan" }, 2, "--grain: 'nan' is not a number" },
        { { "in.wav", "out.wav", "--wash", "50%" }, 2, "--wash: '50%' is not a number" },
        { { "in.wav", "out.wav", "--tempo", "0" }, 2, "--tempo: 0 is out of range" },
        { { "in.wav", "out.wav", "--block", "0" }, 2, "--block: 0 is out of range" },
        { { "in.wav", "out.wav", "--block", "64.5" }, 2, "--block: '64.5' is not a whole number" },
        { { "in.wav", "out.wav", "--tail", "-1" }, 2, "--tail: -1 is out of range" },
        { { "in.wav", "out.wav", "--tail" }, 2, "--tail needs a value" },
        { { "in.wav", "out.wav", "--playing=yes" }, 2, "--playing takes no value" },
        { { "in.wav", "out.wav", "--reverb", "5" }, 2, "unknown option '--reverb'" },
        { { "in.wav" }, 2, "expected an input and an output file" },
        { { "in.wav", "a.wav", "b.wav" }, 2, "expected an input and an output file" },
        { { "--demo", "in.wav", "out.wav" }, 2, "--demo takes one file" },
        { { "in.wav", "in.wav" }, 2, "is the input as well" },
        { { "in.wav", "./folder/../in.wav", "--force" }, 2, "is the input as well" },
        { { "in.wav", "out2.wav", "--spectrogram", "out2.jpg" }, 2, "should be a .png file" },
        { { "in.wav", "out2.wav", "--spectrogram", "out2.wav" }, 2, "should be a .png file" },
        { { "in.wav", "taken.wav" }, 1, "taken.wav already exists (use --force to replace it)" },
        { { "in.wav", "folder" }, 1, "folder is a folder" },
        { { "in.wav", "nowhere/out.wav" }, 1, "folder " + path (file ("nowhere")) + " does not exist" },
        { { "in.wav", "out2.wav", "--spectrogram", "taken.png" }, 1, "taken.png already exists" },
    };

    for (const auto& c : cases)
    {
        std::string joined;
        for (const auto& a : c.args)
            joined += a + " ";
        SCOPED_TRACE (joined);

        const auto before = folderContents();
        const auto inputBytes = file ("in.wav").loadFileAsString();
        const auto result = run (c.args);

        EXPECT_EQ (result.exitCode, c.exitCode);
        EXPECT_EQ (lineCount (result.err), 1) << result.err;
        EXPECT_EQ (result.err.rfind ("vellomire-render: ", 0), 0u) << result.err;
        EXPECT_NE (result.err.find (c.message), std::string::npos) << result.err;
        EXPECT_EQ (result.out, "");
        EXPECT_EQ (folderContents(), before);
        EXPECT_EQ (file ("in.wav").loadFileAsString(), inputBytes);
        EXPECT_EQ (file ("taken.wav").loadFileAsString(), "someone's earlier render");
        EXPECT_EQ (file ("taken.png").loadFileAsString(), "someone's earlier picture");
    }
}

TEST_F (RenderTest, UnreadableInputIsRefused)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    writeAudio (file ("locked.wav"), testSignal (1, 100), 44100.0, 16);
    file ("locked.wav").setReadOnly (true);
    ::chmod (path (file ("locked.wav")).c_str(), 0);

    const auto result = run ({ "locked.wav", "out.wav" });
    EXPECT_EQ (result.exitCode, 1);
    EXPECT_NE (result.err.find ("permission denied"), std::string::npos) << result.err;
    EXPECT_FALSE (file ("out.wav").exists());
}

TEST_F (RenderTest, AnInterruptedRenderLeavesNoFileBehind)
{
    writeAudio (file ("in.wav"), testSignal (2, 1000), 44100.0, 16);
    const auto before = folderContents();

    // Ten minutes of tail: far longer than the test waits.
    const auto outFile = file ("run.out"), errFile = file ("run.err");
    const pid_t pid = spawn ({ "in.wav", "out.wav", "--tail", "600" }, outFile, errFile);

    // Wait until the render is under way: its temporary file has appeared.
    const auto isRendering = [&]
    {
        for (const auto& f : folder.findChildFiles (juce::File::findFiles, false, ".out.wav.*.part"))
            if (f.getSize() > 0)
                return true;
        return false;
    };
    bool started = false;
    for (int i = 0; i < 800 && ! started; ++i) // up to 20 s on a busy machine
    {
        juce::Thread::sleep (25);
        started = isRendering();
    }

    ::kill (pid, SIGINT);
    int status = 0;
    ::waitpid (pid, &status, 0);
    EXPECT_TRUE (started);
    EXPECT_TRUE (WIFSIGNALED (status) && WTERMSIG (status) == SIGINT);

    outFile.deleteFile();
    errFile.deleteFile();
    EXPECT_EQ (folderContents(), before);
}
} // namespace
