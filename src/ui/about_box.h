#pragma once
// The about box: the logo and the program's version.

#include <QPixmap>
#include <QWidget>

#include "ui/program_window.h"

class AboutBox final : public QWidget, public ProgramWindow {
  public:
    explicit AboutBox(QtWindowLayer& layer);

    QWidget* Window() override { return this; }
    WindowId Id() const override { return WindowId::About; }
    bool LogoLoaded() const { return !logo_.isNull(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QtWindowLayer& layer_;
    QPixmap logo_;
};
