// "Gravar" starts a new recording: the card's is archived first when the user says so.

#include "app/recording_keeper.h"

#include <filesystem>

#include "app/main_commands.h"
#include "files/ledger.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/logger_commands.h"
#include "logger/operation_engine.h"
#include "logger/reading_list.h"
#include "simcard/simulated_card.h"
#include "support/link_fixture.h"
#include "support/temp_dir.h"

namespace {

class KeepBeforeWrite : public LinkTest {
  protected:
    void SetUp() override {
        LinkTest::SetUp();
        SetArchiveFolder(archive);
    }
    void TearDown() override {
        SetArchiveFolder("");
        LinkTest::TearDown();
    }

    void Connect(SimulatedCardOptions options) {
        options.registration_dir = registrations;
        card = std::make_unique<SimulatedCard>(options);
        std::string why;
        ASSERT_TRUE(card->Start(&why)) << why;
        StartTimerThread();
        StartOperationThread();
        ASSERT_TRUE(Eventually([] { return connected && FirmwareNumber() != 0; }, 5000));
        config_values = ConfigValues{.sample_points = 2000, .sample_rate = 300};
        WeatherStationViewPar();
    }

    bool Asked() {
        const std::vector<RecordedMessage> shown = windows.Messages();
        return std::any_of(shown.begin(), shown.end(), [](const RecordedMessage& m) {
            return m.text.rfind("O cartão tem ", 0) == 0;
        });
    }

    TempWorkingDir dir;  // the serial and configuration logs land here
    const std::string archive = dir.File("arquivo");
    std::unique_ptr<SimulatedCard> card;
};

}  // namespace

TEST_F(KeepBeforeWrite, NoWritesWithoutArchiving) {
    Connect({.readings = 300});
    windows.three_way_answer = MsgAnswer::No;
    EXPECT_TRUE(CommandConfigWrite());
    EXPECT_EQ(card->RequestsSeen("AJ"), 1);
    EXPECT_TRUE(ArchivedFiles(archive).empty());
    // The write itself is evidence: its line holds the card's configuration before and after.
    const std::string ledger = ReadFileBytes(archive + "/" + std::string(LEDGER_FILE_NAME));
    ASSERT_EQ(CheckLedgerText(ledger).records.size(), 1u) << ledger;
    EXPECT_NE(ledger.find("\"before\":{\"sample_points\":"), std::string::npos) << ledger;
    EXPECT_NE(ledger.find("\"after\":{\"sample_points\":2000,"), std::string::npos) << ledger;
}

TEST_F(KeepBeforeWrite, NothingIsAskedWhenTheRecordingIsKeptOrThereIsNone) {
    Connect({.readings = 300});
    ASSERT_EQ(ArchiveImage(archive, card->Memory()).outcome, ArchiveOutcome::Archived);
    windows.three_way_answer = MsgAnswer::Cancel;
    EXPECT_TRUE(CommandConfigWrite());
    EXPECT_FALSE(Asked());
    ResetCardSession();

    Connect({.readings = 0});
    EXPECT_TRUE(CommandConfigWrite());
    EXPECT_FALSE(Asked());
}

TEST_F(KeepBeforeWrite, AFailedReadWritesNothing) {
    Connect({.readings = 300,  // silent from the first memory read on
             .faults = {CardFault{.kind = CardFaultKind::StopAnswering, .first_request = 4}}});
    windows.three_way_answer = MsgAnswer::Yes;
    EXPECT_FALSE(CommandConfigWrite());
    EXPECT_TRUE(Asked());
    EXPECT_EQ(windows.Messages().back().text, "Leitura Cancelada");
    EXPECT_EQ(card->RequestsSeen("AJ"), 0);
    EXPECT_EQ(ImageReadingCount(card->Memory()), 300);
}
