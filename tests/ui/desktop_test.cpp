// The desktop program driven as a technician drives it: buttons clicked, message boxes and
// file dialogs answered, against the simulated card. Each test runs in a process of its own.

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <deque>
#include <filesystem>
#include <thread>

#include "app/cloud_outbox.h"
#include "app/main_commands.h"
#include "app/recording_keeper.h"
#include "files/file.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/logger_commands.h"
#include "logger/memory_image.h"
#include "logger/operation_engine.h"
#include "sensor/temp.h"
#include "simcard/simulated_card.h"
#include "support/image_builder.h"
#include "support/run_command.h"
#include "ui/about_box.h"
#include "ui/config_window.h"
#include "ui/data_window.h"
#include "ui/graph_window.h"
#include "ui/main_window.h"
#include "ui/program_application.h"
#include "ui/qt_window_layer.h"

namespace fs = std::filesystem;

namespace {

constexpr int CARD_FOUND_MS = 2500;  // two port scans and the version query
constexpr int READ_DONE_MS = 15000;

struct SeenBox {
    QString text;
    QMessageBox::Icon icon;
};

// Answers every modal message box and file dialog as the test has told it, and keeps what
// the boxes said.
class ModalAnswerer final : public QObject {
  public:
    ModalAnswerer() {
        connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::Poll);
        timer_.start(5);
    }
    std::deque<QMessageBox::StandardButton> yes_no;  // No once empty
    std::deque<QString> paths;                       // cancelled once empty
    QList<SeenBox> boxes;
    QString left_open;  // a box with this text stays open until the test closes it

    bool Saw(const QString& text) const {
        return std::any_of(boxes.begin(), boxes.end(),
                           [&](const SeenBox& box) { return box.text == text; });
    }

    // Closes the box left open, if there is one; true when there was.
    bool CloseLeftOpen() {
        left_open.clear();
        if (held_ == nullptr) {
            return false;
        }
        held_->button(QMessageBox::Ok)->click();
        return true;
    }

  private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (!left_open.isEmpty() && box->text() == left_open) {
                held_ = box;
                return;
            }
            boxes.append({box->text(), box->icon()});
            QMessageBox::StandardButton answer = QMessageBox::Ok;
            if (box->standardButtons() & QMessageBox::Yes) {
                answer = QMessageBox::No;
                if (!yes_no.empty()) {
                    answer = yes_no.front();
                    yes_no.pop_front();
                }
            }
            box->button(answer)->click();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            if (paths.empty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(paths.front());
            paths.pop_front();
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog's own checks run
        }
    }
    QTimer timer_;
    QPointer<QMessageBox> held_;
};

bool Enabled(QWidget* control) {
    return control != nullptr && control->isEnabled();
}

QString TextOf(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control)) {
        return label->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        return edit->text();
    }
    if (auto* box = qobject_cast<QComboBox*>(control)) {
        return box->currentText();
    }
    return {};
}

void Click(QWidget* control) {
    QVERIFY(control != nullptr);
    qobject_cast<QAbstractButton*>(control)->click();
}

}  // namespace

class DesktopTest final : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void startsDisconnectedAndFindsTheCard();
    void findsTheCardsThatTheEnvironmentRegisters();
    void readOpensDataWindowWithTheCompanionsLines();
    void readGoesOnWhileTheErrorBoxIsOpen();
    void cardOfAnotherFirmwareEndsTheProgram();
    void cancelDuringPacedRead();
    void configFillsTheWindowAndWriteReachesTheCard();
    void gravarKeepsTheRecordingTheCardWouldLose();
    void writeWithoutCardReportsTheError();
    void closingWindowsRestoresTheMainWindow();
    void quitAnsweredNoThenYes();
    void graphWindowOpensAndClosesAlone();
    void workerCallsArriveInOrderAndNeverHang();

  private:
    // The simulated card registered where the program looks; `options` as given.
    void PlugCard(SimulatedCardOptions options = {});
    void WaitForCard();
    QWidget* MainControl(int id) { return program_->Main().Control(id); }
    QtWindowLayer& Layer() { return program_->Layer(); }
    std::string File(const std::string& name) { return (folder_ / name).string(); }
    // A data file of three readings from the card of this serial number.
    std::string WriteDataFile(const std::string& name, long serial);

    fs::path folder_;
    std::unique_ptr<SimulatedCard> card_;
    std::unique_ptr<DesktopProgram> program_;
    std::unique_ptr<ModalAnswerer> answers_;
};

