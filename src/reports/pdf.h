#pragma once
// The hand-written PDF 1.1 document writer shared by both reports, and the table
// report built on it: every reading with its number, time, date and temperature,
// 102 lines to a column and four columns to an A4 page.
//
// A document is written in one sequential pass through a buffered stream. Each page's
// content is kept in memory until the page ends, so that its stream carries its true
// length; the cross-reference table and the trailer close the file.

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/atomic_file.h"
#include "logger/calendar.h"
#include "logger/memory_image.h"
#include "logger/readings.h"
#include "reports/recording_stats.h"

// Table layout, in points from the lower left corner of the A4 page.
constexpr int linhas_pdf = 102;
constexpr int colunas_pdf = 4;
constexpr int inicio_tabela_pdf = 750;
constexpr int espaco_entre_linha_pdf = 7;
constexpr int distancia_col = 140;
constexpr int offset_col = 25;
constexpr int READINGS_PER_PAGE = linhas_pdf * colunas_pdf;

// Object numbers: page p is object 10p and its content stream 10p + 1.
constexpr int PDF_INFO_OBJECT = 1;
constexpr int PDF_RESOURCES_OBJECT = 4;
constexpr int PDF_FONT_OBJECT = 5;
constexpr int PDF_GRAPHICS_STATE_OBJECT = 6;
constexpr int PDF_PAGES_OBJECT = 7;
constexpr int PDF_CATALOG_OBJECT = 12;

// One document being written.
struct PdfFile {
    std::unique_ptr<ReplacingFile> file;  // replaces the target only when closed whole
    std::FILE* stream = nullptr;
    long long offset = 0;                   // bytes written so far
    std::vector<long long> object_offsets;  // by object number; -1 for numbers not used
    std::string page_content;               // content of the open page
    int page_stream_object = 0;             // its object number
    bool page_open = false;
    bool write_failed = false;
    std::string error;  // why the document could not be written
};

// Starts the document that will replace `path`; false (with `error` set) when it cannot
// be created.
bool PdfCreate(PdfFile& pdf, const std::string& path);
// Writes the cross-reference table and the trailer and puts the document in place; false
// (with `error` set and any earlier file at the path untouched) when anything could not
// be written.
bool PdfClose(PdfFile& pdf);

// Text goes into the open page's content stream, else straight into the file.
void PdfWrite(PdfFile& pdf, std::string_view text);
void PdfPrintf(PdfFile& pdf, const char* format, ...) __attribute__((format(printf, 2, 3)));

// "RazuRozavi" and its version: the reports' Creator and Producer.
std::string ProgramNameAndVersion();
// The header, the Info dictionary (`title`, created LocalNow() in the PC's time zone, by
// ProgramNameAndVersion(), its Keywords the SHA-256 of the data file the report was made
// from, which ties the report to its data), the resources, the font, the graphics state
// and the catalog.
void PdfParameteres(PdfFile& pdf, std::string_view title, std::string_view data_sha256);
// The page tree of `pages` pages.
void PdfSummary(PdfFile& pdf, int pages);
// The page object of `page` and the start of its content ("2 J").
void PdfBeginPage(PdfFile& pdf, int page);
// Ends the page's content stream and writes it.
void PdfEndWritePage(PdfFile& pdf);

// "D:YYYYMMDDHHmmSS" and the offset from UTC: "-03'00'", "+09'00'", or "Z" for none.
std::string PdfDateText(const CALENDAR& c, int utc_offset_minutes);
// The body of a PDF string: "(", ")" and "\" escaped; UTF-8 text outside ASCII in the
// font's MacRoman encoding where it has the character, else "?"; control characters
// as octal escapes.
std::string PdfStringText(std::string_view utf8);

// The body of a PDF text string, as the Info dictionary holds it: UTF-8 text in
// PDFDocEncoding where it has the character, else "?"; "(", ")" and "\" escaped.
std::string PdfInfoText(std::string_view utf8);

// The character between "GMT" and the offset: "GMT-0", "GMT -3", "GMT+1".
char GmtSignChar(int hours);

// What the table report's header block shows.
struct ReportHeader {
    long serial = 0;
    bool fahrenheit = false;
    float t_low = 0;  // degrees Celsius
    float t_high = 0;
    int alarm_delay = 0;  // seconds
};

// Begins page `page` with the report header block.
void PdfIniWritePage(PdfFile& pdf, int page, const ReportHeader& header);
// The column heading of column `column` (0-3).
void PdfHeader(PdfFile& pdf, int size, int column);
// "path  Pagina page/pages" at the foot of the page.
void PdfFooter(PdfFile& pdf, std::string_view path, int page, int pages);

// Creates the document that replaces `path`, lets `write_pages` fill it and puts it in
// place; false (with `reason` set and any earlier file at the path untouched) when it
// cannot be written.
template <typename WritePages>
bool WritePdfFile(const std::string& path, std::string* reason, WritePages&& write_pages) {
    PdfFile pdf;
    if (!PdfCreate(pdf, path)) {
        *reason = pdf.error;
        return false;
    }
    write_pages(pdf);
    if (!PdfClose(pdf)) {
        *reason = pdf.error;
        return false;
    }
    return true;
}

// Writes the table report of `image` to `path`, whose name each page's foot prints, its
// times as `base` says. False (with `reason`) when it could not be written.
bool WriteTableReportFile(const std::string& path, const MemoryImage& image, TimeBase base,
                          std::string* reason);
