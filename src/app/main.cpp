// The desktop program: one window, and the program ends when it closes.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include "app/AppLook.h"
#include "app/MainFrm.h"
#include "app/QtPlatformServices.h"

namespace {

// For the manual's pictures and the layout check: PLEXOR_SCREENSHOT=FILE.png saves the
// screen once the window stands, then quits; PLEXOR_SCREENSHOT_BATCH=LIST.txt fills the batch
// list first, PLEXOR_SCREENSHOT_ABOUT=FILE.png also takes the about box.
void ScheduleScreenshots(plexor::TfrmMain& window) {
  const QString shot = qEnvironmentVariable("PLEXOR_SCREENSHOT");
  if (shot.isEmpty()) return;
  const QString batch = qEnvironmentVariable("PLEXOR_SCREENSHOT_BATCH");
  const QString about = qEnvironmentVariable("PLEXOR_SCREENSHOT_ABOUT");
  // What the X server shows where the window stands, not the widget's own rendering.
  const auto grab = [](const QString& file, const QWidget* shown) {
    const QRect at = shown != nullptr ? shown->frameGeometry() : QRect(0, 0, -1, -1);
    QGuiApplication::primaryScreen()
        ->grabWindow(0, at.x(), at.y(), at.width(), at.height())
        .save(file, "PNG");
  };
  QTimer::singleShot(0, &window, [&window, batch] {
    if (!batch.isEmpty()) window.LoadBatchFile(batch.toStdString());
    window.lstCoordSys->setCurrentRow(3);
    window.edtShpFile->setText(QStringLiteral("/home/user/地図/道路.shp"));
    window.edtMifFile->setText(QStringLiteral("/home/user/地図/道路.mif"));
    window.StatusBar1->showMessage(QStringLiteral("準備ができました。"));
  });
  QTimer::singleShot(1500, &window, [&window, shot, about, grab] {
    grab(shot, &window);
    if (about.isEmpty()) {
      QApplication::quit();
      return;
    }
    QTimer::singleShot(1500, &window, [about, grab] {
      grab(about, QApplication::activeModalWidget());
      QApplication::quit();
    });
    window.A1Click();
  });
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("plexor-converter"));
  QApplication::setApplicationDisplayName(QStringLiteral("Plexor Converter"));
  QApplication::setFont(plexor::ApplicationFont());
  QApplication::setWindowIcon(plexor::ProgramIcon());

  plexor::QtPlatformServices services;
  plexor::TfrmMain frmMain(services);
  services.SetDialogParent(&frmMain);
  frmMain.show();
  ScheduleScreenshots(frmMain);
  return QApplication::exec();
}
