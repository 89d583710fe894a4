#include "app/integrity_command.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files/file.h"
#include "files/ledger.h"
#include "support/image_builder.h"
#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

TEST(IntegrityCommand, ChoosingTheLedgerChecksTheWholeArchiveAndNamesWhatFails) {
    TempWorkingDir dir;
    std::filesystem::create_directories(dir.File("arquivo/4711"));
    for (const std::string file : {"4711/0.mvta", "4711/1.mvta"}) {
        const MemoryImage image =
            BuildImage({.readings = std::vector<int>(file[5] - '0' + 1, 512)});
        ASSERT_TRUE(WeatherStationExport(dir.File("arquivo/" + file), image));
        std::string reason;
        ASSERT_TRUE(AppendLedgerLine(dir.File("arquivo"),
                                     {.action = "archive", .file = file, .details = {}}, &reason))
            << reason;
    }
    RecordingWindowLayer windows;
    windows.dialog_path = dir.File("arquivo/registro.jsonl");
    EXPECT_TRUE(CommandVerifyIntegrity());
    ASSERT_EQ(windows.Messages().size(), 1u);
    EXPECT_EQ(windows.Messages()[0].text,
              "Tudo confere com o registro do arquivo.\nPasta: " + dir.File("arquivo") +
                  "\n\nok 4711/0.mvta\nok 4711/1.mvta");

    WriteFileBytes(dir.File("arquivo/4711/1.mvta"), "");
    EXPECT_FALSE(CommandVerifyIntegrity());
    ASSERT_EQ(windows.Messages().size(), 2u);
    EXPECT_EQ(windows.Messages()[1].text,
              "Há itens que não conferem com o registro do arquivo.\nPasta: " +
                  dir.File("arquivo") + "\n\nalterado 4711/1.mvta\nok 4711/0.mvta");
    EXPECT_EQ(windows.Messages()[1].icon, MsgIcon::Warning);
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
