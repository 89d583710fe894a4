#include "cloud/upload_messages.h"

#include <algorithm>

#include "logger/memory_image.h"

namespace {

// Header offsets.
constexpr std::size_t H_SERIAL = 1;
constexpr std::size_t H_DESCRICAO = 4;
constexpr std::size_t H_LOW_ALARM = 25;
constexpr std::size_t H_HIGH_ALARM = 27;
constexpr std::size_t H_START_DELAY = 29;
constexpr std::size_t H_ALARM_DELAY = 31;
constexpr std::size_t H_SAMPLE_POINTS = 33;
constexpr std::size_t H_SAMPLE_RATE = 35;
constexpr std::size_t H_STAMP = 37;  // hour, minute, second, day, month, year
constexpr std::size_t H_FIRMWARE = 43;
constexpr std::size_t H_TEMP_UNIT = 46;
constexpr std::size_t H_SOFTWARE = 47;
constexpr std::size_t H_CHECK = 50;
constexpr std::size_t H_LINE_END = 51;

// Data packet offsets.
constexpr std::size_t P_COUNT = 1;
constexpr std::size_t P_CHECK = 3;
constexpr std::size_t P_READINGS = 4;

constexpr std::uint8_t CR = 0x0D;
constexpr std::uint8_t LF = 0x0A;

int Signed16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(BigEndian16(p));
}

std::uint8_t Xor(std::span<const std::uint8_t> bytes) {
    std::uint8_t check = 0;
    for (const std::uint8_t b : bytes) {
        check ^= b;
    }
    return check;
}

bool EndsWithLineEnd(std::span<const std::uint8_t> message) {
    return message.size() >= 2 && message[message.size() - 2] == CR && message.back() == LF;
}

}  // namespace

char HexToChar(char x) {
    return static_cast<char>(static_cast<unsigned char>(x) - 0x30);
}

UploadHeader MakeUploadHeader(const ConfigValues& values, const CALENDAR& stamp,
                              const FirmwareVersion& firmware) {
    UploadHeader h;
    h.serial = values.serial & 0xFFFFFF;
    h.descricao = values.descricao;
    h.low_alarm_x10 = ADToTemp_x10(values.t_low_alarm, firmware);
    h.high_alarm_x10 = ADToTemp_x10(values.t_high_alarm, firmware);
    h.start_delay = values.start_delay;
    h.alarm_delay = values.alarm_delay;
    h.sample_points = values.sample_points;
    h.sample_rate = values.sample_rate;
    h.stamp = stamp;
    for (int k = 0; k < 3; ++k) {
        h.firmware[k] = static_cast<std::uint8_t>(HexToChar(firmware.digits[k]));
    }
    h.temp_unit = values.temp_unit;
    return h;
}

Bytes BuildHeaderMessage(const UploadHeader& header) {
    Bytes m(HEADER_MESSAGE_SIZE, 0);
    m[0] = HEADER_START;
    m[H_SERIAL] = static_cast<std::uint8_t>(header.serial >> 16);
    PutBigEndian16(&m[H_SERIAL + 1], header.serial);
    std::transform(header.descricao.begin(), header.descricao.end(), &m[H_DESCRICAO],
                   [](std::uint8_t b) { return b == 0 ? std::uint8_t{' '} : b; });
    PutBigEndian16(&m[H_LOW_ALARM], header.low_alarm_x10);
    PutBigEndian16(&m[H_HIGH_ALARM], header.high_alarm_x10);
    PutBigEndian16(&m[H_START_DELAY], header.start_delay);
    PutBigEndian16(&m[H_ALARM_DELAY], header.alarm_delay);
    PutBigEndian16(&m[H_SAMPLE_POINTS], header.sample_points);
    PutBigEndian16(&m[H_SAMPLE_RATE], header.sample_rate);
    m[H_STAMP + 0] = header.stamp.h;
    m[H_STAMP + 1] = header.stamp.m;
    m[H_STAMP + 2] = header.stamp.s;
    m[H_STAMP + 3] = header.stamp.day;
    m[H_STAMP + 4] = header.stamp.month;
    m[H_STAMP + 5] = static_cast<std::uint8_t>(header.stamp.year);
    std::copy(header.firmware.begin(), header.firmware.end(), &m[H_FIRMWARE]);
    m[H_TEMP_UNIT] = header.temp_unit;
    std::copy(header.software.begin(), header.software.end(), &m[H_SOFTWARE]);
    m[H_CHECK] = Xor(std::span(m).first(H_CHECK));
    m[H_LINE_END] = CR;
    m[H_LINE_END + 1] = LF;
    return m;
}

