#include "base/number_text.h"

#include <charconv>
#include <system_error>

namespace {

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool AllDigits(std::string_view text) {
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

void AppendFixed(std::string& out, double value, int decimals) {
    char text[352];  // the largest double in fixed notation, its sign and decimals
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    out.append(text, result.ptr);
}

std::string FixedText(double value, int decimals) {
    std::string text;
    AppendFixed(text, value, decimals);
    return text;
}

std::optional<double> ParseDecimal(std::string_view text, int max_decimals) {
    text = TrimSpaces(text);
    std::string normal(text);
    bool negative = false;
    if (!normal.empty() && normal.front() == '-') {
        negative = true;
        normal.erase(0, 1);
    }
    const std::size_t separator = normal.find_first_of(",.");
    std::string_view whole = normal;
    std::string_view decimals;
    if (separator != std::string::npos) {
        whole = std::string_view(normal).substr(0, separator);
        decimals = std::string_view(normal).substr(separator + 1);
        normal[separator] = '.';
    }
    if (whole.empty() || !AllDigits(whole) || !AllDigits(decimals) ||
        (separator != std::string::npos && decimals.empty()) ||
        static_cast<int>(decimals.size()) > max_decimals) {
        return std::nullopt;
    }
    double value = 0;
    const auto result = std::from_chars(normal.data(), normal.data() + normal.size(), value,
                                        std::chars_format::fixed);
    if (result.ec != std::errc() || result.ptr != normal.data() + normal.size()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::optional<long> ParseWholeNumber(std::string_view text, int max_digits) {
    text = TrimSpaces(text);
    if (text.empty() || static_cast<int>(text.size()) > max_digits || !AllDigits(text)) {
        return std::nullopt;
    }
    long value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc()) {
        return std::nullopt;
    }
    return value;
}
