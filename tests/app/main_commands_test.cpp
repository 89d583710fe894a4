#include "app/main_commands.h"

#include <gtest/gtest.h>

#include "link/serial.h"
#include "logger/operation_engine.h"
#include "support/link_fixture.h"

using MainWindowControls = LinkTest;

// A data or configuration window closed while a read runs must not hand "Ler" back: a
// second read would overwrite the image the first is filling.
TEST_F(MainWindowControls, WindowClosedDuringReadLeavesTheReadsControls) {
    connected = true;
    dl_state = DL_READ;
    RestoreMainWindowControls();
    EXPECT_FALSE(windows.ControlEnabled(WindowId::Main, BT_OPEN).has_value());
    EXPECT_FALSE(windows.ControlEnabled(WindowId::Main, BT_READ).has_value());
    EXPECT_FALSE(windows.MenuEnabled(IDM_DATAREAD).has_value());

    dl_state = DL_IDLE;
    RestoreMainWindowControls();
    EXPECT_EQ(windows.ControlEnabled(WindowId::Main, BT_OPEN), true);
    EXPECT_EQ(windows.ControlEnabled(WindowId::Main, BT_READ), true);
    EXPECT_EQ(windows.MenuEnabled(IDM_HELPCONVINFO), true);
}

TEST_F(MainWindowControls, WithoutCardOnlyTheFileCommandsComeBack) {
    RestoreMainWindowControls();
    EXPECT_EQ(windows.ControlEnabled(WindowId::Main, BT_OPEN), true);
    EXPECT_EQ(windows.ControlEnabled(WindowId::Main, BT_QUIT), true);
    EXPECT_EQ(windows.MenuEnabled(IDM_FILEOPEN), true);
    EXPECT_FALSE(windows.ControlEnabled(WindowId::Main, BT_CONFIG).has_value());
}
