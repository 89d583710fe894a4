#pragma once
// Runs a program and collects its exit status and output, for tests of the tools.

#include <string>
#include <vector>

struct CommandResult {
    int exit_status = -1;  // -1 when it did not exit normally (a signal)
    std::string out;
    std::string err;
};

CommandResult RunCommand(const std::vector<std::string>& argv);

// A shell command line, standard error folded into the output.
struct ShellResult {
    int status = -1;
    std::string output;
};
ShellResult RunShell(const std::string& command);
std::string ShellQuote(const std::string& text);
