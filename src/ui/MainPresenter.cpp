#include "ui/MainPresenter.h"

#include <memory>

#include "engine/PrjFile.h"
#include "engine/ShpToMif.h"
#include "engine/SourceList.h"
#include "support/ByteStrings.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"
#include "support/InputFile.h"
#include "support/ProfileFile.h"
#include "support/QvSysUtils.h"

namespace plexor {
namespace {

constexpr const char* kPrjChosenText = "投影法を .prj ファイルから選びました: ";
constexpr const char* kPrjUnknownText = ".prj ファイルの投影法は一覧から選べません: ";

// A message and what explains it, each further text a paragraph of its own.
std::string Paragraphs(const std::string& first, const std::vector<std::string>& more) {
  std::string text = first;
  for (const std::string& paragraph : more) {
    if (!paragraph.empty()) text += "\n\n" + paragraph;
  }
  return text;
}

}  // namespace

TMainPresenter::TMainPresenter(IMainView& view, IPlatformServices& services, TPostToUi post)
    : view_(view),
      services_(services),
      list_(view),
      boxes_(services),
      run_(std::move(post), *this) {
  OpenDialog1 = {
      "OpenDialog1", TFileDialog::Kind::Open, {{"SHP ファイル (*.shp)", "*.shp"}}, "", ""};
  SaveDialog1 = {"SaveDialog1",
                 TFileDialog::Kind::Save,
                 {{"MapInfo インポート/エクスポート (*.mif)", "*.mif"}},
                 "mif",
                 ""};
  const std::vector<std::pair<std::string, std::string>> batchFilters = {
      {"Plexorバッチファイル (*.txt)", "*.txt"}, {"すべてのファイル (*.*)", "*.*"}};
  OpenDialog2 = {"OpenDialog2", TFileDialog::Kind::Open, batchFilters, "", ""};
  SaveDialog2 = {"SaveDialog2", TFileDialog::Kind::Save, batchFilters, "txt", ""};
}

TMainPresenter::~TMainPresenter() {
  run_.StopAndWait();
}

template <typename Body>
void TMainPresenter::Guarded(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
    try {
      services_.SetWaitCursor(false);
      boxes_.TellError(ErrorText(std::current_exception()));
    } catch (...) {
      // Nothing is left to tell the user with; the window must stay alive all the same.
    }
  }
}

// --- Start and end -----------------------------------------------------------------------------

void TMainPresenter::FormCreate() {
  Guarded([this] {
    helpFile_ = ChangeFileExt(services_.ExePath(), ".hlp");
    SetDateFormat(kDateFormatSlashed);
    UpdateCombineControls();
  });
}

void TMainPresenter::FormShow() {
  Guarded([this] {
    const std::string ini = PlacementFile();
    RestorePlacement(view_, ini);
    SetDateFormat(ReadDateFormat(ini));
  });
}

bool TMainPresenter::FormCloseQuery() {
  if (!Running()) return true;
  if (!boxes_.Ask(kStopRunQuestion)) {
    boxes_.Flush();
    return false;
  }
  run_.StopAndWait();
  // Nothing the stopped run had to say is shown once its window is gone.
  boxes_.Drop();
  EndRun();
  return true;
}

void TMainPresenter::FormClose() {
  // A placement that cannot be written is reported, but never keeps the window open.
  Guarded([this] { SavePlacement(view_, PlacementFile(), dateFormat_); });
}

std::string TMainPresenter::PlacementFile() const {
  return WindowPlacementIniPath(services_.ExePath());
}

void TMainPresenter::X1Click() {
  view_.CloseWindow();
}

void TMainPresenter::H2Click() {
  Guarded([this] { services_.ShowHelp(helpFile_, kHelpKeyCommand, 0); });
}

void TMainPresenter::A1Click() {
  Guarded([this] { view_.ShowAboutBox(); });
}

void TMainPresenter::D2Click() {
  SetDateFormat(kDateFormatSlashed);
}

void TMainPresenter::D3Click() {
  SetDateFormat(kDateFormatCompact);
}

void TMainPresenter::SetDateFormat(const std::string& format) {
  dateFormat_ = format;
  view_.SetControlChecked(TControl::D2, format == kDateFormatSlashed);
  view_.SetControlChecked(TControl::D3, format == kDateFormatCompact);
}

RegionalSettings TMainPresenter::Regional() const {
  RegionalSettings regional = services_.Regional();
  regional.ShortDateFormat = dateFormat_;
  return regional.MadeSafe();
}

// --- Controls ----------------------------------------------------------------------------------

