#include "app/report_commands.h"

#include "app/shown_time.h"
#include "app/write_error.h"
#include "base/window_layer.h"
#include "files/digest.h"
#include "files/file.h"
#include "reports/pdf.h"
#include "reports/pdf_graph.h"
#include "reports/recording_summary.h"
#include "reports/summary_report.h"

std::optional<std::string> SaveWSPdf(WindowId owner) {
    return ChooseFileToSave(owner, PdfFileFilter());
}

bool WritePdfReport(
    WindowId owner, const MemoryImage& image,
    const std::function<bool(const std::string& path, std::string* reason)>& write) {
    const std::optional<std::string> path = SaveWSPdf(owner);
    if (!path) {
        return false;
    }
    CheckImageFirmware(image, owner);
    std::string reason;
    if (!write(*path, &reason)) {
        ShowWriteError(owner, *path, reason);
        return false;
    }
    return true;
}

bool PdfData(WindowId owner, const MemoryImage& image) {
    return WritePdfReport(owner, image, [&](const std::string& path, std::string* reason) {
        return WriteTableReportFile(path, image, DataWindowTimeBase(), reason);
    });
}

bool PdfData_g(WindowId owner, const MemoryImage& image) {
    return WritePdfReport(owner, image, [&](const std::string& path, std::string* reason) {
        return WriteGraphReportFile(path, image, DataWindowTimeBase(), reason);
    });
}

bool PdfSummary(WindowId owner, const MemoryImage& image, const std::string& profile) {
    const ProfileLookup lookup = FindProfile(profile, UserProfileDir());
    if (!lookup.profile) {
        ShowMessage(owner, lookup.message, "Erro", MsgIcon::Stop);
        return false;
    }
    return WritePdfReport(owner, image, [&](const std::string& path, std::string* reason) {
        return WriteSummaryReport(path, SummarizeImage(image, *lookup.profile),
                                  ReportGmtOffset(image, DataWindowTimeBase()),
                                  DataFileSha256(image), reason);
    });
}
