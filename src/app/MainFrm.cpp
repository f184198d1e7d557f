#include "app/MainFrm.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShowEvent>
#include <QStatusBar>
#include <QTreeWidget>
#include <new>

#include "app/AboutDlg.h"
#include "app/AppLook.h"
#include "app/FormPlacement.h"
#include "engine/CoordSys.h"
#include "engine/ShpToMif.h"
#include "support/ByteStrings.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"
#include "support/QvSysUtils.h"

namespace plexor {
namespace {

constexpr int kClientWidth = 793;
constexpr int kClientHeight = 415;
constexpr int kMarkRole = Qt::UserRole;

const char* const kNoCoordSysText = "MIFに記述する投影法を選択してください。";
const char* const kBadSourceText = "変換元SHPのファイル名が不正です。";
const char* const kBadTargetText = "変換後MIFのファイル名が不正です。";
const char* const kConvertedText = "変換に成功しました。";
const char* const kConvertFailedText = "変換に失敗しました。";

// Paths travel in the native narrow encoding (UTF-8 on Linux, the ANSI code page on
// Windows); texts for people are UTF-8.
QString Q(const std::string& path) {
  return QString::fromLocal8Bit(path);
}
std::string S(const QString& path) {
  return path.toLocal8Bit().toStdString();
}
QString U(const std::string& text) {
  return QString::fromStdString(text);
}

QLabel* NewLabel(QWidget* parent, const char* name, const char* text, int left, int top) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  // As wide as the text, one line of 12 pixels.
  label->setGeometry(left, top, label->sizeHint().width(), 12);
  return label;
}

QPushButton* NewButton(QWidget* parent, const char* name, const char* text, QRect bounds) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(bounds);
  button->setAutoDefault(false);
  return button;
}

QLineEdit* NewEdit(QWidget* parent, const char* name, QRect bounds) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setGeometry(bounds);
  return edit;
}

TBatchRow RowOf(const QTreeWidgetItem* item) {
  TBatchRow row;
  row.IndexText = S(item->text(0));
  row.DisplayText = item->text(1).toStdString();
  row.SourcePath = S(item->text(2));
  row.TargetPath = S(item->text(3));
  row.Mark = item->data(0, kMarkRole).toInt();
  return row;
}

}  // namespace

TfrmMain::TfrmMain(IPlatformServices& services, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                              Qt::WindowCloseButtonHint),
      services_(services) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Plexor Converter"));
  setWindowIcon(ProgramIcon());
  setFont(ApplicationFont());
  ImageList1 = {ConvertedMarkIcon(), FailedMarkIcon()};

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

  CreateMenu();
  CreateControls();
  ConnectHandlers();
  Guarded([this] { FormCreate(); });
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::CreateMenu() {
  MainMenu1 = menuBar();
  MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

  F1 = MainMenu1->addMenu(QStringLiteral("ファイル(&F)"));
  F1->setObjectName(QStringLiteral("F1"));
  O1 = F1->addAction(QStringLiteral("開く(&O)..."));
  O1->setObjectName(QStringLiteral("O1"));
  O1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  S1 = F1->addAction(QStringLiteral("保存(&S)..."));
  S1->setObjectName(QStringLiteral("S1"));
  S1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  N1 = F1->addSeparator();
  N1->setObjectName(QStringLiteral("N1"));
  X1 = F1->addAction(QStringLiteral("終了(&X)"));
  X1->setObjectName(QStringLiteral("X1"));

  H1 = MainMenu1->addMenu(QStringLiteral("ヘルプ(&H)"));
  H1->setObjectName(QStringLiteral("H1"));
  H2 = H1->addAction(QStringLiteral("トピックの検索(&H)"));
  H2->setObjectName(QStringLiteral("H2"));
  H2->setShortcut(QKeySequence(Qt::Key_F1));
  N2 = H1->addSeparator();
  N2->setObjectName(QStringLiteral("N2"));
  A1 = H1->addAction(QStringLiteral("バージョン情報(&A)..."));
  A1->setObjectName(QStringLiteral("A1"));
}

