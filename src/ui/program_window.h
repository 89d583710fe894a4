#pragma once
// What every window of the desktop program offers the window layer: its controls by id.

#include <QWidget>
#include <map>
#include <string>
#include <vector>

#include "base/control_ids.h"

class QtWindowLayer;

class ProgramWindow {
  public:
    virtual ~ProgramWindow() = default;
    virtual QWidget* Window() = 0;
    virtual WindowId Id() const = 0;
    // The control with `id`, or nullptr.
    QWidget* Control(int id) const {
        const auto found = controls_.find(id);
        return found == controls_.end() ? nullptr : found->second;
    }
    virtual void AddListLines(int /*list_id*/, std::vector<std::string> /*lines*/) {}

  protected:
    template <typename Widget>
    Widget* Place(Widget* widget, int id, int x, int y, int width, int height) {
        widget->setGeometry(x, y, width, height);
        if (id != 0) {
            controls_[id] = widget;
        }
        return widget;
    }

  private:
    std::map<int, QWidget*> controls_;
};

// The window's client area at a fixed size, without a sizing border or maximize button,
// placed at ((screen width - width_for_x) / 2, (screen height - height_for_y) / 2 + y_shift).
struct WindowPlacement {
    int width_for_x;
    int height_for_y;
    int y_shift;
};
void MakeFixedWindow(QWidget* window, int client_width, int client_height,
                     WindowPlacement placement);

// A window whose fixed client area is larger than `available` (less its frame) shrinks to
// fit and its controls scroll inside it, so that none is out of reach on a small or scaled
// screen. True when it had to.
bool FitIntoArea(QWidget* window, QSize available);
// The same for the usable area of the screen; called before the window is first shown.
void FitToScreen(QWidget* window);
