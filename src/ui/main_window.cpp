#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QSvgRenderer>

#include "app/integrity_command.h"
#include "app/main_commands.h"
#include "app/open_command.h"
#include "link/serial.h"
#include "ui/qt_window_layer.h"
#include "ui/station_window.h"

namespace {

// The commands the reading station turns off: buttons and menu items alike.
constexpr int LOCKED_COMMANDS[] = {BT_OPEN,        BT_READ,      BT_INFO,          BT_CONFIG,
                                   BT_CANCEL,      IDM_FILEOPEN, IDM_FILEVERIFY,   IDM_DATAREAD,
                                   IDM_DATACANCEL, IDM_CONFIG,   IDM_HELPCONVINFO, IDM_DATASTATION};

bool IsLockedCommand(int id) {
    for (int locked : LOCKED_COMMANDS) {
        if (locked == id) {
            return true;
        }
    }
    return false;
}

constexpr int CLIENT_WIDTH = 640;
constexpr int CLIENT_HEIGHT = 480;

// The background picture, painted under the controls.
class Background final : public QWidget {
  public:
    explicit Background(QWidget* parent) : QWidget(parent) {
        QSvgRenderer renderer(QStringLiteral(":/background.svg"));
        if (renderer.isValid()) {
            picture_ = QPixmap(CLIENT_WIDTH, CLIENT_HEIGHT);
            picture_.fill(Qt::transparent);
            QPainter painter(&picture_);
            renderer.render(&painter, QRectF(0, 0, CLIENT_WIDTH, CLIENT_HEIGHT));
        }
    }
    bool Loaded() const { return !picture_.isNull(); }

  protected:
    void paintEvent(QPaintEvent*) override {
        if (Loaded()) {
            QPainter(this).drawPixmap(0, 0, picture_);
        }
    }

  private:
    QPixmap picture_;
};

}  // namespace

MainWindow::MainWindow(QtWindowLayer& layer) : layer_(layer) {
    setWindowTitle(QStringLiteral("RazuRozavi v1.05"));
    auto* client = new Background(this);
    setCentralWidget(client);
    BuildMenu();
    MakeFixedWindow(this, CLIENT_WIDTH, CLIENT_HEIGHT + menuBar()->sizeHint().height(),
                    {640, 480, -45});

    const auto button = [&](const char* text, int id, int x, int y) {
        auto* pushed = Place(new QPushButton(QString::fromUtf8(text), client), id, x, y, 80, 25);
        connect(pushed, &QPushButton::clicked, this, [this, id] { Command(id); });
        return pushed;
    };
    button("Abrir", BT_OPEN, 20, 95);
    button("Ler", BT_READ, 20, 135);
    button("Info", BT_INFO, 20, 175);
    button("Config", BT_CONFIG, 20, 215);
    for (int id : {BT_READ, BT_INFO, BT_CONFIG}) {
        EnableControl(id, false);
    }
    button("Sair", BT_QUIT, 20, 255);
    progress_ = Place(new QProgressBar(client), ID_PROGRESS, 52, 385, 528, 30);
    progress_->setRange(0, PROGRESS_RANGE_MAX);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    button("Cancelar", BT_CANCEL, 275, 425);
    EnableControl(BT_CANCEL, false);
    auto* status =
        Place(new QLabel(QStringLiteral("Desconectado"), client), ID_STATUS, 2, 457, 628, 20);
    status->setAlignment(Qt::AlignCenter);
    status->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status->setAutoFillBackground(true);

    if (!client->Loaded()) {
        ShowMessage(WindowId::Main, "Load of resources failed.", "Error", MsgIcon::Stop);
    }
}

