#include "ui/station_window.h"

#include <signal.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cstdlib>

#include "app/main_commands.h"
#include "app/recording_keeper.h"
#include "files/file.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace {

// Long enough for a card being read to end cancelled and report.
constexpr int STOP_WAIT_MS = 5000;
constexpr qsizetype KEPT_ERROR_BYTES = 4096;

enum Column { kSerial, kDescription, kReadings, kFirst, kLast, kVerdict, kState, kColumns };

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// A path under the home folder as "~/...", the way the user thinks of it.
QString ShownPath(const std::string& path) {
    const QString text = Text(path);
    const QString home = QDir::homePath();
    if (home.size() > 1 && text.startsWith(home + QLatin1Char('/'))) {
        return QStringLiteral("~") + text.mid(home.size());
    }
    return text;
}

}  // namespace

StationWindow::StationWindow(MainWindow& main) : QWidget(&main, Qt::Window), main_(main) {
    setWindowTitle(QStringLiteral("Estação de leitura"));
    setObjectName(QStringLiteral("station"));
    auto* layout = new QVBoxLayout(this);

    auto* archive_box = new QGroupBox(QStringLiteral("Pasta do arquivo"), this);
    auto* archive_row = new QHBoxLayout(archive_box);
    archive_ = new QLineEdit(archive_box);
    archive_->setReadOnly(true);
    archive_->setObjectName(QStringLiteral("archive"));
    choose_archive_ = new QPushButton(QStringLiteral("Escolher..."), archive_box);
    archive_row->addWidget(archive_, 1);
    archive_row->addWidget(choose_archive_);
    layout->addWidget(archive_box);

    auto* card_box = new QGroupBox(QStringLiteral("Com cada cartão"), this);
    auto* card_grid = new QGridLayout(card_box);
    auto* always = new QCheckBox(QStringLiteral("Ler e arquivar (sempre)"), card_box);
    always->setChecked(true);
    always->setEnabled(false);
    reports_ = new QCheckBox(
        QStringLiteral("Gerar os relatórios (tabela e gráfico em PDF) e a planilha"), card_box);
    reports_->setObjectName(QStringLiteral("reports"));
    upload_ = new QCheckBox(QStringLiteral("Enviar ao servidor remoto"), card_box);
    upload_->setObjectName(QStringLiteral("upload"));
    write_profile_ = new QCheckBox(
        QStringLiteral("Gravar a configuração (nova gravação com o relógio do PC):"), card_box);
    write_profile_->setObjectName(QStringLiteral("write_profile"));
    profile_ = new QLineEdit(card_box);
    profile_->setReadOnly(true);
    profile_->setObjectName(QStringLiteral("profile"));
    choose_profile_ = new QPushButton(QStringLiteral("Escolher..."), card_box);
    card_grid->addWidget(always, 0, 0, 1, 3);
    card_grid->addWidget(reports_, 1, 0, 1, 3);
    card_grid->addWidget(upload_, 2, 0, 1, 3);
    card_grid->addWidget(write_profile_, 3, 0);
    card_grid->addWidget(profile_, 3, 1);
    card_grid->addWidget(choose_profile_, 3, 2);
    card_grid->setColumnStretch(1, 1);
    layout->addWidget(card_box);

    auto* buttons = new QHBoxLayout;
    start_ = new QPushButton(QStringLiteral("Iniciar"), this);
    stop_ = new QPushButton(QStringLiteral("Parar"), this);
    start_->setObjectName(QStringLiteral("start"));
    stop_->setObjectName(QStringLiteral("stop"));
    stop_->setEnabled(false);
    status_ = new QLabel(QStringLiteral("Parada"), this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    buttons->addWidget(status_, 1);
    layout->addLayout(buttons);

    rows_ = new QTableWidget(0, kColumns, this);
    rows_->setObjectName(QStringLiteral("rows"));
    rows_->setHorizontalHeaderLabels(
        {QStringLiteral("Serial"), QStringLiteral("Descrição"), QStringLiteral("Leituras"),
         QStringLiteral("Primeira leitura"), QStringLiteral("Última leitura"),
         QStringLiteral("Limites"), QStringLiteral("Situação")});
    rows_->verticalHeader()->hide();
    rows_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rows_->setSelectionBehavior(QAbstractItemView::SelectRows);
    rows_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    rows_->horizontalHeader()->setSectionResizeMode(kState, QHeaderView::Stretch);
    layout->addWidget(rows_, 1);
    resize(860, 460);
    SetArchive(ArchiveFolder());

    connect(choose_archive_, &QPushButton::clicked, this, [this] { ChooseArchive(); });
    connect(choose_profile_, &QPushButton::clicked, this, [this] { ChooseProfile(); });
    connect(start_, &QPushButton::clicked, this, [this] { Start(); });
    connect(stop_, &QPushButton::clicked, this, [this] { Stop(); });
}

StationWindow::~StationWindow() {
    if (Running()) {
        // The main window goes too: nothing to give back to it.
        process_->disconnect(this);
        process_->terminate();
        process_->waitForFinished(STOP_WAIT_MS);
    }
}

bool StationWindow::Running() const {
    return process_ != nullptr && process_->state() != QProcess::NotRunning;
}

void StationWindow::SetArchive(const std::string& path) {
    archive_path_ = path;
    archive_->setText(ShownPath(path));
}

void StationWindow::SetProfile(const std::string& path) {
    profile_path_ = path;
    profile_->setText(ShownPath(path));
    write_profile_->setChecked(true);
}

void StationWindow::ChooseArchive() {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Pasta do arquivo"), Text(archive_path_));
    if (!chosen.isEmpty()) {
        SetArchive(chosen.toStdString());
        // "Gravar" keeps what it must keep in the same folder.
        SetArchiveFolder(archive_path_);
    }
}

void StationWindow::ChooseProfile() {
    if (const std::optional<std::string> chosen = AskFileToOpen(this, ConfigFileFilter())) {
        SetProfile(*chosen);
    }
}

void StationWindow::SetStatus(const QString& text, bool error) {
    status_->setText(text);
    status_->setStyleSheet(error ? QStringLiteral("color: #b00000;") : QString());
}

void StationWindow::ShowRunning(bool running) {
    for (QWidget* choice : std::initializer_list<QWidget*>{
             choose_archive_, reports_, upload_, write_profile_, choose_profile_, start_}) {
        choice->setEnabled(!running);
    }
    stop_->setEnabled(running);
}

void StationWindow::Start() {
    if (Running()) {
        return;
    }
    const std::string companion =
        FindCompanion(QCoreApplication::applicationDirPath().toStdString(), std::getenv("PATH"));
    if (companion.empty()) {
        SetStatus(Text(MissingCompanionText()), true);
        return;
    }
    if (write_profile_->isChecked() && profile_path_.empty()) {
        SetStatus(QStringLiteral("Escolha o arquivo de configuração a gravar."), true);
        return;
    }
    StationChoices choices;
    choices.archive = archive_path_;
    choices.reports = reports_->isChecked();
    choices.upload = upload_->isChecked();
    const CloudServer server = HandOffCloudServer();
    choices.host = server.host;
    choices.tcp_port = server.port;
    if (write_profile_->isChecked()) {
        choices.profile = profile_path_;
    }
    QStringList arguments;
    for (const std::string& argument : StationArguments(choices)) {
        arguments << Text(argument);
    }

    main_.LockCommands(true);
    if (!ReleaseCardPort()) {
        main_.LockCommands(false);
        SetStatus(QStringLiteral("Aguarde o fim da operação com o cartão e tente de novo."), true);
        return;
    }
    process_ = new QProcess(this);
    pending_output_.clear();
    error_output_.clear();
    stopping_ = false;
    // This program blocks its quit signals for a thread of its own; the companion must
    // start with none blocked, or it could not be told to stop.
    process_->setChildProcessModifier([] {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
    });
    connect(process_, &QProcess::readyReadStandardOutput, this, [this] { TakeOutput(); });
    connect(process_, &QProcess::readyReadStandardError, this, [this] {
        // Only the last words matter, and a station runs for days.
        error_output_ += process_->readAllStandardError();
        if (error_output_.size() > KEPT_ERROR_BYTES) {
            error_output_ = error_output_.right(KEPT_ERROR_BYTES);
        }
    });
    connect(process_, &QProcess::finished, this, [this] { Finished(QString()); });
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            Finished(process_->errorString());
        }
    });
    ShowRunning(true);
    SetStatus(QStringLiteral("Aguardando cartões..."), false);
    process_->start(Text(companion), arguments);
}