void DesktopTest::init() {
    char pattern[] = "/tmp/razurozavi-desktop-XXXXXX";
    QVERIFY(mkdtemp(pattern) != nullptr);
    folder_ = pattern;
    fs::create_directories(folder_ / "ports");
    fs::create_directories(folder_ / "sys");  // no real ports
    SetDeviceMapRoots((folder_ / "sys").string(), (folder_ / "ports").string());
    // Never the user's own archive and outbox.
    SetArchiveFolder((folder_ / "arquivo").string());
    SetOutboxFolder((folder_ / "saida").string());
    answers_ = std::make_unique<ModalAnswerer>();
    program_ = std::make_unique<DesktopProgram>(*static_cast<ProgramApplication*>(qApp));
    program_->Start();
}

void DesktopTest::cleanup() {
    program_.reset();
    if (card_) {
        card_->Stop();
        card_.reset();
    }
    answers_.reset();
    SetArchiveFolder("");
    SetOutboxFolder("");
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

void DesktopTest::PlugCard(SimulatedCardOptions options) {
    options.registration_dir = (folder_ / "ports").string();
    card_ = std::make_unique<SimulatedCard>(options);
    std::string why;
    QVERIFY2(card_->Start(&why), why.c_str());
}

void DesktopTest::WaitForCard() {
    QTRY_COMPARE_WITH_TIMEOUT(TextOf(MainControl(ID_STATUS)), QStringLiteral("Conectado"),
                              CARD_FOUND_MS);
    QTRY_VERIFY_WITH_TIMEOUT(FirmwareNumber() == ACCEPTED_FIRMWARE && dl_state == DL_IDLE,
                             CARD_FOUND_MS);
}

std::string DesktopTest::WriteDataFile(const std::string& name, long serial) {
    const std::string path = File(name);
    WeatherStationExport(path, BuildImage({.serial = serial, .readings = {624, 625, 626}}));
    return path;
}

void DesktopTest::startsDisconnectedAndFindsTheCard() {
    MainWindow& main = program_->Main();
    QCOMPARE(TextOf(MainControl(ID_STATUS)), QStringLiteral("Desconectado"));
    for (int id : {BT_READ, BT_INFO, BT_CONFIG, BT_CANCEL}) {
        QVERIFY2(!Enabled(MainControl(id)), qPrintable(QString::number(id)));
    }
    QVERIFY(Enabled(MainControl(BT_OPEN)) && Enabled(MainControl(BT_QUIT)));
    for (int item : {IDM_DATACANCEL, IDM_DATAREAD, IDM_CONFIG, IDM_HELPCONVINFO}) {
        QVERIFY2(!main.MenuItem(item)->isEnabled(), qPrintable(QString::number(item)));
    }
    QVERIFY(main.MenuItem(IDM_FILEOPEN)->isEnabled());

    PlugCard();
    WaitForCard();
    QVERIFY(Enabled(MainControl(BT_READ)) && Enabled(MainControl(BT_CONFIG)));
    QVERIFY(main.MenuItem(IDM_DATAREAD)->isEnabled() && !Enabled(MainControl(BT_CANCEL)));
    QVERIFY(answers_->boxes.isEmpty());  // the version query at connection shows nothing
}

// A card of `razurozavi-cli simulate` is found by the program as by the companion: both
// look in the folder that RAZUROZAVI_SIMULATED_PORTS names.
void DesktopTest::findsTheCardsThatTheEnvironmentRegisters() {
    const fs::path registered = folder_ / "registered";
    fs::create_directories(registered);
    SimulatedCard card({.registration_dir = registered.string()});
    std::string why;
    QVERIFY2(card.Start(&why), why.c_str());
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromUtf8(SIMULATED_PORTS_ENV),
                       QString::fromStdString(registered.string()));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(RAZUROZAVI_DESKTOP), {});
    QVERIFY(program.waitForStarted());
    // Found, then asked for its version.
    QTRY_VERIFY_WITH_TIMEOUT(card.RequestsSeen("VR") > 0, 2 * CARD_FOUND_MS);
    program.terminate();
    QVERIFY(program.waitForFinished(5000));
    QCOMPARE(program.exitCode(), 0);
    card.Stop();
}

