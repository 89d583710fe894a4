#include "simcard/pseudo_terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "link/serial.h"

namespace {

// Registrations tried before giving up; a directory holding this many is surely stale.
constexpr int MAX_REGISTERED_PORTS = 256;

std::string ErrnoText(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

}  // namespace

std::optional<PseudoTerminal> OpenPseudoTerminal(std::string* why) {
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = ErrnoText("posix_openpt", errno);
        return std::nullopt;
    }
    char name[PATH_MAX];
    termios settings{};
    const char* failed = nullptr;
    if (grantpt(fd) != 0) {
        failed = "grantpt";
    } else if (unlockpt(fd) != 0) {
        failed = "unlockpt";
    } else if (ptsname_r(fd, name, sizeof name) != 0) {
        failed = "ptsname";
    } else if (tcgetattr(fd, &settings) != 0) {
        failed = "tcgetattr";
    } else {
        // Settings made through the master apply to the terminal the program opens.
        cfmakeraw(&settings);
        cfsetispeed(&settings, B115200);
        cfsetospeed(&settings, B115200);
        if (tcsetattr(fd, TCSANOW, &settings) != 0) {
            failed = "tcsetattr";
        }
    }
    if (failed != nullptr) {
        *why = ErrnoText(failed, errno);
        close(fd);
        return std::nullopt;
    }
    return PseudoTerminal{fd, name};
}

void ClosePseudoTerminal(PseudoTerminal& terminal) {
    if (terminal.master_fd >= 0) {
        close(terminal.master_fd);
        terminal.master_fd = -1;
    }
}

std::optional<std::string> RegisterSimulatedPort(const std::string& directory,
                                                 const std::string& slave_path, std::string* why) {
    for (int n = 0; n < MAX_REGISTERED_PORTS; ++n) {
        const std::string link = directory + "/" + USB_SERIAL_TTY + std::to_string(n);
        // symlink() fails on an existing name, so two cards never share a number.
        if (symlink(slave_path.c_str(), link.c_str()) == 0) {
            return link;
        }
        if (errno != EEXIST) {
            *why = ErrnoText(link.c_str(), errno);
            return std::nullopt;
        }
    }
    *why = directory + ": no free port number";
    return std::nullopt;
}

std::optional<std::string> RegisterSimulatedPortAs(const std::string& directory,
                                                   const std::string& name,
                                                   const std::string& slave_path,
                                                   std::string* why) {
    const std::string link = directory + "/" + name;
    if (symlink(slave_path.c_str(), link.c_str()) != 0) {
        *why = ErrnoText(link.c_str(), errno);
        return std::nullopt;
    }
    return link;
}

void UnregisterSimulatedPort(const std::string& link_path, const std::string& slave_path) {
    char target[PATH_MAX];
    const ssize_t length = readlink(link_path.c_str(), target, sizeof target - 1);
    if (length >= 0 && slave_path == std::string(target, static_cast<std::size_t>(length))) {
        unlink(link_path.c_str());
    }
}
