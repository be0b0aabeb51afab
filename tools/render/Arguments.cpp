#include "Arguments.h"

#include "Failure.h"

#include <juce_core/juce_core.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace tools
{
double parseNumber (const std::string& option, const std::string& text, double low, double high)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod (text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE || ! std::isfinite (value))
        throw usageFailure (option + ": '" + text + "' is not a number");
    if (value < low || value > high)
        throw usageFailure (option + ": " + text + " is out of range (" + juce::String (low).toStdString() + " to "
                            + juce::String (high).toStdString() + ")");
    return value;
}

int parseWholeNumber (const std::string& option, const std::string& text, int low, int high)
{
    const double value = parseNumber (option, text, low, high);
    if (value != std::floor (value))
        throw usageFailure (option + ": '" + text + "' is not a whole number");
    return (int) value;
}
} // namespace tools
