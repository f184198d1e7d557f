// Takes the pictures of the window that the manual and a review need, under a real X server
// (scripts/screenshot runs it under Xvfb):
//   plexor_screenshot OUTDIR WORKDIR
// window.png   the window in the middle of a batch run: the second of three rows, its
//              progress bar and the cancel button in the status bar;
// failure.png  the box of a failed conversion with its reason;
// dialog.png   the file dialog of "参照", in Japanese;
// about.png    the about box.
// WORKDIR receives the shapefiles the run converts, in a folder with a Japanese name.
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "app/Application.h"
#include "app/MainFrm.h"
#include "app/QtPlatformServices.h"
#include "support/DbfBuilder.h"
#include "support/ShpBuilder.h"

namespace {

using plexor::TfrmMain;
using plexor::test::DbfBuilder;
using plexor::test::ShpBuilder;

// A point shapefile with a table of two columns; `withTable` false leaves the .dbf out.
std::string MakePoints(const std::string& folder, const std::string& base, int points,
                       bool withTable = true) {
  ShpBuilder shp;
  shp.HeaderShapeType(1).Bounds(139.0, 35.0, 140.0, 36.0);
  DbfBuilder dbf;
  dbf.Field("NAME", 'C', 12).Field("NO", 'N', 8);
  for (int i = 0; i < points; ++i) {
    shp.Point(139.0 + (i % 1000) * 0.001, 35.0 + (i / 1000 % 1000) * 0.001);
    dbf.Record({"point", std::to_string(i)});
  }
  shp.Write(folder + "/" + base + ".shp");
  if (withTable) dbf.Write(folder + "/" + base + ".dbf");
  return folder + "/" + base + ".shp";
}

// What the X server shows in `area` (the whole screen when empty), saved as a PNG.
void Grab(const QString& file, QRect area = {}) {
  if (area.isEmpty()) area = QGuiApplication::primaryScreen()->geometry();
  QGuiApplication::primaryScreen()
      ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
      .save(file, "PNG");
  std::printf("%s\n", file.toLocal8Bit().constData());
}

// Calls `act` once `ready` holds, looking every 20 ms (in any event loop, modal ones too).
void When(std::function<bool()> ready, std::function<void()> act) {
  QTimer::singleShot(20, [ready, act] {
    if (ready()) {
      act();
    } else {
      When(ready, act);
    }
  });
}

template <typename Box>
Box* OpenModal() {
  return qobject_cast<Box*>(QApplication::activeModalWidget());
}

// Closes every message box that opens until the next step takes over.
void AcceptBoxesWhile(const bool& on) {
  QTimer::singleShot(50, [&on] {
    if (!on) return;
    if (auto* box = OpenModal<QMessageBox>()) box->accept();
    AcceptBoxesWhile(on);
  });
}

class Session {
 public:
  Session(TfrmMain& window, QString out, std::string folder)
      : window_(window), out_(std::move(out)), folder_(std::move(folder)) {}

  void Start() {
    const std::string big = MakePoints(folder_, "道路", 1500000);
    MakePoints(folder_, "河川", 2000);
    MakePoints(folder_, "建物", 2000);
    MakePoints(folder_, "公園", 10, false);
    for (const char* name : {"河川", "道路", "建物"}) {
      window_.lstCoordSys->setCurrentRow(30);
      window_.edtShpFile->setText(QString::fromStdString(folder_ + "/" + name + ".shp"));
      window_.edtMifFile->setText(QString::fromStdString(folder_ + "/" + name + ".mif"));
      window_.btnAddClick();
    }
    window_.edtShpFile->setText(QString::fromStdString(big));
    window_.edtMifFile->setText(QString::fromStdString(folder_ + "/道路.mif"));
    acceptBoxes_ = true;
    AcceptBoxesWhile(acceptBoxes_);
    window_.btnBatchClick();
    When([this] { return window_.lblRows->text() == "2/3" && window_.prgConvert->value() >= 150; },
         [this] {
           window_.repaint();
           Grab(out_ + "/window.png", window_.frameGeometry());
           When([this] { return !window_.IsBusy() && OpenModal<QMessageBox>() == nullptr; },
                [this] { Failure(); });
         });
  }

 private:
  void Failure() {
    acceptBoxes_ = false;
    window_.edtShpFile->setText(QString::fromStdString(folder_ + "/公園.shp"));
    window_.edtMifFile->setText(QString::fromStdString(folder_ + "/公園.mif"));
    When([] { return OpenModal<QMessageBox>() != nullptr; },
         [this] {
           QTimer::singleShot(300, [this] {
             Grab(out_ + "/failure.png");
             OpenModal<QMessageBox>()->accept();
             QTimer::singleShot(100, [this] { Dialog(); });
           });
         });
    window_.btnConvertClick();
  }

  void Dialog() {
    When([] { return OpenModal<QFileDialog>() != nullptr; },
         [this] {
           QTimer::singleShot(800, [this] {
             Grab(out_ + "/dialog.png");
             OpenModal<QFileDialog>()->reject();
             QTimer::singleShot(100, [this] { About(); });
           });
         });
    QTimer::singleShot(0, [this] { window_.btnShpBrowseClick(); });
  }

  void About() {
    When([] { return OpenModal<QDialog>() != nullptr; },
         [this] {
           QTimer::singleShot(300, [this] {
             QWidget* box = OpenModal<QDialog>();
             Grab(out_ + "/about.png", box->frameGeometry());
             box->close();
             QTimer::singleShot(100, [] { QApplication::quit(); });
           });
         });
    QTimer::singleShot(0, [this] { window_.A1Click(); });
  }

  TfrmMain& window_;
  QString out_;
  std::string folder_;
  bool acceptBoxes_ = false;
};

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: plexor_screenshot OUTDIR WORKDIR\n");
    return 2;
  }
  QApplication app(argc, argv);
  plexor::SetUpApplication(app);
  const std::string folder = std::string(argv[2]) + "/地図";
  std::filesystem::create_directories(folder);

  plexor::QtPlatformServices services;
  TfrmMain window(services);
  services.SetDialogParent(&window);
  window.show();
  Session session(window, QString::fromLocal8Bit(argv[1]), folder);
  QTimer::singleShot(500, [&session] { session.Start(); });
  // A picture that never comes must not hold the script forever.
  QTimer::singleShot(120000, [] { QApplication::exit(1); });
  return QApplication::exec();
}
