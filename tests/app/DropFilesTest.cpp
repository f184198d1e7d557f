// Files, folders and archives dropped on the window, as a file manager drops them.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <filesystem>

#include "app/GuiFixtures.h"
#include "support/ZipBuilder.h"

namespace plexor::test {
namespace {

class DropTest : public MainWindowTest {
 protected:
  // Drags the paths onto the window and drops them; false when the window refused the drag.
  bool Drop(const std::vector<std::string>& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& p : paths) {
      urls.push_back(p.find("://") == std::string::npos
                         ? QUrl::fromLocalFile(QString::fromStdString(p))
                         : QUrl(QString::fromStdString(p)));
    }
    data.setUrls(urls);
    const QPoint at(400, 100);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &drop);
    return true;
  }
  std::string Source(int row) const {
    return window->BatchRows()[static_cast<size_t>(row)].SourcePath;
  }
  std::string Target(int row) const {
    return window->BatchRows()[static_cast<size_t>(row)].TargetPath;
  }
};

TEST_F(DropTest, OneFileOfAShapefileFillsTheInputs) {
  MakeShapefile(dir, "roads");
  WriteFile(dir / "roads.shx", std::string(100, '\0'));
  for (const char* dropped : {"roads.dbf", "roads.shx", "roads.shp"}) {
    window->edtShpFile->clear();
    ASSERT_TRUE(Drop({dir / dropped})) << dropped;
    EXPECT_EQ(window->edtShpFile->text().toStdString(), dir / "roads.shp") << dropped;
    EXPECT_EQ(window->edtMifFile->text().toStdString(), dir / "roads.mif") << dropped;
  }
  EXPECT_EQ(RowCount(), 0);
  EXPECT_TRUE(services.Messages.empty());

  // Nothing that belongs to a shapefile: the inputs stay and the box says what was dropped.
  WriteFile(dir / "notes.txt", "x");
  ASSERT_TRUE(Drop({dir / "notes.txt"}));
  EXPECT_EQ(window->edtShpFile->text().toStdString(), dir / "roads.shp");
  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_NE(services.Messages[0].Text.find("notes.txt"), std::string::npos);
  EXPECT_NE(services.Messages[0].Text.find(kDropUnusedText), std::string::npos);
}

TEST_F(DropTest, SeveralFilesAFolderAndAnArchiveAddOneRowPerShapefile) {
  MakeShapefile(dir, "a");
  MakeShapefile(dir, "b");
  WriteFile(dir / "notes.txt", "x");
  // Without a coordinate system there is nothing to add the rows with.
  ASSERT_TRUE(Drop({dir / "a.shp", dir / "b.dbf"}));
  EXPECT_EQ(RowCount(), 0);
  ASSERT_EQ(services.MessageTexts(), std::vector<std::string>{kNoCoordSysText});
  services.Messages.clear();

  window->lstCoordSys->setCurrentRow(30);
  ASSERT_TRUE(Drop({dir / "a.shp", dir / "a.dbf", dir / "b.dbf", dir / "notes.txt"}));
  ASSERT_EQ(RowCount(), 2);
  EXPECT_EQ(Source(0), dir / "a.shp");
  EXPECT_EQ(Target(0), dir / "a.mif");
  EXPECT_EQ(Source(1), dir / "b.shp");
  EXPECT_EQ(window->BatchRows()[1].IndexText, "30");
  ASSERT_EQ(services.Messages.size(), 1u);  // the text file is named, the rows are added
  EXPECT_NE(services.Messages[0].Text.find("notes.txt"), std::string::npos);
  services.Messages.clear();

  // A folder brings its sub-folders too, in sorted order.
  std::filesystem::create_directories(dir / "folder/sub");
  TempDir other;
  MakeShapefile(other, "z");
  MakeShapefile(other, "y");
  std::filesystem::copy(other.Path(), dir / "folder/sub");
  MakeShapefile(other, "x");
  std::filesystem::copy_file(other / "x.shp", dir / "folder/x.shp");
  std::filesystem::copy_file(other / "x.dbf", dir / "folder/x.dbf");
  window->btnClear->click();
  ASSERT_TRUE(Drop({dir / "folder"}));
  ASSERT_EQ(RowCount(), 3);
  EXPECT_EQ(Source(0), dir / "folder/sub/y.shp");
  EXPECT_EQ(Source(1), dir / "folder/sub/z.shp");
  EXPECT_EQ(Source(2), dir / "folder/x.shp");
  EXPECT_TRUE(services.Messages.empty());

  // An archive: its shapefiles convert beside it; a refused member is named, not added.
  ZipBuilder zip;
  zip.Add("town/roads.shp", ReadFile(dir / "a.shp"));
  zip.Add("town/ROADS.DBF", ReadFile(dir / "a.dbf"));
  zip.Add("town/locked.shp", ReadFile(dir / "b.shp")).Flags = 0x0001;
  zip.Write(dir / "town.zip");
  window->btnClear->click();
  ASSERT_TRUE(Drop({dir / "town.zip", "https://example.invalid/x.zip"}));
  ASSERT_EQ(RowCount(), 1);
  EXPECT_EQ(Source(0), dir / "town.zip/town/roads.shp");
  EXPECT_EQ(Target(0), dir / "roads.mif");
  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_NE(services.Messages[0].Text.find("\"town/locked.shp\" を読めません: 暗号化されています"),
            std::string::npos)
      << services.Messages[0].Text;
  EXPECT_NE(services.Messages[0].Text.find("https://example.invalid/x.zip"), std::string::npos);
  services.Messages.clear();
  ClickAndWait(window->btnBatch);
  EXPECT_EQ(Marks(), std::vector<int>{0});
  EXPECT_EQ(ReadFile(dir / "roads.mid"), "\"r0\",0\r\n\"r1\",1\r\n");
}

}  // namespace
}  // namespace plexor::test
