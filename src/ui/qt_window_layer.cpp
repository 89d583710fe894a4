#include "ui/qt_window_layer.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <algorithm>
#include <thread>

#include "ui/about_box.h"
#include "ui/config_window.h"
#include "ui/data_window.h"
#include "ui/dialogs.h"
#include "ui/graph_window.h"
#include "ui/main_window.h"

namespace {

QString Text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QMessageBox::Icon BoxIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Stop:
            return QMessageBox::Critical;
        case MsgIcon::Exclamation:
        case MsgIcon::Warning:
            return QMessageBox::Warning;
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QtWindowLayer::QtWindowLayer() = default;

QtWindowLayer::~QtWindowLayer() {
    Close();
    for (DataWindow* window : data_windows_) {
        delete window;
    }
    for (GraphWindow* window : graph_windows_) {
        delete window;
    }
    delete config_;
    delete about_;
    delete main_;
}

MainWindow& QtWindowLayer::CreateMainWindow() {
    main_ = new MainWindow(*this);
    return *main_;
}

void QtWindowLayer::OpenAboutBox() {
    if (about_ == nullptr) {
        about_ = new AboutBox(*this);
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}

GraphWindow& QtWindowLayer::OpenGraphWindow(const MemoryImage& image) {
    auto* window = new GraphWindow(*this, image, GraphWindow::PlotForScreen());
    graph_windows_.push_back(window);
    window->showMaximized();
    return *window;
}

GraphWindow* QtWindowLayer::CurrentGraphWindow() const {
    return graph_windows_.empty() ? nullptr : graph_windows_.back();
}

void QtWindowLayer::Forget(ProgramWindow* window) {
    if (window->Id() == WindowId::Graph) {
        std::erase(graph_windows_, window);
    } else if (window == about_) {
        about_ = nullptr;
    } else if (window == config_) {
        config_ = nullptr;
    } else {
        std::erase(data_windows_, window);
        if (current_data_ == window) {
            current_data_ = data_windows_.empty() ? nullptr : data_windows_.back();
        }
    }
}

void QtWindowLayer::Close() {
    {
        std::lock_guard<std::mutex> lock(answer_mutex_);
        closing_ = true;
    }
    answered_.notify_all();
}

std::optional<int> QtWindowLayer::RequestedExit() const {
    std::lock_guard<std::mutex> lock(answer_mutex_);
    return requested_exit_;
}

ProgramWindow* QtWindowLayer::Find(WindowId window) const {
    switch (window) {
        case WindowId::Main:
            return main_;
        case WindowId::Data:
            return current_data_;
        case WindowId::Config:
            return config_;
        case WindowId::About:
            return about_;
        case WindowId::Graph:
            return CurrentGraphWindow();
    }
    return nullptr;
}

QWidget* QtWindowLayer::FindControl(WindowId window, int control_id) const {
    ProgramWindow* found = Find(window);
    return found == nullptr ? nullptr : found->Control(control_id);
}

QWidget* QtWindowLayer::Owner(WindowId window) const {
    ProgramWindow* found = Find(window);
    if (found == nullptr) {
        found = main_;
    }
    return found == nullptr ? nullptr : found->Window();
}

void QtWindowLayer::Post(std::function<void()> call) {
    if (OnGuiThread()) {
        call();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(answer_mutex_);
        if (closing_) {
            return;
        }
    }
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

template <typename Result>
Result QtWindowLayer::Ask(std::function<Result()> call, Result cautious) {
    if (OnGuiThread()) {
        return call();
    }
    struct Answer {
        bool given = false;
        std::optional<Result> value;
    };
    auto answer = std::make_shared<Answer>();
    {
        std::lock_guard<std::mutex> lock(answer_mutex_);
        if (closing_) {
            return cautious;
        }
    }
    QMetaObject::invokeMethod(
        this,
        [this, answer, call = std::move(call)] {
            Result value = call();
            {
                std::lock_guard<std::mutex> lock(answer_mutex_);
                answer->value = std::move(value);
                answer->given = true;
            }
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(answer_mutex_);
    answered_.wait(lock, [&] { return answer->given || closing_; });
    return answer->given ? std::move(*answer->value) : cautious;
}

MsgAnswer QtWindowLayer::MessageBox(WindowId owner, std::string_view text, std::string_view caption,
                                    MsgIcon icon, MsgButtons buttons) {
    return Ask<MsgAnswer>(
        [this, owner, text = Text(text), caption = Text(caption), icon, buttons] {
            QMessageBox::StandardButtons offered = QMessageBox::Ok;
            if (buttons == MsgButtons::YesNo) {
                offered = QMessageBox::Yes | QMessageBox::No;
            } else if (buttons == MsgButtons::YesNoCancel) {
                offered = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            }
            QMessageBox box(BoxIcon(icon), caption, text, offered, Owner(owner));
            box.setWindowModality(Qt::ApplicationModal);
            // Closing the box (Esc, the title bar) is the cautious answer, never a "No" that
            // would go ahead.
            if (buttons == MsgButtons::YesNoCancel) {
                box.setEscapeButton(QMessageBox::Cancel);
            }
            const int chosen = box.exec();
            switch (chosen) {
                case QMessageBox::Yes:
                    return MsgAnswer::Yes;
                case QMessageBox::No:
                    return MsgAnswer::No;
                case QMessageBox::Cancel:
                    return MsgAnswer::Cancel;
                default:
                    return CautiousAnswer(buttons);
            }
        },
        CautiousAnswer(buttons));
}

void QtWindowLayer::Notify(WindowId owner, std::string_view text, std::string_view caption,
                           MsgIcon icon) {
    Post([this, owner, text = Text(text), caption = Text(caption), icon] {
        auto* box = new QMessageBox(BoxIcon(icon), caption, text, QMessageBox::Ok, Owner(owner));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::ApplicationModal);
        box->open();
    });
}

bool QtWindowLayer::WindowExists(WindowId window) {
    return Ask<bool>([this, window] { return Find(window) != nullptr; }, false);
}

void QtWindowLayer::SetWindowTitle(WindowId window, std::string_view title) {
    Post([this, window, title = Text(title)] {
        if (ProgramWindow* found = Find(window)) {
            found->Window()->setWindowTitle(title);
        }
    });
}

void QtWindowLayer::EnableControl(WindowId window, int control_id, bool enabled) {
    Post([this, window, control_id, enabled] {
        if (window == WindowId::Main && main_ != nullptr) {
            main_->EnableControl(control_id, enabled);
        } else if (QWidget* control = FindControl(window, control_id)) {
            control->setEnabled(enabled);
        }
    });
}

void QtWindowLayer::FocusControl(WindowId window, int control_id) {
    Post([this, window, control_id] {
        if (QWidget* control = FindControl(window, control_id)) {
            control->setFocus(Qt::OtherFocusReason);
            if (auto* edit = qobject_cast<QLineEdit*>(control)) {
                edit->selectAll();
            }
        }
    });
}

void QtWindowLayer::SetControlText(WindowId window, int control_id, std::string_view text) {
    Post([this, window, control_id, text = Text(text)] {
        QWidget* control = FindControl(window, control_id);
        if (auto* label = qobject_cast<QLabel*>(control)) {
            label->setText(text);
        } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            edit->setText(text);
        } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            button->setText(text);
        }
    });
}

std::string QtWindowLayer::ControlText(WindowId window, int control_id) {
    return Ask<std::string>(
        [this, window, control_id] {
            QWidget* control = FindControl(window, control_id);
            QString text;
            if (auto* label = qobject_cast<QLabel*>(control)) {
                text = label->text();
            } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
                text = edit->text();
            } else if (auto* box = qobject_cast<QComboBox*>(control)) {
                text = box->currentText();
            } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
                text = button->text();
            }
            return text.toStdString();
        },
        std::string());
}

