#pragma once
// What every card command does first: point discovery at the chosen port, find the card,
// ask for its version and start the program's threads; and what it does last.

#include <functional>
#include <string>
#include <string_view>

#include "command_line.h"
#include "link/protocol.h"
#include "logger/config_values.h"

// --port DEVICE: discovery is pointed at a private registration of that one device.
class PortChoice {
  public:
    PortChoice() = default;
    ~PortChoice();
    PortChoice(const PortChoice&) = delete;
    PortChoice& operator=(const PortChoice&) = delete;
    // Nothing to do without --port.
    bool Register(const CommandLine& args);
    bool Register(const std::string& device);

  private:
    bool registered_ = false;
};

// The failure message on standard error, "CAPTION: TEXT".
void Fail(std::string_view text, std::string_view caption = "Erro");

// Finds the card and asks for its version; on an accepted card the program's threads run.
// False when there is no card or it does not answer. A refused version ends the process
// through the timer thread, after `on_version` ran.
bool ConnectCard(const std::function<void(const Frame&)>& on_version);
// Stops the program's threads and closes the port.
void StopCard();
// Writes `values` into the card as the configuration window's write does; true once the card
// acknowledged it.
bool SendConfigToCard(ConfigValues& values);
// The configuration read without the engine's endless retries: three attempts, then out.
bool ReadCardConfig();
