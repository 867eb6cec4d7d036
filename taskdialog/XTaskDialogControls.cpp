#include "taskdialog/XTaskDialogControls.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <new>

#include "taskdialog/XTaskDialogQt.h"

namespace {
constexpr const char* kIdProperty = "dlgCtrlId";
constexpr const char* kStyleProperty = "dlgCtrlStyle";
constexpr const char* kImageProperty = "buttonImage";
constexpr const char* kUIStateProperty = "uiState";
}  // namespace

int GetDlgCtrlID(const QWidget* control) {
  if (!control) return 0;
  QVariant v = control->property(kIdProperty);
  return v.isValid() ? v.toInt() : 0;
}

void SetDlgCtrlID(QWidget* control, int id) {
  if (control) control->setProperty(kIdProperty, id);
}

DWORD GetControlStyle(const QWidget* control) {
  if (!control) return 0;
  QVariant v = control->property(kStyleProperty);
  return v.isValid() ? static_cast<DWORD>(v.toUInt()) : 0;
}

void SetControlStyle(QWidget* control, DWORD style) {
  if (control) control->setProperty(kStyleProperty, static_cast<uint>(style));
}

HICON GetButtonImage(const QWidget* button) {
  if (!button) return nullptr;
  QVariant v = button->property(kImageProperty);
  return v.isValid() ? reinterpret_cast<HICON>(v.value<quintptr>()) : nullptr;
}

void SetButtonImage(QWidget* button, HICON image) {
  if (!button) return;
  button->setProperty(kImageProperty, QVariant::fromValue(reinterpret_cast<quintptr>(image)));
  // An owner-drawn button draws its image itself; any other shows it beside the caption.
  if ((GetControlStyle(button) & 0xF) != BS_OWNERDRAW) {
    if (auto* push = qobject_cast<QAbstractButton*>(button))
      push->setIcon(image ? QIcon(QPixmap::fromImage(*image)) : QIcon());
  }
  button->update();
}

DWORD QueryUIState(const QWidget* control) {
  if (!control) return 0;
  const QWidget* window = control->window();
  QVariant v = window->property(kUIStateProperty);
  return v.isValid() ? static_cast<DWORD>(v.toUInt()) : 0;
}

int UIStateChangedEventType() {
  static const int type = QEvent::registerEventType();
  return type;
}

void ChangeUIState(QWidget* window, DWORD state) {
  if (!window) return;
  window->setProperty(kUIStateProperty, static_cast<uint>(state));
  for (QWidget* child : window->findChildren<QWidget*>()) {
    QEvent event(static_cast<QEvent::Type>(UIStateChangedEventType()));
    QCoreApplication::sendEvent(child, &event);
  }
}

// --- CXTaskDialogControl ------------------------------------------------------------------------------

CXTaskDialogControl::~CXTaskDialogControl() { UnsubclassWindow(); }

bool CXTaskDialogControl::SubclassWindow(QWidget* control) {
  if (!control || m_control) return false;
  m_control = control;
  control->installEventFilter(this);
  OnAttached();
  return true;
}

void CXTaskDialogControl::UnsubclassWindow() {
  if (m_control) m_control->removeEventFilter(this);
  m_control = nullptr;
}

bool CXTaskDialogControl::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_control) return false;
  return OnEvent(event);
}

// --- CXTaskDialogStatic -------------------------------------------------------------------------------

void CXTaskDialogStatic::SetTextColor(COLORREF color) {
  m_textColor = color;
  ApplyColors();
}

void CXTaskDialogStatic::SetBkColor(COLORREF color) {
  m_bkColor = color;
  ApplyColors();
}

void CXTaskDialogStatic::SetBkBrush(const QBrush* brush) {
  m_pBkBrush = brush;
  ApplyColors();
}

