#include "files/archive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "files/file.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"

namespace {

MemoryImage Recording(int readings, long serial = 1234) {
    ImageSpec spec;
    spec.start = CALENDAR{7, 5, 9, 2, 6, 2025};
    spec.serial = serial;
    for (int i = 0; i < readings; ++i) {
        spec.readings.push_back(700 + i % 50);
    }
    return BuildImage(spec);
}

}  // namespace

TEST(Archive, NamesTheFileBySerialAndTheCardsOwnStartTime) {
    TempWorkingDir dir;
    const MemoryImage image = Recording(10, 98765);
    const ArchiveResult result = ArchiveImage(dir.File("arquivo"), image);
    ASSERT_EQ(result.outcome, ArchiveOutcome::Archived) << result.reason;
    EXPECT_EQ(result.path, dir.File("arquivo/98765/20250602-090507.mvta"));
    // The file opens as any data file does, and holds the image.
    MemoryImage opened{};
    std::string reason;
    ASSERT_EQ(ReadDataFile(result.path, opened, &reason), FileLoad::Loaded);
    EXPECT_EQ(opened, image);
    EXPECT_EQ(FolderEntries(dir.File("arquivo/98765")).size(), 1u);  // no temporary file
}

TEST(Archive, NeverOverwritesAndRecognisesWhatIsAlreadyKept) {
    TempWorkingDir dir;
    const std::string archive = dir.File("arquivo");
    const MemoryImage first = Recording(10);
    const MemoryImage longer = Recording(25);  // the same recording read again later
    ASSERT_EQ(ArchiveImage(archive, first).outcome, ArchiveOutcome::Archived);
    EXPECT_TRUE(IsArchived(archive, first));
    EXPECT_FALSE(IsArchived(archive, longer));

    const ArchiveResult again = ArchiveImage(archive, first);
    EXPECT_EQ(again.outcome, ArchiveOutcome::AlreadyArchived);
    EXPECT_EQ(again.path, dir.File("arquivo/1234/20250602-090507.mvta"));

    const ArchiveResult beside = ArchiveImage(archive, longer);
    ASSERT_EQ(beside.outcome, ArchiveOutcome::Archived) << beside.reason;
    EXPECT_EQ(beside.path, dir.File("arquivo/1234/20250602-090507-2.mvta"));
    EXPECT_EQ(ReadFileBytes(again.path), DataFileText(first));
    EXPECT_EQ(ReadFileBytes(beside.path), DataFileText(longer));
    EXPECT_EQ(ArchiveImage(archive, longer).outcome, ArchiveOutcome::AlreadyArchived);
    EXPECT_TRUE(IsArchived(archive, longer));
}

TEST(Archive, AnAlteredFileIsNotTakenForTheRecording) {
    TempWorkingDir dir;
    const std::string archive = dir.File("arquivo");
    const MemoryImage image = Recording(10);
    const ArchiveResult kept = ArchiveImage(archive, image);
    ASSERT_EQ(kept.outcome, ArchiveOutcome::Archived);
    std::string altered = DataFileText(image);
    altered[600] = altered[600] == '0' ? '1' : '0';
    WriteFileBytes(kept.path, altered);

    EXPECT_FALSE(IsArchived(archive, image));
    const ArchiveResult again = ArchiveImage(archive, image);
    ASSERT_EQ(again.outcome, ArchiveOutcome::Archived);
    EXPECT_NE(again.path, kept.path);
    EXPECT_EQ(ReadFileBytes(kept.path), altered);  // left as found, for whoever looks into it
    EXPECT_EQ(ReadFileBytes(again.path), DataFileText(image));
}

TEST(Archive, AFolderThatCannotBeMadeFailsWithAReason) {
    TempWorkingDir dir;
    WriteFileBytes(dir.File("arquivo"), "not a folder");
    const ArchiveResult result = ArchiveImage(dir.File("arquivo"), Recording(10));
    EXPECT_EQ(result.outcome, ArchiveOutcome::Failed);
    EXPECT_NE(result.reason, "");
    EXPECT_EQ(result.path, "");
}

TEST(Archive, DefaultFoldersFollowXdgDataHome) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("XDG_DATA_HOME", "/srv/dados", 1);
    EXPECT_EQ(DefaultArchiveDir(), "/srv/dados/razurozavi/arquivo");
    EXPECT_EQ(DefaultOutboxDir(), "/srv/dados/razurozavi/saida");
    if (saved != nullptr) {
        setenv("XDG_DATA_HOME", previous.c_str(), 1);
    } else {
        unsetenv("XDG_DATA_HOME");
    }
}
