#pragma once
// The one message for a file that could not be written.

#include <string>

#include "base/control_ids.h"

// Tells the user that `path` could not be written, and why when `reason` is given.
void ShowWriteError(WindowId owner, const std::string& path, const std::string& reason = "");
