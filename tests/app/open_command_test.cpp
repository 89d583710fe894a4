#include "app/open_command.h"

#include <gtest/gtest.h>

#include "app/main_commands.h"
#include "support/image_builder.h"
#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

TEST(OpenCommand, AnotherFirmwareEndsTheProgramAfterTheMessage) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    WriteFileBytes(dir.File("old.MVTA"), DataFileText(BuildImage(ImageSpec{.firmware = "102"})));
    windows.dialog_path = dir.File("old.MVTA");
    const MemoryImage before = data_in;
    EXPECT_EQ(OpenFromMainWindow().kind, OpenedKind::Nothing);
    EXPECT_EQ(windows.Messages().back().text, MSG_FIRMWARE_INCOMPATIBLE);
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
    EXPECT_EQ(data_in, image);
}
