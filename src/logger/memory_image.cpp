#include "logger/memory_image.h"

#include <algorithm>

MemoryImage data_in{};
bool overflow = false;

int ImageReadingCount(const MemoryImage& image) {
    return std::min(BigEndian16(&image[OFF_LOG_COUNT]), MAX_IMAGE_READINGS);
}

int ImageSampleRate(const MemoryImage& image) {
    return BigEndian16(&image[OFF_SAMPLE_RATE]);
}

CALENDAR ImageStartTime(const MemoryImage& image) {
    const std::uint8_t* t = &image[OFF_START_TIME];
    CALENDAR c;
    c.s = t[0];
    c.m = t[1];
    c.h = t[2];
    c.day = t[3];
    c.month = t[4];
    c.year = t[5] | (t[6] << 8);
    return c;
}

void SetImageStartTime(MemoryImage& image, const CALENDAR& start) {
    std::uint8_t* t = &image[OFF_START_TIME];
    t[0] = start.s;
    t[1] = start.m;
    t[2] = start.h;
    t[3] = start.day;
    t[4] = start.month;
    t[5] = static_cast<std::uint8_t>(start.year & 0xFF);
    t[6] = static_cast<std::uint8_t>(start.year >> 8);
}

bool ImageNeverStarted(const MemoryImage& image) {
    return ImageStartTime(image).year <= NEVER_STARTED_YEAR;
}

FirmwareVersion ImageFirmware(const MemoryImage& image) {
    FirmwareVersion v;
    for (int k = 0; k < 3; ++k) {
        v.digits[k] = static_cast<char>(image[OFF_FIRMWARE + k]);
    }
    return v;
}

void SetImageFirmware(MemoryImage& image, const FirmwareVersion& version) {
    for (int k = 0; k < 3; ++k) {
        image[OFF_FIRMWARE + k] = static_cast<std::uint8_t>(version.digits[k]);
    }
}

int ReadingAD(const MemoryImage& image, int i) {
    return BigEndian16(&image[HEADER_SIZE + READING_SIZE * i]);
}

ConfigValues ConfigFromHeader(const std::uint8_t* header) {
    ConfigValues v;
    v.sample_points = BigEndian16(header + OFF_SAMPLE_POINTS);
    v.sample_rate = BigEndian16(header + OFF_SAMPLE_RATE);
    v.led_cycle = header[OFF_LED_CYCLE];
    v.flash_alarm = (header[OFF_FLAGS] & FLAG_FLASH_ALARM) != 0;
    v.temp_unit = (header[OFF_FLAGS] & FLAG_FAHRENHEIT) != 0 ? 1 : 0;
    v.t_low_alarm = BigEndian16(header + OFF_T_LOW);
    v.t_high_alarm = BigEndian16(header + OFF_T_HIGH);
    v.start_delay = BigEndian16(header + OFF_START_DELAY);
    v.alarm_delay = BigEndian16(header + OFF_ALARM_DELAY);
    v.serial = (static_cast<long>(header[OFF_SERIAL]) << 16) | (header[OFF_SERIAL + 1] << 8) |
               header[OFF_SERIAL + 2];
    SetDescription(v.descricao, DescriptionBytes(header + OFF_DESCRICAO));
    v.modo_nuvem = header[OFF_CLOUD] == 1;
    return v;
}

std::array<std::uint8_t, CONFIG_RECORD_SIZE> BuildConfigRecord(const ConfigValues& values,
                                                               const CALENDAR& utc_now) {
    std::array<std::uint8_t, CONFIG_RECORD_SIZE> p{};
    p[0] = utc_now.s;
    p[1] = utc_now.m;
    p[2] = utc_now.h;
    p[3] = utc_now.day;
    p[4] = utc_now.month;
    PutBigEndian16(&p[5], utc_now.year);
    // Payload byte k + 5 carries image byte k from here on.
    constexpr int kShift = 5;
    PutBigEndian16(&p[OFF_SAMPLE_POINTS + kShift], values.sample_points);
    PutBigEndian16(&p[OFF_SAMPLE_RATE + kShift], values.sample_rate);
    p[OFF_LED_CYCLE + kShift] = values.led_cycle;
    p[OFF_FLAGS + kShift] = (values.flash_alarm ? FLAG_FLASH_ALARM : 0) |
                            (values.temp_unit != 0 ? FLAG_FAHRENHEIT : 0) |
                            (values.modo_nuvem ? FLAG_CLOUD : 0);
    PutBigEndian16(&p[OFF_T_LOW + kShift], values.t_low_alarm);
    PutBigEndian16(&p[OFF_T_HIGH + kShift], values.t_high_alarm);
    PutBigEndian16(&p[OFF_START_DELAY + kShift], values.start_delay);
    PutBigEndian16(&p[OFF_ALARM_DELAY + kShift], values.alarm_delay);
    p[OFF_SERIAL + kShift] = static_cast<std::uint8_t>(values.serial >> 16);
    p[OFF_SERIAL + kShift + 1] = static_cast<std::uint8_t>(values.serial >> 8);
    p[OFF_SERIAL + kShift + 2] = static_cast<std::uint8_t>(values.serial);
    const std::string text = DescriptionBytes(values.descricao.data());
    std::copy(text.begin(), text.end(), &p[OFF_DESCRICAO + kShift]);
    p[OFF_CLOUD + kShift] = values.modo_nuvem ? 1 : 0;
    return p;
}

static int FromBcd(std::uint8_t byte) {
    return (byte >> 4) * 10 + (byte & 0x0F);
}

bool WeatherStationInfo(const std::uint8_t* dado_in, int* length, int* log_count) {
    static const int kRecordLength[6] = {10, 10, 13, 15, 18, 20};
    const int sensor = dado_in[12] & 0x0F;
    if (sensor < 6) {
        *length = kRecordLength[sensor];
    }
    *log_count = FromBcd(dado_in[10]) * 100 + FromBcd(dado_in[9]);
    overflow = (dado_in[11] & 0x04) != 0;
    return true;
}
