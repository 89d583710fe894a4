// razurozavi-screenshots: every window of the desktop program as a PNG file, for the
// documentation. The program runs offscreen as a technician uses it, against the simulated
// card: its real buttons are clicked and its message boxes answered, and each window is
// grabbed while it shows.
//
//   razurozavi-screenshots [OUTPUT_FOLDER]   (default: the current folder)

#include <utime.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QSettings>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "app/recording_keeper.h"
#include "files/file.h"
#include "files/ledger.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/config_values.h"
#include "logger/memory_image.h"
#include "logger/operation_engine.h"
#include "logger/reading_list.h"
#include "reports/pdf_graph.h"
#include "sensor/temp.h"
#include "simcard/refrigerator_recording.h"
#include "simcard/simulated_card.h"
#include "ui/about_box.h"
#include "ui/config_window.h"
#include "ui/data_window.h"
#include "ui/graph_window.h"
#include "ui/main_window.h"
#include "ui/program_application.h"
#include "ui/qt_window_layer.h"
#include "ui/station_window.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* TOOL = "razurozavi-screenshots";
constexpr int POLL_MS = 10;
constexpr int CARD_FOUND_MS = 10000;  // a port scan every 1.1 s, then the version query
constexpr int CARD_GONE_MS = 10000;
constexpr int READ_DONE_MS = 60000;
constexpr int WINDOW_SHOWN_MS = 10000;
constexpr int BOX_SETTLE_MS = 200;      // a message box sizes itself once shown
constexpr int DIALOG_SETTLE_MS = 1500;  // the file dialog lists the folder from a thread
constexpr int PAINT_SETTLE_MS = 300;    // calls queued by the workers reach the windows
constexpr int PACED_READINGS = 32000;   // a paced read of these lasts several seconds
constexpr std::chrono::seconds WATCHDOG{300};
constexpr int ABOUT_BOX_OK = 305;  // the about box's only button
const QSize GRAPH_PICTURE_SIZE(1280, 720);
const QSize GRAPH_RESTORED_SIZE(900, 560);

class Failure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Ends the process when the run hangs anywhere, even in a blocked call of the program.
class Watchdog {
  public:
    Watchdog() {
        thread_ = std::thread([this] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!ended_.wait_for(lock, WATCHDOG, [this] { return done_; })) {
                std::fprintf(stderr, "%s: still running after %lld s; giving up\n", TOOL,
                             static_cast<long long>(WATCHDOG.count()));
                std::_Exit(1);
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        ended_.notify_all();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread thread_;
};

void SavePicture(QWidget* widget, const QString& path) {
    const QPixmap picture = widget->grab();
    if (picture.isNull() || !picture.save(path, "PNG")) {
        throw Failure("could not write " + path.toStdString());
    }
    std::printf("%s: wrote %s (%dx%d)\n", TOOL, qPrintable(path), picture.width(),
                picture.height());
    std::fflush(stdout);
}

// A modal widget to be pictured: the first one `matches` accepts is saved once it has been
// shown for `settle_ms`, then `answer` closes it.
struct ModalCapture {
    QString path;
    std::function<bool(QWidget*)> matches;
    int settle_ms = BOX_SETTLE_MS;
    std::function<void(QWidget*)> answer;
};

// Answers every modal message box and file dialog: OK, or No when it asks, and a file dialog
// cancelled; the one capture asked for is pictured first. The message boxes' texts are kept.
class ModalAnswerer {
  public:
    ModalAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(POLL_MS);
    }
    void Capture(ModalCapture capture) {
        capture_ = std::move(capture);
        captured_ = false;
        capture_error_.clear();
    }
    // The capture asked for last was saved; throws otherwise.
    void RequireCaptured() {
        if (!capture_ || !captured_) {
            throw Failure("the window for " +
                          (capture_ ? capture_->path.toStdString() : std::string("?")) +
                          " did not appear (boxes seen: " + SeenText() + ")");
        }
        if (!capture_error_.isEmpty()) {
            throw Failure(capture_error_.toStdString());
        }
    }
    // File dialogs choose `path` instead of being cancelled; nothing: cancelled again.
    void AnswerFileDialogs(std::optional<QString> path) { file_answer_ = std::move(path); }
    bool Saw(const QString& text) const { return seen_.contains(text); }
    std::string SeenText() const { return seen_.join(QStringLiteral(" | ")).toStdString(); }

  private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        if (modal != current_) {
            current_ = modal;
            shown_.start();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                seen_.append(box->text());
            }
        }
        if (capture_ && !captured_ && capture_->matches(modal)) {
            if (shown_.elapsed() < capture_->settle_ms) {
                return;
            }
            captured_ = true;
            const QPixmap picture = modal->grab();
            if (picture.isNull() || !picture.save(capture_->path, "PNG")) {
                capture_error_ = QStringLiteral("could not write ") + capture_->path;
            } else {
                std::printf("%s: wrote %s (%dx%d)\n", TOOL, qPrintable(capture_->path),
                            picture.width(), picture.height());
                std::fflush(stdout);
            }
            capture_->answer(modal);
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            const bool asks = (box->standardButtons() & QMessageBox::No) != 0;
            if (QAbstractButton* button = box->button(asks ? QMessageBox::No : QMessageBox::Ok)) {
                button->click();
            }
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            if (file_answer_) {
                dialog->selectFile(*file_answer_);
                static_cast<QDialog*>(dialog)->accept();  // QFileDialog's own is protected
            } else {
                dialog->reject();
            }
        }
    }

    QTimer timer_;
    QPointer<QWidget> current_;
    QElapsedTimer shown_;
    QStringList seen_;
    std::optional<ModalCapture> capture_;
    std::optional<QString> file_answer_;
    bool captured_ = false;
    QString capture_error_;
};