bool QtWindowLayer::IsChecked(WindowId window, int control_id) {
    return Ask<bool>(
        [this, window, control_id] {
            auto* button = qobject_cast<QAbstractButton*>(FindControl(window, control_id));
            return button != nullptr && button->isChecked();
        },
        false);
}

void QtWindowLayer::SetChecked(WindowId window, int control_id, bool checked) {
    Post([this, window, control_id, checked] {
        if (auto* button = qobject_cast<QAbstractButton*>(FindControl(window, control_id))) {
            button->setChecked(checked);
        }
    });
}

int QtWindowLayer::SelectedPosition(WindowId window, int control_id) {
    return Ask<int>(
        [this, window, control_id] {
            auto* box = qobject_cast<QComboBox*>(FindControl(window, control_id));
            return box == nullptr ? -1 : box->currentIndex();
        },
        -1);
}

void QtWindowLayer::SelectPosition(WindowId window, int control_id, int position) {
    Post([this, window, control_id, position] {
        if (auto* box = qobject_cast<QComboBox*>(FindControl(window, control_id))) {
            if (position >= 0 && position < box->count()) {
                box->setCurrentIndex(position);
            }
        }
    });
}

void QtWindowLayer::EnableMenuItem(int menu_id, bool enabled) {
    Post([this, menu_id, enabled] {
        if (main_ != nullptr) {
            main_->EnableMenuItem(menu_id, enabled);
        }
    });
}

