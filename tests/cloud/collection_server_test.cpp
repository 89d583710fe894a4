// The collection server on loopback: what a real upload stores, and that no bad or slow
// client stores anything or stops it serving others.

#include "collection_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "cloud/upload.h"
#include "files/file.h"
#include "logger/graph_series.h"
#include "logger/readings.h"
#include "support/image_builder.h"
#include "support/recording_window_layer.h"
#include "support/run_command.h"

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
    void SetUp() override {
        char pattern[] = "/tmp/razurozavi-server-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        std::string error;
        store_ = UploadStore::Open(db_path(), &error);
        ASSERT_TRUE(store_) << error;
        ServerOptions options;
        options.port = 0;
        options.idle_timeout_ms = kIdleMs;
        server_ = std::make_unique<CollectionServer>(*store_, options);
        ASSERT_TRUE(server_->Listen(&error)) << error;
        serving_ = std::thread([this] { server_->Serve(); });
    }

    void TearDown() override {
        if (server_) {
            server_->Stop();
        }
        if (serving_.joinable()) {
            serving_.join();
        }
        server_.reset();
        store_.reset();
        std::filesystem::remove_all(dir_);
    }

    std::string db_path() const { return dir_ + "/uploads.sqlite"; }

    CloudServer Address() const {
        CloudServer server;
        server.host = "127.0.0.1";
        server.port = server_->Port();
        server.reply_timeout_ms = 3000;
        return server;
    }

    SocketHandle ConnectRaw() const {
        SocketHandle s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(server_->Port()));
        EXPECT_EQ(connect(s.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return s;
    }

    std::string dir_;
    std::unique_ptr<UploadStore> store_;
    std::unique_ptr<CollectionServer> server_;
    std::thread serving_;
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

Bytes ValidHeader() {
    ConfigValues values;
    values.serial = 77;
    return BuildHeaderMessage(MakeUploadHeader(values, CALENDAR{}, FirmwareVersion{}));
}

}  // namespace

TEST_F(CollectionServerTest, StoresWhatTheCommandLineUploads) {
    ImageSpec spec;
    spec.start = {15, 45, 12, 10, 6, 2024};
    spec.readings = Ramp(9000, 0);
    spec.readings[3] = 911;          // -12.5
    spec.description = "Sala \xE7";  // a Windows-1252 byte
    const MemoryImage image = BuildImage(spec);
    const std::string path = dir_ + "/card.mvta";
    ASSERT_TRUE(WeatherStationExport(path, image));

    const ShellResult upload =
        RunShell(std::string(RAZUROZAVI_CLI) + " upload " + path + " --host 127.0.0.1 --tcp-port " +
                 std::to_string(server_->Port()));
    EXPECT_EQ(upload.status, 0) << upload.output;
    EXPECT_NE(upload.output.find("Sucesso: Dados foram salvos remotamente com sucesso."),
              std::string::npos);

    const std::vector<StoredUpload> uploads = store_->List();
    ASSERT_EQ(uploads.size(), 1u);
    const StoredUpload& u = uploads[0];
    EXPECT_EQ(u.peer, "127.0.0.1");
    EXPECT_EQ(u.serial, spec.serial);
    EXPECT_EQ(u.description, "Sala ç");
    EXPECT_EQ(u.low_alarm_x10, -100);
    EXPECT_EQ(u.high_alarm_x10, 250);
    EXPECT_EQ(u.sample_rate, 60);
    EXPECT_EQ(u.firmware, "1.0.3");
    EXPECT_EQ(u.software, "1.0.4");
    EXPECT_EQ(u.readings, 9000);
    // 10.06.2024 09:45:15 in Brasília plus 9001 minutes: 16.06.24 15:46:15.
    EXPECT_EQ(u.stamp, (CALENDAR{15, 46, 15, 16, 6, 24}));

    std::vector<int> expected;
    for (const int ad : spec.readings) {
        expected.push_back(ImageTemp_x10(image, ad));
    }
    EXPECT_EQ(store_->Readings(u.id), expected);
    EXPECT_EQ(expected[3], -125);

    const ShellResult list = RunShell(std::string(RAZUROZAVI_SERVER) + " --list --db " + db_path());
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.output.find("serial=1234 descricao=\"Sala ç\" readings=9000"), std::string::npos)
        << list.output;
    EXPECT_EQ(std::count(list.output.begin(), list.output.end(), '\n'), 1);
}

