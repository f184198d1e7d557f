#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <functional>

#include "PlexorVersion.h"
#include "app/AboutDlg.h"
#include "app/GuiFixtures.h"
#include "ui/MakerInfo.h"

namespace plexor::test {
namespace {

// Acts on the modal box once its own event loop runs; waits for it as long as it takes.
void WhenModalBoxShows(const std::function<void(QDialog*)>& act) {
  QTimer::singleShot(0, [act] {
    if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      act(box);
    } else {
      WhenModalBoxShows(act);
    }
  });
}

TEST_F(MainWindowTest, AboutBoxIsFreshEachTimeShowsTheVersionAndClosesWithEnterOrEsc) {
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
    QPointer<QDialog> seen;
    QString version;
    QString title;
    QSize size;
    WhenModalBoxShows([&](QDialog* box) {
      seen = box;
      version = box->findChild<QLabel*>("lblVersion")->text();
      title = box->windowTitle();
      size = box->size();
      QTest::keyClick(box, key);
    });
    window->A1->trigger();
    ASSERT_FALSE(version.isEmpty());
    EXPECT_TRUE(seen.isNull()) << "the box is released when it closes";
    EXPECT_EQ(version.toStdString(), std::string("Version ") + kPlexorVersionText);
    EXPECT_EQ(title.toStdString(), "バージョン情報");
    EXPECT_EQ(size.width(), 361);
  }
  // The window takes commands again at once.
  Click(window->btnConvert);
  EXPECT_EQ(services.Messages.size(), 1u);
}

TEST_F(MainWindowTest, AboutBoxLinksGoToTheDesktopThroughTheServices) {
  TdlgAbout box(services, window.get());
  box.show();
  EXPECT_EQ(box.Label6->text().toStdString(), maker::kWebAddress);
  EXPECT_EQ(box.Label4->text().toStdString(), maker::kMailAddress);
  EXPECT_EQ(box.Label3->text().toStdString(), maker::kName);
  EXPECT_EQ(box.Label6->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(box.Label6->font().underline());
  QTest::mouseClick(box.Label6, Qt::LeftButton);
  QTest::mouseClick(box.Label4, Qt::LeftButton);
  QTest::mouseClick(box.Label5, Qt::LeftButton);  // a caption, no link
  EXPECT_EQ(
      services.Opened,
      (std::vector<std::string>{maker::kWebAddress, std::string("mailto:") + maker::kMailAddress}));
  EXPECT_EQ(box.Button1->geometry(), QRect(144, 152, 75, 21));
  EXPECT_TRUE(box.Button1->isDefault());
  EXPECT_EQ(box.Image1->geometry(), QRect(8, 80, 88, 31));
  EXPECT_EQ(box.lblVersion->pos(), QPoint(104, 32));
}

}  // namespace
}  // namespace plexor::test
