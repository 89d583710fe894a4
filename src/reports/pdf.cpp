#include "reports/pdf.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstring>
#include <unordered_map>

#include "base/number_text.h"
#include "files/digest.h"
#include "logger/clock.h"
#include "logger/time_zone.h"

namespace {

constexpr std::size_t kStreamBufferSize = 1 << 16;

// Unicode characters of bytes 0x80-0xFF in the font's MacRoman encoding; 0 where the
// encoding has no glyph for the byte.
constexpr char32_t kMacRoman[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3,
    0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3,
    0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0,      0x00C6, 0x00D8,
    0,      0x00B1, 0,      0,      0x00A5, 0x00B5, 0,      0,      0,      0,      0,      0x00AA,
    0x00BA, 0,      0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0,      0x0192, 0,      0,      0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D,
    0x2018, 0x2019, 0x00F7, 0,      0x00FF, 0x0178, 0x2044, 0x00A4, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE,
    0x00CF, 0x00CC, 0x00D3, 0x00D4, 0,      0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7};

int MacRomanByte(char32_t cp) {
    for (int k = 0; k < 128; ++k) {
        if (kMacRoman[k] == cp) {
            return 0x80 + k;
        }
    }
    return -1;
}

// The code point at text[i] and its length in bytes; malformed UTF-8 is one byte that
// matches no character.
std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (lead >= 0x80 && lead < 0xC0) {
        return {0xFFFD, 1};
    }
    if (length == 1) {
        return {lead, 1};
    }
    if (i + length > text.size()) {
        return {0xFFFD, 1};
    }
    char32_t cp = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return {0xFFFD, 1};
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    return {cp, length};
}

void WriteToFile(PdfFile& pdf, std::string_view bytes) {
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), pdf.stream) != bytes.size() &&
        !pdf.write_failed) {
        pdf.write_failed = true;
        pdf.error = std::strerror(errno != 0 ? errno : EIO);
    }
    pdf.offset += static_cast<long long>(bytes.size());
}

// Records where object `number` starts; every object begins in the file, not in a page.
void BeginObject(PdfFile& pdf, int number) {
    if (pdf.object_offsets.size() <= static_cast<std::size_t>(number)) {
        pdf.object_offsets.resize(static_cast<std::size_t>(number) + 1, -1);
    }
    pdf.object_offsets[static_cast<std::size_t>(number)] = pdf.offset;
}

void WriteFixedObjects(PdfFile& pdf) {
    BeginObject(pdf, PDF_RESOURCES_OBJECT);
    PdfWrite(pdf,
             "4 0 obj\n<<\n/ProcSet [/PDF /Text ]\n/Font <<\n/F4 5 0 R\n>>\n"
             "/ExtGState <<\n/GS2 6 0 R\n>>\n>>\nendobj\n");
    BeginObject(pdf, PDF_FONT_OBJECT);
    PdfWrite(pdf,
             "5 0 obj\n<<\n/Type /Font\n/Subtype /Type1\n/Name /F4\n/BaseFont /Helvetica\n"
             "/Encoding /MacRomanEncoding\n>>\nendobj\n");
    BeginObject(pdf, PDF_GRAPHICS_STATE_OBJECT);
    PdfWrite(pdf, "6 0 obj\n<<\n/Type /ExtGState\n/SA false\n/OP true\n/HT /Default\n>>\nendobj\n");
    BeginObject(pdf, PDF_CATALOG_OBJECT);
    PdfWrite(pdf, "12 0 obj\n<<\n/Type /Catalog\n/Pages 7 0 R\n>>\nendobj\n");
}

