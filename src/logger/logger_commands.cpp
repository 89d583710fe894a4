#include "logger/logger_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/number_text.h"
#include "base/window_layer.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/clock.h"
#include "logger/cp1252.h"
#include "logger/serial_log.h"
#include "sensor/temp.h"

std::atomic<bool> cancel_rd{false};
std::atomic<bool> bat_button_press{false};

namespace {

std::mutex card_header_mutex;
MemoryImage card_header{};

constexpr int CHUNK_TAIL_ADDRESS = 65500;  // from here a chunk of 36 ends the memory exactly
constexpr int CHUNK_TAIL_SIZE = 36;
constexpr int FIRST_READING_COUNT_LENGTH_PAD = 64;

using Payload = std::array<unsigned char, PAYLOAD_LENGTH>;

Payload ReadRequest(int address, unsigned char count) {
    Payload payload{};
    payload[0] = static_cast<unsigned char>(address >> 8);
    payload[1] = static_cast<unsigned char>(address & 0xFF);
    payload[2] = count;
    return payload;
}

void SendEmpty(const char* command) {
    const Payload payload{};
    SendFrame(command, payload.data());
}

}  // namespace

bool ReadWeatherStation(MemoryImage& eeprom) {
    using Clock = std::chrono::steady_clock;
    WindowLayer& windows = Windows();
    const Clock::time_point started = Clock::now();
    const auto silence_deadline = [started] {
        return std::max(LastHeard(), started) + std::chrono::milliseconds(CARD_SILENCE_LIMIT_MS);
    };
    int address = 0;
    int length = MEMORY_SIZE - 1;  // until the first chunk tells
    int progress = 0;
    int asks = 0;  // for the chunk at `address`
    rx_error = false;
    while (address < length) {
        const bool tail = address >= CHUNK_TAIL_ADDRESS;
        const int count = tail ? CHUNK_TAIL_SIZE : READ_SIZE;
        const Payload payload = ReadRequest(address, tail ? RD_COUNT_TAIL : RD_COUNT_CHUNK);
        if (cancel_rd || asks == CHUNK_ASKS || Clock::now() >= silence_deadline()) {
            wait_sc = false;
            return false;
        }
        ++asks;
        SendFrame("RD", payload.data());
        const Clock::time_point ask_deadline = std::min(
            Clock::now() + std::chrono::milliseconds(CHUNK_TIMEOUT_MS), silence_deadline());
        std::optional<Frame> reply;
        for (;;) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(ask_deadline - Clock::now());
            WaitForLink([] { return rx_rd_frame || rx_error || cancel_rd; },
                        std::max(left, std::chrono::milliseconds(0)));
            if (cancel_rd) {
                break;
            }
            reply = TakeReadReply();
            // A late or repeated answer to an earlier request is not this one's.
            if (reply &&
                std::equal(payload.begin(), payload.begin() + 3, reply->begin() + PAYLOAD_OFFSET)) {
                break;
            }
            reply.reset();
            // An "ER" frame, or the acknowledge's resends used up: this request failed.
            if (rx_error.exchange(false) || Clock::now() >= ask_deadline) {
                break;
            }
        }
        if (!reply) {
            continue;  // the same chunk again
        }
        windows.SetProgressPosition(++progress);
        windows.SetControlText(WindowId::Main, ID_STATUS, "Lendo...");
        const int copied = std::min(count, MEMORY_SIZE - address);
        std::memcpy(eeprom.data() + address, reply->data() + RD_DATA_OFFSET, copied);
        address += count;
        asks = 0;
        if (address == READ_SIZE) {
            const int reading_count = BigEndian16(eeprom.data() + OFF_LOG_COUNT);
            length = std::min((reading_count + FIRST_READING_COUNT_LENGTH_PAD) * 4, MEMORY_SIZE);
            windows.SetProgressRange(0, length / READ_SIZE + 1);
        }
    }
    return true;
}

MemoryImage LastCardHeader() {
    std::lock_guard lock(card_header_mutex);
    return card_header;
}

bool ReadParWeatherStation() {
    for (int attempt = 0; attempt < CONFIG_READ_ATTEMPTS; ++attempt) {
        rx_error = false;
        rx_dt_frame = false;
        const Payload payload = ReadRequest(0, RD_COUNT_CONFIG);
        SendFrame("RD", payload.data());
        wait_sc = false;
        WaitForLink([] { return rx_rd_frame || rx_error; },
                    std::chrono::milliseconds(CONFIG_ATTEMPT_MS));
        if (rx_rd_frame && !rx_error) {
            rx_rd_frame = false;
            const Frame reply = ReplyFrame();
            config_values = ConfigFromHeader(reply.data() + RD_DATA_OFFSET);
            std::lock_guard lock(card_header_mutex);
            card_header.fill(0);
            std::copy_n(reply.data() + RD_DATA_OFFSET, CARD_HEADER_READ_SIZE, card_header.data());
            return true;
        }
    }
    return false;
}

