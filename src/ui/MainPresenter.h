// Every decision of the main window, without a toolkit: the input checks, the batch list and
// its file, the combine controls, the conversions on their own thread, the window's
// placement and the date format. The view forwards its events to the handlers of the same
// names and draws what it is told.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Batch.h"
#include "ui/BackgroundRun.h"
#include "ui/BatchList.h"
#include "ui/MainView.h"
#include "ui/MessageBoxes.h"
#include "ui/Placement.h"
#include "ui/PlatformServices.h"

namespace plexor {

inline constexpr const char* kNoCoordSysText = "MIFに記述する投影法を選択してください。";
inline constexpr const char* kBadSourceText = "変換元SHPのファイル名が不正です。";
inline constexpr const char* kBadTargetText = "変換後MIFのファイル名が不正です。";
inline constexpr const char* kConvertedText = "変換に成功しました。";
inline constexpr const char* kConvertFailedText = "変換に失敗しました。";
// The warning shown instead of saving a list whose paths could not be read back.
inline constexpr const char* kUnsavableBatchListText =
    "ファイル名に二重引用符（\"）または改行を含む行があるため、バッチリストを保存できません。";
inline constexpr const char* kStopRunQuestion =
    "変換中です。変換を中止してウィンドウを閉じますか？";
inline constexpr const char* kStoppingText = "変換を中止しています。";
inline constexpr const char* kDropUnusedText =
    "シェープファイルではないか、シェープファイルを含まないため、使いませんでした:";
inline constexpr const char* kDropRefusedText =
    "次のシェープファイルは変換できないため、追加しませんでした:";

class TMainPresenter : private IRunEvents {
 public:
  // `post` runs a task on the view's thread; conversions report through it.
  TMainPresenter(IMainView& view, IPlatformServices& services, TPostToUi post);
  // A run still going is stopped and waited for.
  ~TMainPresenter() override;

  // --- Events and handlers, named as the view's controls -----------------------------------
  void FormCreate();
  void FormShow();
  // False keeps the window open: a run is going and the user wants it to go on.
  bool FormCloseQuery();
  void FormClose();
  bool CheckInputs();
  void btnShpBrowseClick();
  void btnMifBrowseClick();
  void btnConvertClick();
  void X1Click();
  void H2Click();
  void A1Click();
  void lvwBatchChange();
  void btnAddClick();
  void btnReplaceClick();
  void lvwBatchDblClick();
  void btnClearClick();
  void btnRemoveClick();
  void btnCmbBrowseClick();
  void O1Click();
  void S1Click();
  void btnBatchClick();
  void btnCancelClick();  // also "変換の中止" in the menu and Esc
  void D2Click();         // dates as yyyy/mm/dd
  void D3Click();         // dates as yyyymmdd
  // Files and folders dropped on the window (native paths): one file of a shapefile fills the
  // single conversion's inputs; several files, a folder or an archive add a batch row for each
  // shapefile, with the chosen coordinate system.
  void FormDropFiles(const std::vector<std::string>& paths);

  bool CanCombineBatch();
  void UpdateCombineControls();
  // The rest of "開く" once the file is chosen: the file's rows are appended.
  void LoadBatchFile(const std::string& path);
  bool ConvertShpToMif(int32_t index, const std::string& source, const std::string& target,
                       IConvertHost& host, TConvertSummary* summary);

  const std::vector<TBatchRow>& BatchRows() const { return list_.Rows(); }
  bool Running() const { return run_.Running(); }
  const std::string& DateFormat() const { return dateFormat_; }
  // The desktop's settings with the date format of the menu.
  RegionalSettings Regional() const;
  const std::string& HelpFile() const { return helpFile_; }

  TFileDialog OpenDialog1;
  TFileDialog SaveDialog1;
  TFileDialog OpenDialog2;
  TFileDialog SaveDialog2;

 private:
  // IRunEvents: what the run reports, on the view's thread.
  void RunStatusText(const std::string& text) override;
  void RunMessage(MessageKind kind, const std::string& text) override;
  void RunRowSelected(int index) override;
  void RunRowMarked(int index, TBatchMark mark, const std::string& reason) override;
  void RunConversionStarted() override;
  void RunProgress(int permille) override;

  // Runs a handler so that no error leaves it: the error goes to the application's box.
  template <typename Body>
  void Guarded(Body&& body) noexcept;
  void Tell(MessageKind kind, const std::string& text) { boxes_.Tell(kind, text); }

  void ShowControlStates();
  TBatchRow RowFromInputs() const;
  // The selected row, or -1.
  int SelectedRow() const;
  void SelectCoordSysFromPrj(const std::string& source);
  void SetDateFormat(const std::string& format);
  std::string PlacementFile() const;

  void StartRun(size_t batchRows);
  void EndRun();
  // The end of a run: `error` is the text of the error that ended it, empty when none.
  void ConversionEnded(const std::string& error, bool result, const TConvertSummary& summary);
  void BatchEnded(const std::vector<TBatchRow>& rows, const std::string& error);

  IMainView& view_;
  IPlatformServices& services_;
  TBatchList list_;
  bool canCombine_ = false;
  std::string helpFile_;
  std::string dateFormat_ = kDateFormatSlashed;
  TMessageBoxes boxes_;
  TRunProgress progress_;
  size_t batchRows_ = 0;  // rows of the batch run going, 0 for a single conversion
  TBackgroundRun run_;
};

}  // namespace plexor