// What may be used follows from three things: whether a run is going, whether a row is
// selected and whether the rows can be combined. During a run only the cancel command, the
// help and the list itself (to look at rows and their tips) stay usable.
void TMainPresenter::ShowControlStates() {
  const bool idle = !Running();
  for (const TControl c :
       {TControl::lstCoordSys, TControl::edtShpFile, TControl::btnShpBrowse, TControl::edtMifFile,
        TControl::btnMifBrowse, TControl::btnAdd, TControl::btnConvert, TControl::btnClear,
        TControl::btnBatch, TControl::O1, TControl::S1, TControl::D2, TControl::D3}) {
    view_.SetControlEnabled(c, idle);
  }
  const bool selected = idle && SelectedRow() >= 0;
  view_.SetControlEnabled(TControl::btnReplace, selected);
  view_.SetControlEnabled(TControl::btnRemove, selected);
  // The name and its browse button follow the check box, whether it is ticked or not.
  for (const TControl c :
       {TControl::chkCombine, TControl::edtConbineFile, TControl::btnCmbBrowse}) {
    view_.SetControlEnabled(c, idle && canCombine_);
  }
  view_.SetControlEnabled(TControl::C1, !idle && !run_.CancelRequested());
}

void TMainPresenter::lvwBatchChange() {
  Guarded([this] { ShowControlStates(); });
}

bool TMainPresenter::CanCombineBatch() {
  return ::plexor::CanCombineBatch(list_.Rows());
}

void TMainPresenter::UpdateCombineControls() {
  const std::string why = WhyBatchCannotCombine(list_.Rows());
  canCombine_ = why.empty();
  view_.SetControlTip(TControl::chkCombine, why);
  ShowControlStates();
}

// --- Single conversion -------------------------------------------------------------------------

bool TMainPresenter::CheckInputs() {
  if (view_.SelectedCoordSys() < 0) {
    Tell(MessageKind::Warning, kNoCoordSysText);
    return false;
  }
  // A member of an archive is as good a source as a file; so is an archive of one shapefile.
  if (!InputFileExists(view_.ShpFileText())) {
    Tell(MessageKind::Warning, kBadSourceText);
    return false;
  }
  if (TrimBlanks(view_.MifFileText()).empty()) {
    Tell(MessageKind::Warning, kBadTargetText);
    return false;
  }
  return true;
}

void TMainPresenter::btnShpBrowseClick() {
  Guarded([this] {
    if (Running() || !services_.ExecuteFileDialog(OpenDialog1)) return;
    const std::string source = OpenDialog1.FileName;
    view_.SetShpFileText(source);
    view_.SetMifFileText(ChangeFileExt(source, ".mif"));
    SelectCoordSysFromPrj(source);
  });
}

// The .prj beside the source knows the coordinate system better than a guess from the list.
void TMainPresenter::SelectCoordSysFromPrj(const std::string& source) {
  const std::optional<TPrjMatch> prj = ReadPrjBeside(source);
  if (!prj) return;
  if (prj->Found) {
    view_.SelectCoordSys(prj->Index);
    view_.SetStatusText(kPrjChosenText + prj->Description);
  } else {
    view_.SetStatusText(kPrjUnknownText + prj->Reason);
  }
}

void TMainPresenter::btnMifBrowseClick() {
  Guarded([this] {
    if (!Running() && services_.ExecuteFileDialog(SaveDialog1)) {
      view_.SetMifFileText(SaveDialog1.FileName);
    }
  });
}

void TMainPresenter::btnConvertClick() {
  Guarded([this] {
    if (Running() || !CheckInputs()) return;
    const int index = view_.SelectedCoordSys();
    const std::string source = view_.ShpFileText();
    const std::string target = view_.MifFileText();  // as typed: not trimmed
    auto summary = std::make_shared<TConvertSummary>();
    auto result = std::make_shared<bool>(false);
    run_.Start(
        Regional(),
        [this, index, source, target, summary, result](IConvertHost& host) {
          *result = ConvertShpToMif(index, source, target, host, summary.get());
        },
        [this, summary, result](const std::string& error) {
          Guarded([&] { ConversionEnded(error, *result, *summary); });
        });
    StartRun(0);
  });
}

bool TMainPresenter::ConvertShpToMif(int32_t index, const std::string& source,
                                     const std::string& target, IConvertHost& host,
                                     TConvertSummary* summary) {
  return ::plexor::ConvertShpToMif(index, source, target, host, summary);
}

void TMainPresenter::ConversionEnded(const std::string& error, bool result,
                                     const TConvertSummary& summary) {
  EndRun();
  if (!error.empty()) {
    boxes_.TellError(error);
  } else if (result) {
    Tell(MessageKind::Information, Paragraphs(kConvertedText, summary.Warnings()));
  } else if (run_.CancelRequested()) {
    Tell(MessageKind::Information, kCancelledText);
  } else {
    Tell(MessageKind::Warning, Paragraphs(kConvertFailedText, {summary.FailureReason}));
  }
}

// --- Batch list --------------------------------------------------------------------------------

