#pragma once
// The configuration window's "Abrir" and "Salvar": configuration files into and out of
// the window.

// Asks for a file and shows its values in the window; false when none was loaded.
bool OpenConfigInConfigWindow();
// Takes the window's fields through the checks of "Gravar", asks for a file and saves them
// into it; false when a field was refused or nothing was written.
bool SaveConfigFromConfigWindow();
