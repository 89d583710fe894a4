// The data window's verdict line painted offscreen: green for a recording its profile
// passes, red for one it fails, the profile chosen in the drop-down and remembered, and
// the user's own profiles offered beside the built-in ones.

#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "sensor/temp.h"
#include "support/image_builder.h"
#include "ui/data_window.h"
#include "ui/program_application.h"
#include "ui/qt_window_layer.h"

namespace {

int Ad(int tenths) {
    for (int ad = 0; ad < 1024; ++ad) {
        if (ADToTemp_x10(ad) == tenths) {
            return ad;
        }
    }
    return -1;
}

// Five-minute readings at 5.0 C with `warm` of them at 8.5 C; limits 2.0 and 8.0 C and an
// alarm delay of a day, so that the card's own alarm never goes off.
MemoryImage Fridge(int warm) {
    ImageSpec spec;
    spec.sample_rate = 300;
    spec.t_low_ad = Ad(20);
    spec.t_high_ad = Ad(80);
    spec.readings.assign(40, Ad(50));
    spec.readings.insert(spec.readings.begin() + 10, warm, Ad(85));
    MemoryImage image = BuildImage(spec);
    PutBigEndian16(&image[OFF_ALARM_DELAY], 43200);
    return image;
}

enum class Hue { Red, Green };

int CountHue(const QImage& picture, Hue hue) {
    int found = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            const bool red = c.red() > 120 && c.green() < 60 && c.blue() < 60;
            const bool green = c.green() > 80 && c.red() < 60 && c.blue() < 60;
            found += (hue == Hue::Red ? red : green) ? 1 : 0;
        }
    }
    return found;
}

}  // namespace

class DataWindowTest final : public QObject {
    Q_OBJECT

  private slots:
    void init() { QSettings(QStringLiteral("razurozavi"), QStringLiteral("razurozavi")).clear(); }
    void verdictInGreenOrRedAndTheProfileRemembered();
    void usersOwnProfilesAndARefusedOne();
    void theVerdictFitsBetweenTheListAndTheButtons();

  private:
    // A data window on `image`, as a read or an open makes it.
    std::unique_ptr<DataWindow> Open(const MemoryImage& image) {
        data_in = image;
        return std::make_unique<DataWindow>(layer_);
    }
    static QLabel* Verdict(DataWindow& window) {
        return static_cast<QLabel*>(window.Control(TXT_VERDICT));
    }
    static QComboBox* Profiles(DataWindow& window) {
        return static_cast<QComboBox*>(window.Control(CB_PROFILE));
    }
    static QImage Picture(DataWindow& window) { return Verdict(window)->grab().toImage(); }

    QtWindowLayer layer_;
};

void DataWindowTest::verdictInGreenOrRedAndTheProfileRemembered() {
    const auto passing = Open(Fridge(0));
    QCOMPARE(Profiles(*passing)->currentText(), QStringLiteral("cartao"));
    QCOMPARE(Verdict(*passing)->text(), QString::fromUtf8("APROVADO — perfil cartao"));
    const QImage green = Picture(*passing);
    QVERIFY(CountHue(green, Hue::Green) > 50);
    QCOMPARE(CountHue(green, Hue::Red), 0);

    // 125 readings at 5 min are 10 h 25 min at 8.0 C or above.
    const auto failing = Open(Fridge(125));
    QCOMPARE(Verdict(*failing)->text(), QString::fromUtf8("APROVADO — perfil cartao"));
    Profiles(*failing)->setCurrentText(QStringLiteral("oms-30dtr"));
    QCOMPARE(Verdict(*failing)->text(),
             QString::fromUtf8("REPROVADO — perfil oms-30dtr: calor 10h 25min ≥ 8,0 °C"));
    const QImage red = Picture(*failing);
    QVERIFY(CountHue(red, Hue::Red) > 50);
    QCOMPARE(CountHue(red, Hue::Green), 0);

    // The next window, in this run or the next, opens with the profile last chosen.
    const auto next = Open(Fridge(119));
    QCOMPARE(Profiles(*next)->currentText(), QStringLiteral("oms-30dtr"));
    QCOMPARE(Verdict(*next)->text(), QString::fromUtf8("APROVADO — perfil oms-30dtr"));
    QCOMPARE(QSettings(QStringLiteral("razurozavi"), QStringLiteral("razurozavi"))
                 .value(QStringLiteral("dados/perfil"))
                 .toString(),
             QStringLiteral("oms-30dtr"));
}

void DataWindowTest::usersOwnProfilesAndARefusedOne() {
    const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME") + "/razurozavi/perfis";
    QVERIFY(QDir().mkpath(folder));
    std::ofstream(QString(folder + "/quente.perfil").toStdString())
        << "quente: temperature > 8.4 for 30min single\n";
    std::ofstream(QString(folder + "/torto.perfil").toStdString()) << "quente: temperature\n";
    std::ofstream(QString(folder + "/usp-crt.perfil").toStdString()) << "x: alarm below\n";

    const auto window = Open(Fridge(6));
    QStringList names;
    for (int i = 0; i < Profiles(*window)->count(); ++i) {
        names << Profiles(*window)->itemText(i);
    }
    QCOMPARE(names,
             (QStringList{"cartao", "oms-30dtr", "oms-qtag-1", "usp-crt", "quente", "torto"}));
    Profiles(*window)->setCurrentText(QStringLiteral("quente"));
    QCOMPARE(Verdict(*window)->text(),
             QString::fromUtf8("REPROVADO — perfil quente: quente 30min > 8,4 °C"));
    Profiles(*window)->setCurrentText(QStringLiteral("torto"));
    QVERIFY(Verdict(*window)->toolTip().startsWith(QString::fromUtf8("Perfil inválido: ") + folder +
                                                   "/torto.perfil, linha 1: esperado"));
    QVERIFY(CountHue(Picture(*window), Hue::Red) > 50);
}

void DataWindowTest::theVerdictFitsBetweenTheListAndTheButtons() {
    const auto window = Open(Fridge(0));
    const QRect list = window->List()->geometry();
    const QRect verdict = Verdict(*window)->geometry();
    const QRect chooser = Profiles(*window)->geometry();
    const QRect summary = window->Control(BT_DATA_PDF_SUMMARY)->geometry();
    const QRect save = window->Control(BT_DATA_SAVE)->geometry();
    const QRect close = window->Control(BT_DATA_QUIT)->geometry();
    QVERIFY(list.bottom() < verdict.top() && list.bottom() < chooser.top());
    QVERIFY(verdict.bottom() < save.top() && chooser.bottom() < close.top());
    QVERIFY(verdict.right() < summary.left() && summary.right() < chooser.left() &&
            chooser.right() <= close.right());
    QVERIFY(list.bottom() < summary.top() && summary.bottom() < save.top());
}

int main(int argc, char** argv) {
    // The remembered profile and the user's profiles live under a folder of the test's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    ProgramApplication app(argc, argv);
    DataWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "data_window_test.moc"
