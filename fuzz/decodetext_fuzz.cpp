// Fuzz target for reading text: any bytes are decoded as a file's are. Besides not crashing, a
// refusal must name a line the input has and, where it names one byte, a byte the input holds.
#include "io/textcodec.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Not assert(): release builds fuzz too.
void require(bool condition, const char* promise, const std::string& reason)
{
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s (%s)\n", promise, reason.c_str());
        std::abort();
    }
}

std::size_t lineCount(std::string_view bytes)
{
    std::size_t lines = 1;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' ||
            (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')))
            ++lines;
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto decoded = kestrova::io::decodeText(bytes, true);
    if (decoded)
        return 0;
    const std::string& reason = decoded.error().reason;
    require(reason.rfind("line ", 0) == 0, "a refusal names a line", reason);
    const unsigned long line = std::strtoul(reason.c_str() + 5, nullptr, 10);
    require(line >= 1 && line <= lineCount(bytes), "the line is one of the input's", reason);
    if (const auto at = reason.find(": byte 0x"); at != std::string::npos) {
        const auto byte = static_cast<char>(std::strtoul(reason.c_str() + at + 9, nullptr, 16));
        require(bytes.find(byte) != std::string_view::npos, "the byte is one of the input's",
                reason);
    }
    return 0;
}