void DesktopTest::readOpensDataWindowWithTheCompanionsLines() {
    PlugCard();
    WaitForCard();
    Click(MainControl(BT_READ));
    QVERIFY(!Enabled(MainControl(BT_OPEN)) && Enabled(MainControl(BT_CANCEL)));
    QTRY_VERIFY_WITH_TIMEOUT(Layer().CurrentDataWindow() != nullptr, READ_DONE_MS);
    DataWindow& window = *Layer().CurrentDataWindow();
    QVERIFY(answers_->Saw(QStringLiteral("Leitura Bem Sucedida")));
    QVERIFY(Enabled(window.Control(BT_DATA_SAVE)));
    QCOMPARE(TextOf(window.Control(TXT_SERIAL)), QStringLiteral("Serial #: 1234"));
    QTRY_VERIFY(Enabled(MainControl(BT_OPEN)) && !Enabled(MainControl(BT_CANCEL)));

    const std::string image = File("read.mvta");
    QVERIFY(WeatherStationExport(image, data_in));
    const CommandResult listed = RunCommand({RAZUROZAVI_CLI, "list", image});
    QCOMPARE(listed.exit_status, 0);
    std::string shown;
    for (const std::string& line : window.Lines().Lines()) {
        shown += line + "\n";
    }
    QCOMPARE(window.Lines().Lines().size(), std::size_t{DEFAULT_READINGS});
    QCOMPARE(shown, listed.out);
}

void DesktopTest::readGoesOnWhileTheErrorBoxIsOpen() {
    SimulatedCardOptions options;
    std::string why;
    const std::optional<CardFault> error = ParseCardFault("error:at=8", &why);
    QVERIFY2(error.has_value(), why.c_str());
    options.faults.push_back(*error);
    PlugCard(options);
    WaitForCard();
    answers_->left_open = QStringLiteral("ERRO");
    Click(MainControl(BT_READ));
    // The chunk is asked again while the technician has not yet closed the box.
    QTRY_VERIFY_WITH_TIMEOUT(Layer().CurrentDataWindow() != nullptr, READ_DONE_MS);
    QCOMPARE(Layer().CurrentDataWindow()->Lines().Lines().size(), std::size_t{DEFAULT_READINGS});
    QVERIFY(answers_->CloseLeftOpen());
}

void DesktopTest::cardOfAnotherFirmwareEndsTheProgram() {
    SimulatedCardOptions options;
    options.firmware = "1.02";
    PlugCard(options);
    QTRY_COMPARE_WITH_TIMEOUT(Layer().RequestedExit(), std::optional<int>(0), CARD_FOUND_MS);
    QVERIFY(answers_->Saw(QString::fromUtf8(
        "Não é possível utilizar este software: Versão de firmware, do Keltrix, incompativel !")));
}

void DesktopTest::cancelDuringPacedRead() {
    SimulatedCardOptions options;
    options.readings = 32000;
    options.interval_s = 60;
    options.baud_pace = true;
    PlugCard(options);
    WaitForCard();
    Click(MainControl(BT_READ));
    QTRY_VERIFY_WITH_TIMEOUT(program_->Main().ProgressPosition() > 5, READ_DONE_MS);
    Click(MainControl(BT_CANCEL));
    QTRY_VERIFY_WITH_TIMEOUT(answers_->Saw(QStringLiteral("Leitura Cancelada")), 5000);
    QTRY_VERIFY(Enabled(MainControl(BT_READ)) && Enabled(MainControl(BT_OPEN)));
    QCOMPARE(program_->Main().ProgressPosition(), 0);
    QTest::qWait(300);
    QVERIFY(Layer().CurrentDataWindow() == nullptr);
}

