// The look the window and the about box share: the font and the pictures we draw ourselves.
#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>

namespace plexor {

// "ＭＳ Ｐゴシック" 12 px where it is installed, else IPAPGothic, else any Japanese font.
QFont ApplicationFont();

// The batch list's row marks, 16 x 16: a green check (converted) and a red cross (failed).
QIcon ConvertedMarkIcon();
QIcon FailedMarkIcon();
// A transparent 16 x 16 icon for rows without a mark, so that they take the marks' room.
QIcon BlankMarkIcon();
// The program's icon at 32 x 32 (and the smaller sizes the window frame asks for).
QIcon ProgramIcon();
// The maker's logo, 88 x 31.
QPixmap MakerLogo();

}  // namespace plexor