// The control asks for its colours when it paints: text colour, text background and the brush behind it.
void CXTaskDialogStatic::ApplyColors() {
  QWidget* w = GetControl();
  if (!w) return;
  QPalette pal = w->palette();
  const QColor text = QColorFromCOLORREF(m_textColor);
  const QColor back = QColorFromCOLORREF(m_bkColor);
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    pal.setColor(group, QPalette::WindowText, text);
    pal.setColor(group, QPalette::Text, text);
    pal.setBrush(group, QPalette::Window, m_pBkBrush ? *m_pBkBrush : QBrush(back));
    pal.setColor(group, QPalette::Base, back);
  }
  w->setPalette(pal);
  w->setAutoFillBackground(true);
}

bool CXTaskDialogStatic::OnEvent(QEvent*) { return false; }

// --- CXTaskDialogButton -------------------------------------------------------------------------------

void CXTaskDialogButton::SetBkColor(COLORREF color) {
  m_bkColor = color;
  ApplyColors();
}

void CXTaskDialogButton::SetBkBrush(const QBrush* brush) {
  m_pBkBrush = brush;
  ApplyColors();
}

void CXTaskDialogButton::ApplyColors() {
  QWidget* w = GetControl();
  if (!w) return;
  QPalette pal = w->palette();
  const QBrush back = m_pBkBrush ? *m_pBkBrush : QBrush(QColorFromCOLORREF(m_bkColor));
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    pal.setBrush(group, QPalette::Window, back);
    pal.setBrush(group, QPalette::Button, back);
  }
  w->setPalette(pal);
  w->setAutoFillBackground(true);
}

bool CXTaskDialogButton::OnEvent(QEvent*) { return false; }

// --- CXTaskDialogIconStatic ---------------------------------------------------------------------------

bool CXTaskDialogIconStatic::OnEvent(QEvent* event) {
  if (event->type() != QEvent::Paint) return false;
  QWidget* w = GetControl();
  QPainter painter(w);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const int size = m_bLarge ? 32 : 16;
  if (m_pIcon && *m_pIcon && !(*m_pIcon)->isNull()) painter.drawImage(QRect(0, 0, size, size), **m_pIcon);
  return true;
}

// --- CXTaskDialogCommandLink --------------------------------------------------------------------------