// Free entries are chained from entry 0 through every unused number back to 0.
void WriteCrossReference(PdfFile& pdf) {
    const std::vector<long long>& offsets = pdf.object_offsets;
    const int size = static_cast<int>(offsets.size());
    const auto next_free = [&](int after) {
        for (int k = after + 1; k < size; ++k) {
            if (offsets[static_cast<std::size_t>(k)] < 0) {
                return k;
            }
        }
        return 0;
    };
    const long long xref_offset = pdf.offset;
    std::string table;
    table.reserve(32 + 20 * offsets.size());
    char entry[32];
    std::snprintf(entry, sizeof entry, "xref\n0 %d\n", size);
    table += entry;
    for (int k = 0; k < size; ++k) {
        const long long at = offsets[static_cast<std::size_t>(k)];
        if (k == 0 || at < 0) {
            std::snprintf(entry, sizeof entry, "%010d %05d f \n", next_free(k), k == 0 ? 65535 : 0);
        } else {
            std::snprintf(entry, sizeof entry, "%010lld 00000 n \n", at);
        }
        table += entry;
    }
    WriteToFile(pdf, table);
    PdfPrintf(pdf,
              "trailer\n<<\n/Size %d\n/Root 12 0 R\n/Info 1 0 R\n>>\nstartxref\n%lld\n%%%%EOF\n",
              size, xref_offset);
}

}  // namespace

bool PdfCreate(PdfFile& pdf, const std::string& path) {
    pdf = PdfFile{};
    pdf.file = std::make_unique<ReplacingFile>();
    if (!pdf.file->Open(path, &pdf.error)) {
        pdf.file.reset();
        return false;
    }
    pdf.stream = pdf.file->Stream();
    std::setvbuf(pdf.stream, nullptr, _IOFBF, kStreamBufferSize);
    pdf.object_offsets.assign(1, -1);
    return true;
}

bool PdfClose(PdfFile& pdf) {
    WriteCrossReference(pdf);
    pdf.stream = nullptr;
    const std::unique_ptr<ReplacingFile> file = std::move(pdf.file);
    if (pdf.write_failed) {
        file->Abandon();
        return false;
    }
    return file->Commit(&pdf.error);
}

void PdfWrite(PdfFile& pdf, std::string_view text) {
    if (pdf.page_open) {
        pdf.page_content.append(text);
    } else {
        WriteToFile(pdf, text);
    }
}

void PdfPrintf(PdfFile& pdf, const char* format, ...) {
    char text[512];
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof text) {
        PdfWrite(pdf, std::string_view(text, static_cast<std::size_t>(length)));
    } else if (length >= 0) {
        std::string long_text(static_cast<std::size_t>(length) + 1, '\0');
        std::vsnprintf(long_text.data(), long_text.size(), format, again);
        long_text.pop_back();
        PdfWrite(pdf, long_text);
    }
    va_end(again);
}

std::string PdfDateText(const CALENDAR& c, int utc_offset_minutes) {
    char text[48];
    const int n = std::snprintf(text, sizeof text, "D:%04u%02d%02d%02d%02d%02d", c.year, c.month,
                                c.day, c.h, c.m, c.s);
    std::string date(text, static_cast<std::size_t>(n));
    if (utc_offset_minutes == 0) {
        return date + "Z";
    }
    const int minutes = utc_offset_minutes < 0 ? -utc_offset_minutes : utc_offset_minutes;
    std::snprintf(text, sizeof text, "%c%02d'%02d'", utc_offset_minutes < 0 ? '-' : '+',
                  minutes / 60, minutes % 60);
    return date + text;
}

std::string ProgramNameAndVersion() {
    return "RazuRozavi " RAZUROZAVI_VERSION;
}

std::string PdfInfoText(std::string_view utf8) {
    // PDFDocEncoding is Latin-1 from 0xA1 on; below, a few typographic marks of its own.
    static constexpr std::pair<char32_t, char> kMarks[] = {
        {0x2022, '\x80'}, {0x2020, '\x81'}, {0x2021, '\x82'}, {0x2026, '\x83'},
        {0x2014, '\x84'}, {0x2013, '\x85'}, {0x201C, '\x8D'}, {0x201D, '\x8E'},
        {0x2018, '\x8F'}, {0x2019, '\x90'}, {0x20AC, '\xA0'}};
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto [cp, length] = DecodeUtf8(utf8, i);
        i += length;
        if (cp == '(' || cp == ')' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp >= 0x20 && cp < 0x7F) {
            out += static_cast<char>(cp);
        } else if (cp >= 0xA1 && cp <= 0xFF && cp != 0xAD) {
            out += static_cast<char>(cp);
        } else {
            char byte = '?';
            for (const auto& [mark, code] : kMarks) {
                byte = mark == cp ? code : byte;
            }
            out += byte;
        }
    }
    return out;
}

