// The web view in a real browser: Debian's chromium, headless, loads the pages of a
// razurozavi-server filled by real uploads through `razurozavi-cli upload`, and the test
// reads what the browser built (--dump-dom). It also takes a screenshot of an upload's
// page; with RAZUROZAVI_WEB_SCREENSHOT=FILE set, the picture is copied there (that is how
// docs/screenshots/web-upload.png is made; RAZUROZAVI_WEB_PHONE_SCREENSHOT=FILE keeps the
// page as a phone 390 px wide shows it, RAZUROZAVI_WEB_HASH_SCREENSHOT=FILE its top, with
// the upload's digest, in a window of 1200 × 900).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <regex>
#include <set>
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
        int tenths = 50 + static_cast<int>(std::lround(15 * std::sin(i * 2 * M_PI / 288.0)));
        if (i >= 620 && i < 640) {
            tenths = 93;
        }
        if (i >= 1500 && i < 1503) {
            tenths = 12;
        }
        spec.readings.push_back(HiTempToAD(tenths));
    }
    return BuildImage(spec);
}

std::vector<std::string> Chromium(const std::string& profile) {
    return {"chromium",
            "--headless",
            "--no-sandbox",
            "--disable-gpu",
            "--no-first-run",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            "--hide-scrollbars",
            "--user-data-dir=" + profile};
}

// What Chromium measures of a page at 390 x 844, as phone_view.py prints it; the picture
// of the whole page goes to `screenshot` when given.
struct PhoneView {
    int scroll_width = -1;
    int width = -1;
    double smallest_chart_label = 0;     // 0: no chart label shown
    std::vector<std::string> landmarks;  // "role: label"
    std::string raw;
};

PhoneView MeasureAtPhoneWidth(const std::string& url, const std::string& screenshot = "") {
    static int run = 0;
    std::vector<std::string> argv = {
        "python3", std::string(RAZUROZAVI_SOURCE_DIR) + "/tests/server/phone_view.py",
        (std::filesystem::current_path() / ("profile-phone-" + std::to_string(++run))).string(),
        url};
    if (!screenshot.empty()) {
        argv.push_back(screenshot);
    }
    PhoneView view;
    view.raw = RunCommand(argv).out;
    std::smatch m;
    if (std::regex_search(view.raw, m, std::regex("\"scrollWidth\": (\\d+), \"width\": (\\d+)"))) {
        view.scroll_width = std::stoi(m[1]);
        view.width = std::stoi(m[2]);
    }
    if (std::regex_search(view.raw, m, std::regex("\"smallestChartLabel\": ([0-9.]+)"))) {
        view.smallest_chart_label = std::stod(m[1]);
    }
    const std::size_t landmarks = view.raw.find("\"landmarks\"");
    const std::string list = landmarks != std::string::npos ? view.raw.substr(landmarks) : "";
    const std::regex pair("\\[\"([a-z]+)\", \"([^\"]*)\"\\]");
    for (auto it = std::sregex_iterator(list.begin(), list.end(), pair);
         it != std::sregex_iterator(); ++it) {
        view.landmarks.push_back((*it)[1].str() + ": " + (*it)[2].str());
    }
    return view;
}

std::string DumpDom(const std::string& url) {
    std::vector<std::string> argv = Chromium(std::filesystem::current_path() / "profile-dom");
    argv.push_back("--dump-dom");
    argv.push_back(url);
    return RunCommand(argv).out;
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
    for (const std::string path : {"/", "/cards/666"}) {
        const std::string dom = DumpDom(base + path);
        EXPECT_TRUE(Has(dom, "&lt;script&gt;alert(1)&lt;/sc")) << dom;
        EXPECT_FALSE(std::regex_search(dom, std::regex("<script", std::regex::icase))) << dom;
    }
    const std::string upload = DumpDom(base + "/uploads/1");
    EXPECT_TRUE(Has(upload, "Cartão 2001 <small>Câmara ração 5°</small>")) << upload;
    EXPECT_TRUE(Has(upload, "<polyline class=\"curva\" points=\"")) << upload;
    EXPECT_FALSE(std::regex_search(upload, std::regex("<script", std::regex::icase)));

    // On a phone: nothing scrolls sideways but the tables in their boxes, the chart's
    // labels stay readable, and no two landmarks of a kind share a label.
    for (const std::string path : {"/", "/cards/2001", "/uploads/1", "/uploads/1?pagina=2"}) {
        const char* keep =
            path == "/uploads/1" ? std::getenv("RAZUROZAVI_WEB_PHONE_SCREENSHOT") : nullptr;
        const PhoneView phone = MeasureAtPhoneWidth(base + path, keep != nullptr ? keep : "");
        EXPECT_EQ(phone.width, 390) << path << "\n" << phone.raw;
        EXPECT_EQ(phone.scroll_width, 390) << path << "\n" << phone.raw;
        std::set<std::string> seen;
        for (const std::string& landmark : phone.landmarks) {
            EXPECT_TRUE(seen.insert(landmark).second) << path << ": " << landmark << " twice";
        }
        EXPECT_GE(phone.landmarks.size(), 4u) << path << "\n" << phone.raw;
        if (path.starts_with("/uploads/")) {
            EXPECT_GE(phone.smallest_chart_label, 10.0) << path << "\n" << phone.raw;
        }
        // With AXE_CORE_JS set (axe-core from npm), nothing above "minor".
        EXPECT_FALSE(std::regex_search(
            phone.raw, std::regex("\\[\"[a-z-]+\", \"(moderate|serious|critical)\"")))
            << path << "\n"
            << phone.raw;
    }

    std::vector<std::string> shot = Chromium(std::filesystem::current_path() / "profile-shot");
    shot.push_back("--window-size=1280,2300");
    shot.push_back("--screenshot=" + (std::filesystem::current_path() / "upload.png").string());
    shot.push_back(base + "/uploads/1");
    RunCommand(shot);
    ASSERT_TRUE(std::filesystem::exists("upload.png"));
    EXPECT_GT(std::filesystem::file_size("upload.png"), 20000u);
    if (const char* keep = std::getenv("RAZUROZAVI_WEB_SCREENSHOT")) {
        std::filesystem::copy_file("upload.png", keep,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    // The top of the page, with the upload's digest, as a desktop browser opens it.
    if (const char* keep = std::getenv("RAZUROZAVI_WEB_HASH_SCREENSHOT")) {
        std::vector<std::string> top = Chromium(std::filesystem::current_path() / "profile-top");
        top.push_back("--window-size=1200,900");
        top.push_back("--screenshot=" + std::string(keep));
        top.push_back(base + "/uploads/1");
        RunCommand(top);
    }
}

}  // namespace
