#pragma once
// The configuration window: a card's recording configuration, its recording time, and the
// commands that open and save configuration files and write the configuration into the card.

#include <QWidget>
#include <thread>

#include "ui/program_window.h"

// The fields and buttons in the order Tab visits them.
inline constexpr int CONFIG_TAB_ORDER[] = {
    CFG_SAMPLE_POINTS, CFG_SAMPLE_RATE, CFG_LED_CYCLE,  CFG_DESCRICAO,   CFG_NUVEM,
    CFG_FLASH_ALARM,   CFG_TEMP_LOW,    CFG_TEMP_HIGH,  CFG_TEMP_UNIT,   CFG_START_DELAY,
    CFG_ALARM_DELAY,   BT_CONFIG_OPEN,  BT_CONFIG_SAVE, BT_CONFIG_WRITE, BT_CONFIG_QUIT};

class ConfigWindow final : public QWidget, public ProgramWindow {
  public:
    explicit ConfigWindow(QtWindowLayer& layer);
    ~ConfigWindow() override;

    QWidget* Window() override { return this; }
    WindowId Id() const override { return WindowId::Config; }
    // As newly opened: title "Config", "Gravar" off until the caller enables it.
    void Reset();
    bool Writing() const { return writer_.joinable(); }
    void Command(int id);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void StartWrite();
    void WriteEnded();
    void EnableButtons(bool enabled);

    QtWindowLayer& layer_;
    std::thread writer_;
    bool write_enabled_ = false;  // "Gravar" as the main window left it
};