void DesktopTest::configFillsTheWindowAndWriteReachesTheCard() {
    PlugCard();
    WaitForCard();
    Click(MainControl(BT_CONFIG));
    QTRY_VERIFY_WITH_TIMEOUT(Layer().CurrentConfigWindow() != nullptr, 5000);
    ConfigWindow& window = *Layer().CurrentConfigWindow();
    QVERIFY(answers_->Saw(QString::fromUtf8("Configuração lida com sucesso")));
    QCOMPARE(TextOf(window.Control(CFG_SERIAL)), QStringLiteral("1234"));
    QCOMPARE(TextOf(window.Control(CFG_TEMP_LOW)), QStringLiteral("2.0"));
    QCOMPARE(TextOf(window.Control(CFG_TEMP_HIGH)), QStringLiteral("8.0"));

    // The user's choice recomputes the recording time at once: 1000 x 10 min.
    auto* points = qobject_cast<QComboBox*>(window.Control(CFG_SAMPLE_POINTS));
    auto* rate = qobject_cast<QComboBox*>(window.Control(CFG_SAMPLE_RATE));
    rate->setCurrentIndex(6);
    emit rate->activated(6);
    points->setCurrentIndex(3);
    emit points->activated(3);
    QCOMPARE(config_values.sample_points, 1000);
    QCOMPARE(TextOf(window.Control(CFG_REC_TIME)), QStringLiteral("06d 22h 40min"));

    auto* description = qobject_cast<QLineEdit*>(window.Control(CFG_DESCRICAO));
    description->setText(QString::fromUtf8("Câmara 7 do depósito central"));  // 20 kept
    auto* start_delay = qobject_cast<QLineEdit*>(window.Control(CFG_START_DELAY));
    start_delay->clear();
    QTest::keyClicks(start_delay, QStringLiteral("1234567"));  // 5 digits kept
    // A decimal comma or point, whatever the user's locale.
    qobject_cast<QLineEdit*>(window.Control(CFG_TEMP_LOW))->setText(QStringLiteral("2,5"));
    qobject_cast<QLineEdit*>(window.Control(CFG_TEMP_HIGH))->setText(QStringLiteral("8.5"));

    Click(window.Control(BT_CONFIG_WRITE));
    QVERIFY(!Enabled(window.Control(BT_CONFIG_QUIT)));  // until the write ends
    QTRY_VERIFY_WITH_TIMEOUT(
        answers_->Saw(QString::fromUtf8("Configuração efetuada com sucesso\n")), 6000);
    QTRY_VERIFY(Enabled(window.Control(BT_CONFIG_QUIT)));
    const ConfigValues on_card = ConfigFromHeader(card_->Memory().data());
    QCOMPARE(on_card.sample_points, 1000);
    QCOMPARE(on_card.sample_rate, 600);
    QCOMPARE(on_card.start_delay, 12345);
    QCOMPARE(on_card.t_low_alarm, LoTempToAD(25));
    QCOMPARE(on_card.t_high_alarm, HiTempToAD(85));
    QCOMPARE(DescriptionBytes(on_card.descricao.data()),
             std::string("C\xe2mara 7 do dep\xf3sito"));  // Windows-1252 on the card
}

// Without a card: a limit that is no number is refused before anything is sent, and a
// write that is sent is not taken for written.
void DesktopTest::writeWithoutCardReportsTheError() {
    const std::string path = File("camara.mcfg");
    QVERIFY(SaveConfigFile(path, ConfigValues{.sample_points = 500, .sample_rate = 60}));
    answers_->paths.push_back(QString::fromStdString(path));
    Click(MainControl(BT_OPEN));
    QVERIFY(Layer().CurrentConfigWindow() != nullptr);
    ConfigWindow& window = *Layer().CurrentConfigWindow();
    QVERIFY(!Enabled(window.Control(BT_CONFIG_WRITE)));  // no card
    auto* low = qobject_cast<QLineEdit*>(window.Control(CFG_TEMP_LOW));
    const QString low_text = low->text();
    low->setText(QStringLiteral("xyz"));
    window.Command(BT_CONFIG_WRITE);  // the command runs even without its button
    QTRY_COMPARE_WITH_TIMEOUT(answers_->boxes.size(), 1, 6000);
    QVERIFY(answers_->boxes.back().text.startsWith(QStringLiteral("Temperatura Inf: digite")));
    QCOMPARE(answers_->boxes.back().icon, QMessageBox::Critical);
    QTRY_COMPARE(window.focusWidget(), static_cast<QWidget*>(low));
    QTRY_VERIFY(Enabled(window.Control(BT_CONFIG_QUIT)));  // the write has ended

    low->setText(low_text);
    window.Command(BT_CONFIG_WRITE);
    QTRY_VERIFY_WITH_TIMEOUT(answers_->Saw(QString::fromUtf8("Erro ao efetuar configuração")),
                             6000);
    QCOMPARE(answers_->boxes.size(), 2);
    QCOMPARE(answers_->boxes.back().icon, QMessageBox::Critical);
}

