#include "app/QtPlatformServices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "app/HelpViewer.h"
#include "support/ByteStrings.h"
#include "support/FileHandle.h"
#include "support/QvSysUtils.h"

namespace plexor {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

int ShowBox(QMessageBox::Icon icon, const QString& title, const std::string& text,
            QMessageBox::StandardButtons buttons = QMessageBox::Ok) {
  // No parent: the box stands centred on the screen, and blocks every window of ours.
  QMessageBox box(icon, title, Q(text), buttons);
  box.setObjectName(QStringLiteral("MessageBox"));
  box.setWindowModality(Qt::ApplicationModal);
  box.setTextFormat(Qt::PlainText);
  return box.exec();
}

// Where a package following the file-system hierarchy puts the manual: for
// PREFIX/bin/NAME.hlp, PREFIX/share/plexor-converter/NAME.html.
std::string InstalledManualPath(const std::string& helpFile) {
  // The program's folder is the resolved /proc/self/exe, free of links, so dropping ".."
  // by spelling alone is safe and gives the browser a path the user recognises.
  const std::string path =
      GetFileDir(helpFile) + "../share/plexor-converter/" + GetFileBaseName(helpFile) + ".html";
  return QDir::cleanPath(QString::fromLocal8Bit(path)).toLocal8Bit().toStdString();
}

}  // namespace

std::string HelpManualPath(const std::string& helpFile) {
  return ChangeFileExt(helpFile, ".html");
}

QString QtNameFilter(const std::string& caption, const std::string& pattern) {
  const std::string native = pattern == "*.*" ? "*" : pattern;
  QString text = Q(caption);
  const QString shown = QStringLiteral("(") + Q(pattern) + QStringLiteral(")");
  if (text.endsWith(shown)) text.chop(shown.size());
  if (!text.isEmpty() && !text.endsWith(QLatin1Char(' '))) text += QLatin1Char(' ');
  return text + QStringLiteral("(") + Q(native) + QStringLiteral(")");
}

void QtPlatformServices::ShowMessage(MessageKind kind, const std::string& text) {
  QMessageBox::Icon icon = QMessageBox::Information;
  if (kind == MessageKind::Warning) icon = QMessageBox::Warning;
  if (kind == MessageKind::Error) icon = QMessageBox::Critical;
  ShowBox(icon, QString::fromUtf8(MessageTitle(kind)), text);
}

void QtPlatformServices::ShowApplicationError(const std::string& text) {
  ShowBox(QMessageBox::Critical, QStringLiteral("Plexor Converter"), text);
}

bool QtPlatformServices::Confirm(const std::string& text) {
  return ShowBox(QMessageBox::Question, QStringLiteral("確認"), text,
                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool QtPlatformServices::ExecuteFileDialog(TFileDialog& dialog) {
  QFileDialog box(dialogParent_);
  const bool save = dialog.DialogKind == TFileDialog::Kind::Save;
  box.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  box.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // An existing target is only overwritten when a conversion or a save writes it later.
  box.setOption(QFileDialog::DontConfirmOverwrite);
  QStringList filters;
  for (const auto& [caption, pattern] : dialog.Filters) filters << QtNameFilter(caption, pattern);
  box.setNameFilters(filters);
  if (!dialog.DefaultExt.empty()) box.setDefaultSuffix(Q(dialog.DefaultExt));
  if (!dialog.FileName.empty()) box.selectFile(QString::fromLocal8Bit(dialog.FileName));
  if (box.exec() != QDialog::Accepted) return false;
  const QStringList chosen = box.selectedFiles();
  if (chosen.isEmpty()) return false;
  dialog.FileName = chosen.first().toLocal8Bit().toStdString();  // a native path
  return true;
}

void QtPlatformServices::SetWaitCursor(bool on) {
  if (on) {
    if (QApplication::overrideCursor() == nullptr) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
      QApplication::changeOverrideCursor(Qt::WaitCursor);
    }
    return;
  }
  while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
}

void QtPlatformServices::ProcessPendingEvents() {
  QCoreApplication::processEvents();
}

void QtPlatformServices::ShowHelp(const std::string& helpFile, uint32_t /*command*/,
                                  uintptr_t /*data*/) {
  // The keyword command with no keyword asks for the topic search; a browser page shows
  // every topic at once, so opening it is the closest thing.
  // A copy beside the program wins over the installed one, so a user can put a newer one
  // there; when neither exists the box names the one beside the program.
  std::string manual = HelpManualPath(helpFile);
  if (!RegularFileExists(manual) && RegularFileExists(InstalledManualPath(helpFile))) {
    manual = InstalledManualPath(helpFile);
  }
  if (!RegularFileExists(manual)) {
    ShowMessage(MessageKind::Error,
                "ヘルプファイル " + NativeToUtf8(manual) + " が見つかりません。");
    return;
  }
  const QUrl url = QUrl::fromLocalFile(QString::fromLocal8Bit(manual));
  if (!ShellOpen(url.toString(QUrl::FullyEncoded).toStdString())) {
    ShowManualWindow(manual, dialogParent_);
  }
}

bool QtPlatformServices::ShellOpen(const std::string& target) {
  return QDesktopServices::openUrl(QUrl(Q(target)));
}

std::string QtPlatformServices::ExePath() const {
  return GetExePath();
}

RegionalSettings QtPlatformServices::Regional() const {
  // Linux has no user setting for these; the Japanese desktop's defaults stand in.
  return RegionalSettings{};
}

}  // namespace plexor