void TfrmMain::CreateControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);
  // The layout was drawn in pixels for one size: the window cannot be resized.
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  Label3 = NewLabel(client, "Label3", "MIFに記述する投影法", 8, 8);
  lstCoordSys = new QListWidget(client);
  lstCoordSys->setObjectName(QStringLiteral("lstCoordSys"));
  lstCoordSys->setGeometry(8, 24, 305, 257);
  lstCoordSys->setSelectionMode(QAbstractItemView::SingleSelection);
  lstCoordSys->setUniformItemSizes(true);
  const QFontMetrics metrics(font());
  for (int32_t i = 0; i < kCoordSysCount; ++i) {
    auto* item = new QListWidgetItem(U(GetCoordSysDisplayText(i)), lstCoordSys);
    item->setSizeHint(QSize(metrics.horizontalAdvance(item->text()) + 6, 12));
  }

  Label5 = NewLabel(client, "Label5", "変換元SHPのファイル名", 8, 288);
  edtShpFile = NewEdit(client, "edtShpFile", QRect(8, 304, 249, 20));
  btnShpBrowse = NewButton(client, "btnShpBrowse", "参照", QRect(264, 304, 49, 21));
  Label4 = NewLabel(client, "Label4", "変換後MIFのファイル名", 8, 328);
  edtMifFile = NewEdit(client, "edtMifFile", QRect(8, 344, 249, 20));
  btnMifBrowse = NewButton(client, "btnMifBrowse", "参照", QRect(264, 344, 49, 21));
  btnAdd = NewButton(client, "btnAdd", "追加", QRect(80, 368, 75, 21));
  btnReplace = NewButton(client, "btnReplace", "置換", QRect(160, 368, 75, 21));
  btnReplace->setEnabled(false);
  btnConvert = NewButton(client, "btnConvert", "すぐに変換", QRect(240, 368, 75, 21));

  Label2 = NewLabel(client, "Label2", "バッチリスト", 328, 8);
  lvwBatch = new QTreeWidget(client);
  lvwBatch->setObjectName(QStringLiteral("lvwBatch"));
  lvwBatch->setGeometry(328, 24, 457, 273);
  lvwBatch->setColumnCount(4);
  lvwBatch->setHeaderLabels({QString(), QStringLiteral("投影法"), QStringLiteral("元ファイル"),
                             QStringLiteral("先ファイル")});
  const int widths[] = {18, 110, 154, 154};
  for (int c = 0; c < 4; ++c) lvwBatch->setColumnWidth(c, widths[c]);
  lvwBatch->setRootIsDecorated(false);
  lvwBatch->setItemsExpandable(false);
  lvwBatch->setUniformRowHeights(true);
  lvwBatch->setAllColumnsShowFocus(true);
  lvwBatch->setSelectionMode(QAbstractItemView::SingleSelection);
  lvwBatch->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvwBatch->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvwBatch->setSortingEnabled(false);
  lvwBatch->setIconSize(QSize(16, 16));
  lvwBatch->setTextElideMode(Qt::ElideNone);
  lvwBatch->header()->setSectionsClickable(false);
  lvwBatch->header()->setSectionsMovable(false);
  lvwBatch->header()->setStretchLastSection(false);

  chkCombine = new QCheckBox(
      QStringLiteral("ファイルを統合する（同一の属性定義、投影法での変換時のみ使用可能）"), client);
  chkCombine->setObjectName(QStringLiteral("chkCombine"));
  chkCombine->setGeometry(328, 304, 457, 17);
  chkCombine->setEnabled(false);
  Label1 = NewLabel(client, "Label1", "統合後のファイル名", 328, 328);
  edtConbineFile = NewEdit(client, "edtConbineFile", QRect(328, 344, 401, 20));
  edtConbineFile->setEnabled(false);
  btnCmbBrowse = NewButton(client, "btnCmbBrowse", "参照", QRect(736, 344, 49, 21));
  btnCmbBrowse->setEnabled(false);
  btnClear = NewButton(client, "btnClear", "クリア", QRect(552, 368, 75, 21));
  btnRemove = NewButton(client, "btnRemove", "削除", QRect(632, 368, 75, 21));
  btnRemove->setEnabled(false);
  btnBatch = NewButton(client, "btnBatch", "変換開始", QRect(712, 368, 75, 21));

  StatusBar1 = new QStatusBar(client);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setGeometry(0, 396, kClientWidth, 19);
  StatusBar1->setSizeGripEnabled(false);

  QWidget* const tabOrder[] = {edtMifFile, btnMifBrowse, edtShpFile,     btnShpBrowse, lvwBatch,
                               chkCombine, btnAdd,       btnReplace,     btnConvert,   btnClear,
                               btnRemove,  btnBatch,     edtConbineFile, btnCmbBrowse, lstCoordSys};
  for (size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
  edtMifFile->setFocus();
}

