#include "print/printout.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "files/file.h"
#include "logger/cp1252.h"
#include "logger/reading_list.h"

namespace {

// Larger text files are not spreadsheet exports of one card.
constexpr std::size_t MAX_TEXT_FILE_BYTES = 16u << 20;

std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        return 3;
    }
    if ((lead & 0xF8) == 0xF0) {
        return 4;
    }
    return 0;
}

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceLength(static_cast<unsigned char>(text[i]));
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

bool HasPdfExtension(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    std::string extension(path.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == "pdf";
}

const std::vector<std::string> kHeading = {"Num\tHora\t\tData\t\tT\tTinf\tTsup",
                                           "\t\t\t\t\t(°C)\t(°C)\t(°C)", " "};

// Pages of heading, 88 body lines (the last page filled with " ") and footer.
Printout Paginate(const std::vector<std::string>& body, const std::vector<std::string>& footer) {
    Printout pages;
    std::size_t next = 0;
    do {
        PrintPage page = kHeading;
        for (int k = 0; k < PRINT_BODY_LINES_PER_PAGE; ++k) {
            page.push_back(next < body.size() ? body[next++] : " ");
        }
        page.insert(page.end(), footer.begin(), footer.end());
        pages.push_back(std::move(page));
    } while (next < body.size());
    return pages;
}

void AppendWrapped(std::vector<std::string>& body, std::string_view line) {
    for (std::string& piece : WrapPrintLine(line)) {
        body.push_back(std::move(piece));
    }
}

}  // namespace

std::vector<std::string> WrapPrintLine(std::string_view text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    do {
        std::size_t end = start;
        for (int chars = 0; chars < PRINT_CHARS_PER_LINE && end < text.size(); ++chars) {
            end +=
                std::max<std::size_t>(1, Utf8SequenceLength(static_cast<unsigned char>(text[end])));
        }
        end = std::min(end, text.size());
        pieces.emplace_back(text.substr(start, end - start));
        start = end;
    } while (start < text.size());
    return pieces;
}

Printout ReadingsPrintout(const MemoryImage& image) {
    std::vector<std::string> body;
    for (const std::string& line : ReadingListLines(image, TimeBase::CardTime)) {
        AppendWrapped(body, line);
    }
    char serial[32];
    std::snprintf(serial, sizeof serial, "Serial: #%ld", ConfigFromHeader(image.data()).serial);
    return Paginate(body, {serial, ""});
}

Printout TextFilePrintout(std::string_view bytes, const std::string& path) {
    const std::string text = IsUtf8(bytes) ? std::string(bytes) : Cp1252ToUtf8(bytes);
    std::vector<std::string> body;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();  // a last line without its line feed is printed all the same
        }
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        AppendWrapped(body, line);
        start = end + 1;
    }
    return Paginate(body, {" ", path});
}

Printout DataWindowPrintout(const MemoryImage& image, const std::string& last_chosen_file) {
    if (last_chosen_file.empty() || CheckDataExtension(last_chosen_file) ||
        CheckCfgExtension(last_chosen_file) || HasPdfExtension(last_chosen_file)) {
        return ReadingsPrintout(image);
    }
    std::string reason;
    const std::optional<std::string> bytes =
        ReadWholeFile(last_chosen_file, &reason, MAX_TEXT_FILE_BYTES);
    if (!bytes || bytes->size() > MAX_TEXT_FILE_BYTES || bytes->find('\n') == std::string::npos ||
        bytes->find('\0') != std::string::npos) {
        return ReadingsPrintout(image);
    }
    return TextFilePrintout(*bytes, last_chosen_file);
}
