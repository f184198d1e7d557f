#include "app/AboutDlg.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <functional>

#include "app/AppLook.h"
#include "support/QvSysUtils.h"
#include "ui/MakerInfo.h"
#include "ui/PlatformServices.h"

namespace plexor {
namespace {

constexpr int kClientWidth = 361;
// The box is 214 pixels high with a 27-pixel title bar and frame around the client area.
constexpr int kClientHeight = 214 - 27;

// A label that reads as a link and reports a click.
class TLinkLabel : public QLabel {
 public:
  TLinkLabel(const QString& text, QWidget* parent, std::function<void()> onClick)
      : QLabel(text, parent), onClick_(std::move(onClick)) {
    setCursor(Qt::PointingHandCursor);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::blue);
    setPalette(pal);
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
      onClick_();
    }
    QLabel::mouseReleaseEvent(event);
  }

 private:
  std::function<void()> onClick_;
};

QLabel* PlaceLabel(QLabel* label, const char* name, int left, int top) {
  label->setObjectName(QString::fromLatin1(name));
  label->adjustSize();
  label->setGeometry(left, top, label->sizeHint().width(), 12);
  return label;
}

}  // namespace

TdlgAbout::TdlgAbout(IPlatformServices& services, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      services_(services) {
  setObjectName(QStringLiteral("dlgAbout"));
  setWindowTitle(QStringLiteral("バージョン情報"));
  setFont(ApplicationFont());
  setFixedSize(kClientWidth, kClientHeight);

  Image2 = new QLabel(this);
  Image2->setObjectName(QStringLiteral("Image2"));
  Image2->setGeometry(64, 16, 32, 32);
  Image2->setPixmap(ProgramIcon().pixmap(32, 32));

  Label1 = PlaceLabel(new QLabel(QStringLiteral("Plexor Converter"), this), "Label1", 104, 16);
  lblVersion = PlaceLabel(new QLabel(QStringLiteral("Version "), this), "lblVersion", 104, 32);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setAttribute(Qt::WA_TranslucentBackground);
  Image1->setPixmap(MakerLogo());
  Image1->setGeometry(8, 80, 88, 31);

  Label3 = PlaceLabel(new QLabel(QString::fromUtf8(maker::kName), this), "Label3", 104, 80);
  Label2 = PlaceLabel(new QLabel(QString::fromUtf8(maker::kRights), this), "Label2", 104, 96);
  Label7 = PlaceLabel(new QLabel(QStringLiteral("URL"), this), "Label7", 104, 112);
  Label6 = PlaceLabel(
      new TLinkLabel(QString::fromUtf8(maker::kWebAddress), this, [this] { Label6Click(); }),
      "Label6", 152, 112);
  Label5 = PlaceLabel(new QLabel(QStringLiteral("E-MAIL"), this), "Label5", 104, 128);
  Label4 = PlaceLabel(
      new TLinkLabel(QString::fromUtf8(maker::kMailAddress), this, [this] { Label4Click(); }),
      "Label4", 152, 128);

  // Default and cancel at once: Enter and Esc both close the box.
  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(144, 152, 75, 21);
  Button1->setDefault(true);
  Button1->setAutoDefault(true);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  Button1->setFocus();
}

void TdlgAbout::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The version text may have grown the label since it was placed.
  lblVersion->setFixedWidth(lblVersion->sizeHint().width());
  if (parentWidget() != nullptr) {
    const QRect owner = parentWidget()->window()->frameGeometry();
    move(owner.center() - rect().center());
  }
}

void TdlgAbout::Button1Click() {
  accept();
}

void TdlgAbout::Label6Click() {
  services_.ShellOpen(maker::kWebAddress);
}

void TdlgAbout::Label4Click() {
  services_.ShellOpen(std::string("mailto:") + maker::kMailAddress);
}

void ShowAboutBox(IPlatformServices& services, QWidget* owner) {
  TdlgAbout box(services, owner);
  box.lblVersion->setText(QStringLiteral("Version ") + QString::fromStdString(GetExeFileVersion()));
  box.exec();
}

}  // namespace plexor
