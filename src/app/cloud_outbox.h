#pragma once
// Uploads that never lose readings: every image handed to the cloud is archived first, and
// one the server did not take waits in the outbox until it does.

#include <functional>
#include <string>
#include <string_view>

#include "cloud/upload.h"

// The outbox folder: DefaultOutboxDir() until another is chosen.
std::string OutboxFolder();
void SetOutboxFolder(const std::string& dir);

// What the failure message adds: the readings are not lost.
inline constexpr std::string_view MSG_UPLOAD_KEPT =
    "\nAs leituras foram guardadas e serão enviadas assim que o servidor responder.";

// Archives the image, uploads it and puts it into the outbox when the server did not take
// it. Shows nothing: the outcome's text already says what happened to the readings.
UploadOutcome UploadKeepingReadings(const MemoryImage& image, const ConfigValues& values,
                                    const FirmwareSource& firmware_once_connected,
                                    const CloudServer& server, const CALENDAR& stamp);

struct OutboxCount {
    int sent = 0;
    int waiting = 0;
};

// Sends every upload waiting in the outbox, each as `upload` sends a data file (the
// configuration from its header); one the server took leaves the outbox. Shows nothing.
OutboxCount SendOutbox(const CloudServer& server);

// Sends the outbox at once and then every OUTBOX_RESEND_MS, to `server()`, until stopped.
void StartOutboxThread(std::function<CloudServer()> server);
void StopOutboxThread();
