// Runs one whole-buffer code conversion over a file, for instruction counts under callgrind
// (valgrind --tool=callgrind --toggle-collect='*runConversion*') or times under hyperfine (a
// count of runs makes the conversion outweigh the start): the window converts whole files with
// these. Prints the size, result and a checksum so that builds can be compared.
#include "io/jis2sjis.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using namespace kestrova::io;

// Kept out of line so that callgrind can count it alone, without the file read.
[[gnu::noinline]] int runConversion(const std::string& how, ByteBuffer& bytes)
{
    if (how == "sjis")
        return CodeConvert(bytes, kTargetSjis);
    if (how == "jis")
        return CodeConvert(bytes, kTargetJis);
    if (how == "euc")
        return CodeConvert(bytes, kTargetEuc);
    if (how == "crlf")
        return CrLfConvert(bytes);
    if (how == "tojis")
        SjisToJis(bytes);
    else if (how == "toeuc")
        SjisToEuc(bytes);
    else
        return -1;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr,
                     "usage: codeconvert_driver sjis|jis|euc|crlf|tojis|toeuc FILE [RUNS]\n");
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "codeconvert_driver: cannot read %s\n", argv[2]);
        return 2;
    }
    const ByteBuffer input{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const int runs = argc == 4 ? std::max(1, std::atoi(argv[3])) : 1;
    ByteBuffer bytes;
    int result = 0;
    for (int run = 0; run < runs; ++run) {
        bytes = input;
        result = runConversion(argv[1], bytes);
    }
    if (result < 0) {
        std::fprintf(stderr, "codeconvert_driver: unknown conversion %s\n", argv[1]);
        return 2;
    }
    // A checksum, so that old and new builds can be seen to give the same bytes.
    unsigned long long sum = 0;
    for (const std::uint8_t b : bytes)
        sum = sum * 131 + b;
    std::printf("%s %zu bytes, result %d, checksum %llx\n", argv[1], bytes.size(), result, sum);
    return 0;
}