std::string PdfStringText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 8);
    for (std::size_t i = 0; i < utf8.size();) {
        const auto [cp, length] = DecodeUtf8(utf8, i);
        i += length;
        if (cp == '(' || cp == ')' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp < 0x20 || cp == 0x7F) {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned>(cp));
            out += octal;
        } else if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else {
            const int byte = MacRomanByte(cp);
            out += byte < 0 ? '?' : static_cast<char>(byte);
        }
    }
    return out;
}

void PdfParameteres(PdfFile& pdf, std::string_view title, std::string_view data_sha256) {
    PdfWrite(pdf, "%PDF-1.1\n");
    BeginObject(pdf, PDF_INFO_OBJECT);
    const CALENDAR now = LocalNow();
    PdfWrite(pdf, "1 0 obj\n<<\n/CreationDate (" + PdfDateText(now, UtcOffsetMinutes(now)) + ")\n");
    const std::string program = PdfInfoText(ProgramNameAndVersion());
    PdfWrite(pdf, "/Producer (" + program + ")\n");
    PdfWrite(pdf, "/Title (" + PdfInfoText(title) + ")\n");
    PdfWrite(pdf, "/Keywords (sha256:" + PdfInfoText(data_sha256) + ")\n");
    PdfWrite(pdf, "/Creator (" + program + ")\n>>\nendobj\n");
    WriteFixedObjects(pdf);
}

void PdfSummary(PdfFile& pdf, int pages) {
    BeginObject(pdf, PDF_PAGES_OBJECT);
    PdfWrite(pdf, "7 0 obj\n<<\n/Type /Pages\n/Kids [");
    for (int page = 1; page <= pages; ++page) {
        PdfPrintf(pdf, "%d 0 R ", 10 * page);
    }
    PdfPrintf(pdf, "]\n/Count %d\n/MediaBox [0 0 595 842]\n>>\nendobj\n", pages);
}

void PdfBeginPage(PdfFile& pdf, int page) {
    BeginObject(pdf, 10 * page);
    PdfPrintf(pdf, "%d 0 obj\n<<\n/Type /Page\n/Parent 7 0 R\n/Resources 4 0 R\n", 10 * page);
    PdfPrintf(pdf, "/Contents %d 0 R\n>>\nendobj\n", 10 * page + 1);
    pdf.page_stream_object = 10 * page + 1;
    pdf.page_content.clear();
    pdf.page_open = true;
    PdfWrite(pdf, "2 J\n");
}

void PdfEndWritePage(PdfFile& pdf) {
    pdf.page_open = false;
    BeginObject(pdf, pdf.page_stream_object);
    PdfPrintf(pdf, "%d 0 obj\n<<\n/Length %zu\n>>\nstream\n", pdf.page_stream_object,
              pdf.page_content.size());
    WriteToFile(pdf, pdf.page_content);
    PdfWrite(pdf, "endstream\nendobj\n");
    pdf.page_content.clear();
}

char GmtSignChar(int hours) {
    return hours > 0 ? '+' : hours == 0 ? '-' : ' ';
}

void PdfIniWritePage(PdfFile& pdf, int page, const ReportHeader& header) {
    constexpr int size = 9;
    const char unit = header.fahrenheit ? 'F' : 'C';
    PdfBeginPage(pdf, page);
    PdfPrintf(pdf, "BT\n/F4 %d Tf\n", size + 1);
    PdfPrintf(pdf, "0 Tc 0 Tw %d %d TD\n[(________)] TJ\n", 25, 809);
    PdfPrintf(pdf, "0 %d TD\n[(Morvelta)] TJ\n", 1);
    PdfPrintf(pdf,
              "0 %d TD\n[(______________________________________________________________________"
              "________________________)] TJ\n",
              -12);
    PdfPrintf(pdf, "0 %d TD\n[(KELTRIX)] TJ\n", 1);
    PdfPrintf(pdf, "440 0 TD\n[(Serial #: %ld)] TJ\n", header.serial);
    PdfPrintf(pdf, "/F4 %d Tf\n", size - 2);
    PdfPrintf(pdf, "-440 %d TD\n[(____________)] TJ\n", -11);
    PdfWrite(pdf, "0 1 TD\n[(Configuracoes:)] TJ\n");
    PdfPrintf(pdf, "0 %d TD\n[(Temperatura inferior para alarme: %s\\241%c)] TJ\n", -10,
              FixedText(ct(header.t_low, header.fahrenheit), 1).c_str(), unit);
    PdfPrintf(pdf, "200 %d TD\n[(Temperatura superior para alarme: %s\\241%c)] TJ\n", 0,
              FixedText(ct(header.t_high, header.fahrenheit), 1).c_str(), unit);
    PdfPrintf(pdf, "170 %d TD\n[(Todos os tempos sao mostrados em GMT%c%d)] TJ\n", 0,
              GmtSignChar(ajuste_hora), ajuste_hora);
    PdfPrintf(pdf,
              "-370 %d TD\n[(Atraso para disparo do alarme, quando temperatura fora da faixa: "
              "%s)] TJ\n",
              -7, SToHMinS(header.alarm_delay).c_str());
    PdfPrintf(pdf, "450 %d TD\n[( )] TJ\n", 0);
    PdfPrintf(pdf,
              "-450 %d TD\n[(______________________________________________________________________"
              "________________________________________________________________)] TJ\nET\n",
              -1);
}

