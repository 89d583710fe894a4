#pragma once
// Every stored text reaches a page, a chart, a CSV file or a JSON document through one
// of these. Stored texts are UTF-8 (the store converts the card's Windows-1252); bytes
// that are not, and control characters, never pass through as they are.

#include <string>
#include <string_view>

// Valid UTF-8 with every malformed sequence as U+FFFD; C0 controls other than tab, line
// feed and carriage return, DEL and C1 controls also become U+FFFD.
std::string CleanText(std::string_view text);

// Text and attribute values in HTML and SVG: & < > " ' as character references.
std::string Html(std::string_view text);

// JsonString of the text made valid UTF-8 (malformed sequences as U+FFFD), with < > & also
// as \u003c \u003e \u0026 so that an answer is safe wherever it is pasted.
std::string WebJsonString(std::string_view text);

// A CSV text field (RFC 4180), quoted when it needs to be; a field that a spreadsheet
// would take for a formula (starting with = + - @, a tab or a carriage return) gets a
// leading '. Numbers are written as they are, never through this.
std::string CsvText(std::string_view text);

// "%" escapes of a path segment or query value.
std::string UrlComponent(std::string_view text);
