#pragma once
// The main window: background picture, the five command buttons, "Cancelar", the progress
// bar, the status line and the menu.

#include <QMainWindow>
#include <QPixmap>
#include <map>

#include "ui/program_window.h"

class QAction;
class QProgressBar;

class MainWindow final : public QMainWindow, public ProgramWindow {
  public:
    explicit MainWindow(QtWindowLayer& layer);

    QWidget* Window() override { return this; }
    WindowId Id() const override { return WindowId::Main; }
    QAction* MenuItem(int menu_id) const;
    void EnableMenuItem(int menu_id, bool enabled);
    void SetProgressRange(int low, int high);
    void SetProgressPosition(int position);
    int ProgressPosition() const;
    // Every button and its menu item do the same.
    void Command(int id);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildMenu();

    QtWindowLayer& layer_;
    QProgressBar* progress_ = nullptr;
    std::map<int, QAction*> menu_items_;
};
