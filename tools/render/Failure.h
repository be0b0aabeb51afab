#pragma once

#include <stdexcept>
#include <string>

namespace tools
{
// What the command-line tools report before they stop: one line for the user and the exit code.
struct Failure : std::runtime_error
{
    static constexpr int usageError = 2;
    static constexpr int runError = 1;

    Failure (const std::string& message, int code = runError) : std::runtime_error (message), exitCode (code) {}

    int exitCode;
};

inline Failure usageFailure (const std::string& message) { return { message, Failure::usageError }; }
} // namespace tools
