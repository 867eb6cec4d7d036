// Small pieces of the window framework shared by dialogs, pages, menus and controls: control identifiers,
// result codes, command targets and text conversion between UTF-16 and Qt.
#pragma once

#include <QColor>
#include <QString>
#include <string>
#include <string_view>

#include "platform/com/comtypes.h"
#include "platform/ui/wintypes.h"  // IDOK, IDCANCEL, RGB and the other window types

class QWidget;

// Anything that handles command identifiers from menus and controls.
class CCmdTarget {
 public:
  virtual ~CCmdTarget() = default;
  // True when the command was handled.
  virtual bool OnCmdMsg(UINT id) = 0;
};

inline QString QStringFromUtf16(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::u16string Utf16FromQString(const QString& text) { return text.toStdU16String(); }

// The control identifier a widget was created with (0 when it has none).
UINT GetDlgItemId(const QWidget* widget);
void SetDlgItemId(QWidget* widget, UINT id);
// The first descendant of `parent` with that control identifier, or null.
QWidget* FindDlgItem(const QWidget* parent, UINT id);
