// The about box on Windows: the product, its version and the maker's links.
#pragma once

#include <windows.h>

#include "ui/PlatformServices.h"

namespace plexor::win {

// Shows a fresh box, modal to `owner` and centred on it, and returns when it is closed.
void ShowAboutBox(HINSTANCE instance, HWND owner, IPlatformServices& services);

}  // namespace plexor::win
