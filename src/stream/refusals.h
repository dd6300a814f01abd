// Refusals of input in a Japanese code, worded from passes over it that keep no more than a
// piece: bytes that are no character, damaged JIS or EUC-JP, a character the output code cannot
// hold.
#pragma once

#include "io/jis2sjis.h"
#include "stream/pipeline.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

namespace kestrova::stream {

// The refusal that a text command or convert to UTF-8 gives input read as code (input that is
// no UTF-8 by io::isUtf8Text), as a file read whole would be: the input's first bad bytes and
// their line, else the first character the work gives that the output code cannot hold.
// Nothing when the input gives a result after all. consumed (when set) learns how far each
// pass has come.
[[nodiscard]] std::optional<RunResult>
refusalOf(const Task& o, std::string_view input, const io::CodeDetection& code,
          const std::function<void(std::size_t)>& consumed = {});

} // namespace kestrova::stream
