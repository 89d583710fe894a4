#include "files/file.h"

#include <gtest/gtest.h>

#include "support/image_builder.h"
#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

TEST(Extensions, CompareTheFourCharactersAfterTheLastDot) {
    EXPECT_TRUE(CheckDataExtension("/home/a/dados.mvta"));
    EXPECT_TRUE(CheckDataExtension("C:\\DADOS.MVTA"));
    EXPECT_TRUE(CheckDataExtension("x.mvtax"));
    EXPECT_FALSE(CheckDataExtension("x.mvt"));
    EXPECT_FALSE(CheckDataExtension("x.mvta.bak"));
    EXPECT_FALSE(CheckCfgExtension("x.mvta.bak"));
    EXPECT_FALSE(CheckDataExtension("mvta"));
    EXPECT_FALSE(CheckCfgExtension("mcfg"));
    EXPECT_FALSE(CheckDataExtension(""));
    EXPECT_TRUE(CheckCfgExtension("a.b/c.McFg"));
    EXPECT_FALSE(CheckCfgExtension("c.mvta"));
    EXPECT_EQ(CharToNum('0'), 0);
    EXPECT_EQ(CharToNum('9'), 9);
    EXPECT_EQ(CharToNum('A'), 10);
    EXPECT_EQ(CharToNum('F'), 15);
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
    EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF"), std::string::npos);

    MemoryImage loaded{};
    EXPECT_EQ(LoadDataFile(dir.File("a.mvta"), loaded, WindowId::Main), FileLoad::Loaded);
    EXPECT_EQ(loaded, image);
    EXPECT_TRUE(windows.Messages().empty());

    // A card with few readings still gives a whole image.
    ImageSpec spec;
    spec.readings = {624};
    ASSERT_TRUE(WeatherStationExport(dir.File("b.mvta"), BuildImage(spec)));
    EXPECT_EQ(ReadFileBytes(dir.File("b.mvta")).size(), 131072u);
}

TEST(DataFile, RefusesDamagedFilesAndLeavesTheImageAsItWas) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    ImageSpec spec;
    spec.readings = {1, 2, 3};
    const std::string good = DataFileText(BuildImage(spec));
    const MemoryImage before = BuildImage(ImageSpec{});

    struct Case {
        const char* name;
        std::string text;
    };
    std::string lowercase = good;
    lowercase[300] = 'a';
    std::string foreign = good;
    foreign[7] = 'G';
    const Case cases[] = {{"short.mvta", good.substr(0, 131070)},
                          {"long.mvta", good + "00"},
                          {"lower.mvta", lowercase},
                          {"foreign.mvta", foreign},
                          {"empty.mvta", ""}};
    for (const Case& c : cases) {
        WriteFileBytes(dir.File(c.name), c.text);
        MemoryImage image = before;
        EXPECT_EQ(LoadDataFile(dir.File(c.name), image, WindowId::Main), FileLoad::Refused)
            << c.name;
        EXPECT_EQ(image, before) << c.name;
        const RecordedMessage m = windows.Messages().back();
        EXPECT_EQ(m.caption, "Erro");
        EXPECT_EQ(m.icon, MsgIcon::Stop);
        EXPECT_EQ(m.text.rfind("Arquivo Inválido: ", 0), 0u) << m.text;
    }
    MemoryImage image = before;
    EXPECT_EQ(LoadDataFile(dir.File("missing.mvta"), image, WindowId::Main), FileLoad::Refused);
    EXPECT_EQ(LoadDataFile(dir.File("a.txt"), image, WindowId::Main), FileLoad::Refused);
    EXPECT_EQ(windows.Messages().back().text, "Arquivo Inválido");
    EXPECT_EQ(image, before);
}

