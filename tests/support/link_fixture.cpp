#include "support/link_fixture.h"

#include <fcntl.h>
#include <stdlib.h>

#include "app/main_commands.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/logger_commands.h"
#include "logger/operation_engine.h"

namespace fs = std::filesystem;

void ResetCardSession() {
    StopTimerThread();
    StopOperationThread();
    ClosePort();
    for (std::atomic<bool>* flag :
         {&connected, &wait_sc, &rx_sc, &rx_rd_frame, &rx_dt_frame, &rx_bt_frame, &rx_write,
          &rx_error, &cancel_rd, &read_ok, &new_data, &new_config, &bat_button_press}) {
        *flag = false;
    }
    active_sel = n_send = resend_timer = timmer_100ms = 0;
    mostrar_info = true;
    dl_state = DL_IDLE;
    ForgetFirmware();
}

void LinkTest::SetUp() {
    char pattern[] = "/tmp/razurozavi-link-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    registrations = std::string(pattern) + "/ports";
    fs::create_directories(registrations);
    fs::create_directories(std::string(pattern) + "/sys");  // no real ports
    SetDeviceMapRoots(std::string(pattern) + "/sys", registrations);
    ResetCardSession();
}

void LinkTest::TearDown() {
    ResetCardSession();
    std::error_code ignored;
    fs::remove_all(fs::path(registrations).parent_path(), ignored);
}

void PtyCardTest::SetUp() {
    LinkTest::SetUp();
    ASSERT_FALSE(pty.slave.empty());
    RegisterPort(pty.slave);
    GetPortNames();
    ASSERT_TRUE(connected);
}

TestPty::TestPty() : master(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) {
        slave = ptsname(master);
    }
}
