// The print command, handed to the companion built with Qt: loading Qt's libraries takes
// longer than most commands take to run, so the companion itself does without them.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "command_line.h"

namespace {

constexpr const char* kPrintProgram = RAZUROZAVI_PRINT_PROGRAM;

// Beside this program (a build folder), or where the installation keeps it.
std::string PrintProgramPath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path dir = error ? std::filesystem::path(".") : self.parent_path();
    for (const std::filesystem::path& candidate :
         {dir / kPrintProgram, dir / RAZUROZAVI_PRINT_PROGRAM_DIR / kPrintProgram}) {
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return (dir / kPrintProgram).string();
}

}  // namespace

int RunPrint(const CommandLine& args, ConsoleWindowLayer&) {
    const std::string program = PrintProgramPath();
    std::vector<std::string> words = {program, "print"};
    words.insert(words.end(), args.positional.begin(), args.positional.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    execv(program.c_str(), argv.data());
    std::fprintf(stderr, "%s: %s\n", program.c_str(), std::strerror(errno));
    return EXIT_FAILED;
}
