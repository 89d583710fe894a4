#include "link/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "base/card_timing.h"
#include "base/window_layer.h"
#include "link/exchange.h"
#include "link/protocol.h"

std::atomic<int> hPort{-1};
std::atomic<bool> connected{false};
std::atomic<int> active_sel{0};
std::atomic<bool> rx_enable{false};

namespace {

std::string sys_class_tty_root = "/sys/class/tty";
std::string simulated_ports_dir = [] {
    const char* dir = std::getenv(SIMULATED_PORTS_ENV);
    return std::string(dir != nullptr ? dir : "");
}();

// The receive thread: started and stopped under rx_mutex so that one runs at most. A
// stopped thread's generation is stale, so it ends even if rx_enable is set again at once.
std::mutex rx_mutex;
std::thread rx_thread;
bool rx_running = false;
std::atomic<unsigned> rx_generation{0};
// Written by StopRxThread so that the thread ends at once rather than at its next timeout.
int rx_wake[2] = {-1, -1};

void DrainWakeUps(int wake_fd) {
    unsigned char drained[16];
    while (read(wake_fd, drained, sizeof drained) > 0) {
    }
}

void RxThread(unsigned generation, int wake_fd) {
    const int fd = hPort;
    ReceiveSplitter splitter;
    for (;;) {
        while (rx_enable && rx_generation == generation) {
            pollfd waits[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
            const int ready = poll(waits, wake_fd >= 0 ? 2 : 1, RX_POLL_MS);
            if (ready < 0) {
                if (errno != EINTR) {
                    DropLostPort();
                }
                continue;
            }
            if (ready > 0 && (waits[1].revents & POLLIN) != 0) {
                DrainWakeUps(wake_fd);
            }
            const short port_events = waits[0].revents;
            if (ready == 0 || port_events == 0 || !rx_enable) {
                continue;
            }
            if ((port_events & POLLNVAL) != 0) {
                DropLostPort();
                continue;
            }
            unsigned char rx_buf[RX_BUF_SIZE];
            const ssize_t n_bytes = read(fd, rx_buf, sizeof rx_buf);
            if (n_bytes < 0) {
                if (errno != EAGAIN && errno != EINTR) {
                    DropLostPort();
                }
                continue;
            }
            if (n_bytes == 0) {
                // Raw with VMIN 0 a read finds nothing only after a hang-up.
                if ((port_events & (POLLHUP | POLLERR)) != 0) {
                    DropLostPort();
                }
                continue;
            }
            for (const LinkMessage& message :
                 SplitReceived(splitter, rx_buf, static_cast<std::size_t>(n_bytes),
                               std::chrono::steady_clock::now())) {
                DecodeFrame(message);
            }
        }
        std::lock_guard lock(rx_mutex);
        if (rx_generation != generation) {
            return;
        }
        if (!rx_enable) {
            rx_running = false;
            return;
        }
    }
}

std::mutex connection_status_mutex;
std::string connection_status = "Desconectado";

void ShowConnection(bool is_connected, std::string_view status) {
    {
        std::lock_guard lock(connection_status_mutex);
        connection_status = status;
    }
    WindowLayer& windows = Windows();
    for (int control : {BT_READ, BT_CONFIG, BT_INFO}) {
        windows.EnableControl(WindowId::Main, control, is_connected);
    }
    for (int item : {IDM_DATAREAD, IDM_CONFIG, IDM_HELPCONVINFO}) {
        windows.EnableMenuItem(item, is_connected);
    }
    if (!is_connected) {
        windows.SetProgressPosition(0);
    }
    windows.SetControlText(WindowId::Main, ID_STATUS, status);
}

std::string_view DisconnectedStatus(PortFailure failure) {
    switch (failure) {
        case PortFailure::NoPermission:
            return "Desconectado: sem permissão para abrir a porta do KELTRIX (adicione o "
                   "usuário ao grupo dialout e entre novamente)";
        case PortFailure::Busy:
            return "Desconectado: a porta do KELTRIX está ocupada por outro programa (por "
                   "exemplo, um gerenciador de modem)";
        default:
            return "Desconectado";
    }
}

// The number after "ttyACM", or -1 when the name is not such a port.
int PortNumber(const std::string& port_name) {
    const std::string prefix = USB_SERIAL_TTY;
    if (port_name.size() <= prefix.size() || port_name.size() > prefix.size() + 3 ||
        port_name.compare(0, prefix.size(), prefix) != 0) {
        return -1;
    }
    int number = 0;
    for (std::size_t i = prefix.size(); i < port_name.size(); ++i) {
        if (port_name[i] < '0' || port_name[i] > '9') {
            return -1;
        }
        number = number * 10 + (port_name[i] - '0');
    }
    return number;
}

}  // namespace

int CompareStr(const char* word1, const char* word2) {
    int i = 0;
    while (word1[i] == word2[i]) {
        if (word1[i] == '\0') {
            return 0;
        }
        ++i;
    }
    return i;
}

std::vector<DeviceMapEntry> ReadDeviceMap(const std::string& sys_class_tty,
                                          const std::string& simulated_dir) {
    namespace fs = std::filesystem;
    std::vector<DeviceMapEntry> map;
    std::error_code error;
    std::vector<std::string> ttys;
    for (const fs::directory_entry& entry : fs::directory_iterator(sys_class_tty, error)) {
        ttys.push_back(entry.path().filename().string());
    }
    std::sort(ttys.begin(), ttys.end());
    for (const std::string& tty : ttys) {
        const fs::path driver =
            fs::read_symlink(fs::path(sys_class_tty) / tty / "device/driver", error);
        if (!error) {
            map.push_back({driver.filename().string() + ":" + tty, tty, "/dev/" + tty});
        }
    }
    if (!simulated_dir.empty()) {
        std::vector<fs::path> links;
        for (const fs::directory_entry& entry : fs::directory_iterator(simulated_dir, error)) {
            links.push_back(entry.path());
        }
        std::sort(links.begin(), links.end());
        for (const fs::path& link : links) {
            const fs::path target = fs::read_symlink(link, error);
            if (!error) {
                const std::string tty = link.filename().string();
                map.push_back({std::string(USB_SERIAL_PREFIX) + tty, tty, target.string()});
            }
        }
    }
    return map;
}

std::vector<CardPort> MatchCardPorts(const std::vector<DeviceMapEntry>& map) {
    const int prefix_length = static_cast<int>(std::string_view(USB_SERIAL_PREFIX).size());
    std::vector<CardPort> ports;
    for (const DeviceMapEntry& entry : map) {
        if (CompareStr(entry.name.c_str(), USB_SERIAL_PREFIX) < prefix_length) {
            continue;  // equal (0) or a different prefix
        }
        const int number = PortNumber(entry.data);
        if (number >= 0) {
            ports.push_back({number, entry.device_path});
        }
    }
    return ports;
}

void SetDeviceMapRoots(std::string sys_class_tty, std::string simulated_dir) {
    sys_class_tty_root = std::move(sys_class_tty);
    simulated_ports_dir = std::move(simulated_dir);
}

int ConfigureSerialPort(const std::string& device_path, int baud, PortFailure* failure) {
    *failure = PortFailure::None;
    const int fd = open(device_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int open_errno = errno;
        *failure = open_errno == EACCES || open_errno == EPERM ? PortFailure::NoPermission
                   : open_errno == EBUSY                       ? PortFailure::Busy
                                                               : PortFailure::Other;
        return -1;
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        *failure = errno == EBUSY ? PortFailure::Busy : PortFailure::Settings;
        close(fd);
        return -1;
    }
    termios settings{};
    const speed_t speed = baud == CARD_BAUD_RATE ? B115200 : B9600;
    bool configured = tcgetattr(fd, &settings) == 0;
    if (configured) {
        cfmakeraw(&settings);
        settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
        settings.c_cflag |= CS8 | CLOCAL | CREAD;
        settings.c_iflag &= ~(IXON | IXOFF | IXANY);
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        configured = cfsetispeed(&settings, speed) == 0 && cfsetospeed(&settings, speed) == 0 &&
                     tcsetattr(fd, TCSANOW, &settings) == 0;
    }
    if (!configured) {
        *failure = PortFailure::Settings;
        ioctl(fd, TIOCNXCL);
        close(fd);
        return -1;
    }
    // A pseudo-terminal has no modem lines; only a real port can refuse this.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIC, &lines);
    tcflush(fd, TCIFLUSH);
    return fd;
}

void GetPortNames() {
    ClosePort();
    const std::vector<CardPort> ports =
        MatchCardPorts(ReadDeviceMap(sys_class_tty_root, simulated_ports_dir));
    PortFailure failure = PortFailure::None;
    for (const CardPort& port : ports) {
        ClosePort();  // an earlier match's port, when several match
        const int fd = ConfigureSerialPort(port.device_path, CARD_BAUD_RATE, &failure);
        hPort = fd;
        active_sel = port.number;
    }
    if (hPort >= 0) {
        connected = true;
        ShowConnection(true, "Conectado");
    } else {
        connected = false;
        rx_enable = false;
        ShowConnection(false, DisconnectedStatus(failure));
    }
}

std::error_code WriteByte(unsigned char txchar) {
    return WriteString(&txchar, 1);
}

std::error_code WriteString(const unsigned char* instring, std::size_t length) {
    const int fd = hPort;
    if (fd < 0) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    std::size_t written = 0;
    while (written < length) {
        const ssize_t n = write(fd, instring + written, length - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0 || errno == EAGAIN) {
            pollfd wait_for_room{fd, POLLOUT, 0};
            const int ready = poll(&wait_for_room, 1, WRITE_ROOM_WAIT_MS);
            if (ready < 0 && errno != EINTR) {
                return std::error_code(errno, std::system_category());
            }
            if (ready == 0) {
                return std::make_error_code(std::errc::timed_out);
            }
            if ((wait_for_room.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 &&
                (wait_for_room.revents & POLLOUT) == 0) {
                return std::make_error_code(std::errc::io_error);
            }
        } else if (errno != EINTR) {
            return std::error_code(errno, std::system_category());
        }
    }
    return {};
}

bool PortIsLost(std::error_code error) {
    return error && error != std::errc::timed_out;
}

void DropLostPort() {
    rx_enable = false;
    wait_sc = false;
    rx_error = true;
    NotifyLink();
    // Several threads may meet the same failure; the user is told once. The card that comes
    // back is judged afresh.
    if (connected.exchange(false)) {
        ForgetFirmware();
        ShowConnection(false, DisconnectedStatus(PortFailure::Other));
    }
}

void ClosePort() {
    StopRxThread();
    const int fd = hPort.exchange(-1);
    if (fd >= 0) {
        tcflush(fd, TCIOFLUSH);
        // A pseudo-terminal keeps the exclusive mark after close; the next scan reopens it.
        ioctl(fd, TIOCNXCL);
        close(fd);
    }
}

void StartRxThread() {
    std::lock_guard lock(rx_mutex);
    rx_enable = true;
    if (rx_running) {
        return;
    }
    if (rx_thread.joinable()) {
        rx_thread.join();
    }
    rx_running = true;
    if (rx_wake[0] < 0 && pipe2(rx_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        rx_wake[0] = rx_wake[1] = -1;  // the thread then ends at its next timeout
    }
    rx_thread = std::thread(RxThread, rx_generation.load(), rx_wake[0]);
}

void StopRxThread() {
    std::thread stopped;
    {
        std::lock_guard lock(rx_mutex);
        rx_enable = false;
        rx_generation.fetch_add(1);
        rx_running = false;
        stopped = std::move(rx_thread);
        if (stopped.joinable() && rx_wake[1] >= 0) {
            const unsigned char wake = 1;
            [[maybe_unused]] const ssize_t ignored = write(rx_wake[1], &wake, 1);
        }
    }
    if (stopped.joinable()) {
        stopped.join();
    }
}

std::string ConnectionStatus() {
    std::lock_guard lock(connection_status_mutex);
    return connection_status;
}
