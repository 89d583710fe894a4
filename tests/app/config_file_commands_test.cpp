#include "app/config_file_commands.h"

#include <gtest/gtest.h>

#include "files/file.h"
#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

TEST(ConfigFileCommands, SaveThenOpenKeepsTheSerialAndTitlesTheWindow) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    ConfigValues v;
    v.sample_points = 300;
    v.t_low_alarm = 898;
    SetDescription(v.descricao, "C\xE2mara 2");
    config_values = v;
    windows.dialog_path = dir.File("c.mcfg");
    EXPECT_TRUE(SaveConfigFromConfigWindow());
    EXPECT_EQ(windows.Messages().back().text, "Arquivo de configuração salvo com sucesso");
    EXPECT_EQ(windows.Messages().back().caption, "Salvar");
    EXPECT_EQ(ReadFileBytes(dir.File("c.mcfg")).size(), 35u);

    config_values = ConfigValues{};
    config_values.serial = 777;
    EXPECT_TRUE(OpenConfigInConfigWindow());
    EXPECT_EQ(windows.WindowTitle(WindowId::Config), dir.File("c.mcfg"));
    EXPECT_EQ(config_values.serial, 777);
    config_values.serial = v.serial;
    EXPECT_EQ(config_values, v);

    windows.dialog_path = dir.File("no/such/dir/c.mcfg");
    EXPECT_FALSE(SaveConfigFromConfigWindow());
    EXPECT_EQ(windows.Messages().back().caption, "Erro");
    WriteFileBytes(dir.File("short.mcfg"), std::string(34, '\0'));
    windows.dialog_path = dir.File("short.mcfg");
    EXPECT_FALSE(OpenConfigInConfigWindow());
    EXPECT_EQ(windows.Messages().back().text,
              "Arquivo Inválido: o arquivo tem 34 bytes em vez de 35");
}
