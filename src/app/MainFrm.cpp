#include "app/MainFrm.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>

#include "app/AboutDlg.h"
#include "app/AppLook.h"
#include "engine/CoordSys.h"

namespace plexor {
namespace {

constexpr int kClientWidth = 793;
constexpr int kClientHeight = 415;
constexpr int kMarkRole = Qt::UserRole;
constexpr int kBlankMark = 2;  // ImageList1's blank icon

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

QAction* NewAction(QMenu* menu, const char* name, const char* caption) {
  QAction* action = menu->addAction(QString::fromUtf8(caption));
  action->setObjectName(QString::fromLatin1(name));
  return action;
}

}  // namespace

TfrmMain::TfrmMain(IPlatformServices& services, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                              Qt::WindowCloseButtonHint),
      services_(services),
      presenter_(*this, services, [this](TUiTask task) {
        // From the run's thread: the task runs on ours, after what was posted before it.
        QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
      }) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Plexor Converter"));
  setWindowIcon(ProgramIcon());
  setFont(ApplicationFont());
  ImageList1 = {ConvertedMarkIcon(), FailedMarkIcon(), BlankMarkIcon()};

  CreateMenu();
  CreateControls();
  ConnectHandlers();
  // Files are dropped on the window as a whole: an edit would take a file's URL as text.
  setAcceptDrops(true);
  for (QLineEdit* edit : {edtShpFile, edtMifFile, edtConbineFile}) edit->setAcceptDrops(false);
  presenter_.FormCreate();
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::CreateMenu() {
  MainMenu1 = menuBar();
  MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

  F1 = MainMenu1->addMenu(QStringLiteral("ファイル(&F)"));
  F1->setObjectName(QStringLiteral("F1"));
  O1 = NewAction(F1, "O1", "開く(&O)...");
  O1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  S1 = NewAction(F1, "S1", "保存(&S)...");
  S1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  N1 = F1->addSeparator();
  N1->setObjectName(QStringLiteral("N1"));
  C1 = NewAction(F1, "C1", "変換の中止(&C)");
  C1->setShortcut(QKeySequence(Qt::Key_Escape));
  N3 = F1->addSeparator();
  N3->setObjectName(QStringLiteral("N3"));
  X1 = NewAction(F1, "X1", "終了(&X)");

  T1 = MainMenu1->addMenu(QStringLiteral("設定(&T)"));
  T1->setObjectName(QStringLiteral("T1"));
  D1 = T1->addMenu(QStringLiteral("MIDの日付の書式(&D)"));
  D1->setObjectName(QStringLiteral("D1"));
  D2 = NewAction(D1, "D2", "yyyy/mm/dd（標準）");
  D3 = NewAction(D1, "D3", "yyyymmdd（GDAL・QGIS で日付として読めます）");
  auto* dateFormats = new QActionGroup(this);
  for (QAction* format : {D2, D3}) {
    format->setCheckable(true);
    dateFormats->addAction(format);
  }

  H1 = MainMenu1->addMenu(QStringLiteral("ヘルプ(&H)"));
  H1->setObjectName(QStringLiteral("H1"));
  H2 = NewAction(H1, "H2", "トピックの検索(&H)");
  H2->setShortcut(QKeySequence(Qt::Key_F1));
  N2 = H1->addSeparator();
  N2->setObjectName(QStringLiteral("N2"));
  A1 = NewAction(H1, "A1", "バージョン情報(&A)...");
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
  btnConvert = NewButton(client, "btnConvert", "すぐに変換", QRect(240, 368, 75, 21));

  CreateBatchList(client);
  chkCombine = new QCheckBox(
      QStringLiteral("ファイルを統合する（同一の属性定義、投影法での変換時のみ使用可能）"), client);
  chkCombine->setObjectName(QStringLiteral("chkCombine"));
  chkCombine->setGeometry(328, 304, 457, 17);
  Label1 = NewLabel(client, "Label1", "統合後のファイル名", 328, 328);
  edtConbineFile = NewEdit(client, "edtConbineFile", QRect(328, 344, 401, 20));
  btnCmbBrowse = NewButton(client, "btnCmbBrowse", "参照", QRect(736, 344, 49, 21));
  btnClear = NewButton(client, "btnClear", "クリア", QRect(552, 368, 75, 21));
  btnRemove = NewButton(client, "btnRemove", "削除", QRect(632, 368, 75, 21));
  btnBatch = NewButton(client, "btnBatch", "変換開始", QRect(712, 368, 75, 21));

  StatusBar1 = new QStatusBar(client);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setGeometry(0, 396, kClientWidth, 19);
  StatusBar1->setSizeGripEnabled(false);
  CreateProgress();

  QWidget* const tabOrder[] = {edtMifFile, btnMifBrowse, edtShpFile,     btnShpBrowse, lvwBatch,
                               chkCombine, btnAdd,       btnReplace,     btnConvert,   btnClear,
                               btnRemove,  btnBatch,     edtConbineFile, btnCmbBrowse, lstCoordSys};
  for (size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
  edtMifFile->setFocus();
}

void TfrmMain::CreateBatchList(QWidget* client) {
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
}

void TfrmMain::CreateProgress() {
  lblRows = new QLabel(StatusBar1);
  lblRows->setObjectName(QStringLiteral("lblRows"));
  prgConvert = new QProgressBar(StatusBar1);
  prgConvert->setObjectName(QStringLiteral("prgConvert"));
  prgConvert->setRange(0, 1000);
  prgConvert->setTextVisible(false);
  prgConvert->setFixedSize(160, 13);
  btnCancel = new QPushButton(QStringLiteral("中止"), StatusBar1);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnCancel->setFixedSize(60, 17);
  btnCancel->setAutoDefault(false);
  btnCancel->setToolTip(QStringLiteral("変換を中止します (Esc)"));
  // The rest of the window shows it is busy; the way out does not.
  btnCancel->setCursor(Qt::ArrowCursor);
  for (QWidget* w : std::initializer_list<QWidget*>{lblRows, prgConvert, btnCancel}) {
    StatusBar1->addPermanentWidget(w);
    w->hide();
  }
}

void TfrmMain::ConnectHandlers() {
  connect(btnShpBrowse, &QPushButton::clicked, this, &TfrmMain::btnShpBrowseClick);
  connect(btnMifBrowse, &QPushButton::clicked, this, &TfrmMain::btnMifBrowseClick);
  connect(btnConvert, &QPushButton::clicked, this, &TfrmMain::btnConvertClick);
  connect(btnAdd, &QPushButton::clicked, this, &TfrmMain::btnAddClick);
  connect(btnReplace, &QPushButton::clicked, this, &TfrmMain::btnReplaceClick);
  connect(btnClear, &QPushButton::clicked, this, &TfrmMain::btnClearClick);
  connect(btnRemove, &QPushButton::clicked, this, &TfrmMain::btnRemoveClick);
  connect(btnCmbBrowse, &QPushButton::clicked, this, &TfrmMain::btnCmbBrowseClick);
  connect(btnBatch, &QPushButton::clicked, this, &TfrmMain::btnBatchClick);
  connect(btnCancel, &QPushButton::clicked, this, &TfrmMain::btnCancelClick);
  connect(lvwBatch, &QTreeWidget::itemDoubleClicked, this, &TfrmMain::lvwBatchDblClick);
  connect(lvwBatch, &QTreeWidget::itemSelectionChanged, this, &TfrmMain::lvwBatchChange);
  connect(O1, &QAction::triggered, this, &TfrmMain::O1Click);
  connect(S1, &QAction::triggered, this, &TfrmMain::S1Click);
  connect(C1, &QAction::triggered, this, &TfrmMain::btnCancelClick);
  connect(X1, &QAction::triggered, this, &TfrmMain::X1Click);
  connect(D2, &QAction::triggered, this, &TfrmMain::D2Click);
  connect(D3, &QAction::triggered, this, &TfrmMain::D3Click);
  connect(H2, &QAction::triggered, this, &TfrmMain::H2Click);
  connect(A1, &QAction::triggered, this, &TfrmMain::A1Click);
}

// --- Start and end -----------------------------------------------------------------------------

// The window is placed before it is made on the screen, with its size settled: a window
// that exists, or is resized, while its frame is still unknown is placed by its client area
// instead, and the window manager puts the frame above and left of it. Saved by the frame,
// it would creep by the frame's size from start to start.
void TfrmMain::setVisible(bool visible) {
  if (visible && !isVisible()) {
    ensurePolished();
    layout()->activate();
    FormShow();
  }
  QMainWindow::setVisible(visible);
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    // What is not a local file (a web address) reaches the presenter as its text, which it
    // names among what it could not use.
    paths.push_back(url.isLocalFile() ? S(url.toLocalFile()) : url.toString().toStdString());
  }
  event->acceptProposedAction();
  FormDropFiles(paths);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (!presenter_.FormCloseQuery()) {
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

TWindowBounds TfrmMain::OuterBounds() const {
  const QRect outer = frameGeometry();
  return {outer.x(), outer.y(), outer.width(), outer.height()};
}

TWindowState TfrmMain::WindowState() const {
  const Qt::WindowStates state = windowState();
  if (state.testFlag(Qt::WindowMinimized)) return TWindowState::Minimized;
  if (state.testFlag(Qt::WindowMaximized)) return TWindowState::Maximized;
  return TWindowState::Normal;
}

void TfrmMain::PlaceWindow(const TWindowBounds& outer, TWindowState state) {
  // A top-level move() places the frame (see setVisible); the size is fixed by the layout.
  move(outer.Left, outer.Top);
  Qt::WindowStates flags = windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized);
  if (state == TWindowState::Maximized) flags |= Qt::WindowMaximized;
  if (state == TWindowState::Minimized) flags |= Qt::WindowMinimized;
  setWindowState(flags);
}

void TfrmMain::ShowAboutBox() {
  ::plexor::ShowAboutBox(services_, this);
}

void TfrmMain::CloseWindow() {
  close();
}

// --- Inputs ------------------------------------------------------------------------------------

int TfrmMain::SelectedCoordSys() const {
  const QList<QListWidgetItem*> selected = lstCoordSys->selectedItems();
  return selected.isEmpty() ? -1 : lstCoordSys->row(selected.first());
}

std::string TfrmMain::ShpFileText() const {
  return S(edtShpFile->text());
}

std::string TfrmMain::MifFileText() const {
  return S(edtMifFile->text());
}

bool TfrmMain::CombineChecked() const {
  return chkCombine->isChecked();
}

std::string TfrmMain::CombineFileText() const {
  return S(edtConbineFile->text());
}

int TfrmMain::SelectedBatchRow() const {
  const QList<QTreeWidgetItem*> selected = lvwBatch->selectedItems();
  return selected.isEmpty() ? -1 : lvwBatch->indexOfTopLevelItem(selected.first());
}

void TfrmMain::SelectCoordSys(int index) {
  lstCoordSys->setCurrentRow(index);
  if (QListWidgetItem* item = lstCoordSys->item(index)) lstCoordSys->scrollToItem(item);
}

void TfrmMain::SetShpFileText(const std::string& path) {
  edtShpFile->setText(Q(path));
}

void TfrmMain::SetMifFileText(const std::string& path) {
  edtMifFile->setText(Q(path));
}

void TfrmMain::SetCombineChecked(bool checked) {
  chkCombine->setChecked(checked);
}

void TfrmMain::SetCombineFileText(const std::string& path) {
  edtConbineFile->setText(Q(path));
}

// --- Batch list --------------------------------------------------------------------------------

void TfrmMain::SetBatchRowCount(int count) {
  while (lvwBatch->topLevelItemCount() > count) {
    delete lvwBatch->topLevelItem(lvwBatch->topLevelItemCount() - 1);
  }
  while (lvwBatch->topLevelItemCount() < count) {
    auto* item = new QTreeWidgetItem(lvwBatch);
    item->setData(0, kMarkRole, -1);
    item->setIcon(0, ImageList1[kBlankMark]);
  }
}

void TfrmMain::ShowBatchRow(int index, const TBatchRowView& row) {
  QTreeWidgetItem* item = lvwBatch->topLevelItem(index);
  if (item == nullptr) return;
  for (int c = 0; c < 4; ++c) {
    item->setText(c, U(row.Cells[static_cast<size_t>(c)]));
    item->setToolTip(c, U(row.Tips[static_cast<size_t>(c)]));
  }
  item->setData(0, kMarkRole, static_cast<int>(row.Mark));
  // Every row carries an icon, blank without a mark, so a mark never changes its height.
  item->setIcon(0,
                ImageList1[row.Mark == TBatchMark::None ? kBlankMark : static_cast<int>(row.Mark)]);
}

void TfrmMain::SelectBatchRow(int index) {
  QTreeWidgetItem* item = lvwBatch->topLevelItem(index);
  if (item == nullptr) {
    lvwBatch->selectionModel()->clear();
    return;
  }
  lvwBatch->setCurrentItem(item);
  lvwBatch->scrollToItem(item);
}

int TfrmMain::BatchRowMark(int index) const {
  const QTreeWidgetItem* item = lvwBatch->topLevelItem(index);
  return item == nullptr ? -1 : item->data(0, kMarkRole).toInt();
}

// --- State -------------------------------------------------------------------------------------

QObject* TfrmMain::ControlOf(TControl control) const {
  // In the order of TControl.
  QObject* const controls[] = {lstCoordSys,  edtShpFile, btnShpBrowse, edtMifFile, btnMifBrowse,
                               btnAdd,       btnReplace, btnConvert,   chkCombine, edtConbineFile,
                               btnCmbBrowse, btnClear,   btnRemove,    btnBatch,   O1,
                               S1,           C1,         D2,           D3};
  static_assert(sizeof(controls) / sizeof(controls[0]) == static_cast<size_t>(TControl::D3) + 1);
  return controls[static_cast<size_t>(control)];
}

void TfrmMain::SetControlEnabled(TControl control, bool enabled) {
  QObject* target = ControlOf(control);
  if (auto* action = qobject_cast<QAction*>(target)) action->setEnabled(enabled);
  if (auto* widget = qobject_cast<QWidget*>(target)) widget->setEnabled(enabled);
  if (control == TControl::C1) btnCancel->setEnabled(enabled);
}

void TfrmMain::SetControlChecked(TControl control, bool checked) {
  if (auto* action = qobject_cast<QAction*>(ControlOf(control))) action->setChecked(checked);
  if (auto* box = qobject_cast<QCheckBox*>(ControlOf(control))) box->setChecked(checked);
}

void TfrmMain::SetControlTip(TControl control, const std::string& tip) {
  if (auto* widget = qobject_cast<QWidget*>(ControlOf(control))) widget->setToolTip(U(tip));
}

void TfrmMain::SetStatusText(const std::string& text) {
  if (text.empty()) {
    StatusBar1->clearMessage();
  } else {
    StatusBar1->showMessage(U(text));
  }
}

void TfrmMain::ShowProgress(const TRunProgress& progress) {
  prgConvert->setValue(progress.Permille);
  lblRows->setText(U(progress.Rows));
  lblRows->setVisible(progress.Running && !progress.Rows.empty());
  prgConvert->setVisible(progress.Running);
  btnCancel->setVisible(progress.Running);
  // Busy, but not blocked: the window still takes the cancel and the help.
  if (progress.Running) {
    centralWidget()->setCursor(Qt::BusyCursor);
  } else {
    centralWidget()->unsetCursor();
  }
}

}  // namespace plexor
