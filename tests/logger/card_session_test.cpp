// The program against the simulated card, discovered on a pseudo-terminal, all threads real.

#include <cstdio>
#include <ctime>

#include "app/main_commands.h"
#include "cloud/fake_cloud_server.h"
#include "files/file.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/logger_commands.h"
#include "logger/operation_engine.h"
#include "simcard/simulated_card.h"
#include "support/link_fixture.h"
#include "support/temp_dir.h"

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr double kSlowdown = 4.0;  // sanitizers slow the threads, not the line
#else
constexpr double kSlowdown = 1.0;
#endif

class CardSession : public LinkTest {
  protected:
    void Plug(SimulatedCardOptions options = {}) {
        options.registration_dir = registrations;
        card = std::make_unique<SimulatedCard>(options);
        std::string why;
        ASSERT_TRUE(card->Start(&why)) << why;
    }

    // Plugs a card in, starts the program's threads, waits for its version to be judged.
    void Connect(SimulatedCardOptions options = {}) {
        Plug(options);
        StartTimerThread();
        StartOperationThread();
        ASSERT_TRUE(Eventually([] { return connected && FirmwareNumber() != 0; }, 5000));
    }

    // "Ler", waited for; the seconds it took.
    double Read(int timeout_ms = 20000) {
        data_in.fill(0xAA);
        const auto start = std::chrono::steady_clock::now();
        CommandRead();
        EXPECT_TRUE(Eventually([] { return dl_state == DL_IDLE; }, timeout_ms));
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    // The read brought the card's memory (firmware digits included) and nothing beyond.
    void ExpectImageMatchesCard() {
        MemoryImage expected = card->Memory();
        std::copy_n("103", 3, expected.begin() + OFF_FIRMWARE);
        const int length = std::min((BigEndian16(&expected[0]) + 64) * 4, MEMORY_SIZE);
        const int read_end =
            std::min((length + READ_SIZE - 1) / READ_SIZE * READ_SIZE, MEMORY_SIZE);
        std::fill(expected.begin() + read_end, expected.end(), 0xAA);  // never requested
        ASSERT_EQ(data_in, expected);
    }

    std::string LastMessage() {
        const std::vector<RecordedMessage> shown = windows.Messages();
        return shown.empty() ? "" : shown.back().caption + ": " + shown.back().text;
    }

    std::unique_ptr<SimulatedCard> card;
};

// A count beyond what the memory holds: bounded at 65536 bytes.
TEST_F(CardSession, PacedFullReadKeepsUpWithTheLine) {
    Connect({.readings = 20000, .baud_pace = true});
    const std::clock_t cpu_before = std::clock();  // all threads, the card's included
    const double seconds = Read(40000);
    const double cpu_share = double(std::clock() - cpu_before) / CLOCKS_PER_SEC / seconds;
    // Request, acknowledge, reply and acknowledge: 118 bytes of 10 bits per exchange.
    const double wire = 1311 * 118 * 10 / 115200.0;
    std::printf("paced full read: %.2f s for %.2f s of wire time (%.3f), CPU %.1f %%\n", seconds,
                wire, seconds / wire, 100 * cpu_share);
    ExpectImageMatchesCard();
    EXPECT_GT(seconds, wire);  // the card is no faster than its line
    EXPECT_LT(seconds, wire * (kSlowdown > 1 ? 1.5 : 1.10));
    if (kSlowdown == 1.0) {
        EXPECT_LT(cpu_share, 0.05);  // card and program together
    }
}

TEST_F(CardSession, CancelOrACardThatStopsAnsweringEndsAReadWithoutData) {
    Connect({.readings = 16320, .baud_pace = true});
    CommandRead();
    ASSERT_TRUE(Eventually([&] { return card->RequestsSeen() > 20; }, 5000));
    CommandCancel();
    ASSERT_TRUE(Eventually([] { return dl_state == DL_IDLE; }, 5000));
    EXPECT_EQ(LastMessage(), "Cancelar: Leitura Cancelada");
    EXPECT_FALSE(new_data || read_ok);

    // A card that stops answering ends the read the same way, and the port scan resumes.
    ResetCardSession();
    Connect({.faults = {{CardFaultKind::StopAnswering, 8, 0}}});
    Read();
    EXPECT_EQ(LastMessage(), "Cancelar: Leitura Cancelada");
    EXPECT_FALSE(new_data || read_ok || rx_enable);
}

// Requests: 1 version, 2 configuration, 3.. memory chunks (with their resends).
TEST_F(CardSession, AFailedChunkIsAskedAgainAndTheReadGoesOn) {
    // "ER" is asked again at once; a damaged reply after the wait; a lost request is resent;
    // late, joined and unacknowledged replies are taken as they come.
    for (CardFaultKind kind :
         {CardFaultKind::AnswerError, CardFaultKind::CorruptReply, CardFaultKind::DropRequest,
          CardFaultKind::DelayReply, CardFaultKind::JoinedWrite, CardFaultKind::LoseAcknowledge}) {
        SCOPED_TRACE(CardFaultName(kind));
        Connect({.readings = 300, .faults = {{kind, 6, 1}}});
        Read();
        ExpectImageMatchesCard();
        EXPECT_EQ(card->FaultsStruck(), 1);
        int from_zero = 0;
        for (const SeenRequest& r : card->Requests()) {
            const int address = r.payload_head[0] << 8 | r.payload_head[1];
            from_zero += r.letters[0] == 'R' && address == 0 && r.payload_head[2] == RD_COUNT_CHUNK;
        }
        EXPECT_EQ(from_zero, 1);  // resumed, not started over
        ResetCardSession();
    }
    // A chunk that fails every time ends the read after four requests for it.
    Connect({.readings = 300, .faults = {{CardFaultKind::AnswerError, 6, 0}}});
    Read();
    EXPECT_EQ(card->RequestsSeen("RD"), 1 + 3 + CHUNK_ASKS);
    EXPECT_FALSE(new_data || read_ok);
}

// A late reply answered twice (lost acknowledge, then the resend): taken once, paced.
TEST_F(CardSession, PacedReplyAnsweredTwiceIsTakenOnlyForItsRequest) {
    Connect(
        {.readings = 300,
         .baud_pace = true,
         .faults = {{.kind = CardFaultKind::AnswerTwice, .first_request = 6, .delay_ms = 1500}}});
    Read();
    EXPECT_EQ(card->RepliesSent(), card->RequestsSeen());  // the resend was answered too
    ExpectImageMatchesCard();
}

// The card records after a configuration: one reading a period, up to the number configured.
TEST_F(CardSession, AConfigurationWriteStartsTheCardsRecording) {
    Connect({.reading_period = std::chrono::milliseconds(20)});
    TempWorkingDir dir;
    ConfigValues values{.sample_points = 5, .sample_rate = 2, .start_delay = 60, .serial = 7};
    ASSERT_TRUE(WriteConfigToCard(values));
    ASSERT_TRUE(Eventually([&] { return ImageReadingCount(card->Memory()) == 5; }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(ImageReadingCount(card->Memory()), 5);
    EXPECT_EQ(ConfigFromHeader(card->Memory().data()), values);
    EXPECT_EQ(ReadingAD(card->Memory(), 4), RecordedAD(RefrigeratorTenths(10)));  // at 10 s
}

// A card whose start year is 2013 was never started: a warning instead of a window.
TEST_F(CardSession, AnEmptyRecordingListsNothingAndANeverStartedCardOnlyWarns) {
    Connect({.readings = 0});
    Read();
    EXPECT_EQ(LastMessage(), "Leitura: Leitura Bem Sucedida");
    ExpectImageMatchesCard();
    CheckOperationResults();
    EXPECT_TRUE(windows.ListLines(WindowId::Data, LIST1).empty());
    windows.opened_windows.clear();

    MemoryImage memory = card->Memory();
    SetImageStartTime(memory, CALENDAR{0, 0, 8, 2, 6, 2013});
    card->SetMemory(memory);
    Read();
    CheckOperationResults();
    EXPECT_EQ(LastMessage(),
              "Aviso: Não há medições registradas, pois este KELTRIX não foi previamente "
              "iniciado.");
    EXPECT_TRUE(windows.opened_windows.empty());
}

// Unplugged idle and mid-read, then replugged: found within about 1.2 s, the data window kept.
TEST_F(CardSession, PacedUnplugAndReplugIdleAndDuringARead) {
    using Clock = std::chrono::steady_clock;
    Connect({.readings = 40});
    Read();
    CheckOperationResults();
    const std::vector<std::string> lines = windows.ListLines(WindowId::Data, LIST1);
    ASSERT_EQ(lines.size(), 40u);
    card = nullptr;
    ASSERT_TRUE(Eventually([] { return !connected && FirmwareNumber() == 0; }, 3000));
    Plug({.readings = 16320, .baud_pace = true});
    ASSERT_TRUE(Eventually([] { return connected && FirmwareNumber() == 103; }, 5000));
    CommandRead();
    ASSERT_TRUE(Eventually([&] { return card->RequestsSeen() > 40; }, 5000));
    card->Stop();
    ASSERT_TRUE(Eventually([] { return dl_state == DL_IDLE; }, 15000));
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - card->LastSent()).count(), 10.0);
    EXPECT_EQ(LastMessage(), "Cancelar: Leitura Cancelada");
    ASSERT_TRUE(Eventually([] { return !connected; }, 3000));
    EXPECT_EQ(windows.ControlText(WindowId::Main, ID_STATUS), "Desconectado");

    Plug();
    const Clock::time_point plugged = Clock::now();
    ASSERT_TRUE(Eventually([] { return connected.load(); }, 5000));
    const double found = std::chrono::duration<double>(Clock::now() - plugged).count();
    std::printf("card found %.2f s after it was plugged in\n", found);
    EXPECT_LT(found, 1.3 * kSlowdown);
    ASSERT_TRUE(Eventually([] { return FirmwareNumber() == 103; }, 3000));
    EXPECT_EQ(card->RequestsSeen("VR"), 1);
    EXPECT_EQ(windows.ListLines(WindowId::Data, LIST1), lines);
}

// A card in cloud mode is uploaded, its version asked again, instead of shown in the window.
TEST_F(CardSession, AReadOfACloudCardIsUploadedWithItsFreshVersion) {
    LoopbackCollectionServer loopback;
    Connect({.readings = 300});
    MemoryImage memory = card->Memory();
    memory[OFF_CLOUD] = 1;
    card->SetMemory(memory);
    CommandRead();
    ASSERT_TRUE(Eventually([] { return dl_state == DL_IDLE && new_data; }, 10000));
    SetHandOffCloudServer(loopback.Address());  // never the built-in one
    const int version_queries = card->RequestsSeen("VR");
    CheckOperationResults();
    SetHandOffCloudServer(BuiltInCloudServer());
    config_values.modo_nuvem = false;
    EXPECT_TRUE(windows.opened_windows.empty());
    EXPECT_EQ(card->RequestsSeen("VR"), version_queries + 1);
    EXPECT_EQ(windows.Messages().back().text, MSG_UPLOAD_SUCCESS);
    const std::vector<StoredUpload> uploads = loopback.store->List();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].firmware, "1.0.3");
    EXPECT_EQ(loopback.store->Readings(uploads[0].id).size(), 300u);
}
