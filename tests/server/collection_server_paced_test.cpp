// The collection server under crowds and crashes; timed, so in the serial "Paced" group.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include "cloud/fake_cloud_server.h"
#include "collection_server.h"
#include "logger/graph_series.h"
#include "support/recording_window_layer.h"
#include "support/run_command.h"
#include "web_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

// razurozavi-server in a process of its own, so that it can be killed; standard error to `log`.
class ServerProcess {
  public:
    explicit ServerProcess(const std::string& db, const std::string& log = "/dev/null") {
        int out[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            execl(RAZUROZAVI_SERVER, RAZUROZAVI_SERVER, "--port", "0", "--web-port", "0", "--db",
                  db.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        std::string line;  // "listening on 127.0.0.1 port N"
        for (char c = 0; read(out[0], &c, 1) == 1 && c != '\n';) {
            line += c;
        }
        close(out[0]);
        port = std::atoi(line.c_str() + line.rfind(' ') + 1);
    }
    ~ServerProcess() { Kill(); }
    void Kill() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    pid_t Pid() const { return pid_; }
    bool Running() {
        if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
        }
        return pid_ > 0;
    }
    CloudServer Address() const { return {"127.0.0.1", port, 2000, 3000}; }
    int port = 0;

  private:
    pid_t pid_ = -1;
};

// Uploads of recordings of random lengths, one a serial, and whether each was answered "cc".
struct Uploads {
    bool Send(long serial, const CloudServer& address) {
        sent[serial] = RampImage(std::uniform_int_distribution<int>(1, 3000)(random),
                                 static_cast<int>(serial), {.serial = serial});
        GraphData(sent[serial]);
        return acknowledged[serial] = UploadImage(sent[serial], address);
    }
    // Every upload answered "cc" is stored once, every stored one whole; returns how many.
    int ExpectAcknowledgedStoredOnce(const std::string& db) const {
        std::string error;
        std::unique_ptr<UploadStore> store;
        for (int attempt = 0; attempt < 50 && !store; ++attempt) {  // PostgreSQL may be recovering
            store = UploadStore::Open(db, &error);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_TRUE(store) << error;
        std::map<long, int> stored;
        for (const StoredUpload& u : store ? store->List() : std::vector<StoredUpload>{}) {
            ++stored[u.serial];
            EXPECT_EQ(store->Readings(u.id), UploadedTenths(sent.at(u.serial))) << u.serial;
        }
        int answered = 0;
        for (const auto& [serial, ok] : acknowledged) {
            answered += ok ? 1 : 0;
            EXPECT_TRUE(!ok || stored[serial] == 1) << serial;
        }
        return answered;
    }
    std::mt19937 random{20240611};
    std::map<long, MemoryImage> sent;
    std::map<long, bool> acknowledged;
};

}  // namespace

// Idle, trickling or forged clients on every slot: a card still gets in.
TEST(CollectionServerPaced, ACardGetsInBesideIdleTricklingOrForgedClientsOnEverySlot) {
    if (!RaiseDescriptorLimitTo(2 * MAX_CONNECTIONS + 200)) {
        GTEST_SKIP() << "needs " << 2 * MAX_CONNECTIONS + 200 << " descriptors";
    }
    RecordingWindowLayer windows;
    LoopbackCollectionServer loopback;
    const int port = loopback.server->Port();
    const Bytes header = BuildHeaderMessage(MakeUploadHeader({}, CALENDAR{}, FirmwareVersion{}));
    struct Crowd {
        const char* from;  // the card uploads from 127.0.0.1
        int idle;
        int trickling;
        bool forged;
        double within_s;
    };
    int recording = 0;
    for (const Crowd crowd : {Crowd{"127.0.0.1", 250, 250, false, 2.0},
                              Crowd{"127.0.0.2", 0, MAX_CONNECTIONS, true, 2.0},
                              Crowd{"127.0.0.1", 0, MAX_CONNECTIONS, true, 10.0}}) {
        const MemoryImage image = RampImage(8000, recording++, {.serial = 77});
        GraphData(image);
        std::vector<SocketHandle> idle, trickling;
        for (int k = 0; k < crowd.idle; ++k) {
            idle.emplace_back(ConnectFrom(crowd.from, port));
        }
        for (int k = 0; k < crowd.trickling; ++k) {
            trickling.emplace_back(ConnectFrom(crowd.from, port));
            if (crowd.forged) {
                SendAll(trickling.back().Get(), header, 2000);
                std::array<std::uint8_t, 2> reply{};
                ASSERT_EQ(ReceiveOnce(trickling.back().Get(), reply, 2000), 2) << k;
            }
        }
        // A byte a second from each, never a whole message.
        const Bytes trickled =
            crowd.forged ? Bytes{PACKET_START} : Bytes(header.begin(), header.end() - 1);
        std::jthread trickle([&](std::stop_token stop) {
            for (std::size_t at = 0; !stop.stop_requested(); at = (at + 1) % trickled.size()) {
                for (const SocketHandle& s : trickling) {
                    send(s.Get(), &trickled[at], 1, MSG_NOSIGNAL | MSG_DONTWAIT);
                }
                for (int tick = 0; tick < 10 && !stop.stop_requested(); ++tick) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
            }
        });
        const std::size_t before = loopback.store->List().size();
        const auto begin = Clock::now();
        bool stored = UploadImage(image, loopback.Address());
        // Beside forged headers, a try may meet every slot taken.
        while (crowd.forged && !stored &&
               Clock::now() - begin < std::chrono::duration<double>(crowd.within_s)) {
            stored = UploadImage(image, loopback.Address());
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
        trickle.request_stop();
        std::printf("upload of 8000 readings beside %d idle and %d %s clients from %s: %.3f s\n",
                    crowd.idle, crowd.trickling, crowd.forged ? "forged" : "trickling", crowd.from,
                    seconds);
        EXPECT_LT(seconds, crowd.within_s) << crowd.from;
        EXPECT_EQ(loopback.store->List().size(), before + 1);
    }
}

TEST(CollectionServerPaced, EveryUploadAnsweredCcSurvivesAKillAtAnyMoment) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    Uploads uploads;
    int kills = 0;
    const std::string db = FreshTestDatabase(dir.File("uploads.sqlite"));
    for (long serial = 1; serial <= 100; ++kills) {
        ServerProcess server(db);
        ASSERT_GT(server.port, 0);
        // The kill lands anywhere within the next few uploads.
        const auto until =
            Clock::now() +
            std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 400)(uploads.random));
        std::jthread killer([pid = server.Pid(), until](std::stop_token stop) {
            while (!stop.stop_requested() && Clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            kill(pid, SIGKILL);
        });
        while (serial <= 100 && uploads.Send(serial++, server.Address())) {
        }
    }
    const int answered = uploads.ExpectAcknowledgedStoredOnce(db);
    std::printf("100 uploads, %d kills: %d answered cc and all stored\n", kills, answered);
    // Both outcomes must have happened often for the test to prove anything.
    EXPECT_GE(kills, 10);
    EXPECT_GE(answered, 20);
}

