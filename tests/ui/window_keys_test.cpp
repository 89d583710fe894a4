// The windows on a small screen and at the keyboard.

#include <QListView>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QtTest>

#include "base/control_ids.h"
#include "ui/about_box.h"
#include "ui/config_window.h"
#include "ui/data_window.h"
#include "ui/graph_window.h"
#include "ui/main_window.h"
#include "ui/program_application.h"
#include "ui/qt_window_layer.h"

class WindowKeysTest final : public QObject {
    Q_OBJECT

  private slots:
    void dataListShowsItsLastLineWhole();
    void windowTooLargeForTheScreenScrolls();
    void escapeClosesAndEnterPresses();
    void tabFollowsTheConfigurationTopToBottom();

  private:
    QtWindowLayer layer_;
};

void WindowKeysTest::dataListShowsItsLastLineWhole() {
    auto* window = new DataWindow(layer_);
    std::vector<std::string> lines;
    for (int i = 1; i <= 500; ++i) {
        lines.push_back(std::to_string(i) + "\t12:00:00\t01.01.25\t5.0\t2.0\t8.0\t");
    }
    window->AddListLines(LIST1, std::move(lines));
    window->show();
    auto* list = window->findChild<QListView*>();
    list->scrollToBottom();
    QCoreApplication::processEvents();
    const QRect last = list->visualRect(list->model()->index(499, 0));
    QVERIFY(last.isValid() && list->viewport()->rect().contains(last));
    window->close();
}

void WindowKeysTest::windowTooLargeForTheScreenScrolls() {
    auto* window = new ConfigWindow(layer_);
    const QSize client = window->size();
    // A 1600 x 1000 screen at scale 2.
    QVERIFY(FitIntoArea(window, QSize(800, 500)));
    // Only the height was short: the width keeps every column, beside the scroll bar.
    QVERIFY(window->width() > client.width() && window->width() <= 800 && window->height() <= 500);
    auto* area = window->findChild<QScrollArea*>();
    QWidget* write = window->Control(BT_CONFIG_WRITE);
    QVERIFY(area != nullptr && area->widget()->isAncestorOf(write));
    window->show();
    area->ensureWidgetVisible(write);
    QCoreApplication::processEvents();
    const QRect shown(write->mapTo(window, QPoint(0, 0)), write->size());
    QVERIFY(window->rect().contains(shown));
    window->close();

    // The main window keeps its menu; its client area scrolls whole under it.
    MainWindow& main = layer_.CreateMainWindow();
    const QSize main_client = main.size();
    QVERIFY(FitIntoArea(&main, QSize(800, 500)));
    auto* main_area = qobject_cast<QScrollArea*>(main.centralWidget());
    QCOMPARE(main_area->widget()->height(),
             main_client.height() - main.menuBar()->sizeHint().height());
    QVERIFY(main_area->widget()->isAncestorOf(main.Control(ID_STATUS)));
}

void WindowKeysTest::escapeClosesAndEnterPresses() {
    for (QWidget* window : std::initializer_list<QWidget*>{
             new DataWindow(layer_), new ConfigWindow(layer_), new AboutBox(layer_),
             new GraphWindow(layer_, MemoryImage{}, QSize(800, 500))}) {
        QPointer<QWidget> escaped = window;
        escaped->show();
        QTest::keyClick(escaped->findChild<QPushButton*>(), Qt::Key_Escape);
        QTRY_VERIFY(escaped.isNull() || !escaped->isVisible());
    }

    QPointer<DataWindow> entered = new DataWindow(layer_);
    entered->show();
    entered->Control(BT_DATA_QUIT)->setFocus();
    QTest::keyClick(entered->Control(BT_DATA_QUIT), Qt::Key_Return);
    QTRY_VERIFY(entered.isNull());
}

void WindowKeysTest::tabFollowsTheConfigurationTopToBottom() {
    auto* window = new ConfigWindow(layer_);
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    for (int id : {BT_CONFIG_WRITE, BT_CONFIG_QUIT}) {
        window->Control(id)->setEnabled(true);
    }
    window->Control(CONFIG_TAB_ORDER[0])->setFocus();
    for (int id : CONFIG_TAB_ORDER) {  // never a read-only field or another window
        QCOMPARE(QApplication::focusWidget(), window->Control(id));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    window->close();
}

int main(int argc, char** argv) {
    ProgramApplication app(argc, argv);
    WindowKeysTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_keys_test.moc"