std::optional<RefusedField> TakeConfigFromWindow(ConfigValues& values) {
    WindowLayer& windows = Windows();
    const auto text = [&](int control) { return windows.ControlText(WindowId::Config, control); };
    const std::optional<int> t_low = ThresholdTextToAD(text(CFG_TEMP_LOW), false);
    const std::optional<int> t_high = ThresholdTextToAD(text(CFG_TEMP_HIGH), true);
    const std::optional<long> start_delay = ParseWholeNumber(text(CFG_START_DELAY), DELAY_DIGITS);
    const std::optional<long> alarm_delay = ParseWholeNumber(text(CFG_ALARM_DELAY), DELAY_DIGITS);
    const auto limit_refused = [](int control, const char* name) {
        return RefusedField{control, std::string(name).append(MSG_LIMIT_ACCEPTS)};
    };
    const auto delay_refused = [](int control, const char* name) {
        return RefusedField{control, std::string(name).append(MSG_DELAY_ACCEPTS)};
    };
    if (!t_low) {
        return limit_refused(CFG_TEMP_LOW, "Temperatura Inf");
    }
    if (!t_high) {
        return limit_refused(CFG_TEMP_HIGH, "Temperatura Sup");
    }
    if (!start_delay || *start_delay > DELAY_MAX_SECONDS) {
        return delay_refused(CFG_START_DELAY, "Delay Inicio");
    }
    if (!alarm_delay || *alarm_delay > DELAY_MAX_SECONDS) {
        return delay_refused(CFG_ALARM_DELAY, "Delay Alarme");
    }
    const auto pick = [&](int control, const auto& list, auto& value) {
        const int position = windows.SelectedPosition(WindowId::Config, control);
        if (position >= 0 && position < static_cast<int>(list.size())) {
            value = list[static_cast<std::size_t>(position)];
        }
    };
    pick(CFG_LED_CYCLE, LED_CYCLE_LIST, values.led_cycle);
    pick(CFG_SAMPLE_POINTS, SAMPLE_POINTS_LIST, values.sample_points);
    pick(CFG_SAMPLE_RATE, SAMPLE_RATE_LIST, values.sample_rate);
    values.flash_alarm = windows.IsChecked(WindowId::Config, CFG_FLASH_ALARM);
    values.modo_nuvem = windows.IsChecked(WindowId::Config, CFG_NUVEM);
    values.t_low_alarm = *t_low;
    values.t_high_alarm = *t_high;
    const int unit = windows.SelectedPosition(WindowId::Config, CFG_TEMP_UNIT);
    if (unit == 0 || unit == 1) {
        values.temp_unit = static_cast<unsigned char>(unit);
    }
    values.start_delay = static_cast<int>(*start_delay);
    values.alarm_delay = static_cast<int>(*alarm_delay);
    std::string description = Utf8ToCp1252(windows.ControlText(WindowId::Config, CFG_DESCRICAO));
    description.resize(std::min<std::size_t>(description.size(), DESCRIPTION_MAX_CHARS));
    SetDescription(values.descricao, description);
    return std::nullopt;
}

bool WriteConfigToCard(ConfigValues& values) {
    AssignSerialIfNeeded(values);
    Windows().SetControlText(WindowId::Config, CFG_SERIAL, std::to_string(values.serial));
    // The card's clock keeps UTC; the log keeps the PC's local time of the same moment.
    const PcTime now = PcClockNow();
    const auto record = BuildConfigRecord(values, now.utc);
    // A record that did not go out is not logged as written.
    if (PortIsLost(SendFrame("AJ", record.data())) || !connected) {
        return false;
    }
    SalvaGravacao(values, now.local);
    return true;
}

bool WeatherStationClear() {
    Payload payload{};
    payload[1] = 9;
    payload[2] = 3;
    SendFrame("WR", payload.data());
    return true;
}

bool WeatherStationFormat() {
    SendEmpty("FM");
    return true;
}

bool WeatherStationVersion() {
    SendEmpty("VR");
    return true;
}

bool RazurozaviAdjstDate() {
    const ConfigValues none;
    const auto record = BuildConfigRecord(none, PcClockNow().utc);
    Payload payload{};
    std::copy(record.begin(), record.begin() + 7, payload.begin());
    SendFrame("AJ", payload.data());
    return true;
}

bool RazurozaviReadDate() {
    SendEmpty("DT");
    wait_sc = false;
    return true;
}

bool RazurozaviReadBatt() {
    SendEmpty("BT");
    wait_sc = false;
    return true;
}

void RazurozaviViewDate() {
    const Frame reply = ReplyFrame();
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d\n%02d:%02d:%02d", reply[6], reply[7],
                  (reply[8] << 8) | reply[9], reply[5], reply[4], reply[3]);
    ShowMessage(WindowId::Main, text, "Date Information", MsgIcon::None);
}

void RazurozaviViewBatt() {
    const Frame reply = ReplyFrame();
    const int value = (reply[3] << 8) | reply[4];
    Windows().SetControlText(WindowId::Main, ID_BATTERY, FixedText(ADToTemp(value), 2) + " °C");
    if (bat_button_press.exchange(false)) {
        // The reply's value in millivolts; a cell counts as empty at 2.0 V and full at 3.0 V.
        const double volts = value / 1000.0;
        const double charge = std::clamp((volts - 2.0) * 100.0, 0.0, 100.0);
        const std::string text = "Ad = " + std::to_string(value) +
                                 " mV \nBat = " + FixedText(volts, 2) +
                                 " V\nCharge = " + FixedText(charge, 2) + " %";
        ShowMessage(WindowId::Main, text, "Battery Charge Information", MsgIcon::None);
    }
}

void CloseWeatherStation() {
    ClosePort();
}
