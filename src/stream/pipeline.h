// The work of kestrova-cli on an input in memory: the text commands, convert and detect.
//
// runPipeline reads every code piece by piece on reused buffers, writing as it goes, in memory
// that does not grow with the input; it gives the bytes, the refusals and the result words of
// the window's reading of a whole file, and words its refusals from passes of its own that keep
// no more than a piece.
#pragma once

#include "stream/task.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kestrova::stream {

inline constexpr int kExitDone = 0;
inline constexpr int kExitWriteFailed = 1;
inline constexpr int kExitBadInput = 2;

// Where the result goes.
class Output
{
public:
    virtual ~Output() = default;
    // False when the bytes could not be written; failure() then says why.
    virtual bool write(std::string_view bytes) = 0;
    [[nodiscard]] virtual std::string failure() const { return {}; }
};

// Collects the result in memory.
class StringOutput : public Output
{
public:
    bool write(std::string_view bytes) override
    {
        text.append(bytes);
        return true;
    }
    std::string text;
};

struct RunResult
{
    int exitStatus = kExitDone;
    std::string error;   // the message, when exitStatus is not kExitDone
    int resultWord = -1; // convert: what --report prints
};

// The text commands work through the input in pieces of about this many bytes.
inline constexpr std::size_t kPieceBytes = 1 << 18;

// How many bytes the next piece takes at least (it goes on to the next line end).
using PieceSizes = std::function<std::size_t()>;

// Output the pipeline may hold back while it still checks the input, before it checks the rest
// of the input first.
inline constexpr std::size_t kHeldBytes = 16 << 20;

// Runs a text command or convert over input, piece by piece. Nothing is written before the
// input is known to give no refusal. consumed (when set) learns how far the input has been used
// up.
[[nodiscard]] RunResult runPipeline(const Task& o, std::string_view input, Output& out,
                                    const PieceSizes& pieceSizes = {},
                                    const std::function<void(std::size_t)>& consumed = {},
                                    std::size_t heldBytes = kHeldBytes);

// The status a file read shows for input: "JIS", "EUC:LF", "UTF-8", ":CR"... with its line end.
// consumed (when set) learns how far the input has been used up.
[[nodiscard]] std::string detectStatus(std::string_view input,
                                       const std::function<void(std::size_t)>& consumed = {});

} // namespace kestrova::stream
