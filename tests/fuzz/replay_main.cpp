// Runs a fuzz target over the files it is given (or the files in the folders it is given), as
// libFuzzer would run its corpus, for builds without libFuzzer.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size);

namespace
{
void replay (const std::filesystem::path& file)
{
    std::ifstream in (file, std::ios::binary);
    const std::vector<std::uint8_t> data ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput (data.data(), data.size());
}
} // namespace

int main (int argc, char** argv)
{
    int replayed = 0;
    for (int i = 1; i < argc; ++i)
    {
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory (argv[i]))
            for (const auto& entry : std::filesystem::directory_iterator (argv[i]))
                files.push_back (entry.path());
        else
            files.push_back (argv[i]);

        for (const auto& file : files)
        {
            replay (file);
            ++replayed;
        }
    }
    std::printf ("replayed %d inputs\n", replayed);
    // No input at all means the paths are wrong, not that everything passed.
    return replayed > 0 ? 0 : 1;
}
