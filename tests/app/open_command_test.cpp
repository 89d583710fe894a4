#include "app/open_command.h"

#include <gtest/gtest.h>

#include "app/main_commands.h"
#include "support/image_builder.h"
#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

TEST(OpenCommand, ARefusedDataFileIsShownWithWhyAndLeavesTheImage) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    const MemoryImage before = BuildImage(ImageSpec{.readings = {1, 2}});
    WriteFileBytes(dir.File("bad.mvta"), "00");
    MemoryImage image = before;
    EXPECT_EQ(LoadDataFile(dir.File("bad.mvta"), image, WindowId::Data), FileLoad::Refused);
    EXPECT_EQ(image, before);
    const RecordedMessage m = windows.Messages().back();
    EXPECT_EQ(m.owner, WindowId::Data);
    EXPECT_EQ(m.caption, "Erro");
    EXPECT_EQ(m.icon, MsgIcon::Stop);
    EXPECT_EQ(m.text, "Arquivo Inválido: bad.mvta: o arquivo tem 2 caracteres em vez de 131072");

    ConfigValues values;
    EXPECT_EQ(LoadConfigFile(dir.File("bad.mvta"), values, WindowId::Config), FileLoad::Refused);
    EXPECT_EQ(windows.Messages().back().text, "Arquivo Inválido: bad.mvta");
}

TEST(OpenCommand, AnotherFirmwareEndsTheProgramAfterTheMessage) {
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
}

TEST(OpenCommand, TheDialogOffersBothKindsRefusesAnyOtherAndANamedFileNeedsNoDialog) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    EXPECT_EQ(OpenFromMainWindow().kind, OpenedKind::Nothing);  // cancelled: nothing said
    EXPECT_TRUE(windows.Messages().empty());
    EXPECT_NE(windows.offered_filters.find("(*.mvta)"), std::string::npos);
    EXPECT_NE(windows.offered_filters.find("(*.mcfg)"), std::string::npos);
    windows.dialog_path = dir.File("notes.txt");
    EXPECT_EQ(OpenFromMainWindow().kind, OpenedKind::Nothing);
    EXPECT_EQ(windows.Messages().back().text, "Arquivo Inválido: notes.txt");

    const MemoryImage image = BuildImage(ImageSpec{.readings = {624, 625}});
    WriteFileBytes(dir.File("named.mvta"), DataFileText(image));
    CommandOpenFile(dir.File("named.mvta"));
    EXPECT_EQ(windows.opened_windows, std::vector<WindowId>{WindowId::Data});
    EXPECT_EQ(windows.WindowTitle(WindowId::Data), dir.File("named.mvta"));
    EXPECT_EQ(windows.ListLines(WindowId::Data, LIST1).size(), 2u);
    EXPECT_EQ(data_in, image);
}
