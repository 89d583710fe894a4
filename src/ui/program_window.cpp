#include "ui/program_window.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <algorithm>

void MakeFixedWindow(QWidget* window, int client_width, int client_height,
                     WindowPlacement placement) {
    window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint);
    window->setFixedSize(client_width, client_height);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->geometry();
        window->move(
            std::max(0, (desktop.width() - placement.width_for_x) / 2),
            std::max(0, (desktop.height() - placement.height_for_y) / 2 + placement.y_shift));
    }
}

namespace {

// What a window's frame and title bar take beside its client area.
constexpr int FRAME_ALLOWANCE = 16;
constexpr int TITLE_ALLOWANCE = 48;

QScrollArea* ScrollAreaFor(QWidget* content, QWidget* parent) {
    auto* area = new QScrollArea(parent);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(content);
    return area;
}

}  // namespace

bool FitIntoArea(QWidget* window, QSize available) {
    const QSize client = window->size();
    const QSize room(available.width() - FRAME_ALLOWANCE, available.height() - TITLE_ALLOWANCE);
    if ((client.width() <= room.width() && client.height() <= room.height()) || room.width() <= 0 ||
        room.height() <= 0) {
        return false;
    }
    // A scroll bar in one direction takes room from the other: give it where there is some.
    const int bar = window->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    QSize fits = client.boundedTo(room);
    if (fits.height() < client.height()) {
        fits.setWidth(std::min(fits.width() + bar, room.width()));
    }
    if (fits.width() < client.width()) {
        fits.setHeight(std::min(fits.height() + bar, room.height()));
    }
    if (auto* main = qobject_cast<QMainWindow*>(window)) {
        // The menu stays; what is under it scrolls.
        QWidget* central = main->takeCentralWidget();
        const int menu = main->menuBar() != nullptr ? main->menuBar()->sizeHint().height() : 0;
        central->setFixedSize(client.width(), client.height() - menu);
        main->setCentralWidget(ScrollAreaFor(central, main));
    } else {
        auto* content = new QWidget;
        content->setFixedSize(client);
        for (QObject* child : window->children()) {
            auto* widget = qobject_cast<QWidget*>(child);
            if (widget == nullptr || widget->isWindow()) {
                continue;
            }
            const bool shown = !widget->isHidden();
            const QRect place = widget->geometry();
            widget->setParent(content);
            widget->setGeometry(place);
            widget->setVisible(shown);
        }
        ScrollAreaFor(content, window)->setGeometry(0, 0, fits.width(), fits.height());
    }
    window->setFixedSize(fits);
    window->move(0, 0);
    return true;
}

void FitToScreen(QWidget* window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        FitIntoArea(window, screen->availableGeometry().size());
    }
}
