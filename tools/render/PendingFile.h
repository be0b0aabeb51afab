#pragma once

// An output file that only appears when it is complete. Everything is written to a hidden
// temporary file next to the destination (same folder, so same file system); commit() moves it
// into place in one step. A file never committed is removed: when the render fails, when the
// program returns early, and when it is interrupted (SIGINT, SIGTERM, SIGHUP).

#include <juce_core/juce_core.h>

namespace tools
{
class PendingFile
{
public:
    // replaceExisting: commit() may replace a file that exists by then (--force).
    PendingFile (const juce::File& destination, bool replaceExisting);
    ~PendingFile();

    const juce::File& getDestination() const noexcept { return destination; }
    const juce::File& getTemporaryFile() const noexcept { return temporary; }

    // Throws Failure when the file cannot be put in place; the temporary file is gone then.
    void commit();

    // Removes unfinished temporary files when the user interrupts the program.
    static void installInterruptCleanup();

private:
    juce::File destination;
    juce::File temporary;
    bool replaceExisting;
    int slot = -1;

    JUCE_DECLARE_NON_COPYABLE (PendingFile)
};
} // namespace tools
