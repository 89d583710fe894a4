#pragma once
// The reading station: every card plugged in is read, archived and on request reported,
// uploaded and given a new configuration, by the companion's `station` running as a child
// process; one row per card seen since the window opened.

#include <QByteArray>
#include <QWidget>
#include <string>

#include "app/station_command.h"

class MainWindow;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProcess;
class QPushButton;
class QTableWidget;

class StationWindow final : public QWidget {
  public:
    explicit StationWindow(MainWindow& main);
    ~StationWindow() override;

    bool Running() const;
    const StationTable& Table() const { return table_; }
    // Iniciar and Parar.
    void Start();
    void Stop();
    // The configuration file written into each card, as its "Escolher..." takes it.
    void SetProfile(const std::string& path);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void SetArchive(const std::string& path);
    void ChooseArchive();
    void ChooseProfile();
    void TakeOutput();
    void Finished(const QString& why);
    void ShowRow(std::size_t index);
    void ShowRunning(bool running);
    void SetStatus(const QString& text, bool error);

    MainWindow& main_;
    QProcess* process_ = nullptr;
    QByteArray pending_output_;
    QByteArray error_output_;
    bool stopping_ = false;
    StationTable table_;
    std::string archive_path_;
    std::string profile_path_;

    QLineEdit* archive_ = nullptr;
    QPushButton* choose_archive_ = nullptr;
    QCheckBox* reports_ = nullptr;
    QCheckBox* upload_ = nullptr;
    QCheckBox* write_profile_ = nullptr;
    QLineEdit* profile_ = nullptr;
    QPushButton* choose_profile_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QLabel* status_ = nullptr;
    QTableWidget* rows_ = nullptr;
};