TEST(DataFile, OpeningAnotherFirmwareEndsTheProgramAfterTheMessage) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    ImageSpec spec;
    spec.firmware = "102";
    WriteFileBytes(dir.File("old.MVTA"), DataFileText(BuildImage(spec)));
    windows.dialog_path = dir.File("old.MVTA");
    const MemoryImage before = data_in;
    EXPECT_EQ(OpenFromMainWindow().kind, OpenedKind::Nothing);
    ASSERT_EQ(windows.Messages().size(), 1u);
    EXPECT_EQ(windows.Messages()[0].text, MSG_FIRMWARE_INCOMPATIBLE);
    EXPECT_EQ(windows.Messages()[0].caption, "Atenção !");
    EXPECT_EQ(windows.end_process_code, 0);
    EXPECT_EQ(data_in, before);

    spec.firmware = "103";
    spec.readings = {624};
    WriteFileBytes(dir.File("new.mvta"), DataFileText(BuildImage(spec)));
    windows.dialog_path = dir.File("new.mvta");
    const OpenedFile opened = OpenFromMainWindow();
    EXPECT_EQ(opened.kind, OpenedKind::DataFile);
    EXPECT_EQ(opened.path, dir.File("new.mvta"));
    EXPECT_EQ(data_in, BuildImage(spec));

    windows.dialog_path.reset();  // cancelled: nothing happens
    EXPECT_EQ(OpenFromMainWindow().kind, OpenedKind::Nothing);
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
    v.led_cycle = 30;
    v.temp_unit = 1;
    v.t_low_alarm = 898;
    v.t_high_alarm = 624;
    v.start_delay = 5;
    v.alarm_delay = 600;
    SetDescription(v.descricao, "C\xE2mara 2");
    const auto bytes = ConfigFileBytes(v);
    EXPECT_EQ(bytes[0], 0x01);
    EXPECT_EQ(bytes[1], 0x2C);
    EXPECT_EQ(bytes[2], (70000 >> 8) & 0xFF);
    EXPECT_EQ(bytes[3], 70000 & 0xFF);
    EXPECT_EQ(bytes[5], 0x02);
    EXPECT_EQ(bytes[14], 'C');
    EXPECT_EQ(bytes[15], 0xE2);

    ASSERT_TRUE(SaveConfigFile(dir.File("c.mcfg"), v));
    EXPECT_EQ(ReadFileBytes(dir.File("c.mcfg")).size(), 35u);
    ConfigValues back;
    back.serial = 777;
    EXPECT_EQ(LoadConfigFile(dir.File("c.mcfg"), back, WindowId::Main), FileLoad::Loaded);
    EXPECT_EQ(back.serial, 777);
    back.serial = v.serial;
    v.sample_rate = 70000 & 0xFFFF;
    EXPECT_EQ(back, v);

    WriteFileBytes(dir.File("short.mcfg"), std::string(34, '\0'));
    ConfigValues untouched = back;
    EXPECT_EQ(LoadConfigFile(dir.File("short.mcfg"), untouched, WindowId::Main), FileLoad::Refused);
    EXPECT_EQ(untouched, back);
    EXPECT_EQ(windows.Messages().back().caption, "Erro");
}

TEST(ConfigFile, SaveAndOpenCommandsOfTheConfigurationWindow) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    config_values = ConfigValues{};
    config_values.sample_points = 8000;
    windows.dialog_path = dir.File("w.mcfg");
    EXPECT_TRUE(SaveConfigFromConfigWindow());
    EXPECT_EQ(windows.Messages().back().text, "Arquivo de configuração salvo com sucesso");
    EXPECT_EQ(windows.Messages().back().caption, "Salvar");
    EXPECT_EQ(windows.WindowTitle(WindowId::Config), dir.File("w.mcfg"));
    EXPECT_EQ(windows.dialog_filters.back().pattern, "*.mcfg");

    config_values.sample_points = 50;
    EXPECT_TRUE(OpenConfigInConfigWindow());
    EXPECT_EQ(config_values.sample_points, 8000);
    EXPECT_EQ(windows.SelectedPosition(WindowId::Config, CFG_SAMPLE_POINTS), 7);

    windows.dialog_path.reset();
    const std::size_t shown = windows.Messages().size();
    EXPECT_FALSE(SaveConfigFromConfigWindow());
    EXPECT_EQ(windows.Messages().size(), shown);
}

TEST(DataFile, SaveFromTheDataWindowWritesAndNamesTheWindow) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    const MemoryImage image = BuildImage(ImageSpec{});
    windows.dialog_path = dir.File("s.mvta");
    EXPECT_TRUE(SaveDataFromDataWindow(image));
    EXPECT_EQ(windows.Messages().back().text, "Export Data to file Successful");
    EXPECT_EQ(windows.Messages().back().caption, "Export");
    EXPECT_EQ(windows.WindowTitle(WindowId::Data), dir.File("s.mvta"));
    EXPECT_EQ(ReadFileBytes(dir.File("s.mvta")), DataFileText(image));

    windows.dialog_path = dir.File("no/such/dir/s.mvta");
    EXPECT_FALSE(SaveDataFromDataWindow(image));
    EXPECT_EQ(windows.Messages().back().caption, "Erro");
}
