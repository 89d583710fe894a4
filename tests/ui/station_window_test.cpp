// The reading station window against simulated cards: the companion runs as a child, each
// card gets one row, and the main window's commands stay off while the station runs.

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>

#include "app/recording_keeper.h"
#include "app/station_command.h"
#include "files/file.h"
#include "link/serial.h"
#include "simcard/simulated_card.h"
#include "ui/main_window.h"
#include "ui/program_application.h"
#include "ui/qt_window_layer.h"
#include "ui/station_window.h"

namespace fs = std::filesystem;

namespace {

constexpr int CARDS_DONE_MS = 30000;

bool Enabled(QWidget* control) {
    return control != nullptr && control->isEnabled();
}

}  // namespace

class StationWindowTest final : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void missingCompanionIsSaid();
    void theCardTheMainWindowHeldIsReadAndRearmed();
    void closingTheWindowStopsTheStation();
    void aRefusedConfigurationEndsTheStationAndSaysWhy();

  private:
    std::unique_ptr<SimulatedCard> Plug(SimulatedCardOptions options);
    StationWindow& OpenStation();
    template <typename Widget>
    Widget* Find(const char* name) {
        return station_->findChild<Widget*>(QString::fromLatin1(name));
    }
    QString Cell(int row, int column) {
        const QTableWidgetItem* item = Find<QTableWidget>("rows")->item(row, column);
        return item == nullptr ? QString() : item->text();
    }

    fs::path folder_;
    QByteArray path_;
    std::unique_ptr<DesktopProgram> program_;
    StationWindow* station_ = nullptr;
};

void StationWindowTest::init() {
    char pattern[] = "/tmp/razurozavi-station-XXXXXX";
    QVERIFY(mkdtemp(pattern) != nullptr);
    folder_ = pattern;
    fs::create_directories(folder_ / "ports");
    fs::create_directories(folder_ / "sys");  // no real ports
    SetDeviceMapRoots((folder_ / "sys").string(), (folder_ / "ports").string());
    qputenv(SIMULATED_PORTS_ENV, (folder_ / "ports").string().c_str());
    SetArchiveFolder((folder_ / "arquivo").string());
    path_ = qgetenv("PATH");
    const std::string companion_dir = fs::path(RAZUROZAVI_CLI).parent_path().string();
    qputenv("PATH", QByteArray::fromStdString(companion_dir) + ":" + path_);
    program_ = std::make_unique<DesktopProgram>(*static_cast<ProgramApplication*>(qApp));
    program_->Start();
}

void StationWindowTest::cleanup() {
    program_.reset();
    station_ = nullptr;
    qputenv("PATH", path_);
    SetArchiveFolder("");
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::unique_ptr<SimulatedCard> StationWindowTest::Plug(SimulatedCardOptions options) {
    options.registration_dir = (folder_ / "ports").string();
    auto card = std::make_unique<SimulatedCard>(options);
    std::string why;
    if (!card->Start(&why)) {
        qWarning("%s", why.c_str());
        return nullptr;
    }
    return card;
}

StationWindow& StationWindowTest::OpenStation() {
    MainWindow& main = program_->Main();
    main.MenuItem(IDM_DATASTATION)->trigger();
    station_ = main.Station();
    return *station_;
}

void StationWindowTest::missingCompanionIsSaid() {
    // Neither beside the test nor on the path.
    qputenv("PATH", (folder_ / "sys").string().c_str());
    StationWindow& station = OpenStation();
    QVERIFY(station.isVisible());
    Find<QPushButton>("start")->click();
    QVERIFY(!station.Running());
    QCOMPARE(Find<QLabel>("status")->text(), QString::fromStdString(MissingCompanionText()));
    QVERIFY(Enabled(program_->Main().Control(BT_OPEN)));
}

void StationWindowTest::theCardTheMainWindowHeldIsReadAndRearmed() {
    const std::string profile = (folder_ / "nova.mcfg").string();
    QVERIFY(SaveConfigFile(profile, ConfigValues{.sample_points = 1000, .sample_rate = 300}));

    MainWindow& main = program_->Main();
    // Found by the main window first, which holds its port until the station starts.
    auto kept = Plug({.readings = 300});
    QVERIFY(kept);
    QTRY_COMPARE_WITH_TIMEOUT(qobject_cast<QLabel*>(main.Control(ID_STATUS))->text(),
                              QStringLiteral("Conectado"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(Enabled(main.Control(BT_READ)), 5000);
    StationWindow& station = OpenStation();
    QCOMPARE(Find<QLineEdit>("archive")->text(),
             QString::fromStdString((folder_ / "arquivo").string()));
    station.SetProfile(profile);
    Find<QPushButton>("start")->click();
    QVERIFY(station.Running());
    for (int id : {BT_OPEN, BT_READ, BT_INFO, BT_CONFIG}) {
        QVERIFY2(!Enabled(main.Control(id)), qPrintable(QString::number(id)));
    }
    for (int item : {IDM_FILEOPEN, IDM_DATAREAD, IDM_CONFIG, IDM_DATASTATION}) {
        QVERIFY2(!main.MenuItem(item)->isEnabled(), qPrintable(QString::number(item)));
    }

    QTRY_COMPARE_WITH_TIMEOUT(Cell(0, 6), QString::fromUtf8("Reprogramado — pode retirar"),
                              CARDS_DONE_MS);
    // The row as the archived file has it.
    QCOMPARE(Cell(0, 0), QStringLiteral("1234"));
    QCOMPARE(Cell(0, 1), QStringLiteral("Camara fria 01"));
    QCOMPARE(Cell(0, 3), QStringLiteral("02.06.25 05:05:00"));

    Find<QPushButton>("stop")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!station.Running(), 5000);
    QTRY_VERIFY(Enabled(main.Control(BT_OPEN)));
    QVERIFY(main.MenuItem(IDM_FILEOPEN)->isEnabled() &&
            main.MenuItem(IDM_DATASTATION)->isEnabled());
    // The main window watches for a card again.
    QTRY_COMPARE_WITH_TIMEOUT(qobject_cast<QLabel*>(main.Control(ID_STATUS))->text(),
                              QStringLiteral("Conectado"), 5000);
}

void StationWindowTest::closingTheWindowStopsTheStation() {
    MainWindow& main = program_->Main();
    StationWindow& station = OpenStation();
    Find<QPushButton>("start")->click();
    QVERIFY(station.Running());
    QVERIFY(!Enabled(main.Control(BT_OPEN)));
    station.close();
    QVERIFY(!station.Running());
    QVERIFY(Enabled(main.Control(BT_OPEN)));
    QVERIFY(main.MenuItem(IDM_DATASTATION)->isEnabled());
}

void StationWindowTest::aRefusedConfigurationEndsTheStationAndSaysWhy() {
    const std::string profile = (folder_ / "curto.mcfg").string();
    QVERIFY(WriteWholeFile(profile, "curto"));
    MainWindow& main = program_->Main();
    StationWindow& station = OpenStation();
    station.SetProfile(profile);
    Find<QPushButton>("start")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!station.Running(), 5000);
    QCOMPARE(Find<QLabel>("status")->text(),
             QString::fromUtf8("A estação parou: Erro: Arquivo Inválido: curto.mcfg: o arquivo "
                               "tem 5 bytes em vez de 35"));
    QVERIFY(Enabled(main.Control(BT_OPEN)));
    QVERIFY(Enabled(Find<QPushButton>("start")));
}

int main(int argc, char** argv) {
    ProgramApplication app(argc, argv);
    StationWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "station_window_test.moc"
