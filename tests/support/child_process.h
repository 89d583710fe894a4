#pragma once
// A program beside the test, output in files, SIGTERM and waited for; a free loopback port.

#include <sys/types.h>

#include <string>
#include <vector>

class ChildProcess {
  public:
    // argv[0] is the program's path; standard output and error are appended to the files.
    ChildProcess(std::vector<std::string> argv, const std::string& out, const std::string& err);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

  private:
    pid_t pid_ = -1;
};

// A loopback port free at this moment.
int FreeLoopbackPort();
