#include "support/run_command.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

ShellResult RunShell(const std::string& command) {
    ShellResult result;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char chunk[4096];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        result.output.append(chunk, n);
    }
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

CommandResult RunCommand(const std::vector<std::string>& argv) {
    // Standard error goes to a file of its own so that the two streams stay apart.
    char err_path[] = "/tmp/razurozavi-stderr-XXXXXX";
    const int err_fd = ::mkstemp(err_path);
    if (err_fd < 0) {
        return {};
    }
    ::close(err_fd);
    std::string command;
    for (const std::string& arg : argv) {
        command += ShellQuote(arg) + ' ';
    }
    const ShellResult shell =
        RunShell("(" + command + "</dev/null 2>" + ShellQuote(err_path) + ")");
    std::ifstream err(err_path, std::ios::binary);
    CommandResult result{shell.status, shell.output,
                         std::string(std::istreambuf_iterator<char>(err), {})};
    ::unlink(err_path);
    return result;
}
