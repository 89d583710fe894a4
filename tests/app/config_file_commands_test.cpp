#include "app/config_file_commands.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files/file.h"
#include "logger/logger_commands.h"
#include "logger/reading_list.h"
#include "sensor/temp.h"
#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

namespace {

ConfigValues Camara() {
    ConfigValues v{.sample_points = 1000,
                   .sample_rate = 300,
                   .led_cycle = 20,
                   .flash_alarm = true,
                   .temp_unit = 1,
                   .t_low_alarm = 898,
                   .t_high_alarm = 624,
                   .start_delay = 600,
                   .alarm_delay = 65535,
                   .modo_nuvem = true};
    SetDescription(v.descricao, "C\xE2mara 2");
    return v;
}

std::string Bytes(const ConfigValues& v) {
    const auto bytes = ConfigFileBytes(v);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(ConfigFileCommands, SaveTakesTheEditedFieldsAndRefusesWhatIsNoNumber) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    config_values = Camara();
    WeatherStationViewPar();
    windows.SetControlText(WindowId::Config, CFG_TEMP_LOW, "2,5");
    windows.SetControlText(WindowId::Config, CFG_TEMP_HIGH, " 8.5 ");
    windows.SetControlText(WindowId::Config, CFG_START_DELAY, "30");
    windows.dialog_path = dir.File("c.mcfg");
    ASSERT_TRUE(SaveConfigFromConfigWindow());
    ConfigValues edited = Camara();
    edited.t_low_alarm = LoTempToAD(25);
    edited.t_high_alarm = HiTempToAD(85);
    edited.start_delay = 30;
    EXPECT_EQ(ReadFileBytes(dir.File("c.mcfg")), Bytes(edited));

    const struct {
        int control;
        const char* text;
        const char* name;
    } refused[] = {
        {CFG_TEMP_LOW, "xyz", "Temperatura Inf"},   {CFG_TEMP_HIGH, "2.55", "Temperatura Sup"},
        {CFG_TEMP_HIGH, "", "Temperatura Sup"},     {CFG_START_DELAY, "1a", "Delay Inicio"},
        {CFG_ALARM_DELAY, "70000", "Delay Alarme"}, {CFG_ALARM_DELAY, "-5", "Delay Alarme"}};
    for (const auto& field : refused) {
        WeatherStationViewPar();
        windows.SetControlText(WindowId::Config, field.control, field.text);
        windows.dialog_path = dir.File("refused.mcfg");
        const ConfigValues before = config_values;
        EXPECT_FALSE(SaveConfigFromConfigWindow()) << field.text;
        const RecordedMessage m = windows.Messages().back();
        EXPECT_EQ(m.caption, "Erro");
        EXPECT_EQ(m.text.rfind(std::string(field.name) + ": digite ", 0), 0u) << m.text;
        EXPECT_EQ(windows.Focused(), std::make_pair(WindowId::Config, field.control));
        EXPECT_FALSE(std::filesystem::exists(dir.File("refused.mcfg"))) << field.text;
        EXPECT_EQ(config_values, before);
    }
}
