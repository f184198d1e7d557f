// A view for the presenter's tests: holds what a window would show and lets the test act
// as the user on it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ui/MainView.h"

namespace plexor::test {

class FakeMainView : public IMainView {
 public:
  int CoordSys = -1;
  std::string Shp;
  std::string Mif;
  bool Combine = false;
  std::string CombineFile;
  int Selected = -1;
  std::vector<TBatchRowView> Rows;
  std::map<TControl, bool> Enabled;
  std::map<TControl, bool> Checked;
  std::map<TControl, std::string> Tips;
  std::string Status;
  TRunProgress Progress;
  std::vector<TRunProgress> Progresses;
  // A window of fixed size; PlaceWindow moves its frame.
  TWindowBounds Frame{0, 0, 801, 466};
  TWindowState State = TWindowState::Normal;
  int AboutBoxes = 0;
  int CloseRequests = 0;

  int SelectedCoordSys() const override { return CoordSys; }
  std::string ShpFileText() const override { return Shp; }
  std::string MifFileText() const override { return Mif; }
  bool CombineChecked() const override { return Combine; }
  std::string CombineFileText() const override { return CombineFile; }
  int SelectedBatchRow() const override { return Selected; }
  void SelectCoordSys(int index) override { CoordSys = index; }
  void SetShpFileText(const std::string& path) override { Shp = path; }
  void SetMifFileText(const std::string& path) override { Mif = path; }
  void SetCombineChecked(bool checked) override { Combine = checked; }
  void SetCombineFileText(const std::string& path) override { CombineFile = path; }
  void SetBatchRowCount(int count) override { Rows.resize(static_cast<size_t>(count)); }
  void ShowBatchRow(int index, const TBatchRowView& row) override {
    Rows.at(static_cast<size_t>(index)) = row;
  }
  void SelectBatchRow(int index) override { Selected = index; }
  void SetControlEnabled(TControl control, bool enabled) override { Enabled[control] = enabled; }
  void SetControlChecked(TControl control, bool checked) override { Checked[control] = checked; }
  void SetControlTip(TControl control, const std::string& tip) override { Tips[control] = tip; }
  void SetStatusText(const std::string& text) override { Status = text; }
  void ShowProgress(const TRunProgress& progress) override {
    Progress = progress;
    Progresses.push_back(progress);
  }
  TWindowBounds OuterBounds() const override { return Frame; }
  TWindowState WindowState() const override { return State; }
  void PlaceWindow(const TWindowBounds& outer, TWindowState state) override {
    Frame.Left = outer.Left;
    Frame.Top = outer.Top;
    State = state;
  }
  void ShowAboutBox() override { ++AboutBoxes; }
  void CloseWindow() override { ++CloseRequests; }

  std::vector<int> Marks() const {
    std::vector<int> marks;
    for (const TBatchRowView& row : Rows) marks.push_back(static_cast<int>(row.Mark));
    return marks;
  }
};

}  // namespace plexor::test
