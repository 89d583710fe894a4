#pragma once
// The configuration window's "Abrir" and "Salvar": configuration files into and out of
// the window.

// Asks for a file and shows its values in the window; false when none was loaded.
bool OpenConfigInConfigWindow();
// Asks for a file and saves the configuration into it; false when none was written.
bool SaveConfigFromConfigWindow();
