#pragma once
// The card and the files hold text as a Windows program writes it (Windows-1252);
// the windows and the command line speak UTF-8.

#include <string>
#include <string_view>

std::string Cp1252ToUtf8(std::string_view bytes);
// Characters that Windows-1252 lacks become '?'; malformed UTF-8 bytes likewise.
std::string Utf8ToCp1252(std::string_view text);
