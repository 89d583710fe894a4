#pragma once
// What the main window does with the card: its commands "Ler", "Config", "Info" and
// "Cancelar", the checks its message loop runs after every event, and the timer thread that
// paces resends, watches the port and judges a newly found card's firmware.

#include <atomic>

constexpr int TIMER_TICK_MS = 100;
constexpr int PORT_SCAN_TICKS = 10;  // a scan once timmer_100ms exceeds this: about 1.1 s

extern std::atomic<int> timmer_100ms;

void CommandRead();
void CommandConfig();
void CommandCancel();
// The version query; `mostrar` says whether the reply is shown.
void buscaVersao(bool mostrar);

// The message loop's checks: a fresh image goes to the "not started" warning, the cloud or
// the data window; a fresh configuration to the configuration window.
void CheckOperationResults();

// One 100 ms tick of the timer thread.
void TimerTick();
void StartTimerThread();
// Waits for the tick in progress to end.
void StopTimerThread();
