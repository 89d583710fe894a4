#pragma once
// The card's frame format, pure: building, checking and splitting byte arrays. No I/O here,
// so the program and the simulated card share every byte of it.
//
// Every frame is 58 bytes: 0x7E, two command letters, 53 payload bytes, a check byte (XOR of
// frame bytes 1..54, so byte 55 is not covered) and 0x7E. There is no byte stuffing: 0x7E may
// occur inside. Each accepted frame is confirmed by the lone byte 0xE5.
//
// Version request ("VR", zero payload):
//   7E 56 52 00 00 ... 00 (53 zero bytes) 04 7E
// Version reply (firmware "1.03", hardware "120" in frame bytes 3..9):
//   7E 56 52 31 2E 30 33 31 32 30 00 ... 00 (46 zero bytes) 2B 7E
// Memory-read request (address 0x0032, count '2' = 50 bytes):
//   7E 52 44 00 32 32 00 ... 00 (50 zero bytes) 16 7E

#include <array>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "base/card_timing.h"

constexpr int FRAME_LENGTH = 58;
constexpr int PAYLOAD_LENGTH = 53;  // frame bytes 3..55
constexpr int PAYLOAD_OFFSET = 3;
constexpr int CRC_LENGTH = 54;  // frame bytes 1..54
constexpr int CHECK_BYTE_INDEX = 56;
constexpr unsigned char FI = 0x7E;  // start mark
constexpr unsigned char FF = 0x7E;  // end mark
constexpr unsigned char SC = 0xE5;  // acknowledge
constexpr int SC_LENGTH = 1;

// Command codes as DecodeCommand gives them. "AJ" is only ever sent, so it decodes as unknown.
constexpr char AJ = 0x01;
constexpr char BT = 0x02;
constexpr char DT = 0x03;
constexpr char ER = 0x04;
constexpr char FM = 0x05;
constexpr char RD = 0x06;
constexpr char VR = 0x07;
constexpr char WR = 0x08;
constexpr char UNKNOWN_COMMAND = 0x7F;  // any value above WR means "ignore"

// Byte counts of an "RD" request (payload byte 2).
constexpr unsigned char RD_COUNT_CHUNK = '2';   // 50 memory bytes
constexpr unsigned char RD_COUNT_TAIL = '$';    // 36 memory bytes, the last chunk
constexpr unsigned char RD_COUNT_CONFIG = '3';  // configuration read
constexpr int RD_DATA_OFFSET = 6;               // memory bytes start at this frame byte

using Frame = std::array<unsigned char, FRAME_LENGTH>;

// XOR of buffer[0..53]; called with a pointer to frame byte 1.
char DoCheckSun(const unsigned char* buffer);

// 2..8 for "BT", "DT", "ER", "FM", "RD", "VR", "WR"; UNKNOWN_COMMAND otherwise.
char DecodeCommand(const unsigned char* command);

// The frame SendFrame writes: marks, the two letters of `command`, 53 bytes of `data`, check.
Frame BuildFrame(const char* command, const unsigned char* data);

// 58 bytes, both marks, and a check byte that matches.
bool IsValidFrame(const unsigned char* bytes, std::size_t length);

// The firmware and hardware text of a "VR" frame, as the version message shows it.
std::string VersionText(const unsigned char* frame);

// One message taken off the line: a lone acknowledge byte or one valid frame.
using LinkMessage = std::vector<unsigned char>;

// Bytes received but not yet a whole message, and when the first of them arrived.
struct ReceiveSplitter {
    std::vector<unsigned char> pending;
    std::chrono::steady_clock::time_point first_arrival{};
};

// Feeds newly arrived bytes and returns every complete message, in order. 58 bytes between
// a start and an end mark that fail the check are dropped whole; other bytes that belong to
// neither an acknowledge nor a valid frame are dropped one at a time, so the split
// resynchronises on the next 0x7E. An incomplete frame is dropped once it is older than
// INCOMPLETE_FRAME_TIMEOUT_MS when more bytes arrive.
std::vector<LinkMessage> SplitReceived(ReceiveSplitter& splitter, const unsigned char* bytes,
                                       std::size_t length,
                                       std::chrono::steady_clock::time_point now);
