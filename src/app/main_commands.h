#pragma once
// What the main window does with the card: its commands "Ler", "Config", "Info" and
// "Cancelar", the checks its message loop runs after every event, the timer thread that
// paces resends, watches the port and judges a newly found card's firmware, and what the
// data and configuration windows hand back to it.

#include <atomic>
#include <string>

#include "cloud/upload.h"

extern std::atomic<int> timmer_100ms;

// "Abrir": a data file opens a data window with the file's path as its title and the
// file's own serial number; a configuration file opens the configuration window.
void CommandOpen();
// The same for a file named on the command line, without the dialog.
void CommandOpenFile(const std::string& path);
void CommandRead();
void CommandConfig();
void CommandCancel();
// The version query; `mostrar` says whether the reply is shown.
void buscaVersao(bool mostrar);

// "Serial #: %d" of the data window.
std::string SerialLabelText(long serial);

// The configuration window's "Gravar": its fields, checked, to the card, then the outcome
// message; a refused field sends nothing. A recording on the card that is not archived is
// offered to be read and archived first (KeepRecordingBeforeWrite). Runs the exchange on the
// calling thread; true when the card took the configuration.
bool CommandConfigWrite();

// The data or configuration window closed: the main window's file commands come back, and
// the card's while its port is open. An operation still running keeps its controls.
void RestoreMainWindowControls();
// "Ler", "Config", "Info" and their menu items.
void EnableCardCommands(bool enabled);

// The message loop's checks: a fresh image goes to the "not started" warning, the cloud or
// the data window; a fresh configuration to the configuration window.
void CheckOperationResults();

// The main window's hand-off of a fresh image in cloud mode: status text, the graph
// preparation (which sets `cal`), then the upload, refreshing the card's firmware version
// once connected; the image is archived first and waits in the outbox when the server does
// not take it (UploadKeepingReadings). Always 0, as nobody reads it.
int EnviaNuvem(const CloudServer& server = BuiltInCloudServer());
// Where the message loop's hand-off uploads: the built-in server unless told otherwise.
void SetHandOffCloudServer(const CloudServer& server);
CloudServer HandOffCloudServer();

// The reading station's child processes open every card port themselves, and a port is
// opened exclusively: the main window stops watching for a card and lets its port go, and
// watches again once the station stops. Nothing is released while an operation talks to
// the card (false).
bool ReleaseCardPort();
void WatchForCardAgain();

// One 100 ms tick of the timer thread.
void TimerTick();
void StartTimerThread();
// Waits for the tick in progress to end.
void StopTimerThread();
