// The interpreter of Kestrova.bat, run by kestrova-command in place of "command.com".
//
// It knows exactly the lines the runner writes: "@ECHO OFF", "rem ...", blank lines,
// "SET NAME=value" (an empty value removes the variable; ";" in PATH separates entries as ":"
// does here), a drive change (a letter and ":" alone, without effect), "CD folder", "COMMAND", and
// "PGP.EXE ..." program lines with an optional "> file". Variables are expanded as batchlang.h
// says. Any other line ends the run with a message naming its line number (never its text, which
// may hold a pass phrase) and exit status 1.
#pragma once

#include "pgp/batchlang.h"

#include <chrono>
#include <csignal>
#include <string>

namespace kestrova::pgp {

struct InterpreterOptions
{
    std::chrono::milliseconds gpgTimeLimit{std::chrono::minutes(2)};
    const volatile std::sig_atomic_t* stop = nullptr; // set by SIGTERM: end gpg and stop
    // Where gpg and the terminal are looked up; empty: the PATH of the variables at the start,
    // before any SET line of the batch.
    std::string programPath;
};

// Runs the batch text with the given variables (the process environment at the start). CD
// changes this process's folder; SET changes the variables, which are all the environment gpg
// and the terminal get, and TZ in this process's environment too, so it reaches the clock. PGP
// lines run in this process; their report goes to the redirection file or standard output.
// Messages about the batch itself go to standard error. Returns the exit status: that of the
// last program line, 1 for a line not understood or a file that cannot be opened.
int runBatchText(std::string_view text, Variables& variables, const InterpreterOptions& options);

// The process environment as variables.
[[nodiscard]] Variables environmentVariables();

} // namespace kestrova::pgp