// The card starts a new recording on a write: Cancel sends nothing, Yes archives first.
void DesktopTest::gravarKeepsTheRecordingTheCardWouldLose() {
    PlugCard();
    WaitForCard();
    const MemoryImage recorded = card_->Memory();
    Click(MainControl(BT_CONFIG));
    QTRY_VERIFY_WITH_TIMEOUT(Layer().CurrentConfigWindow() != nullptr, 5000);
    ConfigWindow& window = *Layer().CurrentConfigWindow();
    const QString question = QString::fromStdString(UnarchivedReadingsQuestion(DEFAULT_READINGS));

    answers_->yes_no.push_back(QMessageBox::Cancel);
    Click(window.Control(BT_CONFIG_WRITE));
    QTRY_VERIFY_WITH_TIMEOUT(answers_->Saw(question), 6000);
    QTRY_VERIFY(Enabled(window.Control(BT_CONFIG_QUIT)));
    QCOMPARE(card_->RequestsSeen("AJ"), 0);

    answers_->yes_no.push_back(QMessageBox::Yes);
    Click(window.Control(BT_CONFIG_WRITE));
    QTRY_VERIFY_WITH_TIMEOUT(
        answers_->Saw(QString::fromUtf8("Configuração efetuada com sucesso\n")), 20000);
    QCOMPARE(card_->RequestsSeen("AJ"), 1);
    QCOMPARE(TextOf(MainControl(ID_STATUS)), QStringLiteral("Conectado"));  // not "Lendo..."
    MemoryImage kept{};
    std::string reason;
    QCOMPARE(ReadDataFile(File("arquivo/1234/20250602-080000.mvta"), kept, &reason),
             FileLoad::Loaded);
    const int read_part = HEADER_SIZE + 2 * DEFAULT_READINGS;
    QVERIFY(std::equal(recorded.begin(), recorded.begin() + read_part, kept.begin()));
}

void DesktopTest::closingWindowsRestoresTheMainWindow() {
    // Without a card: the file commands come back, the card's stay off.
    answers_->paths.push_back(QString::fromStdString(WriteDataFile("a.mvta", 7)));
    Click(MainControl(BT_OPEN));
    QVERIFY(Layer().CurrentDataWindow() != nullptr);
    Click(Layer().CurrentDataWindow()->Control(BT_DATA_QUIT));
    QTRY_VERIFY(Layer().CurrentDataWindow() == nullptr);
    QVERIFY(Enabled(MainControl(BT_OPEN)) && Enabled(MainControl(BT_QUIT)));
    QVERIFY(program_->Main().MenuItem(IDM_FILEOPEN)->isEnabled());
    QVERIFY(!Enabled(MainControl(BT_READ)) && !Enabled(MainControl(BT_CONFIG)));

    // With a card, closed through the caption: the card's commands come back too.
    PlugCard();
    WaitForCard();
    answers_->paths.push_back(QString::fromStdString(WriteDataFile("b.mvta", 8)));
    Click(MainControl(BT_OPEN));
    QVERIFY(!Enabled(MainControl(BT_OPEN)));
    QVERIFY(Layer().CurrentDataWindow()->close());
    QVERIFY(Enabled(MainControl(BT_OPEN)));
    for (int id : {BT_READ, BT_CONFIG, BT_INFO, BT_QUIT}) {
        QVERIFY(Enabled(MainControl(id)));
    }

    answers_->paths.push_back(QString::fromStdString(File("c.mcfg")));
    QVERIFY(SaveConfigFile(File("c.mcfg"), ConfigValues{.sample_rate = 43200, .temp_unit = 1}));
    Click(MainControl(BT_OPEN));
    ConfigWindow* config = Layer().CurrentConfigWindow();
    QVERIFY(config != nullptr);
    QCOMPARE(TextOf(config->Control(CFG_SAMPLE_RATE)), QStringLiteral("12h"));
    QVERIFY(Enabled(config->Control(BT_CONFIG_WRITE)));  // the card is there
    QVERIFY(config->close());
    QVERIFY(Layer().CurrentConfigWindow() == nullptr);
    QVERIFY(Enabled(MainControl(BT_OPEN)) && Enabled(MainControl(BT_READ)));

    program_->Main().MenuItem(IDM_HELPABOUT)->trigger();
    AboutBox* about = Layer().CurrentAboutBox();
    QVERIFY(about != nullptr && about->LogoLoaded());
    Click(about->Control(305));
    QTRY_VERIFY(Layer().CurrentAboutBox() == nullptr);
    QVERIFY(Enabled(MainControl(BT_OPEN)) && Enabled(MainControl(BT_READ)));
}