void TfrmMain::ConnectHandlers() {
  const auto command = [this](auto handler) {
    return [this, handler] { Command([this, handler] { (this->*handler)(); }); };
  };
  connect(btnShpBrowse, &QPushButton::clicked, this, command(&TfrmMain::btnShpBrowseClick));
  connect(btnMifBrowse, &QPushButton::clicked, this, command(&TfrmMain::btnMifBrowseClick));
  connect(btnConvert, &QPushButton::clicked, this, command(&TfrmMain::btnConvertClick));
  connect(btnAdd, &QPushButton::clicked, this, command(&TfrmMain::btnAddClick));
  connect(btnReplace, &QPushButton::clicked, this, command(&TfrmMain::btnReplaceClick));
  connect(btnClear, &QPushButton::clicked, this, command(&TfrmMain::btnClearClick));
  connect(btnRemove, &QPushButton::clicked, this, command(&TfrmMain::btnRemoveClick));
  connect(btnCmbBrowse, &QPushButton::clicked, this, command(&TfrmMain::btnCmbBrowseClick));
  connect(btnBatch, &QPushButton::clicked, this, command(&TfrmMain::btnBatchClick));
  connect(lvwBatch, &QTreeWidget::itemDoubleClicked, this, command(&TfrmMain::lvwBatchDblClick));
  connect(O1, &QAction::triggered, this, command(&TfrmMain::O1Click));
  connect(S1, &QAction::triggered, this, command(&TfrmMain::S1Click));
  connect(H2, &QAction::triggered, this, command(&TfrmMain::H2Click));
  connect(A1, &QAction::triggered, this, command(&TfrmMain::A1Click));
  // Closing is no command: during a run it is remembered and carried out afterwards.
  connect(X1, &QAction::triggered, this, [this] { Guarded([this] { X1Click(); }); });
  // The selection moves during a run too, and the buttons must follow it.
  connect(lvwBatch, &QTreeWidget::itemSelectionChanged, this,
          [this] { Guarded([this] { lvwBatchChange(); }); });
}

template <typename Body>
void TfrmMain::Guarded(Body&& body) noexcept {
  std::string error;
  try {
    body();
    return;
  } catch (const Exception& e) {
    error = e.Message();
  } catch (const std::bad_alloc&) {
    error = "メモリが不足しています。";
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "不明なエラーが発生しました。";
  }
  try {
    services_.SetWaitCursor(false);
    services_.ShowApplicationError(error);
  } catch (...) {
    // Nothing is left to tell the user with; the window must stay alive all the same.
  }
}

