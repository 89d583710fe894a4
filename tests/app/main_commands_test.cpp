#include "app/main_commands.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <thread>

#include "link/serial.h"
#include "logger/logger_commands.h"
#include "logger/operation_engine.h"
#include "logger/reading_list.h"
#include "support/link_fixture.h"

using MainWindowControls = LinkTest;

// A window closed during a read must not hand "Ler" back: a second read would clobber it.
TEST_F(MainWindowControls, WindowClosedDuringReadLeavesTheReadsControls) {
    connected = true;
    dl_state = DL_READ;
    RestoreMainWindowControls();
    EXPECT_FALSE(windows.ControlEnabled(WindowId::Main, BT_READ).has_value());
    EXPECT_FALSE(windows.MenuEnabled(IDM_DATAREAD).has_value());

    dl_state = DL_IDLE;
    RestoreMainWindowControls();
    EXPECT_EQ(windows.ControlEnabled(WindowId::Main, BT_READ), true);
}

// "Gravar" with a limit that is no number: told, focused, and nothing goes to the card.
TEST_F(MainWindowControls, GravarRefusesAFieldThatIsNoNumberAndSendsNothing) {
    TestPty pty;
    ASSERT_FALSE(pty.slave.empty());
    RegisterPort(pty.slave);
    GetPortNames();
    ASSERT_TRUE(connected);
    config_values = ConfigValues{.sample_points = 2000, .sample_rate = 300};
    WeatherStationViewPar();
    windows.SetControlText(WindowId::Config, CFG_TEMP_HIGH, "abc");
    const ConfigValues before = config_values;
    EXPECT_FALSE(CommandConfigWrite());
    const std::vector<RecordedMessage> messages = windows.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Erro");
    EXPECT_EQ(messages[0].text, "Temperatura Sup" + std::string(MSG_LIMIT_ACCEPTS));
    EXPECT_EQ(windows.Focused(), std::make_pair(WindowId::Config, CFG_TEMP_HIGH));
    EXPECT_EQ(config_values, before);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    unsigned char byte = 0;
    EXPECT_EQ(read(pty.master, &byte, 1), -1) << "a byte went to the card";
}
