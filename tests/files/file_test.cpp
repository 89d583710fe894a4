#include "files/file.h"

#include <gtest/gtest.h>

#include "support/image_builder.h"
#include "support/temp_dir.h"

TEST(DataFile, RoundTripsTheWholeImageAsUppercaseHex) {
    TempWorkingDir dir;
    MemoryImage image;
    for (int i = 0; i < MEMORY_SIZE; ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    }
    image[0] = 0x00;
    image[1] = 0x5A;
    image[2] = 0xF3;
    SetImageFirmware(image, FirmwareVersion{{'1', '0', '3'}});
    ASSERT_TRUE(WeatherStationExport(dir.File("a.mvta"), image));
    EXPECT_EQ(ReadFileBytes(dir.File("a.mvta")).substr(0, 6), "005AF3");
    MemoryImage loaded{};
    std::string reason;
    EXPECT_EQ(ReadDataFile(dir.File("a.mvta"), loaded, &reason), FileLoad::Loaded);
    EXPECT_EQ(loaded, image);
}

// Another firmware: the open command's test.
TEST(DataFile, RefusesADamagedFileAndLeavesTheImageAsItWas) {
    TempWorkingDir dir;
    std::string file = DataFileText(BuildImage(ImageSpec{}));
    const std::pair<std::string, std::string> cases[] = {
        {file.substr(0, 131070), "o arquivo tem 131070 caracteres em vez de 131072"},
        {file.replace(300, 1, "a"), "caractere inválido na posição 301"}};  // lowercase
    const MemoryImage before = BuildImage(ImageSpec{.readings = {1, 2}});
    for (const auto& [text, why] : cases) {
        WriteFileBytes(dir.File("bad.mvta"), text);
        MemoryImage image = before;
        std::string reason;
        EXPECT_EQ(ReadDataFile(dir.File("bad.mvta"), image, &reason), FileLoad::Refused);
        EXPECT_EQ(image, before);
        EXPECT_EQ(reason, why);
    }
}

TEST(ConfigFile, Writes35BytesAndReadsThemBackKeepingTheSerial) {
    TempWorkingDir dir;
    // Only the low 16 bits of the interval are kept.
    ConfigValues v{.sample_points = 300, .sample_rate = 70000, .temp_unit = 1, .t_low_alarm = 898};
    SetDescription(v.descricao, "C\xE2mara 2");
    const auto bytes = ConfigFileBytes(v);
    EXPECT_EQ(bytes[1], 0x2C);
    EXPECT_EQ(bytes[15], 0xE2);

    std::string reason;
    ASSERT_TRUE(SaveConfigFile(dir.File("c.mcfg"), v, &reason)) << reason;
    EXPECT_EQ(ReadFileBytes(dir.File("c.mcfg")).size(), 35u);
    ConfigValues loaded{.serial = 777};
    EXPECT_EQ(ReadConfigFile(dir.File("c.mcfg"), loaded, &reason), FileLoad::Loaded);
    EXPECT_EQ(loaded.serial, 777);
    loaded.serial = v.serial;
    v.sample_rate = 70000 & 0xFFFF;
    EXPECT_EQ(loaded, v);

    WriteFileBytes(dir.File("short.mcfg"), std::string(34, '\0'));
    EXPECT_EQ(ReadConfigFile(dir.File("short.mcfg"), v, &reason), FileLoad::Refused);
    EXPECT_EQ(reason, "o arquivo tem 34 bytes em vez de 35");
}