template <typename Body>
void TfrmMain::Command(Body&& body) noexcept {
  if (busy_) return;
  busy_ = true;
  Guarded(std::forward<Body>(body));
  busy_ = false;
  if (closeWhenIdle_) {
    closeWhenIdle_ = false;
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
}

// --- Start and end -----------------------------------------------------------------------------

void TfrmMain::FormCreate() {
  HelpFile = ChangeFileExt(services_.ExePath(), ".hlp");
}

void TfrmMain::FormShow() {
  setWindowTitle(QStringLiteral("Plexor Converter"));
  // The stored size is applied and then lost to the fixed size; position and state stay.
  LoadWindowPlacement(*this, PlacementFile());
}

void TfrmMain::FormClose() {
  SaveWindowPlacement(*this, PlacementFile());
}

std::string TfrmMain::PlacementFile() const {
  return WindowPlacementIniPath(services_.ExePath());
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (busy_) {
    // A batch run is between two rows: the window closes once it has ended.
    closeWhenIdle_ = true;
    event->ignore();
    return;
  }
  // A placement that cannot be written is reported, but never keeps the window open.
  Guarded([this] { FormClose(); });
  event->accept();
}

// --- Single conversion ---------------------------------------------------------------------------

bool TfrmMain::CheckInputs() {
  if (lstCoordSys->selectedItems().isEmpty()) {
    services_.ShowMessage(MessageKind::Warning, kNoCoordSysText);
    return false;
  }
  if (!RegularFileExists(S(edtShpFile->text()))) {
    services_.ShowMessage(MessageKind::Warning, kBadSourceText);
    return false;
  }
  if (TrimBlanks(S(edtMifFile->text())).empty()) {
    services_.ShowMessage(MessageKind::Warning, kBadTargetText);
    return false;
  }
  return true;
}

void TfrmMain::btnShpBrowseClick() {
  if (!services_.ExecuteFileDialog(OpenDialog1)) return;
  edtShpFile->setText(Q(OpenDialog1.FileName));
  edtMifFile->setText(Q(ChangeFileExt(S(edtShpFile->text()), ".mif")));
}

void TfrmMain::btnMifBrowseClick() {
  if (services_.ExecuteFileDialog(SaveDialog1)) edtMifFile->setText(Q(SaveDialog1.FileName));
}

void TfrmMain::btnConvertClick() {
  if (!CheckInputs()) return;
  services_.SetWaitCursor(true);
  const int index = lstCoordSys->row(lstCoordSys->selectedItems().first());
  // An error leaves through the guard, which restores the cursor before its box.
  if (ConvertShpToMif(index, S(edtShpFile->text()), S(edtMifFile->text()))) {
    services_.ShowMessage(MessageKind::Information, kConvertedText);
  } else {
    services_.ShowMessage(MessageKind::Warning, kConvertFailedText);
  }
  services_.SetWaitCursor(false);
}

bool TfrmMain::ConvertShpToMif(int32_t index, const std::string& source,
                               const std::string& target) {
  return ::plexor::ConvertShpToMif(index, source, target, *this);
}

void TfrmMain::X1Click() {
  close();
}

void TfrmMain::H2Click() {
  services_.ShowHelp(HelpFile, kHelpKeyCommand, 0);
}

void TfrmMain::A1Click() {
  ShowAboutBox(services_, this);
}

// --- Batch list ----------------------------------------------------------------------------------

void TfrmMain::lvwBatchChange() {
  const bool selected = !lvwBatch->selectedItems().isEmpty();
  btnReplace->setEnabled(selected);
  btnRemove->setEnabled(selected);
}

TBatchRow TfrmMain::RowFromInputs() const {
  const QListWidgetItem* item = lstCoordSys->selectedItems().first();
  TBatchRow row;
  row.IndexText = std::to_string(lstCoordSys->row(item));
  row.DisplayText = item->text().toStdString();
  row.SourcePath = S(edtShpFile->text());
  row.TargetPath = S(edtMifFile->text());
  return row;
}

void TfrmMain::SetRow(QTreeWidgetItem* item, const TBatchRow& row) {
  item->setText(0, Q(row.IndexText));
  item->setText(1, U(row.DisplayText));
  item->setText(2, Q(row.SourcePath));
  item->setText(3, Q(row.TargetPath));
  SetMark(item, row.Mark);
}

void TfrmMain::SetMark(QTreeWidgetItem* item, int mark) {
  item->setData(0, kMarkRole, mark);
  item->setIcon(0, mark == 0 ? ImageList1[0] : mark == 1 ? ImageList1[1] : QIcon());
}

void TfrmMain::AppendRow(const TBatchRow& row) {
  SetRow(new QTreeWidgetItem(lvwBatch), row);
}

std::vector<TBatchRow> TfrmMain::BatchRows() const {
  std::vector<TBatchRow> rows;
  rows.reserve(static_cast<size_t>(lvwBatch->topLevelItemCount()));
  for (int i = 0; i < lvwBatch->topLevelItemCount(); ++i)
    rows.push_back(RowOf(lvwBatch->topLevelItem(i)));
  return rows;
}

int TfrmMain::BatchRowMark(int index) const {
  const QTreeWidgetItem* item = lvwBatch->topLevelItem(index);
  return item == nullptr ? -1 : item->data(0, kMarkRole).toInt();
}

void TfrmMain::btnAddClick() {
  if (!CheckInputs()) return;
  AppendRow(RowFromInputs());
  UpdateCombineControls();
}

void TfrmMain::btnReplaceClick() {
  if (!CheckInputs()) return;
  const QList<QTreeWidgetItem*> selected = lvwBatch->selectedItems();
  if (selected.isEmpty()) return;
  SetRow(selected.first(), RowFromInputs());
  UpdateCombineControls();
}

void TfrmMain::lvwBatchDblClick() {
  const QList<QTreeWidgetItem*> selected = lvwBatch->selectedItems();
  if (selected.isEmpty()) return;
  const TBatchRow row = RowOf(selected.first());
  const int index = BatchRowIndex(row);
  lstCoordSys->setCurrentRow(index);
  if (QListWidgetItem* item = lstCoordSys->item(index)) lstCoordSys->scrollToItem(item);
  edtShpFile->setText(Q(row.SourcePath));
  edtMifFile->setText(Q(row.TargetPath));
}

void TfrmMain::btnRemoveClick() {
  const QList<QTreeWidgetItem*> selected = lvwBatch->selectedItems();
  if (selected.isEmpty()) return;
  // Nothing is selected afterwards: the view would otherwise hand the selection on to the
  // next row, and "削除" pressed twice would take two rows.
  lvwBatch->selectionModel()->clear();
  delete selected.first();
  lvwBatchChange();
  UpdateCombineControls();
}

void TfrmMain::btnClearClick() {
  lvwBatch->clear();
  lvwBatchChange();
  UpdateCombineControls();
}

void TfrmMain::btnCmbBrowseClick() {
  if (services_.ExecuteFileDialog(SaveDialog1)) edtConbineFile->setText(Q(SaveDialog1.FileName));
}

bool TfrmMain::CanCombineBatch() {
  return ::plexor::CanCombineBatch(BatchRows());
}

void TfrmMain::UpdateCombineControls() {
  const bool can = CanCombineBatch();
  chkCombine->setEnabled(can);
  edtConbineFile->setEnabled(can);
  btnCmbBrowse->setEnabled(can);
}

// --- Batch file ----------------------------------------------------------------------------------

void TfrmMain::O1Click() {
  if (!services_.ExecuteFileDialog(OpenDialog2)) return;
  lvwBatch->clear();
  lvwBatchChange();
  // The combine controls follow whatever the list holds now, also after a refusal or an
  // error; a file that could not be opened leaves the list empty.
  try {
    LoadBatchFile(OpenDialog2.FileName);
  } catch (...) {
    UpdateCombineControls();
    throw;
  }
  UpdateCombineControls();
}

void TfrmMain::LoadBatchFile(const std::string& path) {
  const std::vector<std::string> lines = ReadBatchLines(path);
  bool combine = chkCombine->isChecked();
  std::string combineName = S(edtConbineFile->text());
  std::vector<TBatchRow> rows;
  // The rows before a bad row line stay, and so do the check box and the name read above it.
  const auto apply = [&] {
    chkCombine->setChecked(combine);
    edtConbineFile->setText(Q(combineName));
    for (const TBatchRow& row : rows) AppendRow(row);
    lvwBatch->setCurrentItem(nullptr);
    lvwBatch->clearSelection();
  };
  bool valid = false;
  try {
    valid = ParseBatchLines(lines, combine, combineName, rows);
  } catch (...) {
    apply();
    throw;
  }
  if (!valid) {
    services_.ShowMessage(MessageKind::Error, kInvalidBatchListText);
    return;
  }
  apply();
}

void TfrmMain::S1Click() {
  const std::vector<TBatchRow> rows = BatchRows();
  if (rows.empty()) {
    services_.ShowMessage(MessageKind::Warning, kNoBatchListText);
    return;
  }
  // A quote or a line break in a path would come back as other rows: refuse before the user
  // picks a file, and write nothing.
  if (!BatchRowsCanBeSaved(rows)) {
    services_.ShowMessage(MessageKind::Warning, kUnsavableBatchListText);
    return;
  }
  if (!services_.ExecuteFileDialog(SaveDialog2)) return;
  WriteBatchFile(SaveDialog2.FileName, chkCombine->isChecked(), S(edtConbineFile->text()), rows);
}

// --- Batch run -----------------------------------------------------------------------------------

void TfrmMain::btnBatchClick() {
  std::vector<TBatchRow> rows = BatchRows();
  TBatchRunOptions options;
  options.Combine = chkCombine->isEnabled() && chkCombine->isChecked();
  options.CombineName = S(edtConbineFile->text());
  options.Jobs = 1;
  // Marks come in row by row through BatchRowMarked; taking them once more afterwards keeps
  // the list right even where the run ended with an error.
  const auto takeMarks = [&] {
    batchRunning_ = false;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (QTreeWidgetItem* item = lvwBatch->topLevelItem(static_cast<int>(i)))
        SetMark(item, rows[i].Mark);
    }
  };
  batchRunning_ = true;
  try {
    RunBatch(rows, options, *this);
  } catch (...) {
    takeMarks();
    throw;
  }
  takeMarks();
}

