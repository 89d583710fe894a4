// Many reads of simulated cards through the companion, each with faults on the line drawn
// from a seeded generator and some with the card unplugged halfway: every read ends with
// the card's exact image or, unplugged, cancelled within 10 s of the card's last answer.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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

// The bytes the read asked for (whole chunks up to the length the header gives), with the
// firmware digits the program writes in.
bool ImageIsTheCards(const MemoryImage& read, MemoryImage card) {
    std::copy_n("103", 3, card.begin() + OFF_FIRMWARE);
    const int length = std::min((BigEndian16(&card[OFF_LOG_COUNT]) + 64) * 4, MEMORY_SIZE);
    const int end = std::min((length + READ_SIZE - 1) / READ_SIZE * READ_SIZE, MEMORY_SIZE);
    return std::equal(card.begin(), card.begin() + end, read.begin());
}

// One read as planned: what went wrong, or "" when it ended as it must.
std::string RunOne(int index, const ReadPlan& plan, const TempWorkingDir& dir) {
    SimulatedCard card(plan.card);
    std::string why;
    if (!card.Start(&why)) {
        return why;
    }
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
    const double since_last_answer =
        std::chrono::duration<double>(Clock::now() - card.LastSent()).count();
    finished = true;
    if (unplug.joinable()) {
        unplug.join();
    }
    std::string outcome;
    if (plan.unplug_after_requests > 0) {
        if (run.exit_status != 1 || run.err.find("Leitura Cancelada") == std::string::npos ||
            since_last_answer > 10.0) {
            outcome = "unplugged, but ended with " + std::to_string(run.exit_status) + " " +
                      std::to_string(since_last_answer) + " s after the last answer";
        }
    } else if (run.exit_status != 0) {
        outcome = "not read: " + run.err;
    } else {
        MemoryImage image{};
        if (!ParseDataFileText(ReadFileBytes(out), image, &why) ||
            !ImageIsTheCards(image, card.Memory())) {
            outcome = "a wrong image reported as read";
        }
    }
    if (outcome.empty()) {
        return "";
    }
    std::string faults;
    for (const CardFault& f : plan.card.faults) {
        faults += std::string(" ") + CardFaultName(f.kind) + "@" + std::to_string(f.first_request);
    }
    return "read " + std::to_string(index) + faults + ": " + outcome;
}

}  // namespace

TEST(CardSoak, PacedAndUnpacedReadsThroughFaultsAndUnplugs) {
    TempWorkingDir dir;
    const std::vector<ReadPlan> plans = PlanReads(20260611);
    std::vector<std::string> failures(kReads);
    std::atomic<int> next{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&] {
            for (int i = next++; i < kReads; i = next++) {
                const auto at = static_cast<std::size_t>(i);
                failures[at] = RunOne(i, plans[at], dir);
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    for (const std::string& failure : failures) {
        EXPECT_EQ(failure, "");
    }
}
