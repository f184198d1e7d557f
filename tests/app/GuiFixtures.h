// A main window on the fake services in a temporary folder.
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

#include "app/MainFrm.h"
#include "ui/FakePlatformServices.h"
#include "ui/Shapefiles.h"

namespace plexor::test {

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
  // Lets the window's queue run until the conversion or batch run going has ended.
  void WaitForRun() {
    while (window->IsBusy()) QTest::qWait(5);
  }
  // Presses the button and waits for the run it starts.
  void ClickAndWait(QPushButton* button) {
    Click(button);
    WaitForRun();
  }
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
