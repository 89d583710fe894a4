#include "files/ledger.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "files/digest.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t end = text.find('\n', from);
        lines.push_back(text.substr(from, end - from));
        from = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

void Append(const std::string& dir, const std::string& action, const std::string& file = "") {
    LedgerEvent event;
    event.action = action;
    event.serial = 4711;
    event.file = file;
    std::string reason;
    ASSERT_TRUE(AppendLedgerLine(dir, event, &reason)) << reason;
}

// Appends in a child process until it has made `count` lines or is killed.
pid_t StartAppender(const std::string& dir, int count) {
    const pid_t child = fork();
    if (child == 0) {
        LedgerEvent event;
        event.action = "read";
        event.details.Add("filler", std::string(2000, 'x'));
        std::string reason;
        for (int k = 0; k < count; ++k) {
            if (!AppendLedgerLine(dir, event, &reason)) {
                _exit(1);
            }
        }
        _exit(0);
    }
    return child;
}

}  // namespace

TEST(Sha256, MatchesTheStandardsVectors) {
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(Ledger, EachLineCarriesTheFilesDigestAndChainsOntoTheOneBefore) {
    TempWorkingDir dir;
    WriteFileBytes(dir.File("a.mvta"), "bytes of the data file");
    LedgerEvent configure;
    configure.action = "configure";
    configure.serial = 4711;
    configure.details
        .Add("before", JsonObject().Add("descricao", "c\"amara\n1").Add("intervalo", 60))
        .Add("after", JsonObject().Add("descricao", "sala").Add("nuvem", true));
    std::string reason;
    ASSERT_TRUE(AppendLedgerLine(dir.path().string(), configure, &reason)) << reason;
    Append(dir.path().string(), "archive", "a.mvta");
    Append(dir.path().string(), "upload");

    const std::string text = ReadFileBytes(dir.File("registro.jsonl"));
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find(",\"action\":\"configure\",\"serial\":4711,\"details\":"
                            "{\"before\":{\"descricao\":\"c\\\"amara\\u000a1\",\"intervalo\":60},"
                            "\"after\":{\"descricao\":\"sala\",\"nuvem\":true}},\"prev\":\"" +
                            std::string(64, '0') + "\"}"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("\"file\":\"a.mvta\",\"sha256\":\"" +
                            Sha256Hex("bytes of the data file") + "\""),
              std::string::npos);
    EXPECT_NE(lines[1].find("\"prev\":\"" + Sha256Hex(lines[0]) + "\""), std::string::npos);
    EXPECT_NE(lines[2].find("\"prev\":\"" + Sha256Hex(lines[1]) + "\""), std::string::npos);
    EXPECT_NE(lines[2].find("Z\",\"user\":\""), std::string::npos);  // ISO 8601 in UTC
}

TEST(Ledger, ACutOffAppendIsLeftOutAndNeverChainedOnto) {
    TempWorkingDir dir;
    Append(dir.path().string(), "read");
    Append(dir.path().string(), "upload");
    const std::string whole = ReadFileBytes(dir.File("registro.jsonl"));
    WriteFileBytes(dir.File("registro.jsonl"), whole + "{\"seq\":3,\"time\":\"2026-");

    LedgerCheck check = CheckLedgerText(ReadFileBytes(dir.File("registro.jsonl")));
    EXPECT_FALSE(check.broken_line);
    EXPECT_EQ(check.records.size(), 2u);

    Append(dir.path().string(), "report");
    const std::string text = ReadFileBytes(dir.File("registro.jsonl"));
    EXPECT_EQ(text.substr(0, whole.size()), whole);
    EXPECT_NE(Lines(text).at(2).find("\"seq\":3,"), std::string::npos);
    check = CheckLedgerText(text);
    EXPECT_FALSE(check.broken_line);
    EXPECT_EQ(check.records.size(), 3u);
}

TEST(Ledger, ConcurrentAppendersNeitherInterleaveNorForkTheChain) {
    TempWorkingDir dir;
    std::vector<pid_t> children;
    for (int k = 0; k < 4; ++k) {
        children.push_back(StartAppender(dir.path().string(), 40));
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const LedgerCheck check = CheckLedgerText(ReadFileBytes(dir.File("registro.jsonl")));
    EXPECT_FALSE(check.broken_line);
    EXPECT_EQ(check.records.size(), 160u);
}

TEST(Ledger, SurvivesItsWriterKilledMidAppend) {
    TempWorkingDir dir;
    for (const int after_ms : {3, 11, 29}) {
        const pid_t child = StartAppender(dir.path().string(), 1000000);
        std::this_thread::sleep_for(std::chrono::milliseconds(after_ms));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const LedgerCheck killed = CheckLedgerText(ReadFileBytes(dir.File("registro.jsonl")));
        EXPECT_FALSE(killed.broken_line);
        Append(dir.path().string(), "verify");
        const std::string text = ReadFileBytes(dir.File("registro.jsonl"));
        ASSERT_EQ(text.back(), '\n');
        const LedgerCheck resumed = CheckLedgerText(text);
        EXPECT_FALSE(resumed.broken_line);
        EXPECT_EQ(resumed.records.size(), killed.records.size() + 1);
    }
}
