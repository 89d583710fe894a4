#include "ui/program_application.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFont>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/cloud_outbox.h"
#include "app/main_commands.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/logger_commands.h"
#include "logger/operation_engine.h"
#include "ui/main_window.h"
#include "ui/program_window.h"
#include "ui/qt_window_layer.h"

ProgramApplication::ProgramApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The pictures live in a static library: register them by hand.
    Q_INIT_RESOURCE(resources);
    setApplicationName(QStringLiteral("RazuRozavi"));
    setApplicationVersion(QStringLiteral(RAZUROZAVI_VERSION));
    setDesktopFileName(QStringLiteral("io.github.razurozavi.RazuRozavi"));
    setWindowIcon(QIcon(QStringLiteral(":/razurozavi.svg")));
    // The windows are laid out in pixels for a small sans-serif of Arial's widths: eight
    // digits of a time fit the 48-pixel columns of the reading list.
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("DejaVu Sans Condensed")});
    font.setPixelSize(PROGRAM_FONT_PIXELS);
    setFont(font);
}

namespace {

// Escape closes the data, configuration, graph and about windows; Enter presses the focused
// button, as Space does. Not in the main window, whose closing asks first, nor in dialogs,
// which handle both keys themselves.
bool HandleWindowKeys(QObject* receiver, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !receiver->isWidgetType()) {
        return false;
    }
    auto* widget = static_cast<QWidget*>(receiver);
    const auto* window = dynamic_cast<ProgramWindow*>(widget->window());
    if (window == nullptr) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() != Qt::NoModifier && key->modifiers() != Qt::KeypadModifier) {
        return false;
    }
    if (key->key() == Qt::Key_Escape && window->Id() != WindowId::Main) {
        widget->window()->close();
        return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QAbstractButton*>(widget);
            button != nullptr && button->isEnabled() && !qobject_cast<QCheckBox*>(button)) {
            button->animateClick();
            return true;
        }
    }
    return false;
}

}  // namespace

bool ProgramApplication::notify(QObject* receiver, QEvent* event) {
    if (HandleWindowKeys(receiver, event)) {
        return true;
    }
    ++depth_;
    const bool handled = QApplication::notify(receiver, event);
    --depth_;
    if (depth_ == 0 && after_each_event_) {
        // The checks send events of their own (a window shown): those are nested too.
        ++depth_;
        after_each_event_();
        --depth_;
    }
    return handled;
}

void LoadTranslations(QApplication& app) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"), folder) ||
        translator->load(QStringLiteral("qtbase_pt_BR"), folder)) {
        app.installTranslator(translator);
    }
}

DesktopProgram::DesktopProgram(ProgramApplication& app)
    : app_(app), layer_(std::make_unique<QtWindowLayer>()) {}

DesktopProgram::~DesktopProgram() {
    Stop();
}

MainWindow& DesktopProgram::Main() {
    return *layer_->Main();
}

void DesktopProgram::Start() {
    SetWindowLayer(layer_.get());
    MainWindow& main = layer_->CreateMainWindow();
    FitToScreen(&main);
    main.show();
    StartTimerThread();
    StartOperationThread();
    StartOutboxThread(HandOffCloudServer);
    for (int item : {IDM_DATACANCEL, IDM_DATAREAD, IDM_CONFIG, IDM_HELPCONVINFO}) {
        main.EnableMenuItem(item, false);
    }
    app_.SetAfterEachEvent(CheckOperationResults);
    running_ = true;
}

void DesktopProgram::Stop() {
    if (!running_) {
        return;
    }
    running_ = false;
    app_.SetAfterEachEvent(nullptr);
    layer_->Close();
    CommandCancel();
    StopTimerThread();
    StopOperationThread();
    StopOutboxThread();
    StopRxThread();
    ClosePort();
    SetWindowLayer(nullptr);
    layer_.reset();
}
