#include "app/integrity_command.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files/file.h"
#include "files/ledger.h"
#include "support/image_builder.h"
#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

namespace {

// An archive with `count` data files, each recorded.
void MakeArchive(const TempWorkingDir& dir, int count) {
    std::filesystem::create_directories(dir.File("arquivo/4711"));
    for (int k = 0; k < count; ++k) {
        ImageSpec spec;
        spec.readings.assign(static_cast<std::size_t>(k + 1), 512);
        const std::string file = "4711/" + std::to_string(k) + ".mvta";
        ASSERT_TRUE(WeatherStationExport(dir.File("arquivo/" + file), BuildImage(spec)));
        LedgerEvent event;
        event.action = "archive";
        event.file = file;
        std::string reason;
        ASSERT_TRUE(AppendLedgerLine(dir.File("arquivo"), event, &reason)) << reason;
    }
}

}  // namespace

TEST(IntegrityCommand, ChoosingTheLedgerChecksTheWholeArchiveAndNamesWhatFails) {
    TempWorkingDir dir;
    MakeArchive(dir, 2);
    RecordingWindowLayer windows;
    windows.dialog_path = dir.File("arquivo/registro.jsonl");
    EXPECT_TRUE(CommandVerifyIntegrity());
    ASSERT_EQ(windows.Messages().size(), 1u);
    EXPECT_EQ(windows.Messages()[0].text,
              "Tudo confere com o registro do arquivo.\nPasta: " + dir.File("arquivo") +
                  "\n\nok 4711/0.mvta\nok 4711/1.mvta");
    EXPECT_EQ(windows.Messages()[0].icon, MsgIcon::Information);

    WriteFileBytes(dir.File("arquivo/4711/1.mvta"), "");
    windows.dialog_path = dir.File("arquivo/4711/0.mvta");
    EXPECT_TRUE(CommandVerifyIntegrity());
    EXPECT_EQ(windows.Messages()[1].text, "Tudo confere com o registro do arquivo.\nPasta: " +
                                              dir.File("arquivo/4711") + "\n\nok 0.mvta");
    windows.dialog_path = dir.File("arquivo/registro.jsonl");
    EXPECT_FALSE(CommandVerifyIntegrity());
    ASSERT_EQ(windows.Messages().size(), 3u);
    EXPECT_EQ(windows.Messages()[2].text,
              "Há itens que não conferem com o registro do arquivo.\nPasta: " +
                  dir.File("arquivo") + "\n\nalterado 4711/1.mvta\nok 4711/0.mvta");
    EXPECT_EQ(windows.Messages()[2].icon, MsgIcon::Warning);

    windows.dialog_path.reset();
    EXPECT_FALSE(CommandVerifyIntegrity());
    EXPECT_EQ(windows.Messages().size(), 3u);
}

TEST(IntegrityCommand, ALongArchiveShowsWhatFailsAndCountsTheRest) {
    std::vector<IntegrityItem> items(40, {Integrity::Ok, "/arquivo/4711/a.mvta"});
    items[35] = {Integrity::BrokenChain, "7"};
    const std::string text = IntegrityMessageText(items, "/arquivo");
    EXPECT_EQ(text.find("Há itens que não conferem com o registro do arquivo.\nPasta: /arquivo\n\n"
                        "cadeia-quebrada 7\nok 4711/a.mvta\n"),
              0u)
        << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 + 30);
    EXPECT_NE(text.find("\n... e mais 10 itens ok"), std::string::npos);
}
