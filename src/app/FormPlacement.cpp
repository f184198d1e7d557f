#include "app/FormPlacement.h"

#include <QWidget>

#include "support/QvSysUtils.h"

namespace plexor {

void LoadWindowPlacement(QWidget& form, const std::string& iniPath) {
  const TWindowPlacement p = ReadWindowPlacement(iniPath);
  // The position is taken as it stands, even off every screen: the user put it there.
  form.move(p.Left, p.Top);
  form.resize(p.Width, p.Height);
  Qt::WindowStates state = form.windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized);
  if (p.State == 1) state |= Qt::WindowMaximized;
  if (p.State == 2) state |= Qt::WindowMinimized;
  form.setWindowState(state);
}

void SaveWindowPlacement(const QWidget& form, const std::string& iniPath) {
  TWindowPlacement p;
  const Qt::WindowStates state = form.windowState();
  p.State = state.testFlag(Qt::WindowMinimized) ? 2 : state.testFlag(Qt::WindowMaximized) ? 1 : 0;
  if (p.State == 0) {
    const QRect bounds = form.frameGeometry();
    p.Left = bounds.x();
    p.Top = bounds.y();
    p.Width = bounds.width();
    p.Height = bounds.height();
  }
  WriteWindowPlacement(iniPath, p);
}

}  // namespace plexor
