#pragma once
// SHA-256 digests as lowercase hexadecimal, the form the ledger and the reports carry.

#include <optional>
#include <string>
#include <string_view>

#include "logger/memory_image.h"

constexpr std::size_t SHA256_HEX_SIZE = 64;

std::string Sha256Hex(std::string_view bytes);
// The HMAC-SHA256 of `bytes` under `key`, by which a receiver tells a message is ours.
std::string HmacSha256Hex(std::string_view key, std::string_view bytes);
// The digest of the data file that holds `image`: the file's bytes are its text.
std::string DataFileSha256(const MemoryImage& image);
// The digest of a file's bytes; nothing when it cannot be read (`reason` says why).
std::optional<std::string> FileSha256(const std::string& path, std::string* reason);
// 64 lowercase hexadecimal digits.
bool IsSha256Hex(std::string_view text);