// Runs the event loop until `done` holds; throws after `timeout_ms`.
void WaitFor(const std::string& what, int timeout_ms, const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > timeout_ms) {
            throw Failure("timed out after " + std::to_string(timeout_ms) + " ms waiting for " +
                          what);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, POLL_MS);
        std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
    }
}

void Settle(int ms) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, POLL_MS);
        std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
    }
}

bool Enabled(QWidget* control) {
    return control != nullptr && control->isEnabled();
}

QString LabelText(QWidget* control) {
    auto* label = qobject_cast<QLabel*>(control);
    return label == nullptr ? QString() : label->text();
}

void Click(QWidget* control, const char* name) {
    auto* button = qobject_cast<QAbstractButton*>(control);
    if (button == nullptr) {
        throw Failure(std::string("no button ") + name);
    }
    if (!button->isEnabled()) {
        throw Failure(std::string("the button ") + name + " is disabled");
    }
    button->click();
}

// The sample files of the "Abrir" picture carry this date, not the date of each run, so that
// the picture changes only when the program does.
void SetFixedDate(const fs::path& path) {
    std::tm date{};
    date.tm_year = 2024 - 1900;
    date.tm_mon = 2;
    date.tm_mday = 15;
    date.tm_hour = 10;
    date.tm_isdst = -1;
    const std::time_t when = std::mktime(&date);
    const utimbuf times{when, when};
    utime(path.c_str(), &times);
}

class Session {
  public:
    Session(ProgramApplication& app, QString output) : app_(app), output_(std::move(output)) {}
    ~Session() { End(); }

    void Run() {
        MakeFolder();
        program_ = std::make_unique<DesktopProgram>(app_);
        program_->Start();

        PlugCard({});
        WaitForCard();
        Settle(PAINT_SETTLE_MS);
        SavePicture(&Main(), Path("main-window.png"));

        AboutBox();
        QuitQuestion();
        DataWindowAfterRead();
        ConfigWindowFromCard();
        OpenDialog();
        IntegrityCheck();
        PacedReadThenCancel();
        StationWithSeveralCards();
    }

    // The program first, as its workers talk to the card; then the card and the folder.
    void End() {
        if (program_) {
            program_->Stop();
            program_.reset();
        }
        UnplugCard();
        if (!folder_.empty()) {
            std::error_code ignored;
            fs::remove_all(folder_, ignored);
            folder_.clear();
        }
    }

  private:
    MainWindow& Main() { return program_->Main(); }
    QtWindowLayer& Layer() { return program_->Layer(); }
    QWidget* MainControl(int id) { return Main().Control(id); }
    QString Path(const char* name) const { return QDir(output_).filePath(QString(name)); }

