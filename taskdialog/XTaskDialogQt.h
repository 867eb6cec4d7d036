// The emulated task dialog's text measuring and system metrics on Qt.
#pragma once

#include <QFont>
#include <QString>
#include <string_view>

#include "taskdialog/XTaskDialogLayout.h"

QFont ToQFont(const TaskDialogFont& font);
// Qt text flags for the platform's measuring and drawing flags (DT_...).
int ToQtTextFlags(UINT format);
// Size of a text as the layout measures it; the drawing of the controls uses the same rule.
TextExtent MeasureQtText(const QFont& font, std::u16string_view text, int width, UINT format);

inline QString ToQString(std::u16string_view text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}
inline std::u16string ToU16(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
}