bool CXTaskDialogCommandLink::SetFontsAndGlyphs(const QFont* titleFont, const QFont* noteFont, HICON normalGlyph,
                                                HICON hotGlyph) {
  m_pTitleFont = titleFont;
  m_pNoteFont = noteFont;
  m_hGlyph = normalGlyph;
  m_hHotGlyph = hotGlyph;
  m_bPens = false;
  try {
    m_penFocus = QPen(QColorFromCOLORREF(kFocusPen), 1, Qt::SolidLine);
    m_penHover = QPen(QColorFromCOLORREF(kHoverPen), 1, Qt::SolidLine);
    m_penPlain = QPen(QColorFromCOLORREF(kPlainPen), 1, Qt::SolidLine);
    m_bPens = true;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void CXTaskDialogCommandLink::OnAttached() {
  QWidget* w = GetControl();
  w->setMouseTracking(true);
  w->setAttribute(Qt::WA_Hover, false);
}

bool CXTaskDialogCommandLink::OnEvent(QEvent* event) {
  QWidget* w = GetControl();
  switch (event->type()) {
    case QEvent::Paint: {
      QPainter painter(w);
      DrawItem(painter);
      return true;
    }
    case QEvent::MouseMove:
      if (!m_bHover) {
        m_bHover = true;
        if (m_hGlyph && GetButtonImage(w) == m_hGlyph) SetButtonImage(w, m_hHotGlyph);
        w->update();
      }
      if (!m_bTracking) m_bTracking = true;  // Qt reports the leave without being asked
      return false;
    case QEvent::Leave:
      m_bHover = false;
      m_bTracking = false;
      if (m_hHotGlyph && GetButtonImage(w) == m_hHotGlyph) SetButtonImage(w, m_hGlyph);
      w->update();
      return true;
    default:
      if (event->type() == static_cast<QEvent::Type>(UIStateChangedEventType())) w->update();
      return false;
  }
}

void CXTaskDialogCommandLink::DrawItem(QPainter& painter) {
  auto* button = qobject_cast<QAbstractButton*>(GetControl());
  if (!button) return;
  const QRect rc = button->rect();
  const int width = rc.width();
  const int height = rc.height();
  const bool pressed = button->isDown();
  const bool focused = button->hasFocus();

  painter.save();
  // 1. White face, rounded border, pressed fill.
  painter.fillRect(rc, Qt::white);
  const QPen& pen = m_bHover ? m_penHover : (focused ? m_penFocus : m_penPlain);
  if (m_bPens) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(0.5, 0.5, width - 1.0, height - 1.0), 3.0, 3.0);
    painter.setRenderHint(QPainter::Antialiasing, false);
  }
  if (pressed) painter.fillRect(rc.adjusted(1, 1, -1, -1), QColorFromCOLORREF(kPressedFill));

  // 2. Keyboard cues.
  const DWORD ui = QueryUIState(button);
  if (!(ui & UISF_HIDEFOCUS) && focused) {
    QPen dotted(QColor(0x40, 0x40, 0x40), 1, Qt::DotLine);
    painter.setPen(dotted);
    painter.drawRect(QRect(2, 3, width - 4 - 1, height - 6 - 1));
  }
  // Hidden underlines: the ampersands still take no room, they just show no mark.
  auto titleFlags = [ui](UINT format) {
    int flags = ToQtTextFlags(format);
    if (ui & UISF_HIDEACCEL) flags = (flags & ~Qt::TextShowMnemonic) | Qt::TextHideMnemonic;
    return flags;
  };

  // 3. Glyph.
  int x = 10;
  if (HICON image = GetButtonImage(button); image && !image->isNull()) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(x, (height - 16) / 2, 16, 16), *image);
    x += 26;
  }

  // 4. Text colour and title font.
  const COLORREF color = pressed ? kText : (m_bHover ? kHotText : kText);
  painter.setPen(QColorFromCOLORREF(color));
  const QFont titleFont = m_pTitleFont ? *m_pTitleFont : button->font();
  const QFont noteFont = m_pNoteFont ? *m_pNoteFont : button->font();
  painter.setFont(titleFont);

  const std::u16string text = ToU16(button->text());
  const int textWidth = std::max(0, width - 10 - x);
  const auto lf = text.find(u'\n');
  if (lf == std::u16string::npos) {
    // 5. One vertically centred line.
    const UINT format = DT_SINGLELINE | DT_EXPANDTABS;
    const int lineHeight = MeasureQtText(titleFont, text, textWidth, format).cy;
    const int top = (height - lineHeight) / 2;
    painter.drawText(QRect(x, top, textWidth, lineHeight), titleFlags(format), ToQString(text));
  } else {
    // 6. Title on one line, the note word-wrapped below it.
    const std::u16string_view title = std::u16string_view(text).substr(0, lf);
    const std::u16string_view note = std::u16string_view(text).substr(lf + 1);
    const UINT titleFormat = DT_SINGLELINE | DT_EXPANDTABS;
    const int lineHeight = MeasureQtText(titleFont, title, textWidth, titleFormat).cy;
    painter.drawText(QRect(x, 10, textWidth, lineHeight), titleFlags(titleFormat), ToQString(title));
    painter.setFont(noteFont);
    const int y = 10 + lineHeight + 5;
    const UINT noteFormat = DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;
    const int noteHeight = MeasureQtText(noteFont, note, textWidth, noteFormat).cy;
    painter.drawText(QRect(x, y, textWidth, noteHeight), ToQtTextFlags(noteFormat), ToQString(note));
  }
  // 7. Pen, brush and font go back as they were.
  painter.restore();
}
