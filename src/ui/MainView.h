// What the main window's presenter asks of a view: the controls' contents, which of them
// may be used, the batch list's rows, the run's progress and the window's place. A view
// draws what it is told and hands every event to the presenter; it decides nothing.
#pragma once

#include <array>
#include <string>

#include "engine/ConvertHost.h"

namespace plexor {

// The controls whose enabled state or check mark the presenter sets, named as the controls.
enum class TControl {
  lstCoordSys,
  edtShpFile,
  btnShpBrowse,
  edtMifFile,
  btnMifBrowse,
  btnAdd,
  btnReplace,
  btnConvert,
  chkCombine,
  edtConbineFile,
  btnCmbBrowse,
  btnClear,
  btnRemove,
  btnBatch,
  O1,  // "開く(&O)..."
  S1,  // "保存(&S)..."
  C1,  // "変換の中止(&C)" (Esc), with btnCancel in the status bar
  D2,  // date format yyyy/mm/dd
  D3,  // date format yyyymmdd
};

// One row of the batch list as it is drawn: every text UTF-8, the full text of each cell
// (and why the row failed) as the cell's tooltip.
struct TBatchRowView {
  std::array<std::string, 4> Cells;  // index text, coordinate system, source, target
  std::array<std::string, 4> Tips;
  TBatchMark Mark = TBatchMark::None;
};

// The progress shown in the status bar while a conversion runs off the window's thread.
struct TRunProgress {
  bool Running = false;  // the bar and the cancel button are shown
  int Permille = 0;      // of the file converted now
  std::string Rows;      // "k/n" during a batch run, else empty
};

// Outer bounds (the frame included) in screen pixels.
struct TWindowBounds {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool operator==(const TWindowBounds&) const = default;
};

enum class TWindowState { Normal, Maximized, Minimized };

class IMainView {
 public:
  virtual ~IMainView() = default;

  // --- The inputs as the user left them. Paths are native narrow strings.
  virtual int SelectedCoordSys() const = 0;  // -1 when none is selected
  virtual std::string ShpFileText() const = 0;
  virtual std::string MifFileText() const = 0;
  virtual bool CombineChecked() const = 0;
  virtual std::string CombineFileText() const = 0;
  virtual int SelectedBatchRow() const = 0;  // -1 when none is selected

  // --- Contents.
  virtual void SelectCoordSys(int index) = 0;  // and scrolls it into view
  virtual void SetShpFileText(const std::string& path) = 0;
  virtual void SetMifFileText(const std::string& path) = 0;
  virtual void SetCombineChecked(bool checked) = 0;
  virtual void SetCombineFileText(const std::string& path) = 0;

  // --- The batch list. Row heights never change with the marks.
  virtual void SetBatchRowCount(int count) = 0;  // rows beyond it are removed, new ones blank
  virtual void ShowBatchRow(int index, const TBatchRowView& row) = 0;
  virtual void SelectBatchRow(int index) = 0;  // -1 clears; a selected row is scrolled to

  // --- State.
  virtual void SetControlEnabled(TControl control, bool enabled) = 0;
  virtual void SetControlChecked(TControl control, bool checked) = 0;
  virtual void SetControlTip(TControl control, const std::string& tip) = 0;
  virtual void SetStatusText(const std::string& text) = 0;  // UTF-8; empty clears
  virtual void ShowProgress(const TRunProgress& progress) = 0;

  // --- The window.
  virtual TWindowBounds OuterBounds() const = 0;
  virtual TWindowState WindowState() const = 0;
  // Puts the frame's top left corner at the bounds' corner, then sets the state. A window of
  // fixed size keeps its own size.
  virtual void PlaceWindow(const TWindowBounds& outer, TWindowState state) = 0;
  virtual void ShowAboutBox() = 0;
  virtual void CloseWindow() = 0;  // as the title bar's close box: the close query follows
};

}  // namespace plexor
