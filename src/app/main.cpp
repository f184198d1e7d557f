// The desktop program: one window, and the program ends when it closes.
#include <QApplication>

#include "app/Application.h"
#include "app/MainFrm.h"
#include "app/QtPlatformServices.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  plexor::SetUpApplication(app);

  plexor::QtPlatformServices services;
  plexor::TfrmMain frmMain(services);
  services.SetDialogParent(&frmMain);
  frmMain.show();
  return QApplication::exec();
}
