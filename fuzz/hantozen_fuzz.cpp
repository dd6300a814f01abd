// Kana widening of arbitrary bytes: never a crash, and every half-width kana is gone.
#include "engine/cp932.h"
#include "engine/hantozen.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kestrova::engine;
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string bytes = input;
    HanToZenBytes(bytes);
    if (bytes.size() > 2 * input.size())
        std::abort();
    // Walking the output by its lead bytes meets no one-byte kana.
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        if (b >= 0xA0 && b <= 0xDF)
            std::abort();
        i += isLeadByte(b) ? 2 : 1;
    }
    // The text form agrees with the byte form wherever the bytes are code page 932 text.
    // Compared as text: the NEC and IBM duplicates read as one character.
    if (const auto text = fromCp932(input)) {
        const auto widened = fromCp932(bytes);
        if (!widened || *widened != widenKana(*text))
            std::abort();
    }
    return 0;
}
