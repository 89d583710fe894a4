#pragma once
// The cloud upload: a card's identity, configuration and readings sent over one TCP
// connection to the collection server, in lock-step with its replies. Every outcome is
// one message box; nothing is stored and nothing is retried.

#include <functional>
#include <string>
#include <string_view>
#include <system_error>

#include "base/card_timing.h"
#include "base/window_layer.h"
#include "cloud/upload_messages.h"
#include "logger/memory_image.h"

struct CloudServer {
    std::string host;
    int port = 0;
    int connect_timeout_ms = UPLOAD_CONNECT_TIMEOUT_MS;
    int reply_timeout_ms = UPLOAD_REPLY_TIMEOUT_MS;
};

// The collection server chosen at build time.
CloudServer BuiltInCloudServer();

inline constexpr std::string_view MSG_UPLOAD_RESOLVE_FAILED = "Erro ao resolver nome";
inline constexpr std::string_view MSG_UPLOAD_SOCKET_FAILED = "Erro ao criar socket";
inline constexpr std::string_view MSG_UPLOAD_CONNECT_FAILED =
    "Erro ao se conectar, dados não foram enviados.";
inline constexpr std::string_view CAPTION_UPLOAD_CONNECT_FAILED = "Erro de conexão";
inline constexpr std::string_view MSG_UPLOAD_SUCCESS =
    "Dados foram salvos remotamente com sucesso.";
inline constexpr std::string_view CAPTION_UPLOAD_SUCCESS = "Sucesso";
inline constexpr std::string_view CAPTION_UPLOAD_REFUSED = "Falha";
// The line added to the refusal when the message could not even be sent, with the reason.
inline constexpr std::string_view MSG_UPLOAD_SEND_FAILED = "\nErro ao enviar: ";
std::string SendFailedLine(std::error_code error);
// Header refused (E002), or a data packet or the end message refused (E001).
inline constexpr std::string_view UPLOAD_HEADER_REFUSED_CODE = "E002";
inline constexpr std::string_view UPLOAD_DATA_REFUSED_CODE = "E001";

// "Servidor não respondeu corretamente, ... (E00x). Foram recebidos %d bytes: '%c%c' .":
// `received` is the receive's result (-1 when nothing came in time), then the first two
// bytes of the reply buffer; a NUL byte shows nothing, other unprintable bytes '?'.
std::string ReplyRefusedText(std::string_view code, long received, const std::uint8_t* buffer);

// Gives the firmware digits the temperatures are converted for; asked once connected,
// so that the desktop program can query the card at that moment.
using FirmwareSource = std::function<FirmwareVersion()>;

// One interval after the last reading, in Brasília time, with a two-digit year: the time
// fields GraphData leaves in `cal`, computed from the image alone.
CALENDAR UploadStamp(const MemoryImage& image);

// How an upload ended, and the message that says so.
struct UploadOutcome {
    bool accepted = false;
    std::string text;
    std::string caption;
    MsgIcon icon = MsgIcon::None;
    bool queued = false;  // not accepted, and kept in the outbox to be sent later
};

// The upload itself, showing nothing: `stamp` gives the header's time fields.
UploadOutcome UploadImage(const MemoryImage& dado_in, const ConfigValues& values,
                          const FirmwareSource& firmware_once_connected, const CloudServer& server,
                          const CALENDAR& stamp);

// Uploads the readings of `dado_in` with the configuration `values`, temperatures
// converted for the firmware `firmware_once_connected` gives, and the time fields of
// `cal` as GraphData left it. Shows the outcome with the main window as owner; true when
// the server accepted all.
bool envia_nuvem(const MemoryImage& dado_in, const ConfigValues& values,
                 const FirmwareSource& firmware_once_connected, const CloudServer& server);
