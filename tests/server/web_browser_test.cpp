// The web view in headless chromium on a phone; RAZUROZAVI_WEB_SCREENSHOT=FILE,
// RAZUROZAVI_WEB_PHONE_SCREENSHOT=FILE and RAZUROZAVI_WEB_HASH_SCREENSHOT=FILE picture an
// upload's page for docs/screenshots.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "files/file.h"
#include "sensor/temp.h"
#include "support/child_process.h"
#include "support/image_builder.h"
#include "support/run_command.h"
#include "web_fixture.h"

TEST(WebBrowser, ChromiumShowsRealUploads) {
    if (RunShell("command -v chromium").status != 0) {
        GTEST_SKIP() << "Debian's chromium is not installed (scripts/install-deps installs it)";
    }
    TempWorkingDir dir;
    // A week of a cold room between 2 and 8 C: a daily swing, a warm hour and a short dip.
    ImageSpec spec;
    spec.start = {0, 0, 8, 2, 6, 2025};
    spec.sample_rate = 300;
    spec.sample_points = 2016;
    spec.serial = 2001;
    spec.description = "C\xE2mara ra\xE7\xE3o 5\xB0";  // Windows-1252, as cards keep it
    spec.t_low_ad = HiTempToAD(20);
    spec.t_high_ad = HiTempToAD(80);
    for (int i = 0; i < 2016; ++i) {
        const int swing = 50 + static_cast<int>(std::lround(15 * std::sin(i * 2 * M_PI / 288.0)));
        spec.readings.push_back(HiTempToAD((i >= 620 && i < 640)     ? 93
                                           : (i >= 1500 && i < 1503) ? 12
                                                                     : swing));
    }
    const int upload_port = FreeLoopbackPort();
    const int web_port = FreeLoopbackPort();
    const ChildProcess server({RAZUROZAVI_SERVER, "--port", std::to_string(upload_port),
                               "--web-port", std::to_string(web_port), "--db", "uploads.sqlite"},
                              "server.out", "server.err");
    for (int k = 0; k < 100 && !Has(ReadFileBytes("server.out"), "web view on"); ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(Has(ReadFileBytes("server.out"), "web view on http://127.0.0.1:"))
        << ReadFileBytes("server.err");
    ASSERT_TRUE(WeatherStationExport("card.mvta", BuildImage(spec)));
    const ShellResult upload =
        RunShell(std::string(RAZUROZAVI_CLI) + " upload card.mvta --host 127.0.0.1 --tcp-port " +
                 std::to_string(upload_port));
    ASSERT_EQ(upload.status, 0) << upload.output;
    const std::string base = "http://127.0.0.1:" + std::to_string(web_port);

    // No sideways scrolling, readable labels, landmarks labelled apart, axe's "minor" at most.
    int run = 0;
    for (const std::string path : {"/", "/cards/2001", "/uploads/1", "/uploads/1?pagina=2"}) {
        std::vector<std::string> argv = {
            "python3", RAZUROZAVI_SOURCE_DIR "/tests/server/phone_view.py",
            (std::filesystem::current_path() / ("profile-" + std::to_string(++run))).string(),
            base + path};
        const char* picture = std::getenv("RAZUROZAVI_WEB_PHONE_SCREENSHOT");
        if (path == "/uploads/1" && picture != nullptr) {
            argv.push_back(picture);
        }
        const std::string raw = RunCommand(argv).out;
        std::istringstream in(raw);
        in.imbue(std::locale::classic());
        int width = -1;
        int scroll_width = -1;
        double smallest_chart_label = 0;
        in >> width >> scroll_width >> smallest_chart_label;
        EXPECT_EQ(width, 390) << path << "\n" << raw;
        EXPECT_EQ(scroll_width, 390) << path << "\n" << raw;
        std::set<std::string> landmarks;
        for (std::string line; std::getline(in >> std::ws, line);) {
            EXPECT_TRUE(line.starts_with("axe ")
                            ? !std::regex_search(line, std::regex("moderate|serious|critical"))
                            : landmarks.insert(line).second)
                << path << ": " << line;
        }
        EXPECT_GE(landmarks.size(), 4u) << path << "\n" << raw;
        EXPECT_TRUE(!path.starts_with("/uploads/") || smallest_chart_label >= 10.0) << raw;
    }

    for (const auto& [variable, size] : {std::pair("RAZUROZAVI_WEB_SCREENSHOT", "1280,2300"),
                                         std::pair("RAZUROZAVI_WEB_HASH_SCREENSHOT", "1200,900")}) {
        if (const char* keep = std::getenv(variable)) {
            RunCommand({"chromium", "--headless", "--no-sandbox", "--disable-gpu",
                        "--hide-scrollbars", "--user-data-dir=" + std::string(variable),
                        std::string("--window-size=") + size, std::string("--screenshot=") + keep,
                        base + "/uploads/1"});
            EXPECT_GT(std::filesystem::file_size(keep), 20000u) << keep;
        }
    }
}