int TMainPresenter::SelectedRow() const {
  const int row = view_.SelectedBatchRow();
  return list_.Contains(row) ? row : -1;
}

TBatchRow TMainPresenter::RowFromInputs() const {
  return MakeBatchRow(view_.SelectedCoordSys(), view_.ShpFileText(), view_.MifFileText());
}

void TMainPresenter::btnAddClick() {
  Guarded([this] {
    if (Running() || !CheckInputs()) return;
    list_.Append(RowFromInputs());
    UpdateCombineControls();
  });
}

void TMainPresenter::btnReplaceClick() {
  Guarded([this] {
    if (Running() || !CheckInputs()) return;
    const int row = SelectedRow();
    if (row < 0) return;
    list_.Replace(static_cast<size_t>(row), RowFromInputs());
    UpdateCombineControls();
  });
}

void TMainPresenter::lvwBatchDblClick() {
  Guarded([this] {
    const int row = SelectedRow();
    if (Running() || row < 0) return;
    const TBatchRow& chosen = list_.Rows()[static_cast<size_t>(row)];
    view_.SelectCoordSys(BatchRowIndex(chosen));
    view_.SetShpFileText(chosen.SourcePath);
    view_.SetMifFileText(chosen.TargetPath);
  });
}

void TMainPresenter::btnRemoveClick() {
  Guarded([this] {
    const int row = SelectedRow();
    if (Running() || row < 0) return;
    // Nothing is selected afterwards: a view would otherwise hand the selection on to the
    // next row, and "削除" pressed twice would take two rows.
    view_.SelectBatchRow(-1);
    list_.Remove(static_cast<size_t>(row));
    UpdateCombineControls();
  });
}

void TMainPresenter::btnClearClick() {
  Guarded([this] {
    if (Running()) return;
    list_.Clear();
    UpdateCombineControls();
  });
}

void TMainPresenter::btnCmbBrowseClick() {
  Guarded([this] {
    if (!Running() && services_.ExecuteFileDialog(SaveDialog1)) {
      view_.SetCombineFileText(SaveDialog1.FileName);
    }
  });
}

// --- Dropped files -----------------------------------------------------------------------------

void TMainPresenter::FormDropFiles(const std::vector<std::string>& paths) {
  Guarded([&] {
    if (Running() || paths.empty()) return;
    if (paths.size() == 1 && !DirectoryExists(paths[0]) && !IsArchiveSource(paths[0])) {
      const std::string source = ShapefileOfCompanion(paths[0]);
      if (source.empty()) {
        return Tell(MessageKind::Warning, Paragraphs(kDropUnusedText, {NativeToUtf8(paths[0])}));
      }
      view_.SetShpFileText(source);
      view_.SetMifFileText(DefaultTargetOf(source));
      SelectCoordSysFromPrj(source);
      return;
    }
    std::vector<std::string> unused;
    const std::vector<TSourceItem> items = SourcesFromDrop(paths, unused);
    std::vector<std::string> refused;
    std::vector<std::string> sources;
    for (const TSourceItem& item : items) {
      if (item.Refusal.empty()) {
        sources.push_back(item.Source);
      } else {
        refused.push_back(item.Refusal);
      }
    }
    if (!sources.empty() && view_.SelectedCoordSys() < 0) {
      return Tell(MessageKind::Warning, kNoCoordSysText);
    }
    for (const std::string& source : sources) {
      list_.Append(MakeBatchRow(view_.SelectedCoordSys(), source, DefaultTargetOf(source)));
    }
    if (!sources.empty()) UpdateCombineControls();
    std::string why;
    if (!unused.empty()) {
      std::string names;
      for (const std::string& path : unused)
        names += (names.empty() ? "" : "\n") + NativeToUtf8(path);
      why = Paragraphs(kDropUnusedText, {names});
    }
    if (!refused.empty()) {
      std::string reasons;
      for (const std::string& r : refused) reasons += (reasons.empty() ? "" : "\n") + r;
      why = Paragraphs(why.empty() ? kDropRefusedText : why + "\n\n" + kDropRefusedText, {reasons});
    }
    if (!why.empty()) Tell(MessageKind::Warning, why);
  });
}

// --- Batch file --------------------------------------------------------------------------------

void TMainPresenter::O1Click() {
  Guarded([this] {
    if (Running() || !services_.ExecuteFileDialog(OpenDialog2)) return;
    list_.Clear();
    // The combine controls follow whatever the list holds now, also after a refusal or an
    // error; a file that could not be opened leaves the list empty.
    try {
      LoadBatchFile(OpenDialog2.FileName);
    } catch (...) {
      UpdateCombineControls();
      throw;
    }
    UpdateCombineControls();
  });
}

