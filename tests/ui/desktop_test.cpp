// The desktop program driven as a technician drives it, against the simulated card.

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
#include "app/recording_keeper.h"
#include "files/file.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/operation_engine.h"
#include "sensor/temp.h"
#include "simcard/simulated_card.h"
#include "support/image_builder.h"
#include "support/run_command.h"
#include "ui/config_window.h"
#include "ui/data_window.h"
#include "ui/graph_window.h"
#include "ui/main_window.h"
#include "ui/program_application.h"
#include "ui/qt_window_layer.h"

namespace fs = std::filesystem;

namespace {

constexpr int CARD_FOUND_MS = 2500;  // two port scans and the version query

// Answers every modal box and file dialog as told, and keeps what the boxes said.
class ModalAnswerer final : public QObject {
  public:
    ModalAnswerer() {
        connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::Poll);
        timer_.start(5);
    }
    std::deque<QMessageBox::StandardButton> yes_no;  // No once empty
    std::deque<QString> paths;                       // cancelled once empty
    QStringList boxes;
    QString left_open;  // a box with this text stays open until the test closes it

    bool Saw(const QString& text) const { return boxes.contains(text); }

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
            boxes.append(box->text());
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

    void findsTheCardsThatTheEnvironmentRegisters();
    void readOpensDataWindowWithTheCompanionsLines();
    void configFillsTheWindowAndWriteReachesTheCard();
    void closingWindowsRestoresTheMainWindow();
    void workerCallsArriveInOrderAndNeverHang();

  private:
    // The simulated card registered where the program looks; `options` as given.
    void PlugCard(SimulatedCardOptions options = {});
    void WaitForCard();
    QWidget* MainControl(int id) { return program_->Main().Control(id); }
    QtWindowLayer& Layer() { return program_->Layer(); }
    std::string File(const std::string& name) { return (folder_ / name).string(); }

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
    QTRY_VERIFY_WITH_TIMEOUT(card.RequestsSeen("VR") > 0, 2 * CARD_FOUND_MS);
    program.terminate();
    QVERIFY(program.waitForFinished(5000));
}

// A chunk's error box left open does not stop the read; the window lists what `list` does.
void DesktopTest::readOpensDataWindowWithTheCompanionsLines() {
    PlugCard({.faults = {{.kind = CardFaultKind::AnswerError, .first_request = 8}}});
    WaitForCard();
    answers_->left_open = QStringLiteral("ERRO");
    Click(MainControl(BT_READ));
    QTRY_VERIFY_WITH_TIMEOUT(Layer().CurrentDataWindow() != nullptr, 15000);
    QVERIFY(answers_->CloseLeftOpen());
    const std::string image = File("read.mvta");
    QVERIFY(WeatherStationExport(image, data_in));
    const CommandResult listed = RunCommand({RAZUROZAVI_CLI, "list", image});
    QCOMPARE(listed.exit_status, 0);
    std::string shown;
    for (const std::string& line : Layer().CurrentDataWindow()->Lines().Lines()) {
        shown += line + "\n";
    }
    QCOMPARE(shown, listed.out);
    QTRY_VERIFY(Enabled(MainControl(BT_OPEN)) && !Enabled(MainControl(BT_CANCEL)));
}

