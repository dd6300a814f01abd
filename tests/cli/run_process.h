// Running a program with given standard input and collecting what it writes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kestrova::test {

struct ProcessResult
{
    int exitStatus = -1;
    std::string out;
    std::string err;
};

struct ProcessLimits
{
    std::size_t addressSpace = 0; // RLIMIT_AS of the child in bytes; 0 leaves it as it is
    std::size_t fileSize = 0;     // RLIMIT_FSIZE: the largest file the child may write
};

// Runs program with args (no shell), feeding input to its standard input.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input, const ProcessLimits& limits = {});

} // namespace kestrova::test
