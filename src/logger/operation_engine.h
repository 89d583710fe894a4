#pragma once
// The operation thread: runs the long card operations that the main window requests
// through dl_state, keeps the main window's controls up to date and hands the result on
// through read_ok, new_data and new_config.

#include <atomic>

#include "base/card_timing.h"

constexpr unsigned char DL_IDLE = 0;
constexpr unsigned char DL_READ = 1;
constexpr unsigned char DL_IMPORT = 2;  // read and erase: nothing requests it yet
constexpr unsigned char DL_CONFIG = 3;
constexpr unsigned char DL_FORMAT = 4;    // nothing requests it yet
constexpr unsigned char DL_ADJ_DATE = 5;  // nothing requests it yet
constexpr unsigned char DL_RD_DATE = 6;   // nothing requests it yet
constexpr unsigned char DL_RD_BATT = 7;

extern std::atomic<unsigned char> dl_state;
extern std::atomic<bool> read_ok;
extern std::atomic<bool> new_data;
extern std::atomic<bool> new_config;

// Runs one pass over dl_state: the requested operation to its end, or nothing.
void RunRequestedOperation();

// Sets dl_state and wakes the operation thread, so that the operation starts at once
// rather than at the next look.
void RequestOperation(unsigned char state);
// Waits until dl_state is DL_IDLE or `timeout_ms` passes; true when idle.
bool WaitForEngineIdle(int timeout_ms);

// The thread that looks at dl_state when woken and at least every ENGINE_POLL_MS.
// Stopping waits for the operation in progress to end.
void StartOperationThread();
void StopOperationThread();