void MainWindow::BuildMenu() {
    const auto item = [&](QMenu* menu, const char* text, int id) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        connect(action, &QAction::triggered, this, [this, id] { Command(id); });
        menu_items_[id] = action;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Arquivo"));
    item(file, "&Abrir...", IDM_FILEOPEN);
    item(file, "&Verificar integridade...", IDM_FILEVERIFY);
    file->addSeparator();
    item(file, "S&air", IDM_FILEEXIT);
    QMenu* data = menuBar()->addMenu(QStringLiteral("&Dados"));
    item(data, "&Ler", IDM_DATAREAD);
    item(data, "&Estação de leitura...", IDM_DATASTATION);
    data->addSeparator();
    item(data, "&Cancelar", IDM_DATACANCEL);
    QMenu* config = menuBar()->addMenu(QStringLiteral("&Config"));
    item(config, "&Configuração", IDM_CONFIG);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Ajuda"));
    item(help, "&Info", IDM_HELPCONVINFO);
    help->addSeparator();
    item(help, "&Sobre...", IDM_HELPABOUT);
}

QAction* MainWindow::MenuItem(int menu_id) const {
    const auto found = menu_items_.find(menu_id);
    return found == menu_items_.end() ? nullptr : found->second;
}

void MainWindow::EnableMenuItem(int menu_id, bool enabled) {
    if (IsLockedCommand(menu_id)) {
        wanted_enabled_[menu_id] = enabled;
        Apply(menu_id);
        // The station is one more thing the window does: not while a read or a file is open.
        if (menu_id == IDM_FILEOPEN) {
            wanted_enabled_[IDM_DATASTATION] = enabled;
            Apply(IDM_DATASTATION);
        }
    } else if (QAction* action = MenuItem(menu_id)) {
        action->setEnabled(enabled);
    }
}

void MainWindow::EnableControl(int control_id, bool enabled) {
    if (IsLockedCommand(control_id)) {
        wanted_enabled_[control_id] = enabled;
        Apply(control_id);
    } else if (QWidget* control = Control(control_id)) {
        control->setEnabled(enabled);
    }
}

void MainWindow::Apply(int id) {
    const auto wanted = wanted_enabled_.find(id);
    const bool enabled = !locked_ && (wanted == wanted_enabled_.end() || wanted->second);
    if (QAction* action = MenuItem(id)) {
        action->setEnabled(enabled);
    } else if (QWidget* control = Control(id)) {
        control->setEnabled(enabled);
    }
}

void MainWindow::LockCommands(bool locked) {
    locked_ = locked;
    for (int id : LOCKED_COMMANDS) {
        Apply(id);
    }
}

void MainWindow::OpenStation() {
    if (station_ == nullptr) {
        station_ = new StationWindow(*this);
    }
    station_->show();
    station_->raise();
    station_->activateWindow();
}

void MainWindow::SetProgressRange(int low, int high) {
    progress_->setRange(low, high);
}

void MainWindow::SetProgressPosition(int position) {
    progress_->setValue(position);
}

int MainWindow::ProgressPosition() const {
    return progress_->value();
}

void MainWindow::Command(int id) {
    switch (id) {
        case BT_OPEN:
        case IDM_FILEOPEN:
            CommandOpen();
            break;
        case IDM_FILEVERIFY:
            CommandVerifyIntegrity();
            break;
        case BT_READ:
        case IDM_DATAREAD:
            CommandRead();
            break;
        case BT_CONFIG:
        case IDM_CONFIG:
            CommandConfig();
            break;
        case BT_INFO:
        case IDM_HELPCONVINFO:
            buscaVersao(true);
            break;
        case BT_QUIT:
        case IDM_FILEEXIT:
            if (Windows().MessageBox(WindowId::Main, "Realmente deseja Sair?", "Sair",
                                     MsgIcon::Exclamation, MsgButtons::YesNo) == MsgAnswer::Yes) {
                layer_.EndProcess(0);
            }
            break;
        case BT_CANCEL:
        case IDM_DATACANCEL:
            CommandCancel();
            break;
        case IDM_HELPABOUT:
            layer_.OpenAboutBox();
            break;
        case IDM_DATASTATION:
            OpenStation();
            break;
        default:
            break;
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing the main window asks nothing and ends the program.
    event->accept();
    layer_.EndProcess(0);
}
