// What the program and its tools set up before the first window: names, font, icon, and
// Qt's own texts in Japanese.
#pragma once

class QApplication;

namespace plexor {

// No display name is set: Qt would append it to every window title ("警告 — ..."), and the
// boxes' titles are exactly "警告", "エラー", "情報" and "Plexor Converter".
void SetUpApplication(QApplication& app);
// Loads qtbase_ja from Qt's translations folder so that file dialogs, standard buttons and
// context menus speak the same language as the window. False when it is not installed.
bool InstallJapaneseQtTranslations(QApplication& app);

}  // namespace plexor
