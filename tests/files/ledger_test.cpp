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

// The chain and the files' digests are verified by the companion's verify tests.
TEST(Ledger, ALineIsOneJsonObjectWithItsDetailsEscapedAndTheFirstChainsOntoZeros) {
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    TempWorkingDir dir;
    LedgerEvent configure;
    configure.action = "configure";
    configure.serial = 4711;
    configure.details.Add("before", JsonObject().Add("descricao", "c\"amara\n1").Add("n", 60));
    std::string reason;
    ASSERT_TRUE(AppendLedgerLine(dir.path().string(), configure, &reason)) << reason;
    const std::string line = ReadFileBytes(dir.File("registro.jsonl"));
    EXPECT_EQ(line.rfind("{\"seq\":1,\"time\":\"", 0), 0u) << line;
    EXPECT_NE(line.find("Z\",\"user\":\""), std::string::npos);  // ISO 8601 in UTC
    EXPECT_TRUE(
        line.ends_with(",\"action\":\"configure\",\"serial\":4711,\"details\":"
                       "{\"before\":{\"descricao\":\"c\\\"amara\\u000a1\",\"n\":60}},"
                       "\"prev\":\"" +
                       std::string(64, '0') + "\"}\n"))
        << line;
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
    EXPECT_EQ(text.substr(whole.size()).rfind("{\"seq\":3,", 0), 0u);
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