TEST(CollectionServerPaced, EveryUploadAnsweredCcSurvivesPostgresRestartingAtAnyMoment) {
    const char* version = std::getenv("PGVERSION");
    if (!TestingOnPostgres() || version == nullptr) {
        GTEST_SKIP() << "no PostgreSQL cluster of pg_virtualenv to restart";
    }
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    const std::string db = FreshTestDatabase("");
    ServerProcess server(db);
    ASSERT_GT(server.port, 0);
    std::atomic<int> restarts{0};
    // The database stops at once (as if it crashed) and comes back, again and again.
    std::jthread restarter([&](std::stop_token stop) {
        std::mt19937 random(20241207);
        while (!stop.stop_requested()) {
            std::this_thread::sleep_for(
                std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 400)(random)));
            restarts += RunShell("pg_ctlcluster " + std::string(version) +
                                 " regress restart -m immediate >/dev/null 2>&1")
                            .status == 0;
        }
    });
    Uploads uploads;
    for (long serial = 1; serial <= 60; ++serial) {
        uploads.Send(serial, server.Address());
    }
    restarter.request_stop();
    restarter.join();
    EXPECT_TRUE(server.Running());
    const int answered = uploads.ExpectAcknowledgedStoredOnce(db);
    std::printf("60 uploads, %d restarts: %d answered cc and all stored\n", restarts.load(),
                answered);
    EXPECT_GE(restarts, 5);
    EXPECT_GE(answered, 10);
    EXPECT_LT(answered, 60);  // some uploads met the database down
}

