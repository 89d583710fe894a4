// The upload against in-process fake servers: every outcome the user can see, the
// messages on the wire, and that the connection is always closed.

#include "cloud/upload.h"

#include <gtest/gtest.h>

#include <chrono>

#include "cloud/fake_cloud_server.h"
#include "logger/graph_series.h"
#include "logger/readings.h"
#include "support/image_builder.h"
#include "support/recording_window_layer.h"

namespace {

constexpr int kAD_25_0 = 624;        // 25.0 C
constexpr int kAD_minus_12_5 = 911;  // -12.5 C

std::vector<int> Readings(int count) {
    std::vector<int> readings(count);
    for (int i = 0; i < count; ++i) {
        readings[i] = 600 + i % 300;
    }
    return readings;
}

CloudServer Loopback(int port) {
    CloudServer server;
    server.host = "127.0.0.1";
    server.port = port;
    server.connect_timeout_ms = 2000;
    server.reply_timeout_ms = 2000;
    return server;
}

bool Upload(const MemoryImage& image, const CloudServer& server) {
    GraphData(image);
    return envia_nuvem(image, ConfigFromHeader(image.data()), [&image] { return ImageFirmware(image); }, server);
}

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

struct Shown {
    std::string text;
    std::string caption;
    MsgIcon icon;
};

Shown OnlyMessage(RecordingWindowLayer& windows) {
    const std::vector<RecordedMessage> messages = windows.Messages();
    EXPECT_EQ(messages.size(), 1u);
    if (messages.empty()) {
        return {};
    }
    EXPECT_EQ(messages[0].owner, WindowId::Main);
    return {messages[0].text, messages[0].caption, messages[0].icon};
}

}  // namespace

TEST(Upload, SendsHeaderPacketsAndEndAndReportsSuccess) {
    RecordingWindowLayer windows;
    ImageSpec spec;
    // 01.01.2024 01:00 GMT is 31.12.2023 22:00 in Brasília; two hourly readings later the
    // time one interval after the last one is 01.01.24 01:00.
    spec.start = {0, 0, 1, 1, 1, 2024};
    spec.sample_rate = 3600;
    spec.description = "Camara";
    spec.readings = {kAD_25_0, kAD_minus_12_5};
    FakeCloudServer server;
    EXPECT_TRUE(Upload(BuildImage(spec), Loopback(server.Port())));

    const std::vector<Bytes> messages = server.Messages();
    ASSERT_EQ(messages.size(), 3u);
    const Bytes& header = messages[0];
    ASSERT_EQ(header.size(), HEADER_MESSAGE_SIZE);
    EXPECT_EQ(header[0], 0xFF);
    EXPECT_EQ(Text(Bytes(header.begin() + 4, header.begin() + 25)),
              "Camara               ");  // 21 bytes, the NULs as spaces
    EXPECT_EQ(Bytes(header.begin() + 25, header.begin() + 29), (Bytes{0xFF, 0x9C, 0x00, 0xFA}));
    EXPECT_EQ(Bytes(header.begin() + 37, header.begin() + 43),
              (Bytes{1, 0, 0, 1, 1, 0x18}));  // 01:00:00 01.01.24
    EXPECT_EQ(Bytes(header.begin() + 43, header.begin() + 46), (Bytes{0x01, 0x00, 0x03}));
    EXPECT_EQ(Bytes(header.begin() + 47, header.begin() + 50), (Bytes{0x01, 0x00, 0x04}));
    EXPECT_TRUE(ParseHeaderMessage(header).has_value());

    EXPECT_EQ(messages[1], (Bytes{0x11, 0x00, 0x02, 0x11 ^ 0x02 ^ 0xFA ^ 0xFF ^ 0x83 ^ 0x0D ^ 0x0A,
                                  0x00, 0xFA, 0xFF, 0x83, 0x0D, 0x0A}));
    EXPECT_EQ(messages[2], (Bytes{'b', 'b', 0x0D, 0x0A}));
    EXPECT_TRUE(server.ClientClosed());

    const Shown shown = OnlyMessage(windows);
    EXPECT_EQ(shown.text, "Dados foram salvos remotamente com sucesso.");
    EXPECT_EQ(shown.caption, "Sucesso");
    EXPECT_EQ(shown.icon, MsgIcon::Information);
}

TEST(Upload, SplitsReadingsIntoPacketsOfAtMost8000) {
    const std::vector<std::pair<int, std::vector<int>>> cases = {
        {8000, {8000}}, {8001, {8000, 1}}, {20000, {8000, 8000, 4000}}, {0, {}}};
    for (const auto& [count, expected] : cases) {
        RecordingWindowLayer windows;
        ImageSpec spec;
        spec.readings = Readings(count);
        const MemoryImage image = BuildImage(spec);
        FakeCloudServer server;
        EXPECT_TRUE(Upload(image, Loopback(server.Port()))) << count;
        const std::vector<Bytes> messages = server.Messages();
        ASSERT_EQ(messages.size(), expected.size() + 2) << count;
        std::vector<int> sent;
        for (std::size_t k = 0; k < expected.size(); ++k) {
            const auto tenths = ParseDataPacket(messages[k + 1]);
            ASSERT_TRUE(tenths.has_value()) << count;
            EXPECT_EQ(static_cast<int>(tenths->size()), expected[k]) << count;
            sent.insert(sent.end(), tenths->begin(), tenths->end());
        }
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(sent[i], ImageTemp_x10(image, spec.readings[i])) << i;
        }
        EXPECT_TRUE(IsEndMessage(messages.back())) << count;
    }
}