TEST_F(CollectionServerTest, BadAndSlowClientsStoreNothing) {
    {
        const SocketHandle s = ConnectRaw();
        EXPECT_EQ(Answer(s, Bytes{'G', 'E', 'T', ' ', '/', '\r', '\n'}), "ee");
        EXPECT_TRUE(ClosedWithin(s, 1000));
    }
    {
        Bytes header = ValidHeader();
        header[50] ^= 0xFF;
        const SocketHandle s = ConnectRaw();
        EXPECT_EQ(Answer(s, header), "ee");
    }
    {
        const SocketHandle s = ConnectRaw();
        EXPECT_EQ(Answer(s, Bytes(END_MESSAGE.begin(), END_MESSAGE.end())), "ee");
    }
    {
        // A count above 8000 is refused before any of its readings are read.
        const SocketHandle s = ConnectRaw();
        EXPECT_EQ(Answer(s, ValidHeader()), "cc");
        EXPECT_EQ(Answer(s, Bytes{0x11, 0x23, 0x28, 0x00}), "ee");
        EXPECT_TRUE(ClosedWithin(s, 1000));
    }
    {
        // More readings than a card holds.
        const SocketHandle s = ConnectRaw();
        EXPECT_EQ(Answer(s, ValidHeader()), "cc");
        const Bytes full = BuildDataPacket(std::vector<int>(PACOTE_ENVIO_DADOS, 250));
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(Answer(s, full), "cc") << k;
        }
        EXPECT_EQ(Answer(s, full), "ee");
    }
    {
        // Truncated: half a packet, then the client leaves.
        const SocketHandle s = ConnectRaw();
        EXPECT_EQ(Answer(s, ValidHeader()), "cc");
        const Bytes packet = BuildDataPacket(std::vector<int>(100, 250));
        SendAll(s.Get(), std::span(packet).first(50), 1000);
    }
    {
        // Slow: half a header, then silence until the server gives up.
        const SocketHandle s = ConnectRaw();
        const Bytes header = ValidHeader();
        SendAll(s.Get(), std::span(header).first(20), 1000);
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_TRUE(ClosedWithin(s, 3000));
        EXPECT_GE(std::chrono::steady_clock::now() - begin,
                  std::chrono::milliseconds(kIdleMs - 50));
    }
    {
        // Complete messages but no end message.
        const SocketHandle s = ConnectRaw();
        EXPECT_EQ(Answer(s, ValidHeader()), "cc");
        EXPECT_EQ(Answer(s, BuildDataPacket(std::vector<int>(10, 250))), "cc");
        EXPECT_EQ(Answer(s, ValidHeader()), "ee");
    }
    EXPECT_TRUE(store_->List().empty());

    // Still serving: a header and an end message alone are a complete upload.
    RecordingWindowLayer windows;
    ImageSpec spec;
    const MemoryImage image = BuildImage(spec);
    GraphData(image);
    EXPECT_TRUE(envia_nuvem(
        image, ConfigFromHeader(image.data()), [&image] { return ImageFirmware(image); },
        Address()));
    const std::vector<StoredUpload> uploads = store_->List();
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
    for (int k = 0; k < kUploads; ++k) {
        clients.emplace_back([&, k] {
            const MemoryImage& image = images[k];
            if (envia_nuvem(
                    image, ConfigFromHeader(image.data()),
                    [&image] { return ImageFirmware(image); }, Address())) {
                accepted.fetch_add(1);
            }
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_EQ(accepted.load(), kUploads);
    EXPECT_LT(took, std::chrono::seconds(3));

    const std::vector<StoredUpload> uploads = store_->List();
    ASSERT_EQ(uploads.size(), static_cast<std::size_t>(kUploads));
    for (const StoredUpload& u : uploads) {
        const int k = static_cast<int>(u.serial) - 5000;
        ASSERT_TRUE(k >= 0 && k < kUploads) << u.serial;
        const std::vector<int> readings = store_->Readings(u.id);
        ASSERT_EQ(static_cast<int>(readings.size()), 100 * (k + 1));
        EXPECT_EQ(readings.front(), ImageTemp_x10(images[k], ReadingAD(images[k], 0)));
        EXPECT_EQ(readings.back(), ImageTemp_x10(images[k], ReadingAD(images[k], 100 * k + 99)));
    }
}
