// The manual shown inside the program, for a desktop that has no browser to open it with.
#pragma once

#include <string>

class QDialog;
class QWidget;

namespace plexor {

// Shows the HTML manual in a window of its own beside `owner` (not modal: the user reads it
// while working); an open one is brought to the front with the page shown again.
QDialog* ShowManualWindow(const std::string& manualPath, QWidget* owner);

}  // namespace plexor
