#include "app/save_data_command.h"

#include <gtest/gtest.h>

#include "files/file.h"
#include "support/image_builder.h"
#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

TEST(SaveDataCommand, WritesOrSaysWhyNot) {
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
    EXPECT_EQ(windows.Messages().back().text.rfind(
                  "Não foi possível gravar o arquivo " + dir.File("no/such/dir/s.mvta") + ": ", 0),
              0u);
}