// Cancel sends nothing; Yes archives the recording first, then the edited fields go out.
void DesktopTest::configFillsTheWindowAndWriteReachesTheCard() {
    PlugCard();
    WaitForCard();
    const MemoryImage recorded = card_->Memory();
    Click(MainControl(BT_CONFIG));
    QTRY_VERIFY_WITH_TIMEOUT(Layer().CurrentConfigWindow() != nullptr, 5000);
    ConfigWindow& window = *Layer().CurrentConfigWindow();
    QCOMPARE(TextOf(window.Control(CFG_TEMP_LOW)), QStringLiteral("2.0"));
    answers_->yes_no = {QMessageBox::Cancel, QMessageBox::Yes};
    Click(window.Control(BT_CONFIG_WRITE));
    QTRY_VERIFY_WITH_TIMEOUT(
        answers_->Saw(QString::fromStdString(UnarchivedReadingsQuestion(DEFAULT_READINGS))), 6000);
    QTRY_VERIFY(Enabled(window.Control(BT_CONFIG_QUIT)));
    QCOMPARE(card_->RequestsSeen("AJ"), 0);

    auto* points = qobject_cast<QComboBox*>(window.Control(CFG_SAMPLE_POINTS));
    points->setCurrentIndex(3);
    emit points->activated(3);
    auto* description = qobject_cast<QLineEdit*>(window.Control(CFG_DESCRICAO));
    description->setText(QString::fromUtf8("Câmara 7 do depósito central"));  // 20 kept
    // A decimal comma or point, whatever the user's locale.
    qobject_cast<QLineEdit*>(window.Control(CFG_TEMP_LOW))->setText(QStringLiteral("2,5"));
    qobject_cast<QLineEdit*>(window.Control(CFG_TEMP_HIGH))->setText(QStringLiteral("8.5"));
    Click(window.Control(BT_CONFIG_WRITE));
    QTRY_VERIFY_WITH_TIMEOUT(
        answers_->Saw(QString::fromUtf8("Configuração efetuada com sucesso\n")), 20000);
    const ConfigValues on_card = ConfigFromHeader(card_->Memory().data());
    QCOMPARE(on_card.sample_points, 1000);
    QCOMPARE(on_card.t_low_alarm, LoTempToAD(25));
    QCOMPARE(on_card.t_high_alarm, HiTempToAD(85));
    QCOMPARE(DescriptionBytes(on_card.descricao.data()),
             std::string("C\xe2mara 7 do dep\xf3sito"));  // Windows-1252 on the card
    MemoryImage kept{};
    std::string reason;
    QCOMPARE(ReadDataFile(File("arquivo/1234/20250602-080000.mvta"), kept, &reason),
             FileLoad::Loaded);
    const int read_part = HEADER_SIZE + 2 * DEFAULT_READINGS;
    QVERIFY(std::equal(recorded.begin(), recorded.begin() + read_part, kept.begin()));
}

void DesktopTest::closingWindowsRestoresTheMainWindow() {
    // An opened file shows its own serial, can't be saved again, and its graph closes alone.
    const std::string data_file = File("g.MVTA");
    WeatherStationExport(data_file, BuildImage({.serial = 4321, .readings = {624, 625, 626}}));
    answers_->paths.push_back(QString::fromStdString(data_file));
    Click(MainControl(BT_OPEN));
    DataWindow* data = Layer().CurrentDataWindow();
    QVERIFY(data != nullptr);
    QCOMPARE(TextOf(data->Control(TXT_SERIAL)), QStringLiteral("Serial #: 4321"));
    QVERIFY(!Enabled(data->Control(BT_DATA_SAVE)));
    Click(data->Control(BT_DATA_GRAPH));
    QVERIFY(Layer().CurrentGraphWindow() != nullptr);
    Click(Layer().CurrentGraphWindow()->Control(BT_GRAPH_CLOSE));
    QTRY_VERIFY(Layer().CurrentGraphWindow() == nullptr);
    QCOMPARE(Layer().CurrentDataWindow(), data);
    Click(data->Control(BT_DATA_QUIT));
    QTRY_VERIFY(Layer().CurrentDataWindow() == nullptr);
    QVERIFY(Enabled(MainControl(BT_OPEN)) && !Enabled(MainControl(BT_READ)));

    // With a card, closing through the caption gives the card's commands back too.
    PlugCard();
    WaitForCard();
    answers_->paths.push_back(QString::fromStdString(File("c.mcfg")));
    QVERIFY(SaveConfigFile(File("c.mcfg"), ConfigValues{.sample_rate = 43200, .temp_unit = 1}));
    Click(MainControl(BT_OPEN));
    ConfigWindow* config = Layer().CurrentConfigWindow();
    QVERIFY(config != nullptr);
    QCOMPARE(TextOf(config->Control(CFG_SAMPLE_RATE)), QStringLiteral("12h"));
    QVERIFY(config->close());
    QVERIFY(Enabled(MainControl(BT_OPEN)) && Enabled(MainControl(BT_READ)));

    answers_->yes_no = {QMessageBox::No, QMessageBox::Yes};
    Click(MainControl(BT_QUIT));
    QVERIFY(!Layer().RequestedExit().has_value());
    program_->Main().MenuItem(IDM_FILEEXIT)->trigger();
    QCOMPARE(Layer().RequestedExit(), std::optional<int>(0));
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
