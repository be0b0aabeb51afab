#pragma once

// Saved-state blocks as hosts store them: the magic "VC2!", a little-endian length, the XML text
// and a closing zero byte. The length can be given on its own to make broken blocks.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline std::vector<char> stateBlock (const std::string& text, std::optional<std::uint32_t> lengthField = {})
{
    const std::uint32_t length = lengthField.value_or ((std::uint32_t) text.size());
    std::vector<char> block { 'V', 'C', '2', '!' };
    for (int shift = 0; shift < 32; shift += 8)
        block.push_back ((char) ((length >> shift) & 0xff));
    block.insert (block.end(), text.begin(), text.end());
    block.push_back (0);
    return block;
}
