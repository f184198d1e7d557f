// The main window: the single conversion on the left, the batch list on the right.
#pragma once

#include <QMainWindow>
#include <array>
#include <string>
#include <vector>

#include "app/PlatformServices.h"
#include "engine/Batch.h"
#include "engine/ConvertHost.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace plexor {

// The warning shown instead of saving a list whose paths could not be read back.
inline constexpr const char* kUnsavableBatchListText =
    "ファイル名に二重引用符（\"）または改行を含む行があるため、バッチリストを保存できません。";

class TfrmMain : public QMainWindow, public IConvertHost {
  Q_OBJECT

 public:
  explicit TfrmMain(IPlatformServices& services, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // --- Events and handlers, named as the controls they belong to -------------------------
  void FormCreate();
  void FormShow();
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

  bool CanCombineBatch();
  void UpdateCombineControls();
  bool ConvertShpToMif(int32_t index, const std::string& source, const std::string& target);

  // The rest of "開く" once the file is chosen.
  void LoadBatchFile(const std::string& path);
  // The rows of lvwBatch as the engine takes them.
  std::vector<TBatchRow> BatchRows() const;
  int BatchRowMark(int index) const;
  bool IsBusy() const { return busy_; }

  // --- IConvertHost ------------------------------------------------------------------------
  void ShowMessage(MessageKind kind, const std::string& text) override;
  void SetStatusText(const std::string& text) override;
  void ProcessPendingEvents() override;
  RegionalSettings Regional() const override;
  void SetWaitCursor(bool on) override;
  void SelectBatchRow(int index) override;
  void BatchRowMarked(int index, int mark) override;

  // --- Controls ------------------------------------------------------------------------------
  QLabel* Label3;
  QListWidget* lstCoordSys;
  QLabel* Label5;
  QLineEdit* edtShpFile;
  QPushButton* btnShpBrowse;
  QLabel* Label4;
  QLineEdit* edtMifFile;
  QPushButton* btnMifBrowse;
  QPushButton* btnAdd;
  QPushButton* btnReplace;
  QPushButton* btnConvert;
  QLabel* Label2;
  QTreeWidget* lvwBatch;
  QCheckBox* chkCombine;
  QLabel* Label1;
  QLineEdit* edtConbineFile;
  QPushButton* btnCmbBrowse;
  QPushButton* btnClear;
  QPushButton* btnRemove;
  QPushButton* btnBatch;
  QStatusBar* StatusBar1;

  QMenuBar* MainMenu1;
  QMenu* F1;
  QAction* O1;
  QAction* S1;
  QAction* N1;
  QAction* X1;
  QMenu* H1;
  QAction* H2;
  QAction* N2;
  QAction* A1;

  TFileDialog OpenDialog1;
  TFileDialog SaveDialog1;
  TFileDialog OpenDialog2;
  TFileDialog SaveDialog2;
  std::array<QIcon, 2> ImageList1;

  std::string HelpFile;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void CreateMenu();
  void ConnectHandlers();

  // Runs a handler so that no error leaves it: the cursor goes back to the default and the
  // error is shown in the application's error box.
  template <typename Body>
  void Guarded(Body&& body) noexcept;
  // A command of the user: nothing at all while another command is still running (a batch
  // run lets events through between rows, and a message box runs its own loop).
  template <typename Body>
  void Command(Body&& body) noexcept;

  void AppendRow(const TBatchRow& row);
  void SetRow(QTreeWidgetItem* item, const TBatchRow& row);
  void SetMark(QTreeWidgetItem* item, int mark);
  TBatchRow RowFromInputs() const;
  std::string PlacementFile() const;

  IPlatformServices& services_;
  bool busy_ = false;
  bool batchRunning_ = false;
  bool closeWhenIdle_ = false;
};

}  // namespace plexor
