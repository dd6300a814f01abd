// Replays saved fuzz inputs through a fuzz target, for builds without libFuzzer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool replayFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<std::uint8_t> input{std::istreambuf_iterator<char>(file),
                                          std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(input.data(), input.size());
    return true;
}

} // namespace

// Arguments are corpus directories or single files. An argument that yields no input fails the
// run, so a mistyped or emptied corpus cannot pass silently.
int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s corpus-dir-or-file...\n", argv[0]);
        return 2;
    }
    int failures = 0;
    for (int a = 1; a < argc; ++a) {
        const std::filesystem::path root(argv[a]);
        std::error_code error;
        int replayed = 0;
        if (std::filesystem::is_directory(root, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
                if (entry.is_regular_file()) {
                    failures += replayFile(entry.path()) ? 0 : 1;
                    ++replayed;
                }
            }
        } else if (std::filesystem::is_regular_file(root, error)) {
            failures += replayFile(root) ? 0 : 1;
            ++replayed;
        }
        if (replayed == 0) {
            std::fprintf(stderr, "no inputs in %s\n", root.c_str());
            ++failures;
        } else {
            std::printf("%s: %d inputs replayed\n", root.c_str(), replayed);
        }
    }
    return failures == 0 ? 0 : 1;
}
