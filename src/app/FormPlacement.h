// The main window's placement applied from and taken into the placement file.
#pragma once

#include <string>

class QWidget;

namespace plexor {

// Sets the form's position and size, then its state (0 normal, 1 maximized, 2 minimized).
// A form of fixed size keeps its own size. Never fails: bad values take their defaults.
void LoadWindowPlacement(QWidget& form, const std::string& iniPath);
// Writes the form's state, and for the normal state its outer bounds first.
// EIniFileError when the file cannot be written.
void SaveWindowPlacement(const QWidget& form, const std::string& iniPath);

}  // namespace plexor