TEST(Upload, LargestMemoryTakesFourFullPackets) {
    RecordingWindowLayer windows;
    ImageSpec spec;
    spec.readings = Readings(32000);
    FakeCloudServer server;
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_TRUE(Upload(BuildImage(spec), Loopback(server.Port())));
    const auto took = std::chrono::steady_clock::now() - begin;
    const std::vector<Bytes> messages = server.Messages();
    ASSERT_EQ(messages.size(), 6u);
    for (int k = 1; k <= 4; ++k) {
        EXPECT_EQ(messages[k].size(), MAX_PACKET_SIZE);
    }
    EXPECT_LT(took, std::chrono::milliseconds(3000));  // six 100 ms pauses, no more
}

TEST(Upload, ShowsTheFailureOfEachStepAndClosesTheConnection) {
    const std::string e002 =
        "Servidor não respondeu corretamente, dados não foram enviados (E002). ";
    const std::string e001 =
        "Servidor não respondeu corretamente, dados não foram enviados (E001). ";
    struct Case {
        const char* what;
        FakeCloudServer::Script script;
        int readings;
        std::string text;
        std::size_t messages_seen;
    };
    const std::vector<Case> cases = {
        {"one c", [](int, const Bytes&) { return ReplyWith("c"); }, 10,
         e002 + "Foram recebidos 1 bytes: 'c' .", 1},
        {"xx", [](int, const Bytes&) { return ReplyWith("xx"); }, 10,
         e002 + "Foram recebidos 2 bytes: 'xx' .", 1},
        {"closed after the header", [](int, const Bytes&) { return CloseConnection(); }, 10,
         e002 + "Foram recebidos 0 bytes: '' .", 1},
        {"second packet refused",
         [](int index, const Bytes&) { return ReplyWith(index == 2 ? "no" : "cc"); }, 20000,
         e001 + "Foram recebidos 2 bytes: 'no' .", 3},
        {"end refused",
         [](int index, const Bytes&) { return ReplyWith(index == 2 ? "c\xE7" : "cc"); }, 5,
         e001 + "Foram recebidos 2 bytes: 'cç' .", 3},
        {"silent",
         [](int index, const Bytes&) { return index == 1 ? StaySilent() : ReplyWith("cc"); }, 5,
         e001 + "Foram recebidos -1 bytes: '' .", 2},
    };
    for (const Case& c : cases) {
        RecordingWindowLayer windows;
        ImageSpec spec;
        spec.readings = Readings(c.readings);
        FakeCloudServer server(c.script);
        CloudServer address = Loopback(server.Port());
        address.reply_timeout_ms = 300;
        EXPECT_FALSE(Upload(BuildImage(spec), address)) << c.what;
        const Shown shown = OnlyMessage(windows);
        EXPECT_EQ(shown.text, c.text) << c.what;
        EXPECT_EQ(shown.caption, "Falha") << c.what;
        EXPECT_EQ(shown.icon, MsgIcon::Stop) << c.what;
        EXPECT_EQ(server.Messages().size(), c.messages_seen) << c.what;
        if (c.what != std::string("closed after the header")) {
            EXPECT_TRUE(server.ClientClosed()) << c.what;
        }
    }
}

TEST(Upload, ReportsConnectionAndNameFailures) {
    ImageSpec spec;
    spec.readings = Readings(3);
    const MemoryImage image = BuildImage(spec);
    {
        RecordingWindowLayer windows;
        EXPECT_FALSE(Upload(image, Loopback(UnusedPort())));
        const Shown shown = OnlyMessage(windows);
        EXPECT_EQ(shown.text, "Erro ao se conectar, dados não foram enviados.");
        EXPECT_EQ(shown.caption, "Erro de conexão");
        EXPECT_EQ(shown.icon, MsgIcon::Warning);
    }
    {
        RecordingWindowLayer windows;
        CloudServer nowhere = Loopback(40000);
        nowhere.host = "collection.invalid";
        EXPECT_FALSE(Upload(image, nowhere));
        const Shown shown = OnlyMessage(windows);
        EXPECT_EQ(shown.text, "Erro ao resolver nome");
        EXPECT_EQ(shown.caption, "Erro");
        EXPECT_EQ(shown.icon, MsgIcon::Warning);
    }
    {
        // The name is resolved and the connection goes to the resolved address.
        RecordingWindowLayer windows;
        FakeCloudServer server;
        CloudServer by_name = Loopback(server.Port());
        by_name.host = "localhost";
        EXPECT_TRUE(Upload(image, by_name));
        EXPECT_EQ(server.Messages().size(), 3u);
    }
}
