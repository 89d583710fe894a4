#include "link/serial.h"

#include <stdlib.h>
#include <sys/ioctl.h>

#include <filesystem>
#include <fstream>

#include "support/link_fixture.h"

namespace {

namespace fs = std::filesystem;

TEST(Discovery, MatchesOnlyCardPortsAndKeepsTheLast) {
    EXPECT_EQ(CompareStr("abc", "abc"), 0);
    EXPECT_EQ(CompareStr("abd", "abc"), 2);
    EXPECT_EQ(CompareStr("cdc_acm:ttyACM0", USB_SERIAL_PREFIX), 8);
    const std::vector<CardPort> ports = MatchCardPorts({
        {"cdc_acm:ttyACM7", "ttyACM7", "/dev/ttyACM7"},
        {"serial8250:ttyS0", "ttyS0", "/dev/ttyS0"},     // a built-in port
        {"cdc_acm:", "ttyACM3", "/dev/ttyACM3"},         // the prefix and nothing after it
        {"cdc_acm:ttyACMx", "ttyACMx", "/dev/ttyACMx"},  // no port number
        {"cdc_acm:ttyACM12", "ttyACM12", "/dev/pts/4"},
    });
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].number, 7);
    EXPECT_EQ(ports.back().number, 12);
    EXPECT_EQ(ports.back().device_path, "/dev/pts/4");
}

TEST(Discovery, ReadsDriversAndSimulatedRegistrations) {
    char pattern[] = "/tmp/razurozavi-map-XXXXXX";
    const fs::path root = mkdtemp(pattern);
    const fs::path tty = root / "class/tty";
    for (const auto& [name, driver] :
         {std::pair{"ttyACM3", "cdc_acm"}, {"ttyS0", "serial8250"}, {"tty1", ""}}) {
        fs::create_directories(tty / name / "device");
        if (*driver != '\0') {
            fs::create_directories(root / "drivers" / driver);
            fs::create_directory_symlink(root / "drivers" / driver, tty / name / "device/driver");
        }
    }
    fs::create_directories(root / "ports");
    fs::create_symlink("/dev/pts/9", root / "ports/ttyACM5");

    const std::vector<DeviceMapEntry> map = ReadDeviceMap(tty, root / "ports");
    fs::remove_all(root);
    ASSERT_EQ(map.size(), 3u);
    EXPECT_EQ(map[0].name, "cdc_acm:ttyACM3");
    EXPECT_EQ(map[0].device_path, "/dev/ttyACM3");
    EXPECT_EQ(map[1].name, "serial8250:ttyS0");
    const std::vector<CardPort> ports = MatchCardPorts(map);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[1].number, 5);
    EXPECT_EQ(ports[1].device_path, "/dev/pts/9");
}

using PortScan = LinkTest;

TEST_F(PortScan, ConnectsExclusivelyAndNoticesTheCardLeaving) {
    // No port at all: disconnected, even after having been connected.
    GetPortNames();
    EXPECT_FALSE(connected);
    EXPECT_EQ(windows.ControlText(WindowId::Main, ID_STATUS), "Desconectado");

    TestPty pty;
    ASSERT_FALSE(pty.slave.empty());
    RegisterPort(pty.slave, 4);
    GetPortNames();
    ASSERT_TRUE(connected);
    EXPECT_EQ(active_sel, 4);
    EXPECT_EQ(windows.ControlText(WindowId::Main, ID_STATUS), "Conectado");
    EXPECT_EQ(windows.ControlEnabled(WindowId::Main, BT_READ), true);
    EXPECT_EQ(windows.MenuEnabled(IDM_CONFIG), true);
    int exclusive = 0;
    ASSERT_EQ(ioctl(hPort, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    // The next scan closes and reopens: the exclusive mark must not lock ourselves out.
    GetPortNames();
    EXPECT_TRUE(connected);

    UnregisterPort(4);
    GetPortNames();
    EXPECT_FALSE(connected);
    EXPECT_EQ(hPort, -1);
    EXPECT_EQ(windows.ControlText(WindowId::Main, ID_STATUS), "Desconectado");
    EXPECT_EQ(windows.ControlEnabled(WindowId::Main, BT_READ), false);
    EXPECT_EQ(windows.MenuEnabled(IDM_HELPCONVINFO), false);

    // A registration whose device is not a terminal opens but refuses the line settings.
    const std::string not_a_tty = registrations + "/../plain-file";
    std::ofstream{not_a_tty};
    RegisterPort(not_a_tty, 1);
    GetPortNames();
    EXPECT_FALSE(connected);
    EXPECT_EQ(hPort, -1);

    PortFailure failure = PortFailure::None;
    EXPECT_EQ(ConfigureSerialPort("/nonexistent/ttyACM0", CARD_BAUD_RATE, &failure), -1);
    EXPECT_EQ(failure, PortFailure::Other);
}

}  // namespace
