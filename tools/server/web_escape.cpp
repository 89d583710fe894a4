#include "web_escape.h"

#include <cstdint>
#include <cstdio>

#include "base/json_text.h"

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence at the start of `s`, 0 when malformed.
std::size_t SequenceLength(std::string_view s) {
    const auto b = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
    const std::uint8_t first = b(0);
    if (first < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        low = first == 0xE0 ? 0xA0 : 0x80;
        high = first == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        low = first == 0xF0 ? 0x90 : 0x80;
        high = first == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (s.size() < length || b(1) < low || b(1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if (b(k) < 0x80 || b(k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool IsControl(std::string_view sequence) {
    const auto first = static_cast<std::uint8_t>(sequence[0]);
    if (sequence.size() == 1) {
        return (first < 0x20 && first != '\t' && first != '\n' && first != '\r') || first == 0x7F;
    }
    // U+0080..U+009F
    return sequence.size() == 2 && first == 0xC2 && static_cast<std::uint8_t>(sequence[1]) <= 0x9F;
}

}  // namespace

std::string CleanText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = SequenceLength(text);
        if (length == 0) {
            out += kReplacement;
            text.remove_prefix(1);
            continue;
        }
        const std::string_view sequence = text.substr(0, length);
        out += IsControl(sequence) ? kReplacement : sequence;
        text.remove_prefix(length);
    }
    return out;
}

std::string Html(std::string_view text) {
    const std::string clean = CleanText(text);
    std::string out;
    out.reserve(clean.size() + 16);
    for (const char c : clean) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string WebJsonString(std::string_view text) {
    std::string valid;
    valid.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = SequenceLength(text);
        valid += length == 0 ? kReplacement : text.substr(0, length);
        text.remove_prefix(length == 0 ? 1 : length);
    }
    std::string out;
    for (const char c : JsonString(valid)) {
        switch (c) {
            case '<':
                out += "\\u003c";
                break;
            case '>':
                out += "\\u003e";
                break;
            case '&':
                out += "\\u0026";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string CsvText(std::string_view text) {
    std::string clean = CleanText(text);
    if (!clean.empty() && (clean[0] == '=' || clean[0] == '+' || clean[0] == '-' ||
                           clean[0] == '@' || clean[0] == '\t' || clean[0] == '\r')) {
        clean.insert(clean.begin(), '\'');
    }
    if (clean.find_first_of(",\"\r\n") == std::string::npos) {
        return clean;
    }
    std::string out = "\"";
    for (const char c : clean) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    return out + "\"";
}

std::string UrlComponent(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            out += escaped;
        }
    }
    return out;
}
