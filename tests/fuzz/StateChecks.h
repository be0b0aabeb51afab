#pragma once

// What must hold after restoring any bytes at all. A failed check aborts: libFuzzer keeps the
// input as a finding, the replay program fails its test.

#include <juce_core/juce_core.h>

namespace state_checks
{
void require (bool condition, const char* what);

// The parameters in a saved state block: all four there, every value a number.
void requireSaneSavedState (const juce::MemoryBlock& saved);

juce::MemoryBlock bytes (const void* data, size_t size);
} // namespace state_checks
