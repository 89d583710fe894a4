#include "files/file.h"

#include <gtest/gtest.h>

#include "support/image_builder.h"
#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

TEST(Extensions, CompareTheFourCharactersAfterTheLastDot) {
    EXPECT_TRUE(CheckDataExtension("C:\\DADOS.MVTA"));
    EXPECT_TRUE(CheckDataExtension("x.mvtax"));
    EXPECT_FALSE(CheckDataExtension("x.mvt"));
    EXPECT_FALSE(CheckDataExtension("x.mvta.bak"));
    EXPECT_FALSE(CheckCfgExtension("x.mvta.bak"));
    EXPECT_FALSE(CheckDataExtension("mvta"));  // no dot at all
    EXPECT_FALSE(CheckCfgExtension("mcfg"));
    EXPECT_TRUE(CheckCfgExtension("a.b/c.McFg"));
}

TEST(DataFile, RoundTripsTheWholeImageAsUppercaseHex) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    MemoryImage image;
    for (int i = 0; i < MEMORY_SIZE; ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    }
    image[0] = 0x00;
    image[1] = 0x5A;
    image[2] = 0xF3;
    SetImageFirmware(image, FirmwareVersion{{'1', '0', '3'}});
    ASSERT_TRUE(WeatherStationExport(dir.File("a.mvta"), image));
    const std::string text = ReadFileBytes(dir.File("a.mvta"));
    EXPECT_EQ(text.size(), 131072u);
    EXPECT_EQ(text.substr(0, 6), "005AF3");
    MemoryImage loaded{};
    EXPECT_EQ(LoadDataFile(dir.File("a.mvta"), loaded, WindowId::Main), FileLoad::Loaded);
    EXPECT_EQ(loaded, image);
    EXPECT_TRUE(windows.Messages().empty());
}

TEST(DataFile, RefusesDamagedFilesAndLeavesTheImageAsItWas) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    const std::string good = DataFileText(BuildImage(ImageSpec{}));
    std::string lowercase = good;
    lowercase[300] = 'a';
    std::string foreign = good;
    foreign[7] = 'G';
    const MemoryImage before = BuildImage(ImageSpec{.readings = {1, 2}});
    for (const std::string& text : {good.substr(0, 131070), good + "00", lowercase, foreign}) {
        WriteFileBytes(dir.File("bad.mvta"), text);
        MemoryImage image = before;
        EXPECT_EQ(LoadDataFile(dir.File("bad.mvta"), image, WindowId::Main), FileLoad::Refused);
        EXPECT_EQ(image, before);
        const RecordedMessage m = windows.Messages().back();
        EXPECT_EQ(m.caption, "Erro");
        EXPECT_EQ(m.icon, MsgIcon::Stop);
        EXPECT_EQ(m.text.rfind("Arquivo Inválido: ", 0), 0u) << m.text;
    }
}

TEST(DataFile, OpeningAnotherFirmwareEndsTheProgramAfterTheMessage) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    WriteFileBytes(dir.File("old.MVTA"), DataFileText(BuildImage(ImageSpec{.firmware = "102"})));
    windows.dialog_path = dir.File("old.MVTA");
    const MemoryImage before = data_in;
    EXPECT_EQ(OpenFromMainWindow().kind, OpenedKind::Nothing);
    EXPECT_EQ(windows.Messages().back().text, MSG_FIRMWARE_INCOMPATIBLE);
    EXPECT_EQ(windows.Messages().back().caption, "Atenção !");
    EXPECT_EQ(windows.EndProcessCode(), 0);
    EXPECT_EQ(data_in, before);

    const MemoryImage image = BuildImage(ImageSpec{.readings = {624}});
    WriteFileBytes(dir.File("new.mvta"), DataFileText(image));
    windows.dialog_path = dir.File("new.mvta");
    EXPECT_EQ(OpenFromMainWindow().kind, OpenedKind::DataFile);
    EXPECT_EQ(data_in, image);
    windows.dialog_path = dir.File("notes.txt");
    EXPECT_EQ(OpenFromMainWindow().kind, OpenedKind::Nothing);
    EXPECT_EQ(windows.Messages().back().text, "Arquivo Inválido");
}

TEST(ConfigFile, Writes35BytesAndReadsThemBackKeepingTheSerial) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    ConfigValues v;
    v.sample_points = 300;
    v.sample_rate = 70000;  // only the low 16 bits are kept
    v.temp_unit = 1;
    v.t_low_alarm = 898;
    SetDescription(v.descricao, "C\xE2mara 2");
    const auto bytes = ConfigFileBytes(v);
    EXPECT_EQ(bytes[0], 0x01);
    EXPECT_EQ(bytes[1], 0x2C);
    EXPECT_EQ(bytes[5], 0x02);
    EXPECT_EQ(bytes[15], 0xE2);

    config_values = v;
    windows.dialog_path = dir.File("c.mcfg");
    EXPECT_TRUE(SaveConfigFromConfigWindow());
    EXPECT_EQ(windows.Messages().back().text, "Arquivo de configuração salvo com sucesso");
    EXPECT_EQ(ReadFileBytes(dir.File("c.mcfg")).size(), 35u);
    config_values = ConfigValues{};
    config_values.serial = 777;
    EXPECT_TRUE(OpenConfigInConfigWindow());
    EXPECT_EQ(config_values.serial, 777);
    config_values.serial = v.serial;
    v.sample_rate = 70000 & 0xFFFF;
    EXPECT_EQ(config_values, v);

    WriteFileBytes(dir.File("short.mcfg"), std::string(34, '\0'));
    EXPECT_EQ(LoadConfigFile(dir.File("short.mcfg"), v, WindowId::Main), FileLoad::Refused);
    EXPECT_EQ(windows.Messages().back().caption, "Erro");
}

TEST(DataFile, SaveFromTheDataWindowWritesOrSaysWhyNot) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    const MemoryImage image = BuildImage(ImageSpec{});
    windows.dialog_path = dir.File("s.mvta");
    EXPECT_TRUE(SaveDataFromDataWindow(image));
    EXPECT_EQ(windows.Messages().back().text, "Export Data to file Successful");
    EXPECT_EQ(windows.WindowTitle(WindowId::Data), dir.File("s.mvta"));
    EXPECT_EQ(ReadFileBytes(dir.File("s.mvta")), DataFileText(image));
    windows.dialog_path = dir.File("no/such/dir/s.mvta");
    EXPECT_FALSE(SaveDataFromDataWindow(image));
    EXPECT_EQ(windows.Messages().back().caption, "Erro");
}
