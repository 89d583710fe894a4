// A failed upload keeps its readings: archived, and waiting in the outbox.

#include "app/cloud_outbox.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/recording_keeper.h"
#include "cloud/fake_cloud_server.h"
#include "files/archive.h"
#include "files/ledger.h"
#include "support/recording_window_layer.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

class Outbox : public ::testing::Test {
  protected:
    void SetUp() override {
        SetArchiveFolder(dir.File("dados/razurozavi/arquivo"));
        SetOutboxFolder(dir.File("dados/razurozavi/saida"));
    }
    void TearDown() override {
        SetArchiveFolder("");
        SetOutboxFolder("");
    }

    // A loopback port that nobody listens on.
    static CloudServer NoServer() {
        int port = 0;
        ListenOnLoopback(port);  // closed again at once
        return {"127.0.0.1", port, 2000, 3000};
    }

    static UploadOutcome Upload(const MemoryImage& image, const CloudServer& server) {
        return UploadKeepingReadings(
            image, ConfigFromHeader(image.data()), [&image] { return ImageFirmware(image); },
            server, UploadStamp(image));
    }

    // The companion's upload-outbox with this test's data folder.
    ShellResult CompanionSends(const CloudServer& server) {
        return RunShell("XDG_DATA_HOME=" + ShellQuote(dir.File("dados")) + " " + RAZUROZAVI_CLI +
                        " upload-outbox --host 127.0.0.1 --tcp-port " +
                        std::to_string(server.port));
    }

    TempWorkingDir dir;
    RecordingWindowLayer windows;
};

}  // namespace

TEST_F(Outbox, AFailedUploadIsKeptAndSentOnceTheServerAnswers) {
    ImageSpec spec;
    spec.start = {0, 30, 7, 1, 9, 2025};
    const MemoryImage image = RampImage(500, 0, spec);
    const CloudServer nobody = NoServer();

    const UploadOutcome failed = Upload(image, nobody);
    EXPECT_FALSE(failed.accepted);
    EXPECT_EQ(failed.text, std::string(MSG_UPLOAD_CONNECT_FAILED) + std::string(MSG_UPLOAD_KEPT));
    EXPECT_TRUE(IsArchived(ArchiveFolder(), image));
    // The same readings failing again wait once, not twice.
    EXPECT_FALSE(Upload(image, nobody).accepted);
    EXPECT_EQ(ArchivedFiles(OutboxFolder()).size(), 1u);

    LoopbackCollectionServer loopback;
    EXPECT_EQ(SendOutbox(loopback.Address()).sent, 1);
    EXPECT_TRUE(ArchivedFiles(OutboxFolder()).empty());
    EXPECT_TRUE(IsArchived(ArchiveFolder(), image));  // the archive keeps its copy
    // The archive's ledger: the file once, then each attempt and the later send of that file.
    const LedgerCheck ledger =
        CheckLedgerText(ReadFileBytes(ArchiveFolder() + "/" + std::string(LEDGER_FILE_NAME)));
    EXPECT_FALSE(ledger.broken_line);
    ASSERT_EQ(ledger.records.size(), 4u);
    EXPECT_EQ(ledger.records[3].action, "upload");
    EXPECT_EQ(ledger.records[3].file, ledger.records[0].file);
    const std::vector<StoredUpload> stored = loopback.store->List();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(loopback.store->Readings(stored[0].id), UploadedTenths(image));
    // Nothing is left to send twice.
    EXPECT_EQ(SendOutbox(loopback.Address()).sent, 0);
}

TEST_F(Outbox, TheCompanionSendsWhatWaitsAndSaysWhatIsLeft) {
    const CloudServer nobody = NoServer();
    for (int offset : {0, 7}) {
        ImageSpec spec;
        spec.serial = 4000 + offset;
        EXPECT_FALSE(Upload(RampImage(100, offset, spec), nobody).accepted);
    }
    ShellResult run = CompanionSends(nobody);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("sent=0 waiting=2\n"), std::string::npos) << run.output;

    LoopbackCollectionServer loopback;
    run = CompanionSends(loopback.Address());
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("sent=2 waiting=0\n"), std::string::npos) << run.output;
}
