#pragma once
// The card's commands: each builds its payload, sends it and, where a reply is expected,
// waits for it until it arrives, a time-out passes, an error is reported or the user cancels.

#include <atomic>

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

// The configuration window's fields into `values`; a field without a choice keeps the value.
void TakeConfigFromWindow(ConfigValues& values);
// Gives the card a serial number when it has none, sets its clock to UTC now, sends the
// configuration record and logs it with the PC's local time. True when the record went out
// on a connected port.
bool WriteConfigToCard(ConfigValues& values);
// The configuration window's write: its fields into config_values, then to the card.
bool WriteParWeatherStation();

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
