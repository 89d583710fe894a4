#pragma once
// The messages of the cloud upload, built by the card's side and checked by the
// collection server with the same code. Lock-step: one message, then one reply that
// must begin with "cc".
//
// Header (53 bytes), serial 1234, description "Camara", low -10.0, high 25.0,
// start and alarm delay 0, 1000 points at 60 s, 12:10:00 05.03.(20)14, firmware "103",
// Celsius, software 1.0.4:
//   FF 00 04 D2  43 61 6D 61 72 61 20 .. 20  FF 9C 00 FA  00 00 00 00  03 E8 00 3C
//   0C 0A 00 05 03 0E  01 00 03  00  01 00 04  XOR(0..49)  0D 0A
// Data packet of two readings, 25.0 and -12.5:
//   11 00 02 check  00 FA FF 83  0D 0A
// End: 62 62 0D 0A

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/card_layout.h"
#include "logger/calendar.h"
#include "logger/config_values.h"
#include "sensor/temp.h"

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t HEADER_START = 0xFF;
constexpr std::uint8_t PACKET_START = 0x11;
constexpr std::size_t HEADER_MESSAGE_SIZE = 53;
// Readings per data packet at most.
constexpr int PACOTE_ENVIO_DADOS = 8000;
// Start byte, count, check byte and line end around the readings.
constexpr std::size_t PACKET_OVERHEAD = 6;
constexpr std::size_t MAX_PACKET_SIZE = PACKET_OVERHEAD + 2 * PACOTE_ENVIO_DADOS;
inline constexpr std::array<std::uint8_t, 4> END_MESSAGE = {'b', 'b', 0x0D, 0x0A};
// A reply is read by one receive of at most this many bytes.
constexpr std::size_t REPLY_BUFFER_SIZE = 1024;
inline constexpr std::array<std::uint8_t, 2> REPLY_ACCEPTED = {'c', 'c'};

// The program's own version as the header carries it.
inline constexpr std::array<std::uint8_t, 3> versao_soft = {0x01, 0x00, 0x04};

struct UploadHeader {
    long serial = 0;  // 24 bits
    // Sent byte for byte, every NUL as a space.
    std::array<std::uint8_t, DESCRIPTION_SIZE> descricao{};
    int low_alarm_x10 = 0;  // tenths of a degree, signed
    int high_alarm_x10 = 0;
    int start_delay = 0;  // seconds
    int alarm_delay = 0;  // seconds
    int sample_points = 0;
    int sample_rate = 0;  // seconds
    // One interval after the last reading, in Brasília time, two-digit year.
    CALENDAR stamp;
    std::array<std::uint8_t, 3> firmware{};  // each digit through HexToChar
    std::uint8_t temp_unit = 0;              // 0 Celsius, 1 Fahrenheit
    std::array<std::uint8_t, 3> software = versao_soft;

    bool operator==(const UploadHeader&) const = default;
};

// '0'..'9' to 0..9; any other character minus 0x30, kept to 8 bits.
char HexToChar(char x);

// The header fields of a card's configuration; thresholds converted for `firmware`.
UploadHeader MakeUploadHeader(const ConfigValues& values, const CALENDAR& stamp,
                              const FirmwareVersion& firmware);

Bytes BuildHeaderMessage(const UploadHeader& header);
// Nothing unless `message` is a whole header with a good check byte and line end.
std::optional<UploadHeader> ParseHeaderMessage(std::span<const std::uint8_t> message);

// Packets needed for `readings` readings; none for zero.
int DataPacketCount(int readings);
// `tenths` holds 1 to PACOTE_ENVIO_DADOS temperatures; each is sent as its low 16 bits.
Bytes BuildDataPacket(std::span<const int> tenths);
// The temperatures (signed 16-bit) of a whole, well-formed packet; nothing otherwise.
std::optional<std::vector<int>> ParseDataPacket(std::span<const std::uint8_t> message);

bool IsEndMessage(std::span<const std::uint8_t> message);

// The reply check: the first two bytes of the (zero-cleared) receive buffer are "cc".
bool ReplyPasses(std::span<const std::uint8_t> reply_buffer);

// How a receiver learns where a message ends from its first bytes.
enum class FrameState { NeedMore, Complete, Invalid };
struct FrameScan {
    FrameState state;
    std::size_t wanted;  // bytes the message needs in all (or so far, when NeedMore)
};
FrameScan ScanMessage(std::span<const std::uint8_t> received);
