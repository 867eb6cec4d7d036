#include "platform/ui/dialog_builder.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <cmath>
#include <cstdint>

namespace {

constexpr DWORD kKindMask = 0x000F;  // the low bits select the button or static kind

bool IsDialogShellFace(const std::u16string& face) {
  return face == u"MS Shell Dlg" || face == u"MS Shell Dlg 2" || face == u"MS Sans Serif" || face == u"Tahoma" ||
         face == u"Segoe UI" || face.empty();
}

QWidget* CreateControl(const DialogItemTemplate& item, QWidget* parent, const std::function<void(UINT)>& onCommand) {
  const QString text = QStringFromUtf16(item.text);
  const DWORD kind = item.style & kKindMask;
  QWidget* widget = nullptr;
  if (item.windowClass == u"Edit") {
    auto* edit = new QLineEdit(text, parent);
    if (item.style & ES_PASSWORD) edit->setEchoMode(QLineEdit::Password);
    edit->setFrame((item.style & WS_BORDER) != 0);
    widget = edit;
  } else if (item.windowClass == u"Static") {
    if (kind == SS_BLACKFRAME) {
      auto* frame = new QFrame(parent);
      frame->setFrameShape(QFrame::Box);
      frame->setFrameShadow(QFrame::Plain);
      frame->setLineWidth(1);
      QPalette pal = frame->palette();
      pal.setColor(QPalette::WindowText, Qt::black);
      frame->setPalette(pal);
      widget = frame;
    } else {
      auto* label = new QLabel(text, parent);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setWordWrap(true);
      label->setTextFormat(Qt::PlainText);
      widget = label;
    }
  } else if (item.windowClass == u"Button") {
    if (kind == BS_GROUPBOX) {
      widget = new QGroupBox(text, parent);
    } else if (kind == BS_AUTOCHECKBOX) {
      auto* box = new QCheckBox(text, parent);
      const UINT id = item.id;
      QObject::connect(box, &QCheckBox::clicked, box, [onCommand, id] {
        if (onCommand) onCommand(id);
      });
      widget = box;
    } else {
      auto* button = new QPushButton(text, parent);
      const UINT id = item.id;
      QObject::connect(button, &QPushButton::clicked, button, [onCommand, id] {
        if (onCommand) onCommand(id);
      });
      widget = button;
    }
  } else {
    // An unknown window class still takes its place, so layouts keep their geometry.
    widget = new QWidget(parent);
  }
  return widget;
}

}  // namespace

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
  std::int64_t quotient = product / denominator;
  const std::int64_t remainder = product % denominator;
  const std::int64_t absRemainder = remainder < 0 ? -remainder : remainder;
  const std::int64_t absDenominator = denominator < 0 ? -static_cast<std::int64_t>(denominator) : denominator;
  if (2 * absRemainder >= absDenominator) quotient += ((product < 0) != (denominator < 0)) ? -1 : 1;
  return static_cast<int>(quotient);
}

int PointsToPixels(int points) {
  int dpi = 96;
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    if (QScreen* screen = app->primaryScreen()) dpi = static_cast<int>(std::lround(screen->logicalDotsPerInchY()));
  }
  if (dpi <= 0) dpi = 96;
  return MulDiv(points, dpi, 72);
}

QFont DialogFont(const std::u16string& face, int pointSize) {
  QFont font = IsDialogShellFace(face) ? QFontDatabase::systemFont(QFontDatabase::GeneralFont) : QFont(QStringFromUtf16(face));
  if (IsDialogShellFace(face)) font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(PointsToPixels(pointSize > 0 ? pointSize : 8));
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  return font;
}

QFont DialogFont(const DialogTemplate& layout) { return DialogFont(layout.fontFace, layout.pointSize); }

DialogBaseUnits GetDialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return DialogBaseUnits{(width / 26 + 1) / 2, metrics.height()};
}

QRect MapDialogRect(const QRect& du, const DialogBaseUnits& units) {
  const int left = MapDialogX(du.x(), units);
  const int top = MapDialogY(du.y(), units);
  const int right = MapDialogX(du.x() + du.width(), units);
  const int bottom = MapDialogY(du.y() + du.height(), units);
  return QRect(left, top, right - left, bottom - top);
}

std::vector<QWidget*> CreateDialogControls(const DialogTemplate& layout, QWidget* parent, const DialogBaseUnits& units,
                                           std::function<void(UINT)> onCommand) {
  std::vector<QWidget*> widgets;
  widgets.reserve(layout.items.size());
  QWidget* lastTabStop = nullptr;
  for (const DialogItemTemplate& item : layout.items) {
    QWidget* widget = CreateControl(item, parent, onCommand);
    SetDlgItemId(widget, item.id);
    widget->setGeometry(MapDialogRect(QRect(item.x, item.y, item.cx, item.cy), units));
    const bool isStatic = item.windowClass == u"Static" || dynamic_cast<QGroupBox*>(widget) != nullptr;
    if (item.style & WS_TABSTOP) {
      widget->setFocusPolicy(Qt::StrongFocus);
      if (lastTabStop) QWidget::setTabOrder(lastTabStop, widget);
      lastTabStop = widget;
    } else {
      widget->setFocusPolicy(isStatic ? Qt::NoFocus : Qt::ClickFocus);
    }
    // Later items lie below earlier ones.
    widget->lower();
    widget->setVisible((item.style & WS_VISIBLE) != 0);
    widgets.push_back(widget);
  }
  return widgets;
}
