#include "logger/serial_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

TEST(SerialNumbers, CountDownFromTheLastOneGivenOut) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    forcar_novo_serial = false;

    // No file: warned once, the count restarts at 0xFFFFFE.
    ConfigValues first;
    AssignSerialIfNeeded(first);
    EXPECT_EQ(first.serial, 16777214);
    ASSERT_EQ(windows.Messages().size(), 1u);
    EXPECT_EQ(windows.Messages()[0].caption, "Busca serial");
    EXPECT_EQ(ReadFileBytes(SERIAL_FILE_NAME), "16777214");

    ConfigValues second;
    AssignSerialIfNeeded(second);
    EXPECT_EQ(second.serial, 16777213);
    EXPECT_EQ(ReadFileBytes(SERIAL_FILE_NAME), "16777213");

    WriteFileBytes(SERIAL_FILE_NAME, "16777000");
    ConfigValues third;
    AssignSerialIfNeeded(third);
    EXPECT_EQ(third.serial, 16776999);
    EXPECT_EQ(ReadFileBytes(SERIAL_FILE_NAME), "16776999");

    ConfigValues numbered;
    numbered.serial = 123;  // keeps its number; the file is untouched
    AssignSerialIfNeeded(numbered);
    EXPECT_EQ(numbered.serial, 123);
    EXPECT_EQ(ReadFileBytes(SERIAL_FILE_NAME), "16776999");

    forcar_novo_serial = true;
    AssignSerialIfNeeded(numbered);
    EXPECT_EQ(numbered.serial, 16776998);
    forcar_novo_serial = false;

    WriteFileBytes(SERIAL_FILE_NAME, "");  // empty: warned, restarted
    ConfigValues restarted;
    AssignSerialIfNeeded(restarted);
    EXPECT_EQ(restarted.serial, 16777214);
    EXPECT_EQ(windows.Messages().back().text,
              "Ocorreu um erro ao buscar último serial, contagam será reiniciada.");
}

TEST(ConfigLog, AppendsOneCarriageReturnEndedLinePerWrite) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    ConfigValues v;
    v.serial = 16777214;
    v.t_low_alarm = 898;
    v.t_high_alarm = 624;
    v.start_delay = 0;
    v.alarm_delay = 600;
    v.sample_points = 2016;
    v.sample_rate = 300;
    v.flash_alarm = true;
    v.temp_unit = 0;
    v.modo_nuvem = true;
    SetDescription(v.descricao, "Camara, fria");
    const CALENDAR now{7, 8, 9, 6, 12, 2026};
    EXPECT_TRUE(SalvaGravacao(v, now));
    EXPECT_TRUE(SalvaGravacao(v, now));
    const std::string line =
        "12/06/26, 09:08:07 , 16777214, 898, 624 0, 600, 2016, 300, 1, 0, 1, Camara, fria\r";
    EXPECT_EQ(ReadFileBytes(CONFIG_LOG_FILE_NAME), line + line);
    EXPECT_TRUE(windows.Messages().empty());
}

TEST(ConfigLog, TellsTheUserWhenTheFilesCannotBeWritten) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    // A directory in the way fails for root too, unlike permission bits.
    ::mkdir(CONFIG_LOG_FILE_NAME, 0755);
    ::mkdir(SERIAL_FILE_NAME, 0755);
    EXPECT_FALSE(SalvaGravacao(ConfigValues{}, CALENDAR{}));
    ASSERT_EQ(windows.Messages().size(), 1u);
    EXPECT_NE(windows.Messages()[0].text.find("log_configurados.txt"), std::string::npos);

    EXPECT_NE(SalvaUltimoSerial(16777214), 0);
    EXPECT_EQ(windows.Messages().back().caption, "Salva serial");
    EXPECT_EQ(windows.Messages().back().text.rfind("Erro ao salvar arquivo UltimoSerial.txt: ", 0),
              0u);
}
