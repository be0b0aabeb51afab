#pragma once

// Numbers on the command line, checked whole: "12abc", "nan" and values out of range are refused
// with a usage Failure that names the option.

#include <string>

namespace tools
{
double parseNumber (const std::string& option, const std::string& text, double low, double high);
int parseWholeNumber (const std::string& option, const std::string& text, int low, int high);
} // namespace tools
