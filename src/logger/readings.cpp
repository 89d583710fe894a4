#include "logger/readings.h"

#include <algorithm>
#include <charconv>

#include "base/number_text.h"
#include "logger/calendar.h"
#include "logger/time_zone.h"

int ReportGmtOffset(const MemoryImage& image, TimeBase base) {
    if (base == TimeBase::CardTime) {
        return 0;
    }
    cal = ImageStartTime(image);
    ajustaHoraBrasilia(base == TimeBase::Gmt);
    return ajuste_hora;
}

CALENDAR ReadingTime(const MemoryImage& image, TimeBase base, int index) {
    CALENDAR time = ImageStartTime(image);
    if (base == TimeBase::Adjusted) {
        ShiftCalendarHours(time, BRASILIA_OFFSET_HOURS);
    }
    const int rate = ImageSampleRate(image);
    if (rate > 0) {
        AdvanceCalendar(time,
                        static_cast<unsigned long>(index + 1) * static_cast<unsigned long>(rate));
    }
    return time;
}

bool CheckImageFirmware(const MemoryImage& image, WindowId owner) {
    if (FirmwareUsesTempTable(ImageFirmware(image))) {
        return true;
    }
    ShowMessage(owner, MSG_FIRMWARE_NOT_SUPPORTED, " ", MsgIcon::None);
    return false;
}

float ImageTemp(const MemoryImage& image, int ad) {
    return ADToTemp(ad, ImageFirmware(image));
}

int ImageTemp_x10(const MemoryImage& image, int ad) {
    return ADToTemp_x10(ad, ImageFirmware(image));
}

// "%02d": two digits at least, more when the value needs them.
static void AppendTwoDigits(std::string& out, unsigned value) {
    if (value >= 100) {
        out += std::to_string(value);
        return;
    }
    out += static_cast<char>('0' + value / 10);
    out += static_cast<char>('0' + value % 10);
}

void AppendTimeText(std::string& out, const CALENDAR& c) {
    AppendTwoDigits(out, c.h);
    out += ':';
    AppendTwoDigits(out, c.m);
    out += ':';
    AppendTwoDigits(out, c.s);
}

void AppendDateText(std::string& out, const CALENDAR& c) {
    AppendTwoDigits(out, c.day);
    out += '.';
    AppendTwoDigits(out, c.month);
    out += '.';
    AppendTwoDigits(out, c.year % 100);
}

void AppendReadingRow(std::string& out, int number, const CALENDAR& time, const std::string& temp,
                      const std::string& threshold_fields) {
    char digits[16];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
    out += '\t';
    AppendTimeText(out, time);
    out += '\t';
    AppendDateText(out, time);
    out += '\t';
    out += temp;
    out += '\t';
    out += threshold_fields;
}

std::string TemperatureTexts::ThresholdFields(const MemoryImage& image) {
    return ForAD(BigEndian16(&image[OFF_T_LOW])) + '\t' + ForAD(BigEndian16(&image[OFF_T_HIGH])) +
           '\t';
}

TemperatureTexts::TemperatureTexts(const MemoryImage& image, char decimal_separator)
    : firmware_(ImageFirmware(image)), separator_(decimal_separator) {}

const std::string& TemperatureTexts::ForAD(int ad) {
    std::string& text = texts_[ClampAD(ad)];
    if (text.empty()) {
        text = Format(ADToTemp(ad, firmware_), separator_);
    }
    return text;
}

std::string TemperatureTexts::Format(float temp, char decimal_separator) {
    std::string result = FixedText(temp, 1);
    std::replace(result.begin(), result.end(), '.', decimal_separator);
    return result;
}
