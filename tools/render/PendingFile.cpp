#include "PendingFile.h"

#include "Failure.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace tools
{
namespace
{
// The temporary files an interrupt has to remove. A signal handler may only touch plain memory,
// so the paths are kept as fixed character arrays.
constexpr int maxPending = 4;
constexpr size_t maxPathBytes = 4096;
std::array<std::array<char, maxPathBytes>, maxPending> pendingPaths {};
std::array<volatile std::sig_atomic_t, maxPending> pendingInUse {};

int registerPending (const juce::File& file)
{
    const auto path = file.getFullPathName().toStdString();
    for (int i = 0; i < maxPending; ++i)
    {
        if (pendingInUse[(size_t) i] != 0 || path.size() >= maxPathBytes)
            continue;
        std::memcpy (pendingPaths[(size_t) i].data(), path.c_str(), path.size() + 1);
        pendingInUse[(size_t) i] = 1;
        return i;
    }
    return -1;
}

void unregisterPending (int slot)
{
    if (slot >= 0)
        pendingInUse[(size_t) slot] = 0;
}

extern "C" void removePendingAndStop (int signalNumber)
{
    for (int i = 0; i < maxPending; ++i)
        if (pendingInUse[(size_t) i] != 0)
            ::unlink (pendingPaths[(size_t) i].data());
    std::signal (signalNumber, SIG_DFL);
    std::raise (signalNumber);
}

juce::File unusedTemporaryFor (const juce::File& destination)
{
    for (;;)
    {
        const auto suffix = juce::String::toHexString (juce::Random::getSystemRandom().nextInt64());
        const auto candidate = destination.getSiblingFile ("." + destination.getFileName() + "." + suffix + ".part");
        if (! candidate.exists())
            return candidate;
    }
}

std::string systemError() { return std::strerror (errno); }
} // namespace

PendingFile::PendingFile (const juce::File& target, bool replace)
    : destination (target), temporary (unusedTemporaryFor (target)), replaceExisting (replace)
{
    slot = registerPending (temporary);
}

PendingFile::~PendingFile()
{
    temporary.deleteFile();
    unregisterPending (slot);
}

void PendingFile::commit()
{
    const auto from = temporary.getFullPathName().toStdString();
    const auto to = destination.getFullPathName().toStdString();

    if (replaceExisting)
    {
        if (::rename (from.c_str(), to.c_str()) != 0)
            throw Failure ("cannot write " + to + ": " + systemError());
        return;
    }

    // A hard link fails instead of replacing a file that appeared while we were rendering.
    if (::link (from.c_str(), to.c_str()) == 0)
    {
        ::unlink (from.c_str());
        return;
    }
    const int linkError = errno;
    if (linkError == EEXIST)
        throw Failure (to + " appeared while rendering; left as it is (use --force to replace it)");

    // File systems without hard links: look, then rename.
    const bool noHardLinks = linkError == EPERM || linkError == EOPNOTSUPP;
    if (noHardLinks && ! destination.exists() && ::rename (from.c_str(), to.c_str()) == 0)
        return;
    errno = linkError;
    throw Failure ("cannot write " + to + ": " + systemError());
}

void PendingFile::installInterruptCleanup()
{
    for (const int signalNumber : { SIGINT, SIGTERM, SIGHUP })
        std::signal (signalNumber, removePendingAndStop);
}
} // namespace tools
