#pragma once
// The card as every floor sees it: the sizes of its memory and frames, and its firmware.

constexpr int MEMORY_SIZE = 65536;  // the card's memory, and the image of it
constexpr int HEADER_SIZE = 256;    // header before the first reading
constexpr int READING_SIZE = 2;     // one big-endian A/D value
// Readings an image can hold: (65536 - 256) / 2.
constexpr int MAX_IMAGE_READINGS = (MEMORY_SIZE - HEADER_SIZE) / READING_SIZE;
constexpr int READ_SIZE = 50;           // bytes per memory-read request
constexpr int CONFIG_RECORD_SIZE = 53;  // payload of the "AJ" frame
constexpr int DESCRIPTION_SIZE = 21;    // up to 20 characters and a NUL
constexpr int DESCRIPTION_MAX_CHARS = DESCRIPTION_SIZE - 1;

// A card's firmware version: three ASCII digits ("103"); a first byte of 0 means unknown.
struct FirmwareVersion {
    char digits[3] = {0, 0, 0};
};

// The only firmware the program works with, and a version's digits as a number (103);
// 0 while unknown, -1 when the digits are not decimal.
constexpr int ACCEPTED_FIRMWARE = 103;
int FirmwareNumber(const FirmwareVersion& version);