void PdfHeader(PdfFile& pdf, int size, int column) {
    PdfPrintf(pdf, "BT\n/F4 %d Tf 0 0 0 rg\n ", size);
    PdfPrintf(pdf, "0 Tc 0 Tw %d %d TD\n[(N)] TJ\n", distancia_col * column + offset_col,
              inicio_tabela_pdf + 10);
    PdfWrite(pdf, "20 0 TD\n[(Hora)] TJ\n");
    PdfWrite(pdf, "34 0 TD\n[(Data)] TJ\n");
    PdfWrite(pdf, "34 0 TD\n[(T(\\241C))] TJ\nET\n");
}

void PdfFooter(PdfFile& pdf, std::string_view path, int page, int pages) {
    PdfWrite(pdf, "BT\n/F4 6 Tf 0 0 0 rg\n");
    PdfWrite(pdf, "0 Tc 0 Tw 25 20 TD\n[(" + PdfStringText(path) + ")] TJ\n");
    PdfPrintf(pdf, "270 0 TD\n[(Pagina %d/%d)]TJ\nET\n", page, pages);
}

namespace {

struct StampedReading {
    CALENDAR time;
    float temperature;  // degrees Celsius
};

// What PdfPrintf would write for a reading's line, formatted by hand into one buffer:
// with printf, or a string grown piece by piece, the 32640 lines are the report's cost.
class LineWriter {
  public:
    void Text(std::string_view text) {
        std::memcpy(end_, text.data(), text.size());
        end_ += text.size();
    }
    void Char(char c) { *end_++ = c; }
    // "%d", or "%02d" with `min_digits` 2 (used for values that are never negative).
    void Number(long value, int min_digits = 1) {
        if (value < 0) {
            Char('-');
            value = -value;
        }
        char digits[24];
        const auto last = std::to_chars(digits, digits + sizeof digits, value).ptr;
        for (int pad = min_digits - static_cast<int>(last - digits); pad > 0; --pad) {
            Char('0');
        }
        Text(std::string_view(digits, static_cast<std::size_t>(last - digits)));
    }
    std::string_view Written() const { return {buffer_, static_cast<std::size_t>(end_ - buffer_)}; }

