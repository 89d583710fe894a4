#include "base/atomic_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace fs = std::filesystem;

TEST(AtomicFile, AReplacedFileKeepsItsModeAndALinkKeepsPointingAtIt) {
    TempWorkingDir dir;
    WriteFileBytes(dir.File("real.xls"), "earlier");
    ::chmod(dir.File("real.xls").c_str(), 0640);
    fs::create_symlink("real.xls", dir.File("link.xls"));
    std::string reason;
    ASSERT_TRUE(ReplaceFileContent(dir.File("link.xls"), "new", &reason)) << reason;
    EXPECT_TRUE(fs::is_symlink(dir.File("link.xls")));
    EXPECT_EQ(ReadFileBytes(dir.File("real.xls")), "new");
    struct stat info {};
    ASSERT_EQ(::stat(dir.File("real.xls").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    // A writer that stops before committing leaves the earlier file and nothing else.
    {
        ReplacingFile file;
        ASSERT_TRUE(file.Open(dir.File("real.xls"), &reason));
        std::fputs("half", file.Stream());
    }
    EXPECT_EQ(ReadFileBytes(dir.File("real.xls")), "new");
    EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"link.xls", "real.xls"}));
}
