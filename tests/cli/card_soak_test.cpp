// Many reads of simulated cards through the companion, each with faults on the line drawn
// from a seeded generator and some with the card unplugged halfway: every read ends with
// the card's exact image or, unplugged, cancelled within 10 s of the card's last answer.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>

#include "files/file.h"
#include "logger/memory_image.h"
#include "simcard/simulated_card.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReads = 200;
constexpr int kWorkers = 6;  // reads at a time: most of a read's time is waiting

struct ReadPlan {
    SimulatedCardOptions card;
    int unplug_after_requests = 0;  // 0: never unplugged
};

// Requests 1 and 2 are the version query and the configuration read.
constexpr int kFirstChunkRequest = 3;

std::vector<ReadPlan> PlanReads(std::uint32_t seed) {
    static constexpr CardFaultKind kKinds[] = {
        CardFaultKind::DropRequest,     CardFaultKind::AnswerError, CardFaultKind::CorruptReply,
        CardFaultKind::LoseAcknowledge, CardFaultKind::JoinedWrite, CardFaultKind::DelayReply,
        CardFaultKind::AnswerTwice};
    std::mt19937 random(seed);
    const auto uniform = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    std::vector<ReadPlan> plans(kReads);
    for (int i = 0; i < kReads; ++i) {
        ReadPlan& plan = plans[static_cast<std::size_t>(i)];
        plan.card.readings = uniform(100, 1000);
        plan.card.baud_pace = i % 8 == 0;
        const int chunks = ((plan.card.readings + 64) * 4 + READ_SIZE - 1) / READ_SIZE;
        for (int n = uniform(1, 3); n > 0; --n) {
            CardFault fault;
            fault.kind = kKinds[uniform(0, std::size(kKinds) - 1)];
            fault.first_request = uniform(kFirstChunkRequest, kFirstChunkRequest + chunks - 1);
            fault.seed = static_cast<std::uint32_t>(random());
            fault.delay_ms = fault.kind == CardFaultKind::AnswerTwice ? 1500 : uniform(100, 2500);
            plan.card.faults.push_back(fault);
        }
        if (i % 20 == 10) {
            plan.unplug_after_requests = uniform(kFirstChunkRequest + 2, chunks / 2);
        }
    }
    return plans;
}

struct SoakCounts {
    int exact = 0, cancelled = 0, failed = 0;
    int paced = 0;
    double longest_cancel_s = 0;
    std::array<int, CARD_FAULT_KINDS> faults{};
    std::vector<std::string> failures;
};

// The bytes the read asked for (whole chunks up to the length the header gives), with the
// firmware digits the program writes in.
bool ImageIsTheCards(const MemoryImage& read, MemoryImage card) {
    std::copy_n("103", 3, card.begin() + OFF_FIRMWARE);
    const int length = std::min((BigEndian16(&card[OFF_LOG_COUNT]) + 64) * 4, MEMORY_SIZE);
    const int end = std::min((length + READ_SIZE - 1) / READ_SIZE * READ_SIZE, MEMORY_SIZE);
    return std::equal(card.begin(), card.begin() + end, read.begin());
}

void RunOne(int index, const ReadPlan& plan, const TempWorkingDir& dir, SoakCounts& counts,
            std::mutex& counts_mutex) {
    SimulatedCard card(plan.card);
    std::string why;
    ASSERT_TRUE(card.Start(&why)) << why;
    const std::string out = dir.File("read" + std::to_string(index) + ".mvta");
    std::atomic<bool> finished{false};
    std::thread unplug;
    if (plan.unplug_after_requests > 0) {
        unplug = std::thread([&] {
            while (!finished && card.RequestsSeen() < plan.unplug_after_requests) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            card.Stop();
        });
    }
    const CommandResult run = RunCommand({RAZUROZAVI_CLI, "read", out, "--port", card.PortPath()});
    const Clock::time_point ended = Clock::now();
    finished = true;
    if (unplug.joinable()) {
        unplug.join();
    }
    std::string outcome;
    bool exact = false;
    if (run.exit_status == 0) {
        MemoryImage image{};
        std::string reason;
        exact = ParseDataFileText(ReadFileBytes(out), image, &reason) &&
                ImageIsTheCards(image, card.Memory());
        outcome = exact ? "" : "a wrong image reported as read";
    }
    const double since_last_answer = std::chrono::duration<double>(ended - card.LastSent()).count();
    const bool cancelled = run.exit_status == 1 &&
                           run.err.find("Leitura Cancelada") != std::string::npos &&
                           since_last_answer <= 10.0;
    if (plan.unplug_after_requests > 0 && !cancelled) {
        outcome = "unplugged, but " +
                  (run.exit_status == 0
                       ? std::string("read to the end")
                       : "ended " + std::to_string(since_last_answer) + " s after the last answer");
    } else if (plan.unplug_after_requests == 0 && !exact && outcome.empty()) {
        outcome = "not read: " + run.err;
    }
    std::lock_guard lock(counts_mutex);
    counts.paced += plan.card.baud_pace;
    for (int k = 0; k < CARD_FAULT_KINDS; ++k) {
        counts.faults[static_cast<std::size_t>(k)] +=
            card.FaultsStruck(static_cast<CardFaultKind>(k));
    }
    if (plan.unplug_after_requests > 0 && cancelled) {
        ++counts.cancelled;
        counts.longest_cancel_s = std::max(counts.longest_cancel_s, since_last_answer);
    } else if (exact && plan.unplug_after_requests == 0) {
        ++counts.exact;
    } else {
        ++counts.failed;
        std::string faults;
        for (const CardFault& f : plan.card.faults) {
            faults +=
                std::string(" ") + CardFaultName(f.kind) + "@" + std::to_string(f.first_request);
        }
        counts.failures.push_back("read " + std::to_string(index) + faults + ": " + outcome);
    }
}

}  // namespace

TEST(CardSoak, PacedAndUnpacedReadsThroughFaultsAndUnplugs) {
    TempWorkingDir dir;
    const std::vector<ReadPlan> plans = PlanReads(20260611);
    SoakCounts counts;
    std::mutex counts_mutex;
    std::atomic<int> next{0};
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&] {
            for (int i = next++; i < kReads; i = next++) {
                RunOne(i, plans[static_cast<std::size_t>(i)], dir, counts, counts_mutex);
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    std::printf(
        "soak: %d reads (%d paced) in %.0f s: %d exact images, %d cancelled when "
        "unplugged (the longest %.1f s after the last answer), %d otherwise\n",
        kReads, counts.paced, std::chrono::duration<double>(Clock::now() - start).count(),
        counts.exact, counts.cancelled, counts.longest_cancel_s, counts.failed);
    std::printf("faults struck:");
    for (int k = 0; k < CARD_FAULT_KINDS; ++k) {
        std::printf(" %s %d", CardFaultName(static_cast<CardFaultKind>(k)),
                    counts.faults[static_cast<std::size_t>(k)]);
    }
    std::printf("\n");
    for (const std::string& failure : counts.failures) {
        ADD_FAILURE() << failure;
    }
    EXPECT_EQ(counts.exact, kReads - 10);
    EXPECT_EQ(counts.cancelled, 10);
    EXPECT_GE(counts.paced, 20);
}
