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

MemoryImage Image(int readings, ImageSpec spec = {}) {
    for (int i = 0; i < readings; ++i) {
        spec.readings.push_back(600 + i % 300);
    }
    return BuildImage(spec);
}

bool Upload(const MemoryImage& image, const CloudServer& server) {
    GraphData(image);
    return UploadImage(image, server);
}

void ExpectOnlyMessage(RecordingWindowLayer& windows, std::string_view text,
                       std::string_view caption, MsgIcon icon) {
    const std::vector<RecordedMessage> messages = windows.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].owner, WindowId::Main);
    EXPECT_EQ(messages[0].text, text);
    EXPECT_EQ(messages[0].caption, caption);
    EXPECT_EQ(messages[0].icon, icon);
}

// Answers "cc" to every message but message `at`, which gets `reply` (nullptr: closed).
FakeCloudServer::Script At(int at, const char* reply) {
    return [=](int index) -> std::optional<std::string> {
        if (index != at) {
            return "cc";
        }
        return reply ? std::optional<std::string>(reply) : std::nullopt;
    };
}

}  // namespace

TEST(Upload, SendsHeaderPacketsAndEndAndReportsSuccess) {
    RecordingWindowLayer windows;
    ImageSpec spec;
    spec.readings = {624, 911};  // 25.0 C, -12.5 C
    FakeCloudServer server;
    EXPECT_TRUE(Upload(BuildImage(spec), Loopback(server.port)));

    server.Finish();
    const std::vector<Bytes>& m = server.messages;
    ASSERT_EQ(m.size(), 3u);
    EXPECT_TRUE(ParseHeaderMessage(m[0]).has_value());
    EXPECT_EQ(m[1], (Bytes{0x11, 0x00, 0x02, 0x11 ^ 0x02 ^ 0xFA ^ 0xFF ^ 0x83 ^ 0x0D ^ 0x0A, 0x00,
                           0xFA, 0xFF, 0x83, 0x0D, 0x0A}));
    EXPECT_EQ(m[2], (Bytes{'b', 'b', 0x0D, 0x0A}));
    EXPECT_TRUE(server.client_closed);
    ExpectOnlyMessage(windows, "Dados foram salvos remotamente com sucesso.", "Sucesso",
                      MsgIcon::Information);
}

TEST(Upload, SplitsReadingsIntoPacketsOfAtMost8000) {
    const std::vector<std::pair<int, std::vector<int>>> cases = {
        {8000, {8000}},
        {8001, {8000, 1}},
        {20000, {8000, 8000, 4000}},
        {0, {}},
        {32000, {8000, 8000, 8000, 8000}}};  // the largest memory
    for (const auto& [count, expected] : cases) {
        SCOPED_TRACE(count);
        RecordingWindowLayer windows;
        const MemoryImage image = Image(count);
        FakeCloudServer server;
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_TRUE(Upload(image, Loopback(server.port)));
        // A 100 ms pause a message, no more.
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(3000));
        server.Finish();
        ASSERT_EQ(server.messages.size(), expected.size() + 2);
        std::vector<int> sent;
        for (std::size_t k = 0; k < expected.size(); ++k) {
            const auto tenths = ParseDataPacket(server.messages[k + 1]);
            ASSERT_TRUE(tenths.has_value());
            EXPECT_EQ(static_cast<int>(tenths->size()), expected[k]);
            sent.insert(sent.end(), tenths->begin(), tenths->end());
        }
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(sent[i], ImageTemp_x10(image, ReadingAD(image, i))) << i;
        }
        EXPECT_TRUE(IsEndMessage(server.messages.back()));
    }
}

TEST(Upload, ShowsTheFailureOfEachStepAndClosesTheConnection) {
    const std::string e002 =
        "Servidor não respondeu corretamente, dados não foram enviados (E002). Foram recebidos ";
    const std::string e001 =
        "Servidor não respondeu corretamente, dados não foram enviados (E001). Foram recebidos ";
    struct Case {
        FakeCloudServer::Script script;
        int readings;
        std::string text;
        std::size_t messages_seen;
    };
    const std::vector<Case> cases = {
        {At(0, "c"), 10, e002 + "1 bytes: 'c' .", 1},
        {At(0, "xx"), 10, e002 + "2 bytes: 'xx' .", 1},
        {At(0, nullptr), 10, e002 + "0 bytes: '' .", 1},    // closed after the header
        {At(2, "no"), 20000, e001 + "2 bytes: 'no' .", 3},  // the second packet refused
        {At(2, "c\xE7"), 5, e001 + "2 bytes: 'cç' .", 3},   // the end refused
        {At(1, ""), 5, e001 + "-1 bytes: '' .", 2},         // silence
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        RecordingWindowLayer windows;
        FakeCloudServer server(c.script);
        CloudServer address = Loopback(server.port);
        address.reply_timeout_ms = 300;
        EXPECT_FALSE(Upload(Image(c.readings), address));
        ExpectOnlyMessage(windows, c.text, "Falha", MsgIcon::Stop);
        server.Finish();
        EXPECT_EQ(server.messages.size(), c.messages_seen);
        // Unless the fake closed first, it sees the client close.
        EXPECT_EQ(server.client_closed, c.text.find("0 bytes") == std::string::npos);
    }
}

TEST(Upload, ReportsConnectionAndNameFailures) {
    const MemoryImage image = Image(3);
    {
        RecordingWindowLayer windows;
        int unused = 0;
        ListenOnLoopback(unused);  // closed again at once
        EXPECT_FALSE(Upload(image, Loopback(unused)));
        ExpectOnlyMessage(windows, "Erro ao se conectar, dados não foram enviados.",
                          "Erro de conexão", MsgIcon::Warning);
    }
    {
        RecordingWindowLayer windows;
        CloudServer nowhere = Loopback(40000);
        nowhere.host = "collection.invalid";
        EXPECT_FALSE(Upload(image, nowhere));
        ExpectOnlyMessage(windows, "Erro ao resolver nome", "Erro", MsgIcon::Warning);
    }
    // The name is resolved and the connection goes to the resolved address.
    RecordingWindowLayer windows;
    FakeCloudServer server;
    CloudServer by_name = Loopback(server.port);
    by_name.host = "localhost";
    EXPECT_TRUE(Upload(image, by_name));
    server.Finish();
    EXPECT_EQ(server.messages.size(), 3u);
}
