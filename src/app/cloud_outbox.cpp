#include "app/cloud_outbox.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/recording_keeper.h"
#include "base/card_timing.h"
#include "files/archive.h"
#include "files/file.h"
#include "files/ledger.h"

namespace {

std::mutex outbox_folder_mutex;
std::string outbox_folder;

std::thread outbox_thread;
std::mutex outbox_thread_mutex;
std::condition_variable outbox_thread_stop;
std::atomic<bool> outbox_thread_run{false};

// Held while the outbox is sent, so that the desktop program and the companion never send
// one file twice.
class OutboxLock {
  public:
    explicit OutboxLock(const std::string& dir) {
        std::error_code ignored;
        std::filesystem::create_directories(dir, ignored);
        fd_ = open((dir + "/.envio").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        held_ = fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0;
    }
    ~OutboxLock() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    OutboxLock(const OutboxLock&) = delete;
    OutboxLock& operator=(const OutboxLock&) = delete;
    bool Held() const { return held_; }

  private:
    int fd_ = -1;
    bool held_ = false;
};

// The archive is the readings' safe place whatever the server does: the image is kept
// there (an "archive" line when new) and each attempt is an "upload" line against that copy.
// A failure to archive or to record does not hold the upload back.
ArchiveResult KeepInArchive(const MemoryImage& image) {
    const std::string archive = ArchiveFolder();
    const ArchiveResult kept = ArchiveImage(archive, image);
    std::string ignored;
    if (kept.outcome == ArchiveOutcome::Archived) {
        RecordInLedger(archive, "archive", ConfigFromHeader(image.data()).serial, kept.path, {},
                       &ignored);
    }
    return kept;
}

void RecordUploadAttempt(const MemoryImage& image, const ArchiveResult& kept,
                         const JsonObject& details) {
    if (kept.outcome != ArchiveOutcome::Failed) {
        std::string ignored;
        RecordInLedger(ArchiveFolder(), "upload", ConfigFromHeader(image.data()).serial, kept.path,
                       details, &ignored);
    }
}

}  // namespace

std::string OutboxFolder() {
    std::lock_guard lock(outbox_folder_mutex);
    return outbox_folder.empty() ? DefaultOutboxDir() : outbox_folder;
}

void SetOutboxFolder(const std::string& dir) {
    std::lock_guard lock(outbox_folder_mutex);
    outbox_folder = dir;
}

UploadOutcome UploadKeepingReadings(const MemoryImage& image, const ConfigValues& values,
                                    const FirmwareSource& firmware_once_connected,
                                    const CloudServer& server, const CALENDAR& stamp) {
    const ArchiveResult kept = KeepInArchive(image);
    UploadOutcome outcome = UploadImage(image, values, firmware_once_connected, server, stamp);
    RecordUploadAttempt(image, kept, JsonObject().Add("accepted", outcome.accepted));
    if (outcome.accepted) {
        return outcome;
    }
    outcome.queued = ArchiveImage(OutboxFolder(), image).outcome != ArchiveOutcome::Failed;
    if (outcome.queued) {
        outcome.text += MSG_UPLOAD_KEPT;
    }
    return outcome;
}

OutboxCount SendOutbox(const CloudServer& server) {
    OutboxCount count;
    const std::string dir = OutboxFolder();
    if (ArchivedFiles(dir).empty()) {
        return count;
    }
    const OutboxLock lock(dir);
    // Listed again under the lock: another sender may have emptied it meanwhile.
    const std::vector<std::string> files = ArchivedFiles(dir);
    if (!lock.Held()) {
        count.waiting = static_cast<int>(files.size());
        return count;
    }
    for (const std::string& path : files) {
        MemoryImage image{};
        std::string reason;
        const bool sent = ReadDataFile(path, image, &reason) == FileLoad::Loaded &&
                          UploadImage(
                              image, ConfigFromHeader(image.data()),
                              [&image] { return ImageFirmware(image); }, server, UploadStamp(image))
                              .accepted;
        if (sent && unlink(path.c_str()) == 0) {
            ++count.sent;
            // The outbox's own file leaves with the send: the line goes against the archive's.
            RecordUploadAttempt(image, KeepInArchive(image),
                                JsonObject().Add("accepted", true).Add("resent", true));
        } else {
            ++count.waiting;
        }
    }
    return count;
}

void StartOutboxThread(std::function<CloudServer()> server) {
    outbox_thread_run = true;
    outbox_thread = std::thread([server = std::move(server)] {
        while (outbox_thread_run) {
            SendOutbox(server());
            std::unique_lock lock(outbox_thread_mutex);
            outbox_thread_stop.wait_for(lock, std::chrono::milliseconds(OUTBOX_RESEND_MS),
                                        [] { return !outbox_thread_run; });
        }
    });
}

void StopOutboxThread() {
    {
        std::lock_guard lock(outbox_thread_mutex);
        outbox_thread_run = false;
    }
    outbox_thread_stop.notify_all();
    if (outbox_thread.joinable()) {
        outbox_thread.join();
    }
}