    void MakeFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = (tmp != nullptr && *tmp != '\0' ? std::string(tmp) : "/tmp");
        pattern += "/razurozavi-screenshots-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw Failure("no temporary folder in " + pattern);
        }
        folder_ = pattern;
        // The file dialog keeps its history and sizes in Qt's settings: a private set leaves
        // the user's alone and makes the picture the same on every machine.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString((folder_ / "settings").string()));
        fs::create_directories(folder_ / "ports");
        fs::create_directories(folder_ / "sys");  // no real ports: only the simulated card
        SetDeviceMapRoots((folder_ / "sys").string(), (folder_ / "ports").string());
    }

    void PlugCard(SimulatedCardOptions options) {
        options.registration_dir = (folder_ / "ports").string();
        card_ = std::make_unique<SimulatedCard>(options);
        std::string why;
        if (!card_->Start(&why)) {
            throw Failure("the simulated card could not be plugged in: " + why);
        }
    }

    void UnplugCard() {
        if (card_) {
            card_->Stop();
            card_.reset();
        }
    }

    void WaitForCard() {
        WaitFor("the status \"Conectado\" and the card's firmware", CARD_FOUND_MS, [this] {
            return LabelText(MainControl(ID_STATUS)) == QStringLiteral("Conectado") &&
                   FirmwareNumber() == ACCEPTED_FIRMWARE && dl_state == DL_IDLE &&
                   Enabled(MainControl(BT_READ));
        });
    }

    void AboutBox() {
        Main().MenuItem(IDM_HELPABOUT)->trigger();
        WaitFor("the about box", WINDOW_SHOWN_MS, [this] {
            return Layer().CurrentAboutBox() != nullptr && Layer().CurrentAboutBox()->isVisible();
        });
        Settle(PAINT_SETTLE_MS);
        ::AboutBox* about = Layer().CurrentAboutBox();
        SavePicture(about, Path("about-box.png"));
        Click(about->Control(ABOUT_BOX_OK), "OK of the about box");
        WaitFor("the about box to close", WINDOW_SHOWN_MS,
                [this] { return Layer().CurrentAboutBox() == nullptr; });
    }

    void QuitQuestion() {
        answers_.Capture({Path("quit-question.png"),
                          [](QWidget* modal) {
                              auto* box = qobject_cast<QMessageBox*>(modal);
                              return box != nullptr &&
                                     box->text() == QStringLiteral("Realmente deseja Sair?");
                          },
                          BOX_SETTLE_MS,
                          [](QWidget* modal) {
                              auto* box = static_cast<QMessageBox*>(modal);
                              QAbstractButton* no = box->button(QMessageBox::No);
                              if (no == nullptr) {
                                  box->reject();  // taken for No as well
                                  return;
                              }
                              if (no->text().remove(QLatin1Char('&')) != QString::fromUtf8("Não")) {
                                  std::fprintf(stderr,
                                               "%s: warning: the quit question's No button "
                                               "reads \"%s\": Qt's translation is missing\n",
                                               TOOL, qPrintable(no->text()));
                              }
                              no->click();
                          }});
        // The box runs its own loop inside the click, where the answerer pictures it.
        Click(MainControl(BT_QUIT), "Sair");
        answers_.RequireCaptured();
        if (Layer().RequestedExit().has_value()) {
            throw Failure("the quit question was not answered No");
        }
    }

    void DataWindowAfterRead() {
        Click(MainControl(BT_READ), "Ler");
        WaitFor("the data window with the card's readings", READ_DONE_MS, [this] {
            DataWindow* window = Layer().CurrentDataWindow();
            return window != nullptr && window->isVisible() &&
                   window->Lines().Lines().size() == std::size_t{DEFAULT_READINGS} &&
                   Enabled(MainControl(BT_OPEN)) && !Enabled(MainControl(BT_CANCEL));
        });
        Settle(PAINT_SETTLE_MS);
        DataWindow* window = Layer().CurrentDataWindow();
        SavePicture(window, Path("data-window.png"));
        GraphPictures();
        VerdictPictures();
        Click(window->Control(BT_DATA_QUIT), "Fechar of the data window");
        WaitFor("the data window to close", WINDOW_SHOWN_MS,
                [this] { return Layer().CurrentDataWindow() == nullptr; });
    }

    // The verdict line on the week the card holds, which the 30-day recorder's rules pass,
    // and on one whose cold room stayed warm for over ten hours.
    void VerdictPictures() {
        const MemoryImage passing = BuildDefaultRecording(DEFAULT_READINGS, DEFAULT_INTERVAL_S);
        const MemoryImage failing = [&] {
            MemoryImage warm = passing;
            for (int i = 1000; i < 1125; ++i) {
                PutReading(warm, i, RecordedAD(85));
            }
            return warm;
        }();
        const MemoryImage shown = data_in;
        for (const auto& [image, name] : {std::pair{&passing, "data-window-aprovado.png"},
                                          std::pair{&failing, "data-window-reprovado.png"}}) {
            data_in = *image;
            DataWindow window(Layer());
            window.AddListLines(LIST1, ReadingListLines(*image));
            static_cast<QComboBox*>(window.Control(CB_PROFILE))
                ->setCurrentText(QStringLiteral("oms-30dtr"));
            window.show();
            Settle(PAINT_SETTLE_MS);
            SavePicture(&window, Path(name));
        }
        data_in = shown;
    }

    // The week just read, also restored to a smaller size, and a day whose cold room failed
    // twice, at a desktop's size.
    void GraphPictures() {
        {
            GraphWindow week(Layer(), data_in, GRAPH_PICTURE_SIZE);
            SavePicture(&week, Path("graph-window.png"));
            week.show();
            week.resize(GRAPH_RESTORED_SIZE);
            Settle(PAINT_SETTLE_MS);
            SavePicture(&week, Path("graph-window-resized.png"));
        }
        MemoryImage failing = BuildDefaultRecording(720, 120);
        for (int i = 0; i < 720; ++i) {
            int tenths = 45 + (i % 60 < 30 ? i % 60 : 60 - i % 60) / 3;
            if (i >= 200 && i < 320) {
                tenths += (i < 260 ? i - 200 : 320 - i) * 2;  // the compressor stopped
            }
            if (i >= 520 && i < 560) {
                tenths -= (i < 540 ? i - 520 : 560 - i) * 3;  // the thermostat stuck cold
            }
            PutReading(failing, i, RecordedAD(tenths));
        }
        GraphWindow alarms(Layer(), failing, GRAPH_PICTURE_SIZE);
        SavePicture(&alarms, Path("graph-window-alarms.png"));
    }

    void ConfigWindowFromCard() {
        Click(MainControl(BT_CONFIG), "Config");
        WaitFor("the configuration window filled from the card", READ_DONE_MS, [this] {
            ConfigWindow* window = Layer().CurrentConfigWindow();
            return window != nullptr && window->isVisible() &&
                   answers_.Saw(QString::fromUtf8("Configuração lida com sucesso")) &&
                   Enabled(window->Control(BT_CONFIG_WRITE)) && dl_state == DL_IDLE;
        });
        Settle(PAINT_SETTLE_MS);
        ConfigWindow* window = Layer().CurrentConfigWindow();
        SavePicture(window, Path("config-window.png"));
        Click(window->Control(BT_CONFIG_QUIT), "Fechar of the configuration window");
        WaitFor("the configuration window to close", WINDOW_SHOWN_MS,
                [this] { return Layer().CurrentConfigWindow() == nullptr; });
    }

    // The dialog opens in the current folder: one where a technician keeps the card's files.
    void OpenDialog() {
        const fs::path documents = folder_ / "Documentos";
        const char* reports = "Relatórios";
        fs::create_directories(documents / reports);
        if (!WeatherStationExport((documents / "camara-fria-01.mvta").string(), data_in) ||
            !SaveConfigFile((documents / "camara-fria-01.mcfg").string(), config_values)) {
            throw Failure("could not write the sample files in " + documents.string());
        }
        for (const char* name : {reports, "camara-fria-01.mvta", "camara-fria-01.mcfg"}) {
            SetFixedDate(documents / name);
        }
        const fs::path before = fs::current_path();
        fs::current_path(documents);
        answers_.Capture(
            {Path("open-dialog.png"),
             [](QWidget* modal) { return qobject_cast<QFileDialog*>(modal) != nullptr; },
             DIALOG_SETTLE_MS, [](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); }});
        Click(MainControl(BT_OPEN), "Abrir");
        fs::current_path(before);
        answers_.RequireCaptured();
        if (Layer().CurrentDataWindow() != nullptr || Layer().CurrentConfigWindow() != nullptr) {
            throw Failure("the cancelled \"Abrir\" opened a window");
        }
    }

    // An archive of two recordings and a report, one recording changed since: the ledger
    // chosen in the dialog, the outcome per file.
    void IntegrityCheck() {
        const fs::path archive = folder_ / "Documentos" / "arquivo";
        const long card_serial = ConfigFromHeader(data_in.data()).serial;
        const std::string serial = std::to_string(card_serial);
        fs::create_directories(archive / serial);
        const std::string first = serial + "/20261205-050907.mvta";
        const std::string report = serial + "/20261205-050907-grafico.pdf";
        const std::string second = serial + "/20261212-050907.mvta";
        std::string reason;
        const auto record = [&](const char* action, const std::string& file) {
            LedgerEvent event;
            event.action = action;
            event.serial = card_serial;
            event.file = file;
            if (!AppendLedgerLine(archive.string(), event, &reason)) {
                throw Failure("could not record " + file + ": " + reason);
            }
        };
        if (!WeatherStationExport((archive / first).string(), data_in) ||
            !WriteGraphReportFile((archive / report).string(), data_in, TimeBase::Adjusted,
                                  &reason) ||
            !WeatherStationExport((archive / second).string(), data_in)) {
            throw Failure("could not write the archive in " + archive.string());
        }
        record("archive", first);
        record("report", report);
        record("archive", second);
        MemoryImage changed = data_in;
        PutReading(changed, 10, RecordedAD(85));
        WeatherStationExport((archive / second).string(), changed);

        answers_.Capture({Path("integrity-check.png"),
                          [](QWidget* modal) {
                              auto* box = qobject_cast<QMessageBox*>(modal);
                              return box != nullptr &&
                                     box->windowTitle() == QStringLiteral("Verificar integridade");
                          },
                          BOX_SETTLE_MS,
                          [](QWidget* modal) { static_cast<QMessageBox*>(modal)->accept(); }});
        answers_.AnswerFileDialogs(QString::fromStdString((archive / LEDGER_FILE_NAME).string()));
        Main().MenuItem(IDM_FILEVERIFY)->trigger();
        answers_.AnswerFileDialogs(std::nullopt);
        answers_.RequireCaptured();
    }

    void PacedReadThenCancel() {
        UnplugCard();
        WaitFor("the program to notice the card is gone", CARD_GONE_MS, [this] {
            return LabelText(MainControl(ID_STATUS)) != QStringLiteral("Conectado") &&
                   !Enabled(MainControl(BT_READ));
        });
        SimulatedCardOptions options;
        options.readings = PACED_READINGS;
        options.baud_pace = true;
        PlugCard(options);
        WaitForCard();

        Click(MainControl(BT_READ), "Ler");
        auto* progress = qobject_cast<QProgressBar*>(MainControl(ID_PROGRESS));
        if (progress == nullptr) {
            throw Failure("no progress bar");
        }
        WaitFor("the paced read's progress bar to pass a third", READ_DONE_MS, [progress] {
            const int span = progress->maximum() - progress->minimum();
            return span > 0 && progress->value() - progress->minimum() > span / 3;
        });
        if (!Enabled(MainControl(BT_CANCEL))) {
            throw Failure("\"Cancelar\" is disabled during the read");
        }
        SavePicture(&Main(), Path("main-window-reading.png"));

        Click(MainControl(BT_CANCEL), "Cancelar");
        WaitFor("the message \"Leitura Cancelada\"", WINDOW_SHOWN_MS,
                [this] { return answers_.Saw(QStringLiteral("Leitura Cancelada")); });
        WaitFor("the main window's commands after the cancel", WINDOW_SHOWN_MS, [this] {
            return Enabled(MainControl(BT_READ)) && Enabled(MainControl(BT_OPEN)) &&
                   dl_state == DL_IDLE;
        });
    }

    // A card of the station's picture: its own serial number and description (Windows-1252).
    std::unique_ptr<SimulatedCard> StationCard(SimulatedCardOptions options, long serial,
                                               const char* description) {
        options.registration_dir = (folder_ / "ports").string();
        auto card = std::make_unique<SimulatedCard>(options);
        std::string why;
        if (!card->Start(&why)) {
            throw Failure("a simulated card could not be plugged in: " + why);
        }
        MemoryImage memory = card->Memory();
        memory[OFF_SERIAL] = static_cast<std::uint8_t>(serial >> 16);
        memory[OFF_SERIAL + 1] = static_cast<std::uint8_t>(serial >> 8);
        memory[OFF_SERIAL + 2] = static_cast<std::uint8_t>(serial);
        std::fill_n(&memory[OFF_DESCRICAO], DESCRIPTION_SIZE, 0);
        std::memcpy(&memory[OFF_DESCRICAO], description, std::strlen(description));
        card->SetMemory(memory);
        return card;
    }

    QString StationState(StationWindow* station, long serial) {
        for (const StationRow& row : station->Table().Rows()) {
            if (row.serial == serial) {
                return QString::fromStdString(row.state);
            }
        }
        return {};
    }

    // One card archived, one archived and given a new configuration, one whose read failed,
    // and one being read.
    void StationWithSeveralCards() {
        UnplugCard();
        // A configuration write is logged in the working folder: the private one, not the
        // user's.
        fs::current_path(folder_);
        // Under the home folder, where a technician keeps them: the window shows "~/...".
        const fs::path home = QDir::homePath().toStdString();
        const std::string archive = (home / ".local/share/razurozavi/arquivo").string();
        SetArchiveFolder(archive);
        setenv(SIMULATED_PORTS_ENV, (folder_ / "ports").string().c_str(), 1);
        fs::create_directories(home / "Documentos");
        const std::string profile = (home / "Documentos/camara-fria.mcfg").string();
        if (!SaveConfigFile(profile, ConfigValues{.sample_points = 2016, .sample_rate = 300})) {
            throw Failure("no configuration file for the station");
        }
        Main().MenuItem(IDM_DATASTATION)->trigger();
        StationWindow* station = Main().Station();
        if (station == nullptr) {
            throw Failure("no station window");
        }
        const auto start = [station] {
            Click(station->findChild<QWidget*>(QStringLiteral("start")), "Iniciar");
        };
        const auto stop = [station] {
            Click(station->findChild<QWidget*>(QStringLiteral("stop")), "Parar");
            WaitFor("the station to stop", WINDOW_SHOWN_MS,
                    [station] { return !station->Running(); });
        };

        start();
        auto archived = StationCard({.readings = 2016}, 20101, "C\xE2mara fria 01");
        WaitFor("the first card archived", READ_DONE_MS,
                [&] { return StationState(station, 20101) == QStringLiteral("Arquivado"); });
        stop();
        archived.reset();

        station->SetProfile(profile);
        start();
        auto rearmed = StationCard({.readings = 1500}, 20102,
                                   "Vacinas 2 a 8 \xB0"
                                   "C");
        auto failing = StationCard(
            {.readings = 900,
             .faults = {CardFault{.kind = CardFaultKind::StopAnswering, .first_request = 3}}},
            20103,
            "Farm\xE1"
            "cia balc\xE3o");
        WaitFor("the second card rearmed and the third failed", READ_DONE_MS, [&] {
            return StationState(station, 20102).startsWith(QStringLiteral("Reprogramado")) &&
                   StationState(station, 20103) == QStringLiteral("Leitura Cancelada");
        });
        SimulatedCardOptions paced;
        paced.readings = PACED_READINGS;
        paced.baud_pace = true;
        auto reading = StationCard(paced, 20104, "Caminh\xE3o refrigerado");
        WaitFor("the fourth card a third read", READ_DONE_MS, [&] {
            const QString state = StationState(station, 20104);
            return state.startsWith(QStringLiteral("Lendo ")) &&
                   state.mid(6).section(QLatin1Char(' '), 0, 0).toInt() >= 33;
        });
        Settle(PAINT_SETTLE_MS);
        SavePicture(station, Path("station-window.png"));
        stop();
    }

    ProgramApplication& app_;
    QString output_;
    fs::path folder_;
    ModalAnswerer answers_;
    std::unique_ptr<SimulatedCard> card_;
    std::unique_ptr<DesktopProgram> program_;
};

// The offscreen platform's notes that it cannot raise windows say nothing about the pictures.
void QuietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith(QLatin1String("This plugin does not support"))) {
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(QuietOffscreenNotes);
    ProgramApplication app(argc, argv);
    // The pictures show the Portuguese interface whatever the system's language.
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    LoadTranslations(app);

    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 2 || (arguments.size() == 2 && arguments[1].startsWith('-'))) {
        std::fprintf(stderr, "usage: %s [OUTPUT_FOLDER]\n", TOOL);
        return 2;
    }
    const QString output =
        QDir(arguments.size() == 2 ? arguments[1] : QStringLiteral(".")).absolutePath();
    if (!QDir().mkpath(output)) {
        std::fprintf(stderr, "%s: cannot make the folder %s\n", TOOL, qPrintable(output));
        return 1;
    }

    Watchdog watchdog;
    Session session(app, output);
    try {
        session.Run();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s: %s\n", TOOL, failure.what());
        session.End();
        return 1;
    }
    session.End();
    return 0;
}
