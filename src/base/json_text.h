#pragma once
// JSON text as every document the system writes spells it: the ledger, the recording's
// summary, the alerts' webhook, and (with its own cleaning on top) the web view's answers.

#include <string>
#include <string_view>

// A JSON string literal of UTF-8 text, quotes included; control characters and DEL as
// \u00XX.
std::string JsonString(std::string_view utf8);
