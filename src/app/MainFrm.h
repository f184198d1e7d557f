// The main window: the single conversion on the left, the batch list on the right. It draws
// what its presenter decides and hands every event of its controls to the presenter's
// handler of the same name.
#pragma once

#include <QMainWindow>
#include <array>
#include <string>
#include <vector>

#include "ui/MainPresenter.h"
#include "ui/MainView.h"
#include "ui/PlatformServices.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace plexor {

class TfrmMain : public QMainWindow, public IMainView {
  Q_OBJECT

 public:
  explicit TfrmMain(IPlatformServices& services, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // Showing the window places it first (FormShow).
  void setVisible(bool visible) override;

  TMainPresenter& Presenter() { return presenter_; }

  // --- Events and handlers, named as the controls they belong to -------------------------
  void FormShow() { presenter_.FormShow(); }
  void FormClose() { presenter_.FormClose(); }
  bool CheckInputs() { return presenter_.CheckInputs(); }
  void btnShpBrowseClick() { presenter_.btnShpBrowseClick(); }
  void btnMifBrowseClick() { presenter_.btnMifBrowseClick(); }
  void btnConvertClick() { presenter_.btnConvertClick(); }
  void X1Click() { presenter_.X1Click(); }
  void H2Click() { presenter_.H2Click(); }
  void A1Click() { presenter_.A1Click(); }
  void lvwBatchChange() { presenter_.lvwBatchChange(); }
  void btnAddClick() { presenter_.btnAddClick(); }
  void btnReplaceClick() { presenter_.btnReplaceClick(); }
  void lvwBatchDblClick() { presenter_.lvwBatchDblClick(); }
  void btnClearClick() { presenter_.btnClearClick(); }
  void btnRemoveClick() { presenter_.btnRemoveClick(); }
  void btnCmbBrowseClick() { presenter_.btnCmbBrowseClick(); }
  void O1Click() { presenter_.O1Click(); }
  void S1Click() { presenter_.S1Click(); }
  void btnBatchClick() { presenter_.btnBatchClick(); }
  void btnCancelClick() { presenter_.btnCancelClick(); }
  void D2Click() { presenter_.D2Click(); }
  void D3Click() { presenter_.D3Click(); }
  void FormDropFiles(const std::vector<std::string>& paths) { presenter_.FormDropFiles(paths); }
  bool CanCombineBatch() { return presenter_.CanCombineBatch(); }
  void UpdateCombineControls() { presenter_.UpdateCombineControls(); }

  // The rows of lvwBatch as the engine takes them.
  const std::vector<TBatchRow>& BatchRows() const { return presenter_.BatchRows(); }
  int BatchRowMark(int index) const;
  // A conversion or a batch run is going.
  bool IsBusy() const { return presenter_.Running(); }

  // --- IMainView ---------------------------------------------------------------------------
  int SelectedCoordSys() const override;
  std::string ShpFileText() const override;
  std::string MifFileText() const override;
  bool CombineChecked() const override;
  std::string CombineFileText() const override;
  int SelectedBatchRow() const override;
  void SelectCoordSys(int index) override;
  void SetShpFileText(const std::string& path) override;
  void SetMifFileText(const std::string& path) override;
  void SetCombineChecked(bool checked) override;
  void SetCombineFileText(const std::string& path) override;
  void SetBatchRowCount(int count) override;
  void ShowBatchRow(int index, const TBatchRowView& row) override;
  void SelectBatchRow(int index) override;
  void SetControlEnabled(TControl control, bool enabled) override;
  void SetControlChecked(TControl control, bool checked) override;
  void SetControlTip(TControl control, const std::string& tip) override;
  void SetStatusText(const std::string& text) override;
  void ShowProgress(const TRunProgress& progress) override;
  TWindowBounds OuterBounds() const override;
  TWindowState WindowState() const override;
  void PlaceWindow(const TWindowBounds& outer, TWindowState state) override;
  void ShowAboutBox() override;
  void CloseWindow() override;

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
  // In the status bar while a conversion runs.
  QLabel* lblRows;
  QProgressBar* prgConvert;
  QPushButton* btnCancel;

  QMenuBar* MainMenu1;
  QMenu* F1;
  QAction* O1;
  QAction* S1;
  QAction* N1;
  QAction* C1;
  QAction* N3;
  QAction* X1;
  QMenu* T1;
  QMenu* D1;
  QAction* D2;
  QAction* D3;
  QMenu* H1;
  QAction* H2;
  QAction* N2;
  QAction* A1;

  // The row marks: converted, failed, and a blank one that keeps their room on every row.
  std::array<QIcon, 3> ImageList1;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateMenu();
  void CreateControls();
  void CreateBatchList(QWidget* client);
  void CreateProgress();
  void ConnectHandlers();
  QObject* ControlOf(TControl control) const;

  IPlatformServices& services_;
  TMainPresenter presenter_;
};

}  // namespace plexor
