// Turning a dialog layout (positions in dialog units) into Qt widgets.
//
// Dialog units are relative to the dialog font: a horizontal unit is a quarter of the font's average
// character width, a vertical unit an eighth of its height, measured the way the original platform does it.
#pragma once

#include <QFont>
#include <QRect>
#include <functional>
#include <vector>

#include "platform/ui/resources.h"
#include "platform/ui/window.h"

struct DialogBaseUnits {
  int cx = 0;  // average character width in pixels
  int cy = 0;  // character height in pixels
};

// number * numerator / denominator, rounded half away from zero; -1 when denominator is 0.
int MulDiv(int number, int numerator, int denominator);

// The pixel size of a font given in points at the screen's logical resolution (96 at 100% scale).
int PointsToPixels(int points);
// The font of a dialog layout. "MS Shell Dlg" and the other Windows dialog faces are not installed here:
// they become the system's sans-serif font at the same pixel size.
QFont DialogFont(const std::u16string& face, int pointSize);
QFont DialogFont(const DialogTemplate& layout);
// Average width of "A".."Z" "a".."z" rounded as the platform does, and the font's height.
DialogBaseUnits GetDialogBaseUnits(const QFont& font);

// Converts each edge separately, as the platform's MapDialogRect does.
QRect MapDialogRect(const QRect& dialogUnits, const DialogBaseUnits& units);
inline int MapDialogX(int x, const DialogBaseUnits& units) { return MulDiv(x, units.cx, 4); }
inline int MapDialogY(int y, const DialogBaseUnits& units) { return MulDiv(y, units.cy, 8); }

// Creates one widget per layout item, in order, as children of `parent`:
//   Edit            QLineEdit (ES_PASSWORD masks the text)
//   Static          QLabel, or a framed QFrame for SS_BLACKFRAME
//   Button          QPushButton, QCheckBox for BS_AUTOCHECKBOX, QGroupBox for BS_GROUPBOX
// Items without WS_VISIBLE start hidden; WS_TABSTOP items are in the tab order, in layout order. The first
// item lies on top, as on the platform, so a group box never covers the controls inside it.
// Clicks on buttons and check boxes are reported to `onCommand` with the control's identifier.
std::vector<QWidget*> CreateDialogControls(const DialogTemplate& layout, QWidget* parent, const DialogBaseUnits& units,
                                           std::function<void(UINT)> onCommand);