// --- What the engine reports
// -----------------------------------------------------------------------

void TfrmMain::ShowMessage(MessageKind kind, const std::string& text) {
  services_.ShowMessage(kind, text);
}

void TfrmMain::SetStatusText(const std::string& text) {
  if (text.empty()) {
    StatusBar1->clearMessage();
  } else {
    StatusBar1->showMessage(U(text));
  }
  // A single conversion lets no events through; paint the text now so it is seen at all.
  if (StatusBar1->isVisible()) StatusBar1->repaint();
}

void TfrmMain::ProcessPendingEvents() {
  // Only the batch run lets the window breathe between rows; a single conversion holds it.
  if (batchRunning_) services_.ProcessPendingEvents();
}

RegionalSettings TfrmMain::Regional() const {
  return services_.Regional();
}

void TfrmMain::SetWaitCursor(bool on) {
  services_.SetWaitCursor(on);
}

void TfrmMain::SelectBatchRow(int index) {
  QTreeWidgetItem* item = lvwBatch->topLevelItem(index);
  if (item == nullptr) return;
  lvwBatch->setCurrentItem(item);
  lvwBatch->scrollToItem(item);
}

void TfrmMain::BatchRowMarked(int index, int mark) {
  if (QTreeWidgetItem* item = lvwBatch->topLevelItem(index)) SetMark(item, mark);
}

}  // namespace plexor
