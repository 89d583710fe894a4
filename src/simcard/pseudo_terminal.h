#pragma once
// The simulated card's end of the line: a pseudo-terminal whose other end the program opens
// as it opens a card's serial port, and its registration as a CDC-ACM port for discovery.

#include <optional>
#include <string>

struct PseudoTerminal {
    int master_fd = -1;      // the card's end, non-blocking
    std::string slave_path;  // "/dev/pts/N", what the program opens
};

// A fresh pseudo-terminal in raw mode at 115200 baud, so that no byte is translated,
// echoed or taken as a signal before the program sets the line up itself.
std::optional<PseudoTerminal> OpenPseudoTerminal(std::string* why);
void ClosePseudoTerminal(PseudoTerminal& terminal);

// Creates "ttyACM<n>" (the lowest free n) in `directory`, a symbolic link to `slave_path`;
// returns the link's path.
std::optional<std::string> RegisterSimulatedPort(const std::string& directory,
                                                 const std::string& slave_path, std::string* why);
// The same under the chosen `name` ("ttyACM7"); refused when another card holds it.
std::optional<std::string> RegisterSimulatedPortAs(const std::string& directory,
                                                   const std::string& name,
                                                   const std::string& slave_path, std::string* why);
// Removes the link if it still points to `slave_path` (another card may have taken the name).
void UnregisterSimulatedPort(const std::string& link_path, const std::string& slave_path);
