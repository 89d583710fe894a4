// The program against the simulated card on a pseudo-terminal: discovery, version query,
// reads, configuration, faults and reconnection, all through the real threads.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "files/file.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/logger_commands.h"
#include "logger/main_commands.h"
#include "logger/operation_engine.h"
#include "simcard/simulated_card.h"
#include "support/link_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr double kSlowdown = 4.0;  // sanitizers slow the threads, not the line
#else
constexpr double kSlowdown = 1.0;
#endif

class CardSession : public LinkTest {
  protected:
    void TearDown() override {
        ResetCardSession();
        if (card) {
            card->Stop();
        }
        LinkTest::TearDown();
    }

    // Starts a card registered for discovery and the program's threads; waits until the
    // card is found and its version judged.
    void Connect(SimulatedCardOptions options = {}) {
        options.registration_dir = registrations;
        card = std::make_unique<SimulatedCard>(options);
        std::string why;
        ASSERT_TRUE(card->Start(&why)) << why;
        StartTimerThread();
        StartOperationThread();
        ASSERT_TRUE(Eventually([] { return connected && FirmwareNumber() != 0; }, 5000));
    }

    // "Ler" and the wait for the engine to finish; the seconds it took.
    double Read(int timeout_ms = 20000) {
        data_in.fill(0xAA);
        const Clock::time_point start = Clock::now();
        CommandRead();
        EXPECT_TRUE(Eventually([] { return dl_state == DL_IDLE; }, timeout_ms));
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    // The memory bytes a read of the card must have brought, firmware digits included,
    // and nothing beyond.
    void ExpectImageMatchesCard() {
        MemoryImage expected = card->Memory();
        const int count = (expected[0] << 8) | expected[1];
        const int length = std::min((count + 64) * 4, MEMORY_SIZE);
        const int read_end =
            std::min((length + READ_SIZE - 1) / READ_SIZE * READ_SIZE, MEMORY_SIZE);
        std::copy_n("103", 3, expected.begin() + OFF_FIRMWARE);
        for (int i = 0; i < read_end; ++i) {
            ASSERT_EQ(data_in[i], expected[i]) << "byte " << i;
        }
        for (int i = read_end; i < MEMORY_SIZE; ++i) {
            ASSERT_EQ(data_in[i], 0xAA) << "byte " << i << " was never requested";
        }
    }

    // The messages shown, as "caption: text".
    std::vector<std::string> Shown() {
        std::vector<std::string> shown;
        for (const RecordedMessage& message : windows.Messages()) {
            shown.push_back(message.caption + ": " + message.text);
        }
        return shown;
    }
    std::string LastMessage() { return Shown().empty() ? "" : Shown().back(); }

    std::unique_ptr<SimulatedCard> card;
};

TEST_F(CardSession, ReadsTheWholeRecordingByteForByte) {
    // No readings, a few, and a count beyond what the memory holds: bounded at 65536 bytes.
    for (int readings : {0, 5, 20000}) {
        SCOPED_TRACE(readings);
        Connect({.readings = readings});
        const double seconds = Read();
        EXPECT_EQ(LastMessage(), "Leitura: Leitura Bem Sucedida");
        EXPECT_TRUE(read_ok && new_data);
        ExpectImageMatchesCard();
        if (readings == 20000) {
            std::printf("full unpaced read: %.2f s\n", seconds);
            EXPECT_LT(seconds, 2.0 * kSlowdown);
        }
        EXPECT_EQ(windows.ControlEnabled(WindowId::Main, BT_READ), true);
        EXPECT_EQ(windows.ControlEnabled(WindowId::Main, BT_CANCEL), false);
        EXPECT_EQ(windows.ControlText(WindowId::Main, ID_STATUS), "Conectado");

        CheckOperationResults();
        EXPECT_FALSE(new_data);
        if (readings > 0) {
            EXPECT_EQ(windows.opened_windows.back(), WindowId::Data);
            EXPECT_FALSE(windows.ListLines(WindowId::Data, LIST1).empty());
        }
        ResetCardSession();
        card->Stop();
        windows.opened_windows.clear();
    }
}

TEST_F(CardSession, PacedFullReadKeepsUpWithTheLine) {
    Connect({.readings = 16320, .baud_pace = true});
    const auto cpu = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return u.ru_utime.tv_sec + u.ru_stime.tv_sec +
               (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const double cpu_before = cpu();
    const double seconds = Read(40000);
    const double cpu_share = (cpu() - cpu_before) / seconds;
    // Request, acknowledge, reply and acknowledge: 118 bytes of 10 bits per exchange.
    const double wire = 1311 * 118 * 10 / 115200.0;
    std::printf("paced full read: %.2f s for %.2f s of wire time (%.3f), CPU %.1f %%\n", seconds,
                wire, seconds / wire, 100 * cpu_share);
    EXPECT_EQ(LastMessage(), "Leitura: Leitura Bem Sucedida");
    ExpectImageMatchesCard();
    EXPECT_LT(seconds, wire * (kSlowdown > 1 ? 1.5 : 1.10));
    if (kSlowdown == 1.0) {
        EXPECT_LT(cpu_share, 0.05);  // card and program together
    }
}

TEST_F(CardSession, CancelEndsAReadWithoutData) {
    Connect({.readings = 16320, .baud_pace = true});
    CommandRead();
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    const Clock::time_point cancelled = Clock::now();
    CommandCancel();
    ASSERT_TRUE(Eventually([] { return dl_state == DL_IDLE; }, 5000));
    EXPECT_LT(Clock::now() - cancelled, std::chrono::milliseconds(500));
    EXPECT_EQ(LastMessage(), "Cancelar: Leitura Cancelada");
    EXPECT_EQ(windows.Messages().back().icon, MsgIcon::Warning);
    EXPECT_FALSE(new_data);
    EXPECT_FALSE(read_ok);
    EXPECT_EQ(windows.ControlEnabled(WindowId::Main, BT_OPEN), true);
}

TEST_F(CardSession, CardThatStopsAnsweringEndsTheReadAfterThreeSeconds) {
    Connect({.faults = {{CardFaultKind::StopAnswering, 8, 0}}});
    const double seconds = Read();
    EXPECT_EQ(LastMessage(), "Cancelar: Leitura Cancelada");
    EXPECT_GT(seconds, 3.0);
    EXPECT_LT(seconds, 3.0 + 1.0 * kSlowdown);
    EXPECT_FALSE(new_data);
}

TEST_F(CardSession, ErrorReplyRestartsTheReadFromTheStart) {
    // Requests: 1 version, 2 configuration, 3.. memory chunks; the fourth chunk fails.
    Connect({.readings = 300, .faults = {{CardFaultKind::AnswerError, 6, 1}}});
    Read();
    EXPECT_EQ(Shown(), (std::vector<std::string>{" : ERRO", "Leitura: Leitura Bem Sucedida"}));
    int reads_from_zero = 0;
    for (const SeenRequest& request : card->Requests()) {
        reads_from_zero += request.letters[0] == 'R' && request.payload_head[0] == 0 &&
                           request.payload_head[1] == 0 &&
                           request.payload_head[2] == RD_COUNT_CHUNK;
    }
    EXPECT_EQ(reads_from_zero, 2);
    ExpectImageMatchesCard();
}

TEST_F(CardSession, ConfigurationReadOpensItsWindowAndANeverStartedCardOnlyWarns) {
    Connect({.readings = 10});
    EXPECT_TRUE(windows.Messages().empty());  // the automatic version query is not shown
    config_values = ConfigValues{};
    CommandConfig();
    ASSERT_TRUE(Eventually([] { return dl_state == DL_IDLE; }, 5000));
    EXPECT_EQ(LastMessage(), "Config: Configuração lida com sucesso");
    EXPECT_EQ(config_values.serial, 1234);
    EXPECT_EQ(DescriptionBytes(config_values.descricao.data()), "Camara fria 01");
    EXPECT_EQ(config_values.sample_rate, 300);
    CheckOperationResults();
    EXPECT_FALSE(new_config);
    ASSERT_FALSE(windows.opened_windows.empty());
    EXPECT_EQ(windows.opened_windows.back(), WindowId::Config);
    EXPECT_EQ(windows.ControlEnabled(WindowId::Config, BT_CONFIG_WRITE), true);

    // "Info" shows the version.
    buscaVersao(true);
    ASSERT_TRUE(Eventually([&] { return windows.Messages().size() == 2; }, 3000));
    EXPECT_EQ(LastMessage(), "Informações do Razurozavi: Firmware\t\tV1.03 \nHardware\t\tV120");

    // A card whose start year is 2013 was never started: a warning instead of a window.
    windows.opened_windows.clear();
    MemoryImage memory = card->Memory();
    memory[OFF_START_TIME + 5] = 2013 & 0xFF;
    memory[OFF_START_TIME + 6] = 2013 >> 8;
    card->SetMemory(memory);
    Read();
    CheckOperationResults();
    EXPECT_EQ(LastMessage(),
              "Aviso: Não há medições registradas, pois este KELTRIX não foi previamente "
              "iniciado.");
    EXPECT_TRUE(windows.opened_windows.empty());
}

TEST_F(CardSession, RefusesAnotherFirmware) {
    Connect({.firmware = "1.04"});
    ASSERT_TRUE(Eventually([&] { return windows.EndProcessCode().has_value(); }, 1000));
    EXPECT_EQ(windows.EndProcessCode(), 0);
    EXPECT_EQ(LastMessage(),
              std::string(CAPTION_ATTENTION) + ": " + std::string(MSG_FIRMWARE_INCOMPATIBLE));
}

TEST_F(CardSession, NoticesUnplugAndReplug) {
    Connect();
    card->Stop();
    ASSERT_TRUE(Eventually([] { return !connected; }, 2500));
    EXPECT_EQ(windows.ControlText(WindowId::Main, ID_STATUS), "Desconectado");
    EXPECT_EQ(windows.ControlEnabled(WindowId::Main, BT_READ), false);
    EXPECT_EQ(FirmwareNumber(), 0);

    card = std::make_unique<SimulatedCard>(SimulatedCardOptions{.registration_dir = registrations});
    std::string why;
    ASSERT_TRUE(card->Start(&why)) << why;
    ASSERT_TRUE(Eventually([] { return connected && FirmwareNumber() == 103; }, 5000));
    EXPECT_EQ(windows.ControlText(WindowId::Main, ID_STATUS), "Conectado");
    EXPECT_EQ(card->RequestsSeen("VR"), 1);
}

}  // namespace
