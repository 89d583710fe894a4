#include "ui/config_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include "app/config_file_commands.h"
#include "app/main_commands.h"
#include "link/serial.h"
#include "logger/operation_engine.h"
#include "logger/reading_list.h"
#include "ui/qt_window_layer.h"

namespace {

constexpr int CLIENT_WIDTH = 404;
constexpr int CLIENT_HEIGHT = 533;
constexpr int BUTTONS_Y = 500;
constexpr int DELAY_MAX_CHARS = 5;
constexpr int COMBO_HEIGHT = 24;
constexpr int ITEM_HEIGHT = 16;

constexpr int CONFIG_BUTTONS[] = {BT_CONFIG_OPEN, BT_CONFIG_SAVE, BT_CONFIG_WRITE, BT_CONFIG_QUIT};

}  // namespace

ConfigWindow::ConfigWindow(QtWindowLayer& layer) : layer_(layer) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Config"));
    MakeFixedWindow(this, CLIENT_WIDTH, CLIENT_HEIGHT, {410, 465, -15});

    const auto label = [&](const char* text, int x, int y, int width,
                           Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
        auto* made = Place(new QLabel(QString::fromUtf8(text), this), 0, x, y, width, 24);
        made->setAlignment(align);
    };
    // `list_height` is the opened list's, as the drop-down shows that many entries.
    const auto list = [&](int id, std::initializer_list<const char*> entries, int x, int y,
                          int width, int list_height) {
        auto* box = Place(new QComboBox(this), id, x, y, width, COMBO_HEIGHT);
        for (const char* entry : entries) {
            box->addItem(QString::fromUtf8(entry));
        }
        box->setMaxVisibleItems(std::max(1, list_height / ITEM_HEIGHT));
        box->setCurrentIndex(-1);
        // Only the user's choice recomputes; the view's own selection does not.
        connect(box, &QComboBox::activated, this, [] { CalcRecTime(); });
    };
    const auto edit = [&](int id, const char* text, int x, int y, int width, int height) {
        auto* made = Place(new QLineEdit(QString::fromUtf8(text), this), id, x, y, width, height);
        return made;
    };
    const auto check = [&](int id, const char* text, int x, int y, int width) {
        Place(new QCheckBox(QString::fromUtf8(text), this), id, x, y, width, 24);
    };

    Place(new QGroupBox(QString::fromUtf8("Configurações Básicas"), this), 0, 15, 10, 375, 250);
    label("Numero de Amostras:", 25, 40, 150);
    list(CFG_SAMPLE_POINTS,
         {"50", "100", "500", "1000", "2000", "4000", "6000", "8000", "10000", "12000", "14000",
          "16000", "32000"},
         200, 40, 150, 250);
    label("Taxa de Amostragem:", 25, 70, 150);
    list(
        CFG_SAMPLE_RATE,
        {"2s", "5s", "10s", "30s", "1min", "5min", "10min", "30min", "1h", "2h", "3h", "6h", "12h"},
        200, 70, 150, 250);
    label("Tempo de Gravação:", 25, 100, 150);
    QLineEdit* rec_time = edit(CFG_REC_TIME, "xxd xxh xxmin xxs", 200, 100, 150, 24);
    rec_time->setReadOnly(true);
    rec_time->setAlignment(Qt::AlignCenter);
    label("Ciclo Pisca LED:", 25, 130, 150);
    label("Serial:", 25, 160, 150);
    QLineEdit* serial = edit(CFG_SERIAL, "serial", 200, 160, 150, 24);
    serial->setReadOnly(true);
    serial->setAlignment(Qt::AlignCenter);
    label("Descrição:", 25, 190, 150);
    QLineEdit* description = edit(CFG_DESCRICAO, "descricao", 200, 190, 170, 24);
    description->setAlignment(Qt::AlignCenter);
    description->setMaxLength(DESCRIPTION_MAX_CHARS);
    check(CFG_NUVEM, "Modo nuvem ativo", 200, 220, 170);
    list(CFG_LED_CYCLE, {"10s", "20s", "30s"}, 200, 130, 150, 200);

    Place(new QGroupBox(QString::fromUtf8("Configurações do Alarme"), this), 0, 15, 270, 375, 200);
    check(CFG_FLASH_ALARM, "Piscar LED quando Alarme", 25, 300, 250);
    label("Temperatura", 25, 330, 350, Qt::AlignCenter);
    label("Inf", 25, 360, 30);
    edit(CFG_TEMP_LOW, "", 65, 360, 40, 21);
    label("Sup", 120, 360, 30);
    edit(CFG_TEMP_HIGH, "", 160, 360, 40, 21);
    label("Unid:", 215, 360, 30);
    list(CFG_TEMP_UNIT, {"Celsius", "Fahrenheit"}, 255, 360, 100, 110);
    label("Delay (s)", 25, 400, 350, Qt::AlignCenter);
    label("Inicio", 25, 430, 60);
    edit(CFG_START_DELAY, "", 75, 430, 80, 21)->setMaxLength(DELAY_MAX_CHARS);
    label("Alarme", 200, 430, 60);
    edit(CFG_ALARM_DELAY, "", 250, 430, 80, 21)->setMaxLength(DELAY_MAX_CHARS);

    struct Button {
        const char* text;
        int id;
        int x;
    };
    // Spread under the group boxes, "Fechar" where it always was.
    for (const Button& button :
         {Button{"Abrir", BT_CONFIG_OPEN, 15}, Button{"Salvar", BT_CONFIG_SAVE, 113},
          Button{"Gravar", BT_CONFIG_WRITE, 212}, Button{"Fechar", BT_CONFIG_QUIT, 310}}) {
        auto* pushed = Place(new QPushButton(QString::fromUtf8(button.text), this), button.id,
                             button.x, BUTTONS_Y, 80, 25);
        connect(pushed, &QPushButton::clicked, this, [this, id = button.id] { Command(id); });
    }
    // Tab follows the fields top to bottom; the read-only ones take a click, not a Tab.
    rec_time->setFocusPolicy(Qt::ClickFocus);
    serial->setFocusPolicy(Qt::ClickFocus);
    QWidget* previous = nullptr;
    for (const int id : CONFIG_TAB_ORDER) {
        QWidget* next = Control(id);
        if (previous != nullptr) {
            setTabOrder(previous, next);
        }
        previous = next;
    }
    Reset();
}

