#include "ui/program_window.h"

#include <QGuiApplication>
#include <QScreen>
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
