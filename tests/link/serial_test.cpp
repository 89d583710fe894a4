#include "link/serial.h"

#include <sys/ioctl.h>

#include <filesystem>

#include "support/link_fixture.h"

namespace {
namespace fs = std::filesystem;
using PortScan = LinkTest;

TEST_F(PortScan, MatchesOnlyCardPortsAndOpensTheLastExclusively) {
    const fs::path root = fs::path(registrations).parent_path(), tty = root / "sys";
    for (const auto& [name, driver] :
         {std::pair{"ttyACM3", "cdc_acm"}, {"ttyS0", "serial8250"}, {"tty1", ""}}) {
        fs::create_directories(tty / name / "device");
        if (*driver != '\0') {
            fs::create_directories(root / "drivers" / driver);
            fs::create_directory_symlink(root / "drivers" / driver, tty / name / "device/driver");
        }
    }
    TestPty pty;
    ASSERT_FALSE(pty.slave.empty());
    RegisterPort(pty.slave, 12);
    std::vector<DeviceMapEntry> map = ReadDeviceMap(tty, registrations);
    ASSERT_EQ(map.size(), 3u);
    EXPECT_EQ(map[0].device_path, "/dev/ttyACM3");
    map.push_back({"cdc_acm:", "ttyACM3", "/dev/ttyACM3"});  // the prefix and nothing after it
    map.push_back({"cdc_acm:ttyACMx", "ttyACMx", "/dev/ttyACMx"});  // no port number
    const std::vector<CardPort> ports = MatchCardPorts(map);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].number, 3);
    EXPECT_EQ(ports.back().number, 12);
    EXPECT_EQ(ports.back().device_path, pty.slave);

    GetPortNames();
    ASSERT_TRUE(connected);
    EXPECT_EQ(active_sel, 12);
    int exclusive = 0;
    ASSERT_EQ(ioctl(hPort, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    GetPortNames();  // closes and reopens: the exclusive mark must not lock ourselves out
    EXPECT_TRUE(connected);

    UnregisterPort(12);
    RegisterPort("/dev/null", 12);  // opens, but refuses the line settings
    GetPortNames();
    EXPECT_FALSE(connected);
}
}  // namespace
