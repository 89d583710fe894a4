#pragma once
// The data window's verdict: what the chosen profile says of the image on show, in red or
// green, and the drop-down that chooses the profile, remembered between runs.

#include <QObject>
#include <string>

#include "logger/memory_image.h"

class QComboBox;
class QLabel;

class VerdictLine final : public QObject {
  public:
    // `image` outlives the line (the window owns both).
    VerdictLine(const MemoryImage& image, QLabel* line, QComboBox* chooser, QObject* parent);

  private:
    void Show(const std::string& profile_name);

    const MemoryImage& image_;
    QLabel* line_;
    QComboBox* chooser_;
};
