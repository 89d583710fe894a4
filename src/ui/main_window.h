#pragma once
// The main window: background picture, the five command buttons, "Cancelar", the progress
// bar, the status line and the menu.

#include <QMainWindow>
#include <QPixmap>
#include <map>

#include "ui/program_window.h"

class QAction;
class QProgressBar;
class StationWindow;

class MainWindow final : public QMainWindow, public ProgramWindow {
  public:
    explicit MainWindow(QtWindowLayer& layer);

    QWidget* Window() override { return this; }
    WindowId Id() const override { return WindowId::Main; }
    QAction* MenuItem(int menu_id) const;
    void EnableMenuItem(int menu_id, bool enabled);
    void EnableControl(int control_id, bool enabled);
    // While the reading station runs the window's file and card commands stay off; what the
    // program asks of them meanwhile takes effect when the station stops.
    void LockCommands(bool locked);
    // "Dados > Estação de leitura...", once opened.
    StationWindow* Station() const { return station_; }
    void SetProgressRange(int low, int high);
    void SetProgressPosition(int position);
    int ProgressPosition() const;
    // Every button and its menu item do the same.
    void Command(int id);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildMenu();
    void OpenStation();
    // Applies the wanted state of a control or menu item, off while locked.
    void Apply(int id);

    QtWindowLayer& layer_;
    QProgressBar* progress_ = nullptr;
    std::map<int, QAction*> menu_items_;
    StationWindow* station_ = nullptr;
    std::map<int, bool> wanted_enabled_;  // of the commands the lock turns off
    bool locked_ = false;
};
