// The about box: the product's name, the version and the maker's links.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace plexor {

class IPlatformServices;

class TdlgAbout : public QDialog {
  Q_OBJECT

 public:
  TdlgAbout(IPlatformServices& services, QWidget* owner);

  void Button1Click();
  void Label6Click();
  void Label4Click();

  QLabel* Image2;
  QLabel* Label1;
  QLabel* lblVersion;
  QLabel* Image1;
  QLabel* Label3;
  QLabel* Label2;
  QLabel* Label7;
  QLabel* Label6;
  QLabel* Label5;
  QLabel* Label4;
  QPushButton* Button1;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  IPlatformServices& services_;
};

// What the main window's "バージョン情報" does: a fresh box, modal, gone when closed.
void ShowAboutBox(IPlatformServices& services, QWidget* owner);

}  // namespace plexor
