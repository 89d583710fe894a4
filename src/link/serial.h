#pragma once
// The card's serial port: discovery, opening, writing, and the receive thread that splits
// what arrives into messages for the frame decoder.

#include <atomic>
#include <cstddef>
#include <string>
#include <system_error>
#include <vector>

constexpr int RX_BUF_SIZE = 64;
constexpr int CARD_BAUD_RATE = 115200;

// What discovery matches: the kernel driver of a USB serial card, as "<driver>:<tty name>".
inline constexpr const char* USB_SERIAL_PREFIX = "cdc_acm:";
inline constexpr const char* USB_SERIAL_TTY = "ttyACM";
// The environment variable naming a directory of simulated card registrations: each entry
// "ttyACM<n>" is a symbolic link to the pseudo-terminal that serves as port n.
inline constexpr const char* SIMULATED_PORTS_ENV = "RAZUROZAVI_SIMULATED_PORTS";

extern std::atomic<int> hPort;  // the open port's descriptor; -1 when closed
extern std::atomic<bool> connected;
extern std::atomic<int> active_sel;
extern std::atomic<bool> rx_enable;

// One serial device as the system lists it.
struct DeviceMapEntry {
    std::string name;         // "<driver>:<tty name>", e.g. "cdc_acm:ttyACM0"
    std::string data;         // the port name, e.g. "ttyACM0"
    std::string device_path;  // what to open, e.g. "/dev/ttyACM0"
};

// A port discovery accepted: its number and the device to open.
struct CardPort {
    int number;
    std::string device_path;
};

// Index of the first position where the NUL-terminated strings differ (the NUL counts); 0
// when they are equal.
int CompareStr(const char* word1, const char* word2);

// Every tty under `sys_class_tty` whose device has a driver, plus the registrations in
// `simulated_dir` (none when empty).
std::vector<DeviceMapEntry> ReadDeviceMap(const std::string& sys_class_tty,
                                          const std::string& simulated_dir);

// The entries whose name begins with USB_SERIAL_PREFIX and goes on, and whose port name is
// "ttyACM" and a number; in map order, so the last one is the one discovery keeps.
std::vector<CardPort> MatchCardPorts(const std::vector<DeviceMapEntry>& map);

// Where discovery looks; set before any thread runs (tests point it at fake trees).
void SetDeviceMapRoots(std::string sys_class_tty, std::string simulated_dir);

// Why a port could not be used; the status line says it.
enum class PortFailure { None, NoPermission, Busy, Settings, Other };

// Opens `device_path` exclusively at `baud` 8N1, raw, no flow control, DTR and RTS low,
// non-blocking, input purged. -1 on failure, with `failure` saying why.
int ConfigureSerialPort(const std::string& device_path, int baud, PortFailure* failure);

// Closes the port and scans the device map; the last card port found decides `connected`,
// the connection controls and the status line. No card port at all is a disconnection.
void GetPortNames();

// Every byte out to the port, or why not: EBADF with no port open, ETIMEDOUT when the
// port had no room for WRITE_ROOM_WAIT_MS, otherwise the errno of the failed write.
[[nodiscard]] std::error_code WriteString(const unsigned char* instring, std::size_t length);
[[nodiscard]] std::error_code WriteByte(unsigned char txchar);
// True when `error` says the port itself is gone (unplugged, hung up, closed), not only
// slow to take bytes.
bool PortIsLost(std::error_code error);
// The open port failed (a read or write error, a hang-up): the exchange waiting on it
// fails at once (rx_error), the receive thread ends and the connection is dropped, with
// "Desconectado" on the status line; the next scan looks for the card again.
void DropLostPort();
// The status line the last scan or loss gave the connection ("Conectado", or
// "Desconectado" with its reason): what an operation that ends puts back.
std::string ConnectionStatus();
// Waits for the receive thread to end, then closes the port.
void ClosePort();

// Sets rx_enable and makes sure exactly one receive thread runs.
void StartRxThread();
// Clears rx_enable and waits until the receive thread has ended.
void StopRxThread();
