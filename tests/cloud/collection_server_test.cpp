// The collection server on loopback: what a real upload stores, and that no bad or slow
// client stores anything or stops it serving others.

#include "collection_server.h"

#include <gtest/gtest.h>

#include <chrono>

#include "cloud/fake_cloud_server.h"
#include "files/file.h"
#include "logger/graph_series.h"
#include "logger/readings.h"
#include "support/image_builder.h"
#include "support/recording_window_layer.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

constexpr int kIdleMs = 300;

std::vector<int> Ramp(int count, int offset) {
    std::vector<int> readings(count);
    for (int i = 0; i < count; ++i) {
        readings[i] = 300 + (i + offset) % 700;
    }
    return readings;
}

class CollectionServerTest : public ::testing::Test {
  protected:
    SocketHandle ConnectRaw() const {
        SocketHandle s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const sockaddr_in address = LoopbackAddress(loopback.server->Port());
        EXPECT_EQ(connect(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        return s;
    }

    TempWorkingDir dir;  // holds the database
    LoopbackCollectionServer loopback{"uploads.sqlite", kIdleMs};
    UploadStore& store = *loopback.store;
};

// What the server answers to `bytes`; empty when it closed without a word.
std::string Answer(const SocketHandle& s, const Bytes& bytes) {
    SendAll(s.Get(), bytes, 2000);
    std::array<std::uint8_t, 16> reply{};
    const ssize_t got = ReceiveOnce(s.Get(), reply, 2000);
    return got > 0 ? std::string(reply.begin(), reply.begin() + got) : "";
}

// True when the server has closed the connection within `ms`.
bool ClosedWithin(const SocketHandle& s, int ms) {
    std::array<std::uint8_t, 16> rest{};
    return WaitReadable(s.Get(), ms) && recv(s.Get(), rest.data(), rest.size(), 0) <= 0;
}

}  // namespace

TEST_F(CollectionServerTest, StoresWhatTheCommandLineUploads) {
    ImageSpec spec;
    spec.start = {15, 45, 12, 10, 6, 2024};
    spec.readings = Ramp(9000, 0);
    spec.description = "Sala \xE7";  // a Windows-1252 byte
    const MemoryImage image = BuildImage(spec);
    ASSERT_TRUE(WeatherStationExport("card.mvta", image));

    const ShellResult upload =
        RunShell(std::string(RAZUROZAVI_CLI) + " upload card.mvta --host 127.0.0.1 --tcp-port " +
                 std::to_string(loopback.server->Port()));
    EXPECT_EQ(upload.status, 0) << upload.output;
    EXPECT_NE(upload.output.find("Sucesso: Dados foram salvos remotamente com sucesso."),
              std::string::npos);

    const std::vector<StoredUpload> uploads = store.List();
    ASSERT_EQ(uploads.size(), 1u);
    std::vector<int> expected;
    for (const int ad : spec.readings) {
        expected.push_back(ImageTemp_x10(image, ad));
    }
    EXPECT_EQ(store.Readings(uploads[0].id), expected);

    // 10.06.2024 09:45:15 in Brasília plus 9001 minutes: 16.06.24 15:46:15.
    const ShellResult list =
        RunShell(std::string(RAZUROZAVI_SERVER) + " --list --db uploads.sqlite");
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(
        list.output.find(" peer=127.0.0.1 serial=1234 descricao=\"Sala ç\" readings=9000 "
                         "sample_points=1000 sample_rate=60 low=-10.0 high=25.0 start_delay=0 "
                         "alarm_delay=0 end=\"16.06.24 15:46:15\" unit=C firmware=1.0.3 "
                         "software=1.0.4\n"),
        std::string::npos)
        << list.output;
    EXPECT_EQ(std::count(list.output.begin(), list.output.end(), '\n'), 1);
}

TEST_F(CollectionServerTest, BadAndSlowClientsStoreNothing) {
    ConfigValues values;
    values.serial = 77;
    const Bytes header =
        BuildHeaderMessage(MakeUploadHeader(values, CALENDAR{}, FirmwareVersion{}));
    Bytes damaged = header;
    damaged[50] ^= 0xFF;
    const Bytes full = BuildDataPacket(std::vector<int>(PACOTE_ENVIO_DADOS, 250));
    const Bytes small = BuildDataPacket(std::vector<int>(10, 250));
    // Each session: what the client sends and what the server answers, then it closes.
    const std::vector<std::vector<std::pair<Bytes, std::string>>> sessions = {
        {{{'G', 'E', 'T', ' ', '/', '\r', '\n'}, "ee"}},
        {{damaged, "ee"}},
        {{Bytes(END_MESSAGE.begin(), END_MESSAGE.end()), "ee"}},
        // A count above 8000 is refused before any of its readings are read.
        {{header, "cc"}, {{0x11, 0x23, 0x28, 0x00}, "ee"}},
        // More readings than a card holds.
        {{header, "cc"}, {full, "cc"}, {full, "cc"}, {full, "cc"}, {full, "cc"}, {full, "ee"}},
        // Complete messages but no end message.
        {{header, "cc"}, {small, "cc"}, {header, "ee"}},
    };
    for (std::size_t k = 0; k < sessions.size(); ++k) {
        const SocketHandle s = ConnectRaw();
        for (const auto& [bytes, answer] : sessions[k]) {
            EXPECT_EQ(Answer(s, bytes), answer) << k;
        }
        EXPECT_TRUE(ClosedWithin(s, 1000)) << k;
    }
    {
        // Truncated: half a packet, then the client leaves.
        const SocketHandle s = ConnectRaw();
        EXPECT_EQ(Answer(s, header), "cc");
        SendAll(s.Get(), std::span(small).first(10), 1000);
    }
    {
        // Slow: half a header, then silence until the server gives up.
        const SocketHandle s = ConnectRaw();
        SendAll(s.Get(), std::span(header).first(20), 1000);
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_TRUE(ClosedWithin(s, 3000));
        EXPECT_GE(std::chrono::steady_clock::now() - begin,
                  std::chrono::milliseconds(kIdleMs - 50));
    }
    EXPECT_TRUE(store.List().empty());

    // Still serving: a header and an end message alone are a complete upload.
    RecordingWindowLayer windows;
    const MemoryImage image = BuildImage(ImageSpec{});
    GraphData(image);
    EXPECT_TRUE(UploadImage(image, loopback.Address()));
    const std::vector<StoredUpload> uploads = store.List();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].readings, 0);
}

