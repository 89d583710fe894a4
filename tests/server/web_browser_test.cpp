// The web view in a real browser: Debian's chromium, headless, loads the pages of a
// razurozavi-server filled by real uploads through `razurozavi-cli upload`, and the test
// reads what the browser built (--dump-dom) and what it measures on a phone. With
// RAZUROZAVI_WEB_SCREENSHOT=FILE set, an upload's page is pictured there (that is how
// docs/screenshots/web-upload.png is made); RAZUROZAVI_WEB_PHONE_SCREENSHOT=FILE keeps it
// as a phone 390 px wide shows it, RAZUROZAVI_WEB_HASH_SCREENSHOT=FILE its top, with the
// upload's digest, in a window of 1200 × 900.

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
#include "support/temp_dir.h"

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A week of a cold room between 2 and 8 C at 5 min a reading: a daily swing, one warm
// hour on the third day and a short dip on the sixth.
MemoryImage ColdRoom(long serial, const char* description) {
    ImageSpec spec;
    spec.start = {0, 0, 8, 2, 6, 2025};
    spec.sample_rate = 300;
    spec.sample_points = 2016;
    spec.serial = serial;
    spec.description = description;
    spec.t_low_ad = HiTempToAD(20);
    spec.t_high_ad = HiTempToAD(80);
    for (int i = 0; i < 2016; ++i) {
        const int swing = 50 + static_cast<int>(std::lround(15 * std::sin(i * 2 * M_PI / 288.0)));
        spec.readings.push_back(HiTempToAD((i >= 620 && i < 640)     ? 93
                                           : (i >= 1500 && i < 1503) ? 12
                                                                     : swing));
    }
    return BuildImage(spec);
}

std::vector<std::string> Chromium(const std::string& profile, std::vector<std::string> more) {
    std::vector<std::string> argv = {"chromium",
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--no-first-run",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--hide-scrollbars"};
    argv.push_back("--user-data-dir=" + (std::filesystem::current_path() / profile).string());
    argv.insert(argv.end(), more.begin(), more.end());
    return argv;
}

// What Chromium measures of a page at 390 x 844, as phone_view.py prints it: "WIDTH
// SCROLLWIDTH SMALLEST-CHART-LABEL", then a line for each landmark ("role: label") and
// for each axe-core violation ("axe RULE IMPACT"). The picture of the whole page goes to
// `screenshot` when given.
struct PhoneView {
    int width = -1;
    int scroll_width = -1;
    double smallest_chart_label = 0;  // 0: no chart label shown
    std::vector<std::string> lines;
    std::string raw;
};

PhoneView MeasureAtPhoneWidth(const std::string& url, const char* screenshot) {
    static int run = 0;
    std::vector<std::string> argv = {
        "python3", RAZUROZAVI_SOURCE_DIR "/tests/server/phone_view.py",
        (std::filesystem::current_path() / ("profile-phone-" + std::to_string(++run))).string(),
        url};
    if (screenshot != nullptr) {
        argv.push_back(screenshot);
    }
    PhoneView view;
    view.raw = RunCommand(argv).out;
    std::istringstream in(view.raw);
    in.imbue(std::locale::classic());
    in >> view.width >> view.scroll_width >> view.smallest_chart_label;
    for (std::string line; std::getline(in >> std::ws, line);) {
        view.lines.push_back(line);
    }
    return view;
}

TEST(WebBrowser, ChromiumShowsRealUploads) {
    if (RunShell("command -v chromium").status != 0) {
        GTEST_SKIP() << "Debian's chromium is not installed (scripts/install-deps installs it)";
    }
    TempWorkingDir dir;
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
    // As cards keep it: Windows-1252 ("Câmara ração 5°").
    const std::vector<std::pair<long, const char*>> cards = {{2001, "C\xE2mara ra\xE7\xE3o 5\xB0"},
                                                             {666, "<script>alert(1)</sc"}};
    for (const auto& [serial, description] : cards) {
        ASSERT_TRUE(WeatherStationExport("card.mvta", ColdRoom(serial, description)));
        const ShellResult upload = RunShell(std::string(RAZUROZAVI_CLI) +
                                            " upload card.mvta --host 127.0.0.1 --tcp-port " +
                                            std::to_string(upload_port));
        ASSERT_EQ(upload.status, 0) << upload.output;
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(web_port);

    // What the browser built: the descriptions as text (never an element), the chart drawn.
    for (const std::string path : {"/", "/cards/666", "/uploads/1"}) {
        const std::string dom =
            RunCommand(Chromium("profile-dom", {"--dump-dom", base + path})).out;
        EXPECT_TRUE(Has(dom, path == "/uploads/1" ? "Cartão 2001 <small>Câmara ração 5°</small>"
                                                  : "&lt;script&gt;alert(1)&lt;/sc"))
            << dom;
        EXPECT_TRUE(path != "/uploads/1" || Has(dom, "<polyline class=\"curva\" points=\""));
        EXPECT_FALSE(std::regex_search(dom, std::regex("<script", std::regex::icase))) << dom;
    }

    // On a phone: nothing scrolls sideways but the tables in their boxes, the chart's
    // labels stay readable, no two landmarks of a kind share a label, and (with
    // AXE_CORE_JS set: axe-core from npm) axe finds nothing above "minor".
    for (const std::string path : {"/", "/cards/2001", "/uploads/1", "/uploads/1?pagina=2"}) {
        const PhoneView phone = MeasureAtPhoneWidth(
            base + path,
            path == "/uploads/1" ? std::getenv("RAZUROZAVI_WEB_PHONE_SCREENSHOT") : nullptr);
        EXPECT_EQ(phone.width, 390) << path << "\n" << phone.raw;
        EXPECT_EQ(phone.scroll_width, 390) << path << "\n" << phone.raw;
        std::set<std::string> landmarks;
        for (const std::string& line : phone.lines) {
            EXPECT_TRUE(line.starts_with("axe ")
                            ? !std::regex_search(line, std::regex("moderate|serious|critical"))
                            : landmarks.insert(line).second)
                << path << ": " << line;
        }
        EXPECT_GE(landmarks.size(), 4u) << path << "\n" << phone.raw;
        if (path.starts_with("/uploads/")) {
            EXPECT_GE(phone.smallest_chart_label, 10.0) << path << "\n" << phone.raw;
        }
    }

    // The pictures for the documentation: the page, and its top with the upload's digest.
    for (const auto& [variable, size] : {std::pair("RAZUROZAVI_WEB_SCREENSHOT", "1280,2300"),
                                         std::pair("RAZUROZAVI_WEB_HASH_SCREENSHOT", "1200,900")}) {
        if (const char* keep = std::getenv(variable)) {
            RunCommand(
                Chromium(variable, {std::string("--window-size=") + size,
                                    std::string("--screenshot=") + keep, base + "/uploads/1"}));
            EXPECT_GT(std::filesystem::file_size(keep), 20000u) << keep;
        }
    }
}

}  // namespace
