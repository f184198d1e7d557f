#include "app/Application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <utility>

#include "app/AppLook.h"

namespace plexor {
namespace {

// The few texts of Qt's file dialog that the installed Japanese translation lacks: the
// "type" column's words, moved to a context of their own after the translation was made.
class TMissingQtTexts : public QTranslator {
 public:
  using QTranslator::QTranslator;
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* sourceText, const char* /*disambiguation*/,
                    int /*n*/) const override {
    if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
    static const std::pair<const char*, const char*> kTexts[] = {{"Folder", "フォルダー"},
                                                                 {"Drive", "ドライブ"},
                                                                 {"Shortcut", "ショートカット"},
                                                                 {"Unknown", "不明"}};
    for (const auto& [english, japanese] : kTexts) {
      if (qstrcmp(sourceText, english) == 0) return QString::fromUtf8(japanese);
    }
    return {};
  }
};

}  // namespace

void SetUpApplication(QApplication& app) {
  QApplication::setApplicationName(QStringLiteral("plexor-converter"));
  // Lets desktops match the window to its menu entry and show the entry's icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("plexor-converter"));
  QApplication::setFont(ApplicationFont());
  QApplication::setWindowIcon(ProgramIcon());
  // The program speaks Japanese whatever the desktop's language: dates, numbers and Qt's
  // own dialogs too.
  QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
  InstallJapaneseQtTranslations(app);
}

bool InstallJapaneseQtTranslations(QApplication& app) {
  auto* translator = new QTranslator(&app);
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  if (!translator->load(QStringLiteral("qtbase_ja"), folder)) {
    delete translator;
    return false;
  }
  QApplication::installTranslator(new TMissingQtTexts(&app));
  return QApplication::installTranslator(translator);
}

}  // namespace plexor
