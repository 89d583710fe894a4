#include "files/archive.h"

#include <gtest/gtest.h>

#include "files/file.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"

namespace {

MemoryImage Recording(int readings, long serial = 1234) {
    return BuildImage(
        {.start = {7, 5, 9, 2, 6, 2025}, .serial = serial, .readings = std::vector(readings, 700)});
}

}  // namespace

TEST(Archive, NamedBySerialAndStartNeverOverwrittenAndAnAlteredCopyNotTaken) {
    TempWorkingDir dir;
    const MemoryImage image = Recording(10, 98765);
    const ArchiveResult result = ArchiveImage(dir.File("arquivo"), image);
    ASSERT_EQ(result.outcome, ArchiveOutcome::Archived) << result.reason;
    EXPECT_EQ(result.path, dir.File("arquivo/98765/20250602-090507.mvta"));
    MemoryImage opened{};
    std::string reason;
    ASSERT_EQ(ReadDataFile(result.path, opened, &reason), FileLoad::Loaded);
    EXPECT_EQ(opened, image);
    EXPECT_EQ(FolderEntries(dir.File("arquivo/98765")).size(), 1u);  // no temporary file

    WriteFileBytes(dir.File("ficheiro"), "not a folder");
    const ArchiveResult failed = ArchiveImage(dir.File("ficheiro"), image);
    EXPECT_EQ(failed.outcome, ArchiveOutcome::Failed);
    EXPECT_NE(failed.reason, "");

    const std::string archive = dir.File("arquivo");
    const MemoryImage first = Recording(10);
    const MemoryImage longer = Recording(25);  // the same recording read again later
    ASSERT_EQ(ArchiveImage(archive, first).outcome, ArchiveOutcome::Archived);
    EXPECT_TRUE(IsArchived(archive, first));
    EXPECT_FALSE(IsArchived(archive, longer));
    EXPECT_EQ(ArchiveImage(archive, first).outcome, ArchiveOutcome::AlreadyArchived);

    const ArchiveResult beside = ArchiveImage(archive, longer);
    ASSERT_EQ(beside.outcome, ArchiveOutcome::Archived) << beside.reason;
    EXPECT_EQ(beside.path, dir.File("arquivo/1234/20250602-090507-2.mvta"));
    EXPECT_EQ(ReadFileBytes(dir.File("arquivo/1234/20250602-090507.mvta")), DataFileText(first));
    EXPECT_EQ(ArchiveImage(archive, longer).outcome, ArchiveOutcome::AlreadyArchived);

    // An altered copy is not the recording; it is left as found, for whoever looks into it.
    std::string altered = DataFileText(longer);
    altered[600] = altered[600] == '0' ? '1' : '0';
    WriteFileBytes(beside.path, altered);
    EXPECT_FALSE(IsArchived(archive, longer));
    const ArchiveResult again = ArchiveImage(archive, longer);
    ASSERT_EQ(again.outcome, ArchiveOutcome::Archived);
    EXPECT_EQ(ReadFileBytes(beside.path), altered);
    EXPECT_EQ(ReadFileBytes(again.path), DataFileText(longer));
}
