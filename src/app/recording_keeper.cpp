#include "app/recording_keeper.h"

#include <mutex>

#include "base/window_layer.h"
#include "files/file.h"
#include "files/ledger.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/logger_commands.h"
#include "logger/memory_image.h"

namespace {

std::mutex archive_folder_mutex;
std::string archive_folder;

}  // namespace

std::string ArchiveFolder() {
    std::lock_guard lock(archive_folder_mutex);
    return archive_folder.empty() ? DefaultArchiveDir() : archive_folder;
}

void SetArchiveFolder(const std::string& dir) {
    std::lock_guard lock(archive_folder_mutex);
    archive_folder = dir;
}

std::optional<MemoryImage> ReadCardMemory() {
    StartRxThread();
    cancel_rd = false;
    MemoryImage image{};
    if (!ReadWeatherStation(image)) {
        return std::nullopt;
    }
    SetImageFirmware(image, CardFirmware());
    return image;
}

ArchiveResult ReadAndArchiveCard(const std::string& dir) {
    const std::optional<MemoryImage> image = ReadCardMemory();
    if (!image) {
        ArchiveResult failed;
        failed.reason = MSG_READ_CANCELLED;
        return failed;
    }
    ArchiveResult kept = ArchiveImage(dir, *image);
    if (kept.outcome == ArchiveOutcome::Failed) {
        return kept;
    }
    // A recording kept without its ledger lines is no evidence: the caller goes no further.
    const long serial = ConfigFromHeader(image->data()).serial;
    std::string reason;
    if (!RecordInLedger(dir, "read", serial, "",
                        JsonObject().Add("readings", ImageReadingCount(*image)), &reason) ||
        (kept.outcome == ArchiveOutcome::Archived &&
         !RecordInLedger(dir, "archive", serial, kept.path, {}, &reason))) {
        kept.outcome = ArchiveOutcome::Failed;
        kept.reason = reason;
    }
    return kept;
}

std::string UnarchivedReadingsQuestion(int readings) {
    return "O cartão tem " + std::to_string(readings) +
           " leituras que ainda não foram arquivadas. Ler e arquivar antes de gravar a nova "
           "configuração?";
}

bool KeepRecordingBeforeWrite() {
    StartRxThread();
    cancel_rd = false;
    if (!ReadParWeatherStation()) {
        ShowMessage(WindowId::Config, "Erro ao efetuar configuração", "Erro", MsgIcon::Stop);
        return false;
    }
    const MemoryImage header = LastCardHeader();
    const int readings = ImageReadingCount(header);
    const std::string dir = ArchiveFolder();
    if (readings == 0 || ImageNeverStarted(header) ||
        IsRecordingArchived(dir, header, CARD_HEADER_READ_SIZE)) {
        return true;
    }
    switch (Windows().MessageBox(WindowId::Config, UnarchivedReadingsQuestion(readings),
                                 CAPTION_ATTENTION, MsgIcon::Exclamation,
                                 MsgButtons::YesNoCancel)) {
        case MsgAnswer::No:
            return true;
        case MsgAnswer::Yes:
            break;
        default:
            return false;
    }
    ArchiveResult kept;
    WindowLayer& windows = Windows();
    windows.RunBusy("Lendo...", [&kept, &dir] { kept = ReadAndArchiveCard(dir); });
    // The read's progress and "Lendo..." are over, as after "Ler".
    windows.SetProgressPosition(0);
    if (connected) {
        windows.SetControlText(WindowId::Main, ID_STATUS, "Conectado");
    }
    if (kept.outcome == ArchiveOutcome::Failed) {
        ShowMessage(WindowId::Config, kept.reason, "Erro", MsgIcon::Stop);
        return false;
    }
    return true;
}
