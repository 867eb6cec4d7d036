#include "taskdialog/XTaskDialogQt.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdlib>

QFont ToQFont(const TaskDialogFont& font) {
  QFont f(ToQString(font.lfFaceName));
  if (font.lfHeight != 0) f.setPixelSize(std::abs(static_cast<int>(font.lfHeight)));
  f.setWeight(static_cast<QFont::Weight>(std::clamp<int>(font.lfWeight > 0 ? font.lfWeight : 400, 1, 1000)));
  f.setItalic(font.lfItalic != 0);
  return f;
}

int ToQtTextFlags(UINT format) {
  int flags = Qt::AlignLeft | Qt::AlignTop;
  if (format & DT_SINGLELINE)
    flags |= Qt::TextSingleLine;
  else if (format & DT_WORDBREAK)
    flags |= Qt::TextWordWrap;
  if (format & DT_EXPANDTABS) flags |= Qt::TextExpandTabs;
  if (!(format & DT_NOPREFIX)) flags |= Qt::TextShowMnemonic;
  return flags;
}

TextExtent MeasureQtText(const QFont& font, std::u16string_view text, int width, UINT format) {
  if (text.empty()) return {};
  QFontMetrics metrics(font);
  const int w = std::max(width, 1);
  const QRect r = metrics.boundingRect(QRect(0, 0, w, w), ToQtTextFlags(format), ToQString(text));
  return {r.width(), r.height()};
}

namespace {

bool HaveGuiApplication() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

class QtMeasurer final : public ITaskDialogTextMeasurer {
 public:
  bool Open(DWORD* error) override {
    // Measuring needs the font database of a running GUI application.
    if (HaveGuiApplication()) return true;
    if (error) *error = ERROR_DC_NOT_FOUND;
    return false;
  }
  void Close() override {}
  TextExtent Measure(const TaskDialogFont& font, std::u16string_view text, int width, UINT format) override {
    return MeasureQtText(ToQFont(font), text, width, format);
  }
};

double LogicalDpi() {
  QScreen* screen = HaveGuiApplication() ? QGuiApplication::primaryScreen() : nullptr;
  return screen ? screen->logicalDotsPerInchY() : 96.0;
}

class QtMetrics final : public ITaskDialogMetrics {
 public:
  bool GetMessageFont(TaskDialogFont* font, DWORD* error) override {
    if (!HaveGuiApplication()) {
      if (error) *error = ERROR_DC_NOT_FOUND;
      return false;
    }
    const QFont app = QGuiApplication::font();
    const QFontInfo info(app);
    font->lfFaceName = ToU16(info.family());
    font->lfHeight = -std::max(1, info.pixelSize());
    font->lfWeight = info.weight();
    font->lfItalic = info.italic() ? 1 : 0;
    return true;
  }
  // The system font's base units at 96 dots per inch are 8 by 16.
  TextExtent GetDialogBaseUnits() override {
    const double scale = LogicalDpi() / 96.0;
    return {std::max(1, static_cast<int>(std::lround(8 * scale))), std::max(1, static_cast<int>(std::lround(16 * scale)))};
  }
  int GetMonitorWidth(HWND window) override {
    if (!HaveGuiApplication()) return 0;
    QScreen* screen = window ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->geometry().width() : 0;
  }
  int GetScreenWidth() override {
    QScreen* screen = HaveGuiApplication() ? QGuiApplication::primaryScreen() : nullptr;
    return screen ? screen->geometry().width() : 1024;
  }
};

}  // namespace

ITaskDialogTextMeasurer* SystemTaskDialogMeasurer() {
  static QtMeasurer measurer;
  return &measurer;
}

ITaskDialogMetrics* SystemTaskDialogMetrics() {
  static QtMetrics metrics;
  return &metrics;
}
