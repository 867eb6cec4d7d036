// Small pieces of the window framework shared by dialogs, pages, menus and controls: control identifiers,
// result codes, command targets and text conversion between UTF-16 and Qt.
#pragma once

#include <QColor>
#include <QString>
#include <string>
#include <string_view>

#include "platform/com/comtypes.h"

class QWidget;

// Results of a modal dialog.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Anything that handles command identifiers from menus and controls.
class CCmdTarget {
 public:
  virtual ~CCmdTarget() = default;
  // True when the command was handled.
  virtual bool OnCmdMsg(UINT id) = 0;
};

constexpr QRgb RGB(int r, int g, int b) { return qRgb(r, g, b); }

inline QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::u16string FromQString(const QString& text) { return text.toStdU16String(); }

// The control identifier a widget was created with (0 when it has none).
UINT GetDlgCtrlID(const QWidget* widget);
void SetDlgCtrlID(QWidget* widget, UINT id);
// The first descendant of `parent` with that control identifier, or null.
QWidget* FindDlgItem(const QWidget* parent, UINT id);
