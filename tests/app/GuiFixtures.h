// A main window on the fake services in a temporary folder, and the shapefiles its tests
// convert.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/FakePlatformServices.h"
#include "app/MainFrm.h"
#include "support/DbfBuilder.h"
#include "support/ShpBuilder.h"

namespace plexor::test {

struct TestField {
  std::string Name;
  char Type;
  int Length;
};

inline const std::vector<TestField> kRoadFields = {{"NAME", 'C', 10}, {"LANES", 'N', 4}};

// A point shapefile of `records` points with its table beside it; returns the .shp path.
inline std::string MakeShapefile(const TempDir& dir, const std::string& base,
                                 const std::vector<TestField>& fields = kRoadFields,
                                 int records = 2) {
  ShpBuilder shp;
  shp.HeaderShapeType(1);
  DbfBuilder dbf;
  for (const TestField& f : fields) dbf.Field(f.Name, f.Type, f.Length);
  for (int i = 0; i < records; ++i) {
    shp.Point(139.5 + i, 35.25 + i);
    std::vector<std::string> values;
    for (const TestField& f : fields)
      values.push_back(f.Type == 'N' ? std::to_string(i) : "r" + std::to_string(i));
    dbf.Record(values);
  }
  shp.Write(dir / (base + ".shp"));
  dbf.Write(dir / (base + ".dbf"));
  return dir / (base + ".shp");
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services.Exe = dir / "plexor-converter";
    window = std::make_unique<TfrmMain>(services);
    window->show();
    QCoreApplication::processEvents();
  }

  void SetInputs(int index, const std::string& source, const std::string& target) {
    window->lstCoordSys->setCurrentRow(index);
    window->edtShpFile->setText(QString::fromStdString(source));
    window->edtMifFile->setText(QString::fromStdString(target));
  }
  // Fills the inputs and presses "追加".
  void AddRow(int index, const std::string& source, const std::string& target) {
    SetInputs(index, source, target);
    Click(window->btnAdd);
  }
  static void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  void SelectRow(int row) {
    QTreeWidget* list = window->lvwBatch;
    const QRect at = list->visualItemRect(list->topLevelItem(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at.center());
  }
  int RowCount() const { return window->lvwBatch->topLevelItemCount(); }
  std::string Cell(int row, int column) const {
    return window->lvwBatch->topLevelItem(row)->text(column).toStdString();
  }
  std::vector<int> Marks() const {
    std::vector<int> marks;
    for (int i = 0; i < RowCount(); ++i) marks.push_back(window->BatchRowMark(i));
    return marks;
  }
  bool CombineEnabled() const {
    const bool enabled = window->chkCombine->isEnabled();
    // The name and its browse button always follow the check box.
    EXPECT_EQ(window->edtConbineFile->isEnabled(), enabled);
    EXPECT_EQ(window->btnCmbBrowse->isEnabled(), enabled);
    return enabled;
  }

  TempDir dir;
  FakePlatformServices services;
  std::unique_ptr<TfrmMain> window;
};

}  // namespace plexor::test
