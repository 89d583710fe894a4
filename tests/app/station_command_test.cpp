// The desktop station's side of the companion: finding it, its lines, the rows they make.

#include "app/station_command.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files/file.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"

namespace {

TEST(FindCompanion, BesideTheProgramFirstThenOnThePath) {
    TempWorkingDir dir;
    for (const char* folder : {"bin", "path1", "path2"}) {
        std::filesystem::create_directory(dir.File(folder));
    }
    const auto make = [&](const std::string& path, std::filesystem::perms perms) {
        WriteFileBytes(path, "#!/bin/sh\n");
        std::filesystem::permissions(path, perms);
    };
    const std::string search = dir.File("path1") + "::" + dir.File("path2");
    EXPECT_EQ(FindCompanion(dir.File("bin"), search.c_str()), "");
    // Not executable: passed over.
    make(dir.File("path1/razurozavi-cli"), std::filesystem::perms::owner_read);
    make(dir.File("path2/razurozavi-cli"), std::filesystem::perms::owner_all);
    EXPECT_EQ(FindCompanion(dir.File("bin"), search.c_str()), dir.File("path2/razurozavi-cli"));
    make(dir.File("bin/razurozavi-cli"), std::filesystem::perms::owner_all);
    EXPECT_EQ(FindCompanion(dir.File("bin"), search.c_str()), dir.File("bin/razurozavi-cli"));
}

TEST(ParseStationLine, ProgressAndEveryStateOfACard) {
    const auto reading = ParseStationLine("reading port=/dev/ttyACM0 serial=1001 percent=43\n");
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->serial, 1001);
    EXPECT_EQ(StationStateText(*reading), "Lendo 43 %");

    const auto archived = ParseStationLine(
        "card port=/dev/ttyACM1 serial=7 readings=300 file=/home/m/Meus dados/7/x.mvta "
        "state=archived upload=queued verdict=reprovado");
    ASSERT_TRUE(archived);
    EXPECT_EQ(archived->file, "/home/m/Meus dados/7/x.mvta");
    EXPECT_EQ(StationStateText(*archived), "Arquivado");

    // The message as the program shows it, spaces and all.
    const auto failed = ParseStationLine(
        "card port=/dev/ttyACM2 serial=0 readings=0 file= state=failed reason=Erro de "
        "comunicação com o KELTRIX");
    ASSERT_TRUE(failed);
    EXPECT_EQ(StationStateText(*failed), "Erro de comunicação com o KELTRIX");

    for (const char* other : {"card port=/dev/x serial=1", "reading port=/dev/x serial=1 percent=",
                              "card port=/dev/x serial=1 readings=2 file= state=lost"}) {
        EXPECT_FALSE(ParseStationLine(other)) << other;
    }
}

TEST(StationTable, OneRowACardFilledFromItsArchivedFile) {
    TempWorkingDir dir;
    const MemoryImage image = BuildImage({.serial = 1001, .readings = {600, 610, 620}});
    ASSERT_TRUE(WeatherStationExport(dir.File("a.mvta"), image));

    StationTable table;
    StationEvent reading{.kind = StationEventKind::Reading, .port = "/dev/p1", .serial = 1001};
    reading.percent = 10;
    EXPECT_EQ(table.Take(reading), 0u);
    // Another card alongside, failed before its serial number was known.
    const StationEvent silent{.port = "/dev/p2", .state = "failed", .reason = "Desconectado"};
    EXPECT_EQ(table.Take(silent), 1u);
    EXPECT_EQ(table.Take(silent), 1u);

    const StationEvent done{.port = "/dev/p1",
                            .serial = 1001,
                            .readings = 3,
                            .file = dir.File("a.mvta"),
                            .state = "archived",
                            .verdict = "aprovado"};
    EXPECT_EQ(table.Take(done), 0u);
    // Brasília's time, as the data window lists it: three hours behind the card's.
    EXPECT_EQ(table.Rows()[0].first_reading, "05.03.14 07:01:00");

    // Plugged in again on another port: the same row.
    reading.port = "/dev/p3";
    reading.percent = 5;
    EXPECT_EQ(table.Take(reading), 0u);
    EXPECT_EQ(table.Rows().size(), 2u);
}

}  // namespace
