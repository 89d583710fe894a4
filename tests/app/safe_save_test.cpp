// A save that fails says why and leaves the earlier file as it was.

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "app/config_file_commands.h"
#include "app/export_command.h"
#include "app/report_commands.h"
#include "app/save_data_command.h"
#include "files/file.h"
#include "logger/reading_list.h"
#include "logger/serial_log.h"
#include "support/image_builder.h"
#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// A small tmpfs made the working directory, filled to the last byte on request.
class SmallDisk {
  public:
    SmallDisk() {
        char pattern[] = "/tmp/razurozavi-full-XXXXXX";
        path = ::mkdtemp(pattern) != nullptr ? pattern : "";
        mounted_ = !path.empty() && ::mount("tmpfs", pattern, "tmpfs", 0, "size=1m") == 0;
        why_not = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        if (mounted_) {
            previous_ = fs::current_path();
            fs::current_path(path);
        }
    }
    ~SmallDisk() {
        if (mounted_) {
            fs::current_path(previous_);
            ::umount2(path.c_str(), MNT_DETACH);
        }
        ::rmdir(path.c_str());
    }
    bool Mounted() const { return mounted_; }
    void Fill() {
        const int fd = ::open((path / "filler").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        const std::string chunk(4096, 'x');
        while (::write(fd, chunk.data(), chunk.size()) > 0) {
        }
        while (::write(fd, "x", 1) > 0) {  // the last part of a page
        }
        ASSERT_EQ(errno, ENOSPC);
        ::close(fd);
    }

    fs::path path;
    std::string why_not;

  private:
    bool mounted_ = false;
    fs::path previous_;
};

struct Writer {
    const char* file;
    std::function<bool()> save;  // through the command the user runs
};

std::vector<Writer> Writers(RecordingWindowLayer& windows, const MemoryImage& image) {
    const auto through_dialog = [&windows](const char* file, std::function<bool()> save) {
        return Writer{file, [&windows, file, save] {
                          windows.dialog_path = file;
                          return save();
                      }};
    };
    return {
        through_dialog("a.mvta", [&image] { return SaveDataFromDataWindow(image); }),
        through_dialog("c.mcfg",
                       [] {
                           WeatherStationViewPar();  // the window shows what it saves
                           return SaveConfigFromConfigWindow();
                       }),
        through_dialog("s.xls", [&image] { return ExcelData(WindowId::Data, image); }),
        through_dialog("g.pdf", [&image] { return PdfData_g(WindowId::Data, image); }),
        {SERIAL_FILE_NAME, [] { return SalvaUltimoSerial(4242) == 0; }},
    };
}

}  // namespace

TEST(SafeSave, OnAFullDiskEverySaveFailsAloudAndKeepsTheEarlierFile) {
    SmallDisk disk;
    if (!disk.Mounted()) {
        GTEST_SKIP() << disk.why_not;
    }
    RecordingWindowLayer windows;
    const MemoryImage image = BuildImage(ImageSpec{.readings = std::vector<int>(500, 600)});
    std::vector<Writer> writers = Writers(windows, image);
    for (const Writer& writer : writers) {
        WriteFileBytes(writer.file, std::string("earlier ") + writer.file);
    }
    const std::vector<std::string> before = FolderEntries(disk.path);
    disk.Fill();

    for (const Writer& writer : writers) {
        const std::size_t shown = windows.Messages().size();
        EXPECT_FALSE(writer.save()) << writer.file;
        EXPECT_EQ(ReadFileBytes(writer.file), std::string("earlier ") + writer.file);
        ASSERT_GT(windows.Messages().size(), shown) << writer.file;
        const RecordedMessage m = windows.Messages().back();
        EXPECT_NE(m.text.find(std::strerror(ENOSPC)), std::string::npos) << m.text;
    }
    std::vector<std::string> after = FolderEntries(disk.path);
    after.erase(std::find(after.begin(), after.end(), "filler"));
    EXPECT_EQ(after, before);  // no temporary file left behind

    // Once there is room again, the same saves go through.
    fs::remove(disk.path / "filler");
    for (const Writer& writer : writers) {
        EXPECT_TRUE(writer.save()) << writer.file << ": " << windows.Messages().back().text;
    }
}

TEST(SafeSave, AFolderThatIsGoneOrADirectoryInTheWayIsReportedWithItsReason) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    const MemoryImage image = BuildImage(ImageSpec{.readings = {600, 610}});
    windows.dialog_path = dir.File("gone/a.mvta");
    EXPECT_FALSE(SaveDataFromDataWindow(image));
    EXPECT_EQ(windows.Messages().back().text.rfind(
                  "Não foi possível gravar o arquivo " + dir.File("gone/a.mvta") + ": ", 0),
              0u);
    EXPECT_NE(windows.Messages().back().text.find(std::strerror(ENOENT)), std::string::npos);

    fs::create_directory(dir.File("t.pdf"));
    fs::create_directory(dir.File("t.pdf/inside"));
    windows.dialog_path = dir.File("t.pdf");
    EXPECT_FALSE(PdfData(WindowId::Data, image));
    EXPECT_TRUE(fs::is_directory(dir.File("t.pdf/inside")));
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"t.pdf"});
}
