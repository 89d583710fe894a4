// The data window's verdict line painted offscreen, its profile chosen and remembered.

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
    int ad = 0;
    while (ad < 1023 && ADToTemp_x10(ad) != tenths) {
        ++ad;
    }
    return ad;
}

// 5.0 C every 5 min, `warm` readings at 8.5 C; limits 2.0/8.0 C, the card's alarm never set off.
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
    QCOMPARE(Verdict(*passing)->text(), QString::fromUtf8("APROVADO — perfil cartao"));
    QVERIFY(CountHue(Picture(*passing), Hue::Green) > 50);
    QCOMPARE(CountHue(Picture(*passing), Hue::Red), 0);

    // 125 readings at 5 min are 10 h 25 min at 8.0 C or above.
    const auto failing = Open(Fridge(125));
    Profiles(*failing)->setCurrentText(QStringLiteral("oms-30dtr"));
    QCOMPARE(Verdict(*failing)->text(),
             QString::fromUtf8("REPROVADO — perfil oms-30dtr: calor 10h 25min ≥ 8,0 °C"));
    QVERIFY(CountHue(Picture(*failing), Hue::Red) > 50);
    QCOMPARE(CountHue(Picture(*failing), Hue::Green), 0);

    // The next window, in this run or the next, opens with the profile last chosen.
    const auto next = Open(Fridge(119));
    QCOMPARE(Profiles(*next)->currentText(), QStringLiteral("oms-30dtr"));
    QCOMPARE(Verdict(*next)->text(), QString::fromUtf8("APROVADO — perfil oms-30dtr"));
}

void DataWindowTest::usersOwnProfilesAndARefusedOne() {
    const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME") + "/razurozavi/perfis";
    QVERIFY(QDir().mkpath(folder));
    std::ofstream(QString(folder + "/quente.perfil").toStdString())
        << "quente: temperature > 8.4 for 30min single\n";
    std::ofstream(QString(folder + "/torto.perfil").toStdString()) << "quente: temperature\n";
    std::ofstream(QString(folder + "/usp-crt.perfil").toStdString()) << "x: alarm below\n";

    const auto window = Open(Fridge(6));
    // The user's "usp-crt" does not hide the built-in one: the list has it once.
    QCOMPARE(Profiles(*window)->count(), 6);
    QCOMPARE(Profiles(*window)->itemText(4), QStringLiteral("quente"));
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
    const int list_bottom = window->List()->geometry().bottom();
    const int buttons_top = window->Control(BT_DATA_SAVE)->geometry().top();
    QWidget* row[] = {Verdict(*window), window->Control(BT_DATA_PDF_SUMMARY), Profiles(*window)};
    for (int k = 0; k < 3; ++k) {
        const QRect at = row[k]->geometry();
        QVERIFY(list_bottom < at.top() && at.bottom() < buttons_top);
        QVERIFY(k == 0 || row[k - 1]->geometry().right() < at.left());
    }
}

int main(int argc, char** argv) {
    QTemporaryDir config;  // the remembered profile and the user's own
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    ProgramApplication app(argc, argv);
    DataWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "data_window_test.moc"
