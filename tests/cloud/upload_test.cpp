// The upload's messages as bytes, and every outcome of an upload against a fake server.

#include "cloud/upload.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <thread>

#include "cloud/fake_cloud_server.h"
#include "logger/graph_series.h"
#include "support/recording_window_layer.h"

namespace {

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

}  // namespace

TEST(UploadMessages, HeaderAndDataPacketBytesRoundTripAndEveryDamagedPacketByteIsRefused) {
    ConfigValues values{.sample_points = 32000,
                        .sample_rate = 43200,
                        .temp_unit = 1,
                        .t_low_alarm = 898,
                        .t_high_alarm = 624,
                        .start_delay = 70000,  // low 16 bits
                        .alarm_delay = 600,
                        .serial = 0x12345678};  // only 24 bits travel
    SetDescription(values.descricao, "Camara");
    const Bytes m = BuildHeaderMessage(MakeUploadHeader(values, CALENDAR{59, 30, 23, 31, 12, 24},
                                                        FirmwareVersion{{'1', '0', '3'}}));
    ASSERT_EQ(m.size(), 53u);
    EXPECT_EQ(Bytes(m.begin(), m.begin() + 4), (Bytes{0xFF, 0x34, 0x56, 0x78}));
    EXPECT_EQ(std::string(m.begin() + 4, m.begin() + 25), "Camara" + std::string(15, ' '));
    EXPECT_EQ(Bytes(m.begin() + 25, m.begin() + 37),
              (Bytes{0xFF, 0x9C, 0x00, 0xFA, 0x11, 0x70, 0x02, 0x58, 0x7D, 0x00, 0xA8, 0xC0}));
    EXPECT_EQ(Bytes(m.begin() + 37, m.begin() + 50),
              (Bytes{23, 30, 59, 31, 12, 24, 0x01, 0x00, 0x03, 1, 0x01, 0x00, 0x04}));
    EXPECT_EQ(Bytes(m.begin() + 50, m.end()), (Bytes{0x70, 0x0D, 0x0A}));  // XOR of 0..49
    EXPECT_EQ(BuildHeaderMessage(ParseHeaderMessage(m).value()), m);

    const std::vector<int> tenths = {-125, 250, 0, 1937, -463};
    const Bytes packet = BuildDataPacket(tenths);
    EXPECT_EQ(packet, (Bytes{0x11, 0x00, 0x05, 0xCC, 0xFF, 0x83, 0x00, 0xFA, 0x00, 0x00, 0x07, 0x91,
                             0xFE, 0x31, 0x0D, 0x0A}));
    EXPECT_EQ(ParseDataPacket(packet), tenths);
    EXPECT_EQ(ScanMessage(Bytes{0x11, 0x1F, 0x41}).state, FrameState::Invalid);  // 8001 readings
    for (std::size_t k = 0; k < packet.size(); ++k) {
        Bytes damaged = packet;
        damaged[k] ^= 0x40;
        EXPECT_FALSE(ParseDataPacket(damaged).has_value()) << k;
    }
}

TEST(Upload, ShowsTheFailureOfEachStepAndClosesTheConnection) {
    const std::string e00 = "Servidor não respondeu corretamente, dados não foram enviados (E00";
    // The reply to message `at` (nullopt: the fake closes), the readings, what the user sees.
    const std::vector<std::tuple<int, std::optional<std::string>, int, std::string>> cases = {
        {0, "c", 10, e00 + "2). Foram recebidos 1 bytes: 'c' ."},
        {0, std::nullopt, 10, e00 + "2). Foram recebidos 0 bytes: '' ."},
        {2, "no", 20000, e00 + "1). Foram recebidos 2 bytes: 'no' ."},  // the second packet
        {2, "c\xE7", 5, e00 + "1). Foram recebidos 2 bytes: 'cç' ."},   // the end refused
        {1, "", 5, e00 + "1). Foram recebidos -1 bytes: '' ."},         // silence
    };
    for (const auto& [at, reply, readings, text] : cases) {
        SCOPED_TRACE(text);
        RecordingWindowLayer windows;
        FakeCloudServer server(at, reply);
        EXPECT_FALSE(Upload(RampImage(readings), {"127.0.0.1", server.port, 2000, 300}));
        ExpectOnlyMessage(windows, text, "Falha", MsgIcon::Stop);
        server.Finish();
        EXPECT_EQ(server.messages.size(), static_cast<std::size_t>(at + 1));
        EXPECT_EQ(server.client_closed, reply.has_value());
    }
    // No connection at all, or no such name.
    int closed_port = 0;
    ListenOnLoopback(closed_port);  // closed again at once
    for (const auto& [host, text, caption] : std::vector<std::array<std::string, 3>>{
             {"127.0.0.1", "Erro ao se conectar, dados não foram enviados.", "Erro de conexão"},
             {"collection.invalid", "Erro ao resolver nome", "Erro"}}) {
        RecordingWindowLayer windows;
        EXPECT_FALSE(Upload(RampImage(3), {host, closed_port, 2000, 3000}));
        ExpectOnlyMessage(windows, text, caption, MsgIcon::Warning);
    }
}

TEST(Upload, AMessageThatCannotBeSentSaysWhyAndWaitsForNoReply) {
    RecordingWindowLayer windows;
    int port = 0;
    const SocketHandle listener = ListenOnLoopback(port);
    const MemoryImage image = RampImage(3);
    GraphData(image);
    // Asked once the upload has connected: the connection is reset before the header goes.
    const FirmwareSource reset_first = [&] {
        {
            const SocketHandle connection(accept(listener.Get(), nullptr, nullptr));
            const linger abort_on_close{1, 0};
            setsockopt(connection.Get(), SOL_SOCKET, SO_LINGER, &abort_on_close,
                       sizeof abort_on_close);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the reset arrives
        return ImageFirmware(image);
    };
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(envia_nuvem(image, ConfigFromHeader(image.data()), reset_first,
                             {"127.0.0.1", port, 2000, 3000}));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    const std::vector<RecordedMessage> messages = windows.Messages();
    ASSERT_EQ(messages.size(), 1u);
    const std::string refused =
        "Servidor não respondeu corretamente, dados não foram enviados (E002). Foram recebidos "
        "-1 bytes: '' .";
    EXPECT_EQ(messages[0].text.rfind(refused + "\nErro ao enviar: ", 0), 0u) << messages[0].text;
    EXPECT_GT(messages[0].text.size(), refused.size() + 17);  // the reason itself
}

// The outbox sends without the graph's preparation: its stamp must be the one GraphData leaves.
TEST(Upload, TheStampFromTheImageIsTheOneTheGraphPreparationLeaves) {
    const std::pair<CALENDAR, int> recordings[] = {{CALENDAR{0, 0, 1, 1, 1, 2026}, 0},
                                                   {CALENDAR{0, 0, 2, 1, 1, 2100}, 90 * 24}};
    for (const auto& [start, readings] : recordings) {
        const MemoryImage image = RampImage(readings, 0, {.start = start, .sample_rate = 3600});
        GraphData(image);
        EXPECT_EQ(UploadStamp(image), cal) << readings;
    }
}
