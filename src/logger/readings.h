#pragma once
// The one decoder of readings and their time stamps, shared by the list, the
// spreadsheet, the reports, the graph, the printout and the upload.

#include <array>
#include <string>

#include "base/window_layer.h"
#include "logger/memory_image.h"
#include "logger/time_zone.h"
#include "sensor/temp_table.h"

// The times the reader is shown: adjusted to Brasília or the card's own GMT-0 (both said
// so by the reports through ajuste_hora), or the card's own without touching ajuste_hora.
enum class TimeBase { Adjusted, Gmt, CardTime };

// The choice of the data window's "converter para horário GMT-0" check box.
constexpr TimeBase ShownTimeBase(bool keep_card_time) {
    return keep_card_time ? TimeBase::Gmt : TimeBase::Adjusted;
}

// The hours the reports shift the card's times by, as ForEachReading decides (none for
// the card's own time).
int ReportGmtOffset(const MemoryImage& image, TimeBase base);

// The time of reading `index` as ForEachReading gives it, without touching `cal`: for a
// caller on another thread than the reads, or one that wants a reading or two.
CALENDAR ReadingTime(const MemoryImage& image, TimeBase base, int index);

// Shows the firmware message once when the image's version cannot use the table;
// the decoders then convert every temperature to the refused value.
bool CheckImageFirmware(const MemoryImage& image, WindowId owner);

// Loads `cal` with the image's start time, applies the time-zone choice once
// (unless `base` is CardTime), then calls visit(i, ad) for each reading with `cal`
// advanced by (i + 1) intervals.
template <typename Visit>
void ForEachReading(const MemoryImage& image, TimeBase base, Visit&& visit) {
    const int count = ImageReadingCount(image);
    const int rate = ImageSampleRate(image);
    cal = ImageStartTime(image);
    if (base != TimeBase::CardTime) {
        ajustaHoraBrasilia(base == TimeBase::Gmt);
    }
    for (int i = 0; i < count; ++i) {
        CalcDate(i, rate);
        visit(i, ReadingAD(image, i));
    }
}

// Temperature of an A/D value of this image, refused when its firmware cannot use the table.
float ImageTemp(const MemoryImage& image, int ad);
int ImageTemp_x10(const MemoryImage& image, int ad);

// "%02d:%02d:%02d" and "%02d.%02d.%02d" (two-digit year) of a time stamp.
void AppendTimeText(std::string& out, const CALENDAR& c);
void AppendDateText(std::string& out, const CALENDAR& c);

// "N\tHH:MM:SS\tDD.MM.YY\tT\tLOW\tHIGH\t": one reading as the list and the spreadsheet
// write it; `threshold_fields` is "LOW\tHIGH\t" from ThresholdFields.
void AppendReadingRow(std::string& out, int number, const CALENDAR& time, const std::string& temp,
                      const std::string& threshold_fields);

// "%02.1f" of an image's temperatures with the given decimal separator, formatted once
// per A/D value: a full image repeats the same few hundred values.
class TemperatureTexts {
  public:
    TemperatureTexts(const MemoryImage& image, char decimal_separator);
    const std::string& ForAD(int ad);
    static std::string Format(float temp, char decimal_separator);

    // "LOW\tHIGH\t": the image's two thresholds.
    std::string ThresholdFields(const MemoryImage& image);

  private:
    FirmwareVersion firmware_;
    char separator_;
    std::array<std::string, TEMP_TABLE_SIZE> texts_;
};
