#include "logger/serial_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

TEST(SerialLog, SerialsCountDownAndEachWriteIsLoggedOrItsFailureShown) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    forcar_novo_serial = false;
    const auto assigned = [](long serial) {
        ConfigValues values;
        values.serial = serial;
        AssignSerialIfNeeded(values);
        return values.serial;
    };
    EXPECT_EQ(assigned(SERIAL_NONE), 16777214);  // no file: restarted
    WriteFileBytes(SERIAL_FILE_NAME, "16777000");
    EXPECT_EQ(assigned(SERIAL_NONE), 16776999);
    EXPECT_EQ(assigned(123), 123);  // a numbered card keeps its number
    EXPECT_EQ(ReadFileBytes(SERIAL_FILE_NAME), "16776999");
    forcar_novo_serial = true;
    EXPECT_EQ(assigned(123), 16776998);
    forcar_novo_serial = false;

    for (const char* unusable : {"0", "abc"}) {  // restarts instead of giving serial -1
        WriteFileBytes(SERIAL_FILE_NAME, unusable);
        EXPECT_EQ(assigned(SERIAL_NONE), 16777214) << '"' << unusable << '"';
    }

    ConfigValues v{.sample_points = 2016,
                   .sample_rate = 300,
                   .flash_alarm = true,
                   .t_low_alarm = 898,
                   .t_high_alarm = 624,
                   .alarm_delay = 600,
                   .serial = 16777214,
                   .modo_nuvem = true};
    SetDescription(v.descricao, "Camara, fria");
    const CALENDAR now{7, 8, 9, 6, 12, 2026};
    EXPECT_TRUE(SalvaGravacao(v, now));
    EXPECT_TRUE(SalvaGravacao(v, now));
    const std::string line =
        "12/06/26, 09:08:07 , 16777214, 898, 624 0, 600, 2016, 300, 1, 0, 1, Camara, fria\r";
    EXPECT_EQ(ReadFileBytes(CONFIG_LOG_FILE_NAME), line + line);

    // A directory in the way fails for root too, unlike permission bits.
    TempWorkingDir blocked;
    ::mkdir(CONFIG_LOG_FILE_NAME, 0755);
    ::mkdir(SERIAL_FILE_NAME, 0755);
    EXPECT_FALSE(SalvaGravacao(v, now));
    EXPECT_NE(windows.Messages().back().text.find("log_configurados.txt"), std::string::npos);
    EXPECT_NE(SalvaUltimoSerial(16777214), 0);
}