  private:
    char buffer_[256];  // the longest line is under 150 bytes
    char* end_ = buffer_;
};

// "%02.1f" of a temperature. A report holds at most 1024 distinct values (one per A/D
// count), so each is formatted once; to_chars rounds the double exactly as printf does.
std::string_view TemperatureText(float temperature) {
    static thread_local std::unordered_map<std::uint32_t, std::string> texts;
    std::uint32_t bits = 0;
    std::memcpy(&bits, &temperature, sizeof bits);
    auto found = texts.find(bits);
    if (found == texts.end()) {
        char text[64];
        const auto last = std::to_chars(text, text + sizeof text, static_cast<double>(temperature),
                                        std::chars_format::fixed, 1)
                              .ptr;
        std::string formatted(text, last);
        if (formatted.size() < 2) {
            formatted.insert(0, 2 - formatted.size(), '0');
        }
        if (texts.size() > 4096) {
            texts.clear();
        }
        found = texts.emplace(bits, std::move(formatted)).first;
    }
    return found->second;
}

void WriteReadingLine(PdfFile& pdf, int number, const StampedReading& reading, bool red, int x,
                      int y) {
    LineWriter line;
    line.Text(red ? "BT\n/F4 6 Tf 1 0 0 rg\n0 Tc 0 Tw " : "BT\n/F4 6 Tf 0 0 0 rg\n0 Tc 0 Tw ");
    line.Number(x);
    line.Char(' ');
    line.Number(y);
    line.Text(" TD\n[(");
    line.Number(number);
    line.Text(")] TJ\n20 0 TD\n[(");
    const CALENDAR& t = reading.time;
    line.Number(t.h, 2);
    line.Char(':');
    line.Number(t.m, 2);
    line.Char(':');
    line.Number(t.s, 2);
    line.Text(")] TJ\n34 0 TD\n[(");
    line.Number(t.day, 2);
    line.Char('.');
    line.Number(t.month, 2);
    line.Char('.');
    line.Number(t.year % 100, 2);
    line.Text(")] TJ\n34 0 TD\n[(");
    line.Text(TemperatureText(reading.temperature));
    line.Text(")] TJ\nET\n");
    PdfWrite(pdf, line.Written());
}

void WriteTableReport(PdfFile& pdf, const std::string& path, const ReportHeader& header,
                      const std::vector<StampedReading>& readings, int tolerance,
                      std::string_view data_sha256) {
    const int count = static_cast<int>(readings.size());
    // An image without readings still gets its page with the header block and headings.
    const int pages = std::max(1, (count + READINGS_PER_PAGE - 1) / READINGS_PER_PAGE);
    PdfParameteres(pdf, "Relatório de temperaturas – Serial " + std::to_string(header.serial),
                   data_sha256);
    PdfSummary(pdf, pages);

    int page = 1;
    int column = 0;
    int line = 0;
    PdfIniWritePage(pdf, page, header);
    PdfHeader(pdf, 7, column);
    int out_of_range = 0;  // consecutive readings outside the thresholds
    for (int n = 0; n < count; ++n) {
        const float t = readings[n].temperature;
        // A reading equal to a threshold is out of range; red once the run outlasts the
        // alarm delay.
        out_of_range = (header.t_low < t && t < header.t_high) ? 0 : out_of_range + 1;
        const bool red = out_of_range > tolerance;
        WriteReadingLine(pdf, n + 1, readings[n], red, distancia_col * column + offset_col,
                         inicio_tabela_pdf - espaco_entre_linha_pdf * line);
        if (++line < linhas_pdf) {
            continue;
        }
        line = 0;
        if (++column == colunas_pdf) {
            PdfFooter(pdf, path, page, pages);
            PdfEndWritePage(pdf);
            if (n + 1 == count) {
                return;
            }
            PdfIniWritePage(pdf, ++page, header);
            column = 0;
        }
        PdfHeader(pdf, 7, column);
    }
    PdfFooter(pdf, path, page, pages);
    PdfEndWritePage(pdf);
}

}  // namespace

bool WriteTableReportFile(const std::string& path, const MemoryImage& image, TimeBase base,
                          std::string* reason) {
    const ConfigValues config = ConfigFromHeader(image.data());
    ReportHeader header;
    header.serial = config.serial;
    header.fahrenheit = config.temp_unit != 0;
    header.t_low = ImageTemp(image, config.t_low_alarm);
    header.t_high = ImageTemp(image, config.t_high_alarm);
    header.alarm_delay = config.alarm_delay;
    // An interval of 0 would divide by zero: every out-of-range reading then counts.
    const int tolerance = config.sample_rate > 0 ? config.alarm_delay / config.sample_rate : 0;

    std::vector<StampedReading> readings;
    readings.reserve(static_cast<std::size_t>(ImageReadingCount(image)));
    ForEachReading(image, base, [&](int, int ad) {
        readings.push_back({cal, ImageTemp(image, ad)});
    });

    const std::string data_sha256 = DataFileSha256(image);
    return WritePdfFile(path, reason, [&](PdfFile& pdf) {
        WriteTableReport(pdf, path, header, readings, tolerance, data_sha256);
    });
}
