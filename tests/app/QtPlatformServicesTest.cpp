#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>

#include "app/QtPlatformServices.h"
#include "support/ShpBuilder.h"

namespace plexor::test {
namespace {

// The real services with the two outlets that would reach the desktop written down instead.
class RecordingServices : public QtPlatformServices {
 public:
  std::vector<std::pair<MessageKind, std::string>> Messages;
  std::vector<std::string> Opened;
  bool Opens = true;  // false: the desktop has no browser
  void ShowMessage(MessageKind kind, const std::string& text) override {
    Messages.emplace_back(kind, text);
  }
  bool ShellOpen(const std::string& target) override {
    Opened.push_back(target);
    return Opens;
  }
};

TEST(QtPlatformServices, HelpOpensTheManualOfTheHelpFilesNameOrSaysItIsMissing) {
  TempDir dir;
  RecordingServices services;
  services.ShowHelp(dir / "plexor-converter.hlp", kHelpKeyCommand, 0);
  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_EQ(services.Messages[0].first, MessageKind::Error);
  EXPECT_NE(services.Messages[0].second.find(dir / "plexor-converter.html"), std::string::npos);
  EXPECT_TRUE(services.Opened.empty());

  WriteFile(dir / "plexor-converter.html", "<html></html>");
  services.ShowHelp(dir / "plexor-converter.hlp", kHelpKeyCommand, 0);
  ASSERT_EQ(services.Opened.size(), 1u);
  const QUrl url(QString::fromStdString(services.Opened[0]));
  EXPECT_TRUE(url.isLocalFile());
  EXPECT_EQ(url.toLocalFile().toStdString(), dir / "plexor-converter.html");
}

TEST(QtPlatformServices, WithoutABrowserTheManualIsShownInAWindowOfOurOwn) {
  TempDir dir;
  WriteFile(dir / "plexor-converter.html", "<html><body><h1>変換の手順</h1></body></html>");
  RecordingServices services;
  services.Opens = false;
  services.ShowHelp(dir / "plexor-converter.hlp", kHelpKeyCommand, 0);
  services.ShowHelp(dir / "plexor-converter.hlp", kHelpKeyCommand, 0);
  QList<QDialog*> shown;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == "dlgHelp" && w->isVisible()) shown << qobject_cast<QDialog*>(w);
  }
  ASSERT_EQ(shown.size(), 1) << "F1 twice brings the same window forward";
  auto* browser = shown[0]->findChild<QTextBrowser*>("txtManual");
  ASSERT_NE(browser, nullptr);
  EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("変換の手順")));
  EXPECT_FALSE(shown[0]->isModal());
  EXPECT_TRUE(services.Messages.empty());
  delete shown[0];
}

TEST(QtPlatformServices, FilterPatternsFitLinuxNames) {
  EXPECT_EQ(QtNameFilter("SHP ファイル (*.shp)", "*.shp"), QStringLiteral("SHP ファイル (*.shp)"));
  // Linux names need not have a dot: "all files" must offer those too.
  EXPECT_EQ(QtNameFilter("すべてのファイル (*.*)", "*.*"), QStringLiteral("すべてのファイル (*)"));
  EXPECT_EQ(HelpManualPath("/opt/a.b/conv"), "/opt/a.b/conv.html");
}

// Reads the box that is open and closes it with its only button.
struct SeenBox {
  QString Title;
  QString Text;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  int Buttons = 0;
};

void ReadAndCloseBox(SeenBox& seen) {
  QTimer::singleShot(0, [&seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return ReadAndCloseBox(seen);
    seen = {box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size())};
    box->button(QMessageBox::Ok)->click();
  });
}

TEST(QtPlatformServices, BoxesCarryTheKindsTitleAndIconAndOneButton) {
  QtPlatformServices services;
  const std::tuple<std::function<void()>, const char*, QMessageBox::Icon> boxes[] = {
      {[&] { services.ShowApplicationError("壊れています"); }, "Plexor Converter",
       QMessageBox::Critical},
      {[&] { services.ShowMessage(MessageKind::Warning, "壊れています"); }, "警告",
       QMessageBox::Warning},
      {[&] { services.ShowMessage(MessageKind::Error, "壊れています"); }, "エラー",
       QMessageBox::Critical},
      {[&] { services.ShowMessage(MessageKind::Information, "壊れています"); }, "情報",
       QMessageBox::Information},
  };
  for (const auto& [show, title, icon] : boxes) {
    SeenBox seen;
    ReadAndCloseBox(seen);
    show();
    EXPECT_EQ(seen.Title.toStdString(), title);
    EXPECT_EQ(seen.Text.toStdString(), "壊れています");
    EXPECT_EQ(seen.Icon, icon);
    EXPECT_EQ(seen.Buttons, 1);
  }
}

TEST(QtPlatformServices, TheQuestionAsksYesOrNoInJapanese) {
  QtPlatformServices services;
  for (const QMessageBox::StandardButton press : {QMessageBox::Yes, QMessageBox::No}) {
    QString title;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      title = box->windowTitle();
      for (QAbstractButton* b : box->buttons()) buttons << b->text();
      box->button(press)->click();
    });
    EXPECT_EQ(services.Confirm("止めますか？"), press == QMessageBox::Yes);
    EXPECT_EQ(title.toStdString(), "確認");
    EXPECT_EQ(buttons.size(), 2);
    EXPECT_TRUE(buttons.join(' ').contains(QStringLiteral("はい")))
        << buttons.join(' ').toStdString();
  }
}

// Set up as the program is: Qt's own texts are Japanese, and nothing is appended to a title.
TEST(QtPlatformServices, QtSpeaksJapaneseAndLeavesTitlesAsGiven) {
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
  EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "Folder"),
            QStringLiteral("フォルダー"));
  QLineEdit edit;
  std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
  QStringList items;
  for (QAction* a : menu->actions()) items << a->text();
  EXPECT_TRUE(items.join(' ').contains(QStringLiteral("コピー"))) << items.join(' ').toStdString();
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  const auto* lookIn = dialog.findChild<QLabel*>("lookInLabel");
  ASSERT_NE(lookIn, nullptr);
  EXPECT_NE(lookIn->text(), QStringLiteral("Look in:"));
  // A display name would be appended to every title by the platform ("警告 — ...").
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

TEST(QtPlatformServices, TheCursorComesBackHoweverOftenTheHourglassWasSet) {
  QtPlatformServices services;
  services.SetWaitCursor(true);
  services.SetWaitCursor(true);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  services.SetWaitCursor(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace plexor::test