// Index truncated, file immutable, then deleted: "ee" and why, and the server goes on.
TEST(CollectionServerPaced, ADamagedOrDeletedDatabaseIsAnsweredEeAndTheServerGoesOn) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    const std::string db = dir.File("uploads.sqlite");
    ServerProcess server(db, dir.File("errors.txt"));
    ASSERT_GT(server.port, 0);
    std::vector<MemoryImage> images;
    for (int k = 0; k < 4; ++k) {
        images.push_back(RampImage(500, k, {.serial = 60 + k}));
    }
    GraphData(images[0]);
    EXPECT_TRUE(UploadImage(images[0], server.Address()));
    std::ofstream(db + "-shm", std::ios::trunc).close();
    EXPECT_TRUE(UploadImage(images[1], server.Address()));
    ASSERT_TRUE(server.Running());
    // Made immutable (where chattr works: root on ext4): "ee", and stored once it is not.
    if (RunShell("chattr +i " + db + " 2>&1").status == 0) {
        const bool refused = !UploadImage(images[2], server.Address());
        RunShell("chattr -i " + db);
        EXPECT_TRUE(refused);
        ASSERT_TRUE(server.Running());
        EXPECT_TRUE(UploadImage(images[2], server.Address()));
    }
    ASSERT_EQ(std::remove(db.c_str()), 0);
    EXPECT_FALSE(UploadImage(images[3], server.Address()));
    EXPECT_NE(windows.Messages().back().text.find("'ee'"), std::string::npos)
        << windows.Messages().back().text;
    EXPECT_TRUE(server.Running());
    server.Kill();
    const std::string errors = ReadFileBytes(dir.File("errors.txt"));
    EXPECT_NE(errors.find("the database " + db + " is gone"), std::string::npos) << errors;
}

// Garbage from 50 addresses is one kind of complaint: a few lines a second at most.
TEST(CollectionServerPaced, GarbageConnectionsDoNotFillStandardError) {
    TempWorkingDir dir;
    ServerProcess server(dir.File("uploads.sqlite"), dir.File("errors.txt"));
    ASSERT_GT(server.port, 0);
    const std::string garbage = "GET / HTTP/1.1\r\n\r\n";
    for (int k = 0; k < 1000; ++k) {
        const SocketHandle s(ConnectFrom("127.0.3." + std::to_string(1 + k % 50), server.port));
        send(s.Get(), garbage.data(), garbage.size(), MSG_NOSIGNAL);
        std::array<std::uint8_t, 2> reply{};
        EXPECT_EQ(ReceiveOnce(s.Get(), reply, 2000), 2);  // "ee", then closed
    }
    EXPECT_TRUE(server.Running());
    server.Kill();
    const std::string errors = ReadFileBytes(dir.File("errors.txt"));
    const auto lines = std::count(errors.begin(), errors.end(), '\n');
    std::printf("1000 garbage connections: %ld lines on standard error\n",
                static_cast<long>(lines));
    EXPECT_LT(lines, 100);
}