std::optional<UploadHeader> ParseHeaderMessage(std::span<const std::uint8_t> m) {
    if (m.size() != HEADER_MESSAGE_SIZE || m[0] != HEADER_START ||
        m[H_CHECK] != Xor(m.first(H_CHECK)) || !EndsWithLineEnd(m)) {
        return std::nullopt;
    }
    UploadHeader h;
    h.serial = static_cast<long>(m[H_SERIAL]) << 16 | BigEndian16(&m[H_SERIAL + 1]);
    std::copy_n(&m[H_DESCRICAO], DESCRIPTION_SIZE, h.descricao.begin());
    h.low_alarm_x10 = Signed16(&m[H_LOW_ALARM]);
    h.high_alarm_x10 = Signed16(&m[H_HIGH_ALARM]);
    h.start_delay = BigEndian16(&m[H_START_DELAY]);
    h.alarm_delay = BigEndian16(&m[H_ALARM_DELAY]);
    h.sample_points = BigEndian16(&m[H_SAMPLE_POINTS]);
    h.sample_rate = BigEndian16(&m[H_SAMPLE_RATE]);
    h.stamp.h = m[H_STAMP + 0];
    h.stamp.m = m[H_STAMP + 1];
    h.stamp.s = m[H_STAMP + 2];
    h.stamp.day = m[H_STAMP + 3];
    h.stamp.month = m[H_STAMP + 4];
    h.stamp.year = m[H_STAMP + 5];
    std::copy_n(&m[H_FIRMWARE], 3, h.firmware.begin());
    h.temp_unit = m[H_TEMP_UNIT];
    std::copy_n(&m[H_SOFTWARE], 3, h.software.begin());
    return h;
}

int DataPacketCount(int readings) {
    return readings <= 0 ? 0 : (readings + PACOTE_ENVIO_DADOS - 1) / PACOTE_ENVIO_DADOS;
}

Bytes BuildDataPacket(std::span<const int> tenths) {
    const std::size_t n = std::min(tenths.size(), static_cast<std::size_t>(PACOTE_ENVIO_DADOS));
    Bytes m(PACKET_OVERHEAD + 2 * n, 0);
    m[0] = PACKET_START;
    PutBigEndian16(&m[P_COUNT], static_cast<long>(n));
    for (std::size_t i = 0; i < n; ++i) {
        PutBigEndian16(&m[P_READINGS + 2 * i], tenths[i]);
    }
    m[m.size() - 2] = CR;
    m[m.size() - 1] = LF;
    // The check byte covers every other byte, the line end included; it is zero meanwhile.
    m[P_CHECK] = Xor(m);
    return m;
}

std::optional<std::vector<int>> ParseDataPacket(std::span<const std::uint8_t> m) {
    const FrameScan scan = ScanMessage(m);
    if (scan.state != FrameState::Complete || scan.wanted != m.size() || m[0] != PACKET_START ||
        Xor(m) != 0 || !EndsWithLineEnd(m)) {
        return std::nullopt;
    }
    const int n = BigEndian16(&m[P_COUNT]);
    std::vector<int> tenths(n);
    for (int i = 0; i < n; ++i) {
        tenths[i] = Signed16(&m[P_READINGS + 2 * i]);
    }
    return tenths;
}

bool IsEndMessage(std::span<const std::uint8_t> message) {
    return std::ranges::equal(message, END_MESSAGE);
}

bool ReplyPasses(std::span<const std::uint8_t> reply_buffer) {
    return reply_buffer.size() >= 2 && reply_buffer[0] == REPLY_ACCEPTED[0] &&
           reply_buffer[1] == REPLY_ACCEPTED[1];
}

FrameScan ScanMessage(std::span<const std::uint8_t> received) {
    if (received.empty()) {
        return {FrameState::NeedMore, 1};
    }
    std::size_t wanted = 0;
    switch (received[0]) {
        case HEADER_START:
            wanted = HEADER_MESSAGE_SIZE;
            break;
        case END_MESSAGE[0]:
            wanted = END_MESSAGE.size();
            break;
        case PACKET_START: {
            if (received.size() < P_CHECK) {
                return {FrameState::NeedMore, P_CHECK};
            }
            const int n = BigEndian16(&received[P_COUNT]);
            if (n < 1 || n > PACOTE_ENVIO_DADOS) {
                return {FrameState::Invalid, 0};
            }
            wanted = PACKET_OVERHEAD + 2 * static_cast<std::size_t>(n);
            break;
        }
        default:
            return {FrameState::Invalid, 0};
    }
    return {received.size() >= wanted ? FrameState::Complete : FrameState::NeedMore, wanted};
}
