#pragma once
// The program's file dialogs: Qt's own dialog (the same on every desktop, and answerable
// by the tests), with the filter, default suffix and must-exist rule of each file kind.

#include <QWidget>
#include <optional>
#include <string>

#include "base/window_layer.h"

// A file that exists; nothing when cancelled.
std::optional<std::string> AskFileToOpen(QWidget* owner, const FileFilter& filter);
// A file in a folder that exists; the default suffix is added to a name without one.
std::optional<std::string> AskFileToSave(QWidget* owner, const FileFilter& filter);
