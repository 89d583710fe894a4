#include "cloud/upload.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "base/window_layer.h"
#include "cloud/socket_io.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/cp1252.h"
#include "logger/time_zone.h"

namespace {

enum class Connection { Connected, ResolveFailed, SocketFailed, ConnectFailed };

// Tries every address the name resolves to, in the resolver's order.
Connection Connect(const CloudServer& server, SocketHandle& connected) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(server.port);
    if (getaddrinfo(server.host.c_str(), port.c_str(), &hints, &found) != 0 || found == nullptr) {
        return Connection::ResolveFailed;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);
    bool socket_created = false;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        SocketHandle s(
            socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (!s.Valid()) {
            continue;
        }
        if (!socket_created) {
            // A trace for whoever watches the terminal; standard output carries results only.
            std::fputs("Socket iniciado!!!\n", stderr);
            socket_created = true;
        }
        if (ConnectWithin(s.Get(), a->ai_addr, a->ai_addrlen, server.connect_timeout_ms)) {
            connected = std::move(s);
            return Connection::Connected;
        }
    }
    return socket_created ? Connection::ConnectFailed : Connection::SocketFailed;
}

struct Reply {
    ssize_t received = -1;
    std::array<std::uint8_t, REPLY_BUFFER_SIZE> buffer{};
    std::error_code send_error;
};

// One lock-step turn: send, pause, one receive. A message that cannot be sent gets no
// reply (received -1), and no wait for one.
Reply Exchange(int fd, std::span<const std::uint8_t> message, const CloudServer& server) {
    Reply reply;
    reply.send_error = SendAll(fd, message, server.reply_timeout_ms);
    if (!reply.send_error) {
        std::this_thread::sleep_for(std::chrono::milliseconds(UPLOAD_REPLY_PAUSE_MS));
        reply.received = ReceiveOnce(fd, reply.buffer, server.reply_timeout_ms);
    }
    return reply;
}

bool Refused(const Reply& reply, std::string_view code, UploadOutcome& outcome) {
    if (ReplyPasses(reply.buffer)) {
        return false;
    }
    std::string text = ReplyRefusedText(code, reply.received, reply.buffer.data());
    if (reply.send_error) {
        text += SendFailedLine(reply.send_error);
    }
    outcome = {false, text, std::string(CAPTION_UPLOAD_REFUSED), MsgIcon::Stop};
    return true;
}

std::string ShownByte(std::uint8_t b) {
    if (b == 0) {
        return {};
    }
    if (b >= 0x80) {
        return Cp1252ToUtf8(std::string(1, static_cast<char>(b)));
    }
    return std::string(1, b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '?');
}

}  // namespace

std::string SendFailedLine(std::error_code error) {
    return std::string(MSG_UPLOAD_SEND_FAILED) + error.message();
}

CloudServer BuiltInCloudServer() {
    CloudServer server;
    server.host = RAZUROZAVI_CLOUD_HOST;
    server.port = RAZUROZAVI_CLOUD_PORT;
    return server;
}

std::string ReplyRefusedText(std::string_view code, long received, const std::uint8_t* buffer) {
    std::string text = "Servidor não respondeu corretamente, dados não foram enviados (";
    text += code;
    text += "). Foram recebidos " + std::to_string(received) + " bytes: '";
    text += ShownByte(buffer[0]) + ShownByte(buffer[1]);
    text += "' .";
    return text;
}

CALENDAR UploadStamp(const MemoryImage& image) {
    const unsigned long interval = static_cast<unsigned long>(ImageSampleRate(image));
    const int readings = ImageReadingCount(image);
    CALENDAR stamp = ImageStartTime(image);
    ShiftCalendarHours(stamp, BRASILIA_OFFSET_HOURS);
    // Step by step as the list walks it: the year turns two-digit after the first reading,
    // and the calendar (leap years included) goes on from there.
    const auto step = [&stamp, interval] {
        AdvanceCalendar(stamp, interval);
        if (stamp.year > 99) {
            stamp.year %= 100;
        }
    };
    for (int i = 0; i <= readings; ++i) {
        step();
    }
    return stamp;
}

UploadOutcome UploadImage(const MemoryImage& dado_in, const ConfigValues& values,
                          const FirmwareSource& firmware_once_connected, const CloudServer& server,
                          const CALENDAR& stamp) {
    SocketHandle connection;
    switch (Connect(server, connection)) {
        case Connection::ResolveFailed:
            return {false, std::string(MSG_UPLOAD_RESOLVE_FAILED), "Erro", MsgIcon::Warning};
        case Connection::SocketFailed:
            return {false, std::string(MSG_UPLOAD_SOCKET_FAILED), "Erro", MsgIcon::Warning};
        case Connection::ConnectFailed:
            return {false, std::string(MSG_UPLOAD_CONNECT_FAILED),
                    std::string(CAPTION_UPLOAD_CONNECT_FAILED), MsgIcon::Warning};
        case Connection::Connected:
            break;
    }
    const int fd = connection.Get();
    const FirmwareVersion firmware = firmware_once_connected();
    UploadOutcome outcome;

    const Bytes header = BuildHeaderMessage(MakeUploadHeader(values, stamp, firmware));
    if (Refused(Exchange(fd, header, server), UPLOAD_HEADER_REFUSED_CODE, outcome)) {
        return outcome;
    }

    const int count = ImageReadingCount(dado_in);
    std::vector<int> tenths;
    tenths.reserve(PACOTE_ENVIO_DADOS);
    for (int k = 0; k < DataPacketCount(count); ++k) {
        const int first = k * PACOTE_ENVIO_DADOS;
        const int end = std::min(count, first + PACOTE_ENVIO_DADOS);
        tenths.clear();
        for (int i = first; i < end; ++i) {
            tenths.push_back(ADToTemp_x10(ReadingAD(dado_in, i), firmware));
        }
        if (Refused(Exchange(fd, BuildDataPacket(tenths), server), UPLOAD_DATA_REFUSED_CODE,
                    outcome)) {
            return outcome;
        }
    }

    if (Refused(Exchange(fd, END_MESSAGE, server), UPLOAD_DATA_REFUSED_CODE, outcome)) {
        return outcome;
    }
    return {true, std::string(MSG_UPLOAD_SUCCESS), std::string(CAPTION_UPLOAD_SUCCESS),
            MsgIcon::Information};
}

bool envia_nuvem(const MemoryImage& dado_in, const ConfigValues& values,
                 const FirmwareSource& firmware_once_connected, const CloudServer& server) {
    const UploadOutcome outcome =
        UploadImage(dado_in, values, firmware_once_connected, server, cal);
    ShowMessage(WindowId::Main, outcome.text, outcome.caption, outcome.icon);
    return outcome.accepted;
}