void StationWindow::Stop() {
    if (!Running()) {
        return;
    }
    stopping_ = true;
    SetStatus(QStringLiteral("Parando..."), false);
    // The companion lets a card being read end cancelled and reports it.
    process_->terminate();
}

void StationWindow::TakeOutput() {
    pending_output_ += process_->readAllStandardOutput();
    for (qsizetype end; (end = pending_output_.indexOf('\n')) >= 0;) {
        const std::string line = pending_output_.left(end).toStdString();
        pending_output_.remove(0, end + 1);
        if (const std::optional<StationEvent> event = ParseStationLine(line)) {
            ShowRow(table_.Take(*event));
        }
    }
}

void StationWindow::Finished(const QString& why) {
    if (process_ == nullptr) {
        return;
    }
    TakeOutput();
    const bool asked = stopping_;
    QString reason = why;
    if (reason.isEmpty()) {
        // The companion's last word: the message of a configuration file it refused, say.
        const QList<QByteArray> lines = error_output_.trimmed().split('\n');
        reason = QString::fromUtf8(lines.back());
    }
    process_->deleteLater();
    process_ = nullptr;
    ShowRunning(false);
    main_.LockCommands(false);
    WatchForCardAgain();
    if (asked) {
        SetStatus(QStringLiteral("Parada"), false);
    } else {
        SetStatus(QStringLiteral("A estação parou: ") + reason, true);
    }
}

void StationWindow::ShowRow(std::size_t index) {
    const StationRow& row = table_.Rows()[index];
    if (static_cast<int>(index) >= rows_->rowCount()) {
        rows_->setRowCount(static_cast<int>(index) + 1);
    }
    const auto set = [&](int column, const QString& text) {
        auto* item = new QTableWidgetItem(text);
        if (column == kSerial || column == kReadings) {
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        rows_->setItem(static_cast<int>(index), column, item);
    };
    set(kSerial, row.serial != 0 ? QString::number(row.serial) : Text(row.port));
    set(kDescription, Text(row.description));
    set(kReadings, row.readings != 0 ? QString::number(row.readings) : QString());
    set(kFirst, Text(row.first_reading));
    set(kLast, Text(row.last_reading));
    set(kVerdict, Text(row.verdict));
    set(kState, Text(row.state));
    if (row.failed) {
        rows_->item(static_cast<int>(index), kState)->setForeground(QColor(0xb0, 0, 0));
    }
}

void StationWindow::closeEvent(QCloseEvent* event) {
    if (Running()) {
        stopping_ = true;
        process_->terminate();
        if (!process_->waitForFinished(STOP_WAIT_MS)) {
            process_->kill();
            process_->waitForFinished(STOP_WAIT_MS);
        }
        Finished(QString());
    }
    event->accept();
}
