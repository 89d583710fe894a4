// The windows on a small screen and at the keyboard: the data window's list shows its last
// line whole, windows too large for the screen scroll instead of losing controls, Escape
// closes a window and Enter presses the focused button.

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
    QVERIFY(list != nullptr);
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
    QVERIFY(window->width() <= 800 && window->height() <= 500);
    // Only the height was short: the width keeps every column, beside the scroll bar.
    QVERIFY(window->width() > client.width());
    auto* area = window->findChild<QScrollArea*>();
    QVERIFY(area != nullptr);
    QWidget* write = window->Control(BT_CONFIG_WRITE);
    QVERIFY(write != nullptr && area->widget()->isAncestorOf(write));
    window->show();
    area->ensureWidgetVisible(write);
    QCoreApplication::processEvents();
    const QRect shown(write->mapTo(window, QPoint(0, 0)), write->size());
    QVERIFY(window->rect().contains(shown));
    // A window that fits stays as it is.
    auto* fitting = new ConfigWindow(layer_);
    QVERIFY(!FitIntoArea(fitting, QSize(1366, 768)));
    QCOMPARE(fitting->size(), client);
    window->close();
    fitting->close();

    // The main window keeps its menu; its client area scrolls whole under it.
    MainWindow& main = layer_.CreateMainWindow();
    const QSize main_client = main.size();
    QVERIFY(FitIntoArea(&main, QSize(800, 500)));
    auto* main_area = qobject_cast<QScrollArea*>(main.centralWidget());
    QVERIFY(main_area != nullptr);
    QCOMPARE(main_area->widget()->width(), main_client.width());
    QCOMPARE(main_area->widget()->height(),
             main_client.height() - main.menuBar()->sizeHint().height());
    QWidget* status = main.Control(ID_STATUS);
    QVERIFY(status != nullptr && main_area->widget()->isAncestorOf(status));
}

void WindowKeysTest::escapeClosesAndEnterPresses() {
    const MemoryImage image{};
    for (QWidget* window : std::initializer_list<QWidget*>{
             new DataWindow(layer_), new ConfigWindow(layer_), new AboutBox(layer_),
             new GraphWindow(layer_, image, QSize(800, 500))}) {
        QPointer<QWidget> escaped = window;
        escaped->show();
        QWidget* focused = escaped->findChild<QPushButton*>();
        QVERIFY(focused != nullptr);
        QTest::keyClick(focused, Qt::Key_Escape);
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
    std::vector<int> visited;
    for (std::size_t k = 0; k < std::size(CONFIG_TAB_ORDER); ++k) {
        QWidget* focused = QApplication::focusWidget();
        int found = -1;
        for (int id : CONFIG_TAB_ORDER) {
            if (window->Control(id) == focused) {
                found = id;
            }
        }
        QVERIFY2(found != -1, "Tab left the fields for a read-only one or another window");
        visited.push_back(found);
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    QCOMPARE(visited, std::vector<int>(std::begin(CONFIG_TAB_ORDER), std::end(CONFIG_TAB_ORDER)));
    window->close();
}

int main(int argc, char** argv) {
    ProgramApplication app(argc, argv);
    WindowKeysTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_keys_test.moc"