void QtWindowLayer::SetProgressRange(int low, int high) {
    Post([this, low, high] {
        if (main_ != nullptr) {
            main_->SetProgressRange(low, high);
        }
    });
}

void QtWindowLayer::SetProgressPosition(int position) {
    Post([this, position] {
        if (main_ != nullptr) {
            main_->SetProgressPosition(position);
        }
    });
}

void QtWindowLayer::AddListLines(WindowId window, int list_id, std::vector<std::string> lines) {
    Post([this, window, list_id, lines = std::move(lines)]() mutable {
        if (ProgramWindow* found = Find(window)) {
            found->AddListLines(list_id, std::move(lines));
        }
    });
}

std::optional<std::string> QtWindowLayer::OpenFileDialog(WindowId owner, const FileFilter& filter) {
    return Ask<std::optional<std::string>>(
        [this, owner, filter] { return AskFileToOpen(Owner(owner), filter); }, std::nullopt);
}

std::optional<std::string> QtWindowLayer::SaveFileDialog(WindowId owner, const FileFilter& filter) {
    return Ask<std::optional<std::string>>(
        [this, owner, filter] { return AskFileToSave(Owner(owner), filter); }, std::nullopt);
}

void QtWindowLayer::OpenDataWindow() {
    Post([this] {
        auto* window = new DataWindow(*this);
        data_windows_.push_back(window);
        current_data_ = window;
        FitToScreen(window);
        window->show();
    });
}

void QtWindowLayer::OpenConfigWindow() {
    Post([this] {
        // One configuration window: its fields all show the one configuration.
        if (config_ == nullptr) {
            config_ = new ConfigWindow(*this);
            FitToScreen(config_);
        } else {
            config_->Reset();
        }
        config_->show();
        config_->raise();
        config_->activateWindow();
    });
}

void QtWindowLayer::RunBusy(std::string_view text, const std::function<void()>& work) {
    if (!OnGuiThread()) {
        work();
        return;
    }
    QProgressDialog busy(Text(text), QString(), 0, 0, Owner(WindowId::Main));
    busy.setWindowTitle(QStringLiteral("RazuRozavi"));
    busy.setWindowModality(Qt::ApplicationModal);
    busy.setMinimumDuration(0);
    busy.setCancelButton(nullptr);
    QEventLoop loop;
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    busy.show();
    loop.exec();
    worker.join();
}

void QtWindowLayer::EndProcess(int exit_code) {
    {
        std::lock_guard<std::mutex> lock(answer_mutex_);
        requested_exit_ = exit_code;
    }
    Close();
    QMetaObject::invokeMethod(
        this, [exit_code] { QCoreApplication::exit(exit_code); }, Qt::QueuedConnection);
}