ConfigWindow::~ConfigWindow() {
    if (writer_.joinable()) {
        writer_.join();
    }
}

void ConfigWindow::Reset() {
    setWindowTitle(QStringLiteral("Config"));
    Control(BT_CONFIG_WRITE)->setEnabled(false);
}

void ConfigWindow::Command(int id) {
    switch (id) {
        case BT_CONFIG_OPEN:
            OpenConfigInConfigWindow();
            CalcRecTime();
            break;
        case BT_CONFIG_SAVE:
            SaveConfigFromConfigWindow();
            break;
        case BT_CONFIG_WRITE:
            StartWrite();
            break;
        case BT_CONFIG_QUIT:
            close();
            break;
        default:
            break;
    }
}

void ConfigWindow::EnableButtons(bool enabled) {
    for (int id : CONFIG_BUTTONS) {
        Control(id)->setEnabled(enabled);
    }
}

// The exchange runs off the GUI thread; the card's commands wait until it ends, as the
// link carries one exchange at a time.
void ConfigWindow::StartWrite() {
    // A read holds the link; its own end gives the commands back.
    if (writer_.joinable() || dl_state == DL_READ || dl_state == DL_IMPORT ||
        dl_state == DL_CONFIG) {
        return;
    }
    write_enabled_ = Control(BT_CONFIG_WRITE)->isEnabled();
    EnableButtons(false);
    EnableCardCommands(false);
    writer_ = std::thread([this] {
        CommandConfigWrite();
        QMetaObject::invokeMethod(
            this, [this] { WriteEnded(); }, Qt::QueuedConnection);
    });
}

void ConfigWindow::WriteEnded() {
    writer_.join();
    EnableButtons(true);
    Control(BT_CONFIG_WRITE)->setEnabled(write_enabled_);
    EnableCardCommands(connected);
}

void ConfigWindow::closeEvent(QCloseEvent* event) {
    if (Writing()) {
        event->ignore();  // the outcome message still belongs to this window
        return;
    }
    layer_.Forget(this);
    RestoreMainWindowControls();
    event->accept();
}
