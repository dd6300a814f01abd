// Running a program with given standard input and collecting what it writes.
#pragma once

#include <string>
#include <vector>

namespace kestrova::test {

struct ProcessResult
{
    int exitStatus = -1;
    std::string out;
    std::string err;
};

// Runs program with args (no shell), feeding input to its standard input.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input);

} // namespace kestrova::test