TEST_F(CollectionServerTest, TwentyUploadsAtOnceAreAllStored) {
    RecordingWindowLayer windows;
    constexpr int kUploads = 20;
    std::vector<MemoryImage> images;
    for (int k = 0; k < kUploads; ++k) {
        ImageSpec spec;
        spec.serial = 5000 + k;
        spec.readings = Ramp(100 * (k + 1), k);
        images.push_back(BuildImage(spec));
    }
    GraphData(images[0]);  // the same start time and interval for all
    std::vector<std::thread> clients;
    std::atomic<int> accepted{0};
    const auto begin = std::chrono::steady_clock::now();
    for (const MemoryImage& image : images) {
        clients.emplace_back([&image, &accepted, this] {
            accepted += UploadImage(image, loopback.Address()) ? 1 : 0;
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    EXPECT_EQ(accepted.load(), kUploads);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(3));

    const std::vector<StoredUpload> uploads = store.List();
    ASSERT_EQ(uploads.size(), static_cast<std::size_t>(kUploads));
    for (const StoredUpload& u : uploads) {
        const int k = static_cast<int>(u.serial) - 5000;
        ASSERT_TRUE(k >= 0 && k < kUploads) << u.serial;
        const std::vector<int> readings = store.Readings(u.id);
        ASSERT_EQ(static_cast<int>(readings.size()), 100 * (k + 1));
        EXPECT_EQ(readings.front(), ImageTemp_x10(images[k], ReadingAD(images[k], 0)));
        EXPECT_EQ(readings.back(), ImageTemp_x10(images[k], ReadingAD(images[k], 100 * k + 99)));
    }
}
