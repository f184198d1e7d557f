#include "app/HelpViewer.h"

#include <QApplication>
#include <QDialog>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace plexor {
namespace {

constexpr const char* kHelpWindowName = "dlgHelp";

QDialog* OpenManualWindow() {
  const QString name = QString::fromLatin1(kHelpWindowName);
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == name) return qobject_cast<QDialog*>(w);
  }
  return nullptr;
}

QDialog* NewManualWindow(QWidget* owner) {
  auto* window = new QDialog(owner, Qt::Window);
  window->setObjectName(QString::fromLatin1(kHelpWindowName));
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowTitle(QStringLiteral("Plexor Converter ヘルプ"));
  window->resize(720, 560);
  auto* browser = new QTextBrowser(window);
  browser->setObjectName(QStringLiteral("txtManual"));
  // Links out of the manual (the maker's pages) still go to the desktop.
  browser->setOpenExternalLinks(true);
  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser);
  return window;
}

}  // namespace

QDialog* ShowManualWindow(const std::string& manualPath, QWidget* owner) {
  QDialog* window = OpenManualWindow();
  if (window == nullptr) window = NewManualWindow(owner);
  auto* browser = window->findChild<QTextBrowser*>(QStringLiteral("txtManual"));
  browser->setSource(QUrl::fromLocalFile(QString::fromLocal8Bit(manualPath)));
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

}  // namespace plexor
