#pragma once
// The card's commands: each builds its payload, sends it and, where a reply is expected,
// waits for it until it arrives, a time-out passes, an error is reported or the user cancels.

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "base/card_timing.h"
#include "logger/config_values.h"
#include "logger/memory_image.h"

// The user's Cancel, or a memory-read chunk that got no reply.
extern std::atomic<bool> cancel_rd;
// Set by the battery button; the next battery reply is then shown in a message box.
// Nothing sets it yet: no window has a battery button.
extern std::atomic<bool> bat_button_press;

// Reads the card's memory into `eeprom`; true when the whole length the card reports (bounded
// by the image) was read. A chunk whose reply is missing, damaged or an error is asked for
// again, up to CHUNK_ASKS times; a reply is taken only for the request it answers. False on
// cancel, on a chunk that failed every time, or after CARD_SILENCE_LIMIT_MS of silence.
bool ReadWeatherStation(MemoryImage& eeprom);
// Reads the configuration into config_values; false after three attempts without a reply.
bool ReadParWeatherStation();

// The first bytes of the card's memory as the last configuration read found them: the
// reading count, the configuration and the recording's start, enough to tell a recording
// apart. The rest of the image is zero.
constexpr int CARD_HEADER_READ_SIZE = OFF_CLOUD + 1;
MemoryImage LastCardHeader();

// What the configuration window's limits and delays accept, after the field's name.
inline constexpr std::string_view MSG_LIMIT_ACCEPTS =
    ": digite uma temperatura com no máximo uma casa decimal, separada por \",\" ou \".\" "
    "(por exemplo 2,5).";
inline constexpr std::string_view MSG_DELAY_ACCEPTS =
    ": digite um número inteiro de segundos, de 0 a 65535.";
// The delays are five characters in the window and 16 bits in the record.
constexpr int DELAY_DIGITS = 5;
constexpr long DELAY_MAX_SECONDS = 0xFFFF;

// A field of the configuration window whose text cannot be taken: its control, and a
// message that names it and says what it accepts.
struct RefusedField {
    int control_id = 0;
    std::string message;
};
// The configuration window's fields into `values`; a field without a choice keeps the
// value. The first field that is not a number is returned instead, `values` then as it was.
std::optional<RefusedField> TakeConfigFromWindow(ConfigValues& values);
// Gives the card a serial number when it has none, sets its clock to UTC now, sends the
// configuration record and logs it with the PC's local time. True when the record went out
// on a connected port.
bool WriteConfigToCard(ConfigValues& values);

// Requests that do not wait for their reply.
bool WeatherStationClear();
bool WeatherStationVersion();
// Nothing calls it yet: no operation formats the card.
bool WeatherStationFormat();
// Sets the card's clock to UTC now. Nothing calls it yet: the configuration write sets it.
bool RazurozaviAdjstDate();
// Nothing calls it yet: no operation asks for the card's date.
bool RazurozaviReadDate();
// Nothing calls it yet: no operation asks for the battery.
bool RazurozaviReadBatt();

// Show the last date or battery reply.
void RazurozaviViewDate();
// Nothing calls it yet: no operation asks for the battery.
void RazurozaviViewBatt();
// Nothing calls it yet: the port closes through the discovery and at exit.
void CloseWeatherStation();
