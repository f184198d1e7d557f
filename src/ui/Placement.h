// The window's place and the date format, kept in the placement file between runs. The
// place is the outer frame's, both ways: what is saved is where the frame stood, and
// restoring puts the frame there again, so the window never creeps from start to start.
#pragma once

#include <string>

#include "ui/MainView.h"

namespace plexor {

// The date formats of the menu, and the key that keeps the choice in the placement file.
inline constexpr const char* kDateFormatSlashed = "yyyy/mm/dd";
inline constexpr const char* kDateFormatCompact = "yyyymmdd";  // read as a date by GDAL, QGIS
inline constexpr const char* kDateFormatKey = "DateFormat";

// Places the window as the file says; missing or bad values take their defaults.
void RestorePlacement(IMainView& view, const std::string& iniPath);
// Writes the state, and for the normal state the outer bounds first, then the date format.
// EIniFileError when the file cannot be written; the keys after the failing one are not.
void SavePlacement(const IMainView& view, const std::string& iniPath,
                   const std::string& dateFormat);
// One of the two formats of the menu; anything else in the file reads as the default.
std::string ReadDateFormat(const std::string& iniPath);

}  // namespace plexor
