// The reading station window, the companion its child, against simulated cards.

#include <QAction>
#include <QLabel>
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

class StationWindowTest final : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void theCardTheMainWindowHeldIsReadAndRearmed();
    void aRefusedConfigurationEndsTheStationAndSaysWhy();

  private:
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

StationWindow& StationWindowTest::OpenStation() {
    MainWindow& main = program_->Main();
    main.MenuItem(IDM_DATASTATION)->trigger();
    station_ = main.Station();
    return *station_;
}

void StationWindowTest::theCardTheMainWindowHeldIsReadAndRearmed() {
    const std::string profile = (folder_ / "nova.mcfg").string();
    QVERIFY(SaveConfigFile(profile, ConfigValues{.sample_points = 1000, .sample_rate = 300}));
    MainWindow& main = program_->Main();
    // Found by the main window first, which holds its port until the station starts.
    SimulatedCard kept({.readings = 300, .registration_dir = (folder_ / "ports").string()});
    std::string why;
    QVERIFY2(kept.Start(&why), why.c_str());
    QTRY_VERIFY_WITH_TIMEOUT(main.Control(BT_READ)->isEnabled(), 5000);
    StationWindow& station = OpenStation();
    station.SetProfile(profile);
    Find<QPushButton>("start")->click();
    QVERIFY(station.Running());
    for (int id : {BT_OPEN, BT_READ, BT_CONFIG}) {
        QVERIFY2(!main.Control(id)->isEnabled(), qPrintable(QString::number(id)));
    }
    QTRY_COMPARE_WITH_TIMEOUT(Cell(0, 6), QString::fromUtf8("Reprogramado — pode retirar"), 30000);
    QCOMPARE(Cell(0, 0), QStringLiteral("1234"));

    // Closing the window stops the station; the main window watches for a card again.
    station.close();
    QVERIFY(!station.Running());
    QTRY_COMPARE_WITH_TIMEOUT(qobject_cast<QLabel*>(main.Control(ID_STATUS))->text(),
                              QStringLiteral("Conectado"), 5000);
    QVERIFY(main.MenuItem(IDM_DATASTATION)->isEnabled());
}

void StationWindowTest::aRefusedConfigurationEndsTheStationAndSaysWhy() {
    const std::string profile = (folder_ / "curto.mcfg").string();
    QVERIFY(WriteWholeFile(profile, "curto"));
    StationWindow& station = OpenStation();
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", (folder_ / "sys").string().c_str());  // no companion anywhere
    Find<QPushButton>("start")->click();
    QVERIFY(!station.Running());
    QCOMPARE(Find<QLabel>("status")->text(), QString::fromStdString(MissingCompanionText()));

    qputenv("PATH", path);
    station.SetProfile(profile);
    Find<QPushButton>("start")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!station.Running(), 5000);
    QCOMPARE(Find<QLabel>("status")->text(),
             QString::fromUtf8("A estação parou: Erro: Arquivo Inválido: curto.mcfg: o arquivo "
                               "tem 5 bytes em vez de 35"));
    QVERIFY(Find<QPushButton>("start")->isEnabled());
}

int main(int argc, char** argv) {
    ProgramApplication app(argc, argv);
    StationWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "station_window_test.moc"
