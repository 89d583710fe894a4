#include "support/link_fixture.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "link/exchange.h"
#include "link/serial.h"
#include "logger/logger_commands.h"
#include "logger/main_commands.h"
#include "logger/operation_engine.h"

void ResetCardSession() {
    StopTimerThread();
    StopOperationThread();
    ClosePort();
    connected = false;
    active_sel = 0;
    for (std::atomic<bool>* flag :
         {&wait_sc, &rx_sc, &rx_rd_frame, &rx_dt_frame, &rx_bt_frame, &rx_write, &rx_error,
          &cancel_rd, &read_ok, &new_data, &new_config, &bat_button_press}) {
        *flag = false;
    }
    mostrar_info = true;
    n_send = 0;
    resend_timer = 0;
    timmer_100ms = 0;
    dl_state = DL_IDLE;
    ForgetFirmware();
}

void LinkTest::SetUp() {
    char pattern[] = "/tmp/razurozavi-link-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    registrations = std::string(pattern) + "/ports";
    std::filesystem::create_directories(registrations);
    std::filesystem::create_directories(std::string(pattern) + "/sys");  // no real ports
    SetDeviceMapRoots(std::string(pattern) + "/sys", registrations);
    ResetCardSession();
}

void LinkTest::TearDown() {
    ResetCardSession();
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(registrations).parent_path(), ignored);
}

void LinkTest::RegisterPort(const std::string& device, int number) {
    std::filesystem::create_symlink(device, registrations + "/ttyACM" + std::to_string(number));
}

void LinkTest::UnregisterPort(int number) {
    std::filesystem::remove(registrations + "/ttyACM" + std::to_string(number));
}

TestPty::TestPty() : master(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) {
        slave = ptsname(master);
    }
}

TestPty::~TestPty() {
    close(master);
}