void DesktopTest::quitAnsweredNoThenYes() {
    answers_->yes_no.push_back(QMessageBox::No);
    Click(MainControl(BT_QUIT));
    QVERIFY(answers_->Saw(QStringLiteral("Realmente deseja Sair?")));
    QVERIFY(!Layer().RequestedExit().has_value());
    QVERIFY(program_->Main().isVisible());

    answers_->yes_no.push_back(QMessageBox::Yes);
    program_->Main().MenuItem(IDM_FILEEXIT)->trigger();
    QCOMPARE(answers_->boxes.size(), 2);
    QCOMPARE(Layer().RequestedExit(), std::optional<int>(0));
}

// An opened file shows its own serial number, can't be saved again, and its graph closes
// alone.
void DesktopTest::graphWindowOpensAndClosesAlone() {
    const std::string path = WriteDataFile("g.MVTA", 4321);
    answers_->paths.push_back(QString::fromStdString(path));
    Click(MainControl(BT_OPEN));
    DataWindow* data = Layer().CurrentDataWindow();
    QVERIFY(data != nullptr);
    QCOMPARE(data->windowTitle(), QString::fromStdString(path));
    QCOMPARE(TextOf(data->Control(TXT_SERIAL)), QStringLiteral("Serial #: 4321"));
    QVERIFY(!Enabled(data->Control(BT_DATA_SAVE)));
    QCOMPARE(data->Lines().Lines().size(), std::size_t{3});
    Click(data->Control(BT_DATA_GRAPH));
    GraphWindow* graph = Layer().CurrentGraphWindow();
    QVERIFY(graph != nullptr);
    QCOMPARE(graph->Series().graph_points, 3);
    Click(graph->Control(BT_GRAPH_CLOSE));
    QTRY_VERIFY(Layer().CurrentGraphWindow() == nullptr);
    QCOMPARE(Layer().CurrentDataWindow(), data);  // nothing else changes
    QVERIFY(!Enabled(MainControl(BT_OPEN)));
}

void DesktopTest::workerCallsArriveInOrderAndNeverHang() {
    // Posted calls keep their order behind a call that waits for its answer.
    std::string seen;
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) {
            Windows().SetControlText(WindowId::Main, ID_STATUS, std::to_string(i));
        }
        seen = Windows().ControlText(WindowId::Main, ID_STATUS);
        Windows().MessageBox(WindowId::Main, "pergunta", "T", MsgIcon::None, MsgButtons::Ok);
    });
    QTRY_VERIFY(answers_->Saw(QStringLiteral("pergunta")));
    worker.join();
    QCOMPARE(seen, std::string("199"));

    // A worker waiting for an answer that the GUI thread never gives is let go at the end.
    std::atomic<bool> answered{false};
    MsgAnswer answer = MsgAnswer::Yes;
    std::thread waiting([&] {
        answer =
            Windows().MessageBox(WindowId::Main, "sair?", "T", MsgIcon::None, MsgButtons::YesNo);
        answered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // no events processed
    QVERIFY(!answered);
    Layer().Close();
    waiting.join();
    QCOMPARE(answer, MsgAnswer::No);
}

int main(int argc, char** argv) {
    ProgramApplication app(argc, argv);
    DesktopTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "desktop_test.moc"
