#pragma once
// Numbers as the system writes and reads them, the same in every locale: the Qt programs
// take the C library's locale from the user's environment, and printf and atof follow it.

#include <optional>
#include <string>
#include <string_view>

// "%.Nf" with "." before the decimals, rounded as printf rounds.
std::string FixedText(double value, int decimals);
void AppendFixed(std::string& out, double value, int decimals);

// A number as a person types it: an optional "-" and digits, with "," or "." before at
// most `max_decimals` decimals; spaces around it are ignored. Nothing for any other text.
std::optional<double> ParseDecimal(std::string_view text, int max_decimals);
// Digits only (spaces around them ignored), at most `max_digits` of them.
std::optional<long> ParseWholeNumber(std::string_view text, int max_digits);