void TMainPresenter::LoadBatchFile(const std::string& path) {
  const std::vector<std::string> lines = ReadBatchLines(path);
  bool combine = view_.CombineChecked();
  std::string combineName = view_.CombineFileText();
  std::vector<TBatchRow> rows;
  // The rows before a bad row line stay, and so do the check box and the name read above it.
  const auto apply = [&] {
    view_.SetCombineChecked(combine);
    view_.SetCombineFileText(combineName);
    for (TBatchRow& row : rows) list_.Append(std::move(row));
    view_.SelectBatchRow(-1);
  };
  bool valid = false;
  std::string why;
  try {
    valid = ParseBatchLines(lines, combine, combineName, rows, GetFileDir(path), &why);
  } catch (...) {
    apply();
    throw;
  }
  if (!valid) return Tell(MessageKind::Error, Paragraphs(kInvalidBatchListText, {why}));
  apply();
}

void TMainPresenter::S1Click() {
  Guarded([this] {
    if (Running()) return;
    if (list_.Size() == 0) return Tell(MessageKind::Warning, kNoBatchListText);
    // A quote or a line break in a path would come back as other rows: refuse before the
    // user picks a file, and write nothing.
    if (!BatchRowsCanBeSaved(list_.Rows())) {
      return Tell(MessageKind::Warning, kUnsavableBatchListText);
    }
    if (!services_.ExecuteFileDialog(SaveDialog2)) return;
    WriteBatchFile(SaveDialog2.FileName, view_.CombineChecked(), view_.CombineFileText(),
                   list_.Rows());
  });
}

// --- Batch run ---------------------------------------------------------------------------------

void TMainPresenter::btnBatchClick() {
  Guarded([this] {
    if (Running()) return;
    // Said here rather than by the run, so that an empty list starts no thread at all.
    if (list_.Size() == 0) return Tell(MessageKind::Warning, kNoBatchListText);
    TBatchRunOptions options;
    options.Combine = canCombine_ && view_.CombineChecked();
    options.CombineName = view_.CombineFileText();
    options.Jobs = 1;
    // A bad combined name is said before the window shows a run.
    if (!CombineNameIsValid(list_.Rows(), options)) {
      return Tell(MessageKind::Warning, kInvalidCombineNameText);
    }
    auto rows = std::make_shared<std::vector<TBatchRow>>(list_.Rows());
    run_.Start(
        Regional(), [rows, options](IConvertHost& host) { RunBatch(*rows, options, host); },
        [this, rows](const std::string& error) { Guarded([&] { BatchEnded(*rows, error); }); });
    StartRun(rows->size());
  });
}

// Marks come in row by row while the run goes; taking them once more afterwards keeps the
// list right where the run ended with an error, and brings the reasons of failed rows.
void TMainPresenter::BatchEnded(const std::vector<TBatchRow>& rows, const std::string& error) {
  list_.TakeOutcome(rows);
  EndRun();
  if (!error.empty()) boxes_.TellError(error);
}

// --- Runs --------------------------------------------------------------------------------------

// Called once the run's thread is started: its first report cannot arrive before this
// returns, since reports wait for the window's thread.
void TMainPresenter::StartRun(size_t batchRows) {
  batchRows_ = batchRows;
  progress_ = {true, 0, {}};
  view_.ShowProgress(progress_);
  ShowControlStates();
}

void TMainPresenter::EndRun() {
  progress_ = {};
  batchRows_ = 0;
  view_.ShowProgress(progress_);
  view_.SetStatusText({});
  ShowControlStates();
}

void TMainPresenter::btnCancelClick() {
  Guarded([this] {
    if (!Running() || run_.CancelRequested()) return;
    run_.Cancel();
    view_.SetStatusText(kStoppingText);
    ShowControlStates();
  });
}

void TMainPresenter::RunStatusText(const std::string& text) {
  // Once the user asked to stop, the run's own texts would hide that it is stopping.
  if (!run_.CancelRequested()) view_.SetStatusText(text);
}

void TMainPresenter::RunMessage(MessageKind kind, const std::string& text) {
  Tell(kind, text);
}

void TMainPresenter::RunRowSelected(int index) {
  view_.SelectBatchRow(index);
  if (batchRows_ == 0) return;
  progress_.Rows = std::to_string(index + 1) + "/" + std::to_string(batchRows_);
  progress_.Permille = 0;
  view_.ShowProgress(progress_);
}

void TMainPresenter::RunRowMarked(int index, TBatchMark mark, const std::string& reason) {
  if (list_.Contains(index)) list_.SetMark(static_cast<size_t>(index), mark, reason);
}

void TMainPresenter::RunConversionStarted() {
  progress_.Permille = 0;
  view_.ShowProgress(progress_);
}

void TMainPresenter::RunProgress(int permille) {
  progress_.Permille = permille;
  view_.ShowProgress(progress_);
}

}  // namespace plexor
