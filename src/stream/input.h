// The input of kestrova-cli in memory, and its output held until the input has been read whole.
#pragma once

#include "io/wholefile.h"
#include "stream/pipeline.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace kestrova::stream {

// A file in $TMPDIR (or /tmp when that is unset or unusable) that has no name, so it is gone on
// every way out of the process, a crash included. -1 when no folder takes one.
[[nodiscard]] int openTemporaryFile();

// Standard input, output and error closed by the caller would let the next file opened take
// their place, and the output land in it: each closed one gets a stand-in that refuses to be
// read or written, so that reading or writing it fails as it would have.
void guardStandardDescriptors();

// The input in memory. A regular file is mapped as it is: no copy, and the pages already used
// can be given back as the work goes on. Anything else (a pipe, a terminal, a /proc file whose
// size reads 0) is first copied block by block to an unnamed temporary file, mapped alike, so
// that its size costs disk space rather than memory. Where no such file can be made or filled,
// the rest is read into one buffer that grows in place, after what was copied so far.
class Input
{
public:
    Input() = default;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    ~Input();

    std::string_view bytes() const
    {
        return {m_mapped ? static_cast<const char*>(m_mapped) + m_skipped : m_buffer, m_size};
    }

    // A pass over the input is done with its first upTo bytes: a mapped file's pages among
    // them are let go. A position behind the last one begins a new pass from the start.
    void consumed(std::size_t upTo);

    // file "-" is standard input, read from its current position on, which is left at its end
    // as a reader of a pipe leaves it.
    bool read(const std::string& file, std::string& error);

    // A named file that was mapped has been written to since it was read: its bytes may differ
    // from one pass over it to the next.
    [[nodiscard]] bool changed() const;

private:
    bool readFrom(int fd, const std::string& name, std::string& error);
    bool map(int fd, off_t from, std::size_t size, void (*onBusError)(int));
    void grow(std::size_t size);
    bool takeBack(io::FileDescriptor& copy, std::size_t copied, std::string& error);

    void* m_mapped = nullptr;
    std::size_t m_mappedSize = 0;
    std::size_t m_skipped = 0; // bytes of the first mapped page before the input's start
    char* m_buffer = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    std::size_t m_released = 0;
    int m_watched = -1;              // the regular file that was mapped, kept open for changed()
    struct timespec m_modified = {}; // its time of last change when it was opened
    off_t m_fileSize = 0;
};

// Standard output written whole, once the work is known to succeed: until then, held in memory
// and, past a few megabytes, in an unnamed temporary file, or in memory again when no such file
// can be written. A refusal found at any moment therefore leaves standard output empty.
class HeldStandardOutput : public Output
{
public:
    HeldStandardOutput() = default;
    HeldStandardOutput(const HeldStandardOutput&) = delete;
    HeldStandardOutput& operator=(const HeldStandardOutput&) = delete;

    bool write(std::string_view bytes) override;
    std::string failure() const override { return m_failure; }

    // Writes what is held to standard output; false when that fails.
    bool release();

    static constexpr std::size_t kMemoryBytes = 4 << 20;

private:
    bool spillHeld();
    bool spill(std::string_view bytes);
    bool failed(int error);

    std::vector<std::string> m_held;
    std::size_t m_heldBytes = 0;
    std::unique_ptr<io::FileDescriptor> m_file;
    bool m_fileFailed = false;
    std::size_t m_fileBytes = 0; // bytes of the output in m_file, ahead of those in m_held
    std::string m_failure;
};

// Writes all of bytes to standard output, waiting while a non-blocking one is full; false with
// errno set on failure.
[[nodiscard]] bool writeStandardOutput(std::string_view bytes);

} // namespace kestrova::stream
