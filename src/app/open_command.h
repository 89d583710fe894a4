#pragma once
// "Abrir": a data file or a configuration file, each refusal told to the user; and the
// same loading, with its messages, for the configuration window and the companion.

#include <string>

#include "files/file.h"

// Reads a data file into `image`; a refusal shows "Arquivo Inválido" (with why) owned by
// `owner`, a rejected firmware the "Atenção !" message (the caller ends the process). A
// refused file leaves `image` as it was.
FileLoad LoadDataFile(const std::string& path, MemoryImage& image, WindowId owner);
// Reads a configuration file into `values` (keeping `serial`); refusals shown likewise.
FileLoad LoadConfigFile(const std::string& path, ConfigValues& values, WindowId owner);

// What the main window's "Abrir" loaded.
enum class OpenedKind { Nothing, DataFile, ConfigFile };
struct OpenedFile {
    OpenedKind kind = OpenedKind::Nothing;
    std::string path;
};

// A data file into data_in or a configuration file into config_values, told apart by the
// extension; a data file of another firmware ends the process.
OpenedFile OpenPath(const std::string& path);
// "Abrir": the dialog, then OpenPath.
OpenedFile OpenFromMainWindow();
