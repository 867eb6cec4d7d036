// The task dialog's four control classes. Each attaches to an existing control (a Qt widget) and receives
// its events first, handling what it needs and passing on the rest, as a subclassed window does.
#pragma once

#include <QBrush>
#include <QFont>
#include <QObject>
#include <QPen>
#include <QPointer>
#include <QWidget>

#include "platform/ui/wintypes.h"

class QPainter;

// Control attributes kept on the widgets of a dialog.
int GetDlgCtrlID(const QWidget* control);
void SetDlgCtrlID(QWidget* control, int id);
DWORD GetControlStyle(const QWidget* control);
void SetControlStyle(QWidget* control, DWORD style);
// The image of a button (an icon handle), as the platform's button image; a button that is not
// owner-drawn also shows it beside its caption.
HICON GetButtonImage(const QWidget* button);
void SetButtonImage(QWidget* button, HICON image);

// Keyboard cues of a window: focus rectangles and mnemonic underlines, hidden until the keyboard is used.
enum : DWORD { UISF_HIDEFOCUS = 0x1, UISF_HIDEACCEL = 0x2 };
DWORD QueryUIState(const QWidget* control);
// Sets the window's cue state and tells every control of the window that it changed.
void ChangeUIState(QWidget* window, DWORD state);
// The event a control receives when the keyboard-cue state of its window changed.
int UIStateChangedEventType();

class CXTaskDialogControl : public QObject {
 public:
  CXTaskDialogControl() = default;
  ~CXTaskDialogControl() override;
  CXTaskDialogControl(const CXTaskDialogControl&) = delete;
  CXTaskDialogControl& operator=(const CXTaskDialogControl&) = delete;

  bool SubclassWindow(QWidget* control);
  void UnsubclassWindow();
  QWidget* GetControl() const { return m_control; }

 protected:
  virtual void OnAttached() {}
  // True when the event is handled and not passed on to the control.
  virtual bool OnEvent(QEvent* event) = 0;

 private:
  bool eventFilter(QObject* watched, QEvent* event) final;
  QPointer<QWidget> m_control;
};

// Static text and link controls: main instruction, content, expanded information, footer text.
class CXTaskDialogStatic : public CXTaskDialogControl {
 public:
  void SetTextColor(COLORREF color);
  void SetBkColor(COLORREF color);
  void SetBkBrush(const QBrush* brush);
  COLORREF GetTextColor() const { return m_textColor; }
  COLORREF GetBkColor() const { return m_bkColor; }

 protected:
  void OnAttached() override { ApplyColors(); }
  bool OnEvent(QEvent* event) override;

 private:
  void ApplyColors();
  COLORREF m_textColor = 0;
  COLORREF m_bkColor = 0xFFFFFF;
  const QBrush* m_pBkBrush = nullptr;
};

// Check box and radio buttons.
class CXTaskDialogButton : public CXTaskDialogControl {
 public:
  void SetBkColor(COLORREF color);
  void SetBkBrush(const QBrush* brush);
  COLORREF GetBkColor() const { return m_bkColor; }

 protected:
  void OnAttached() override { ApplyColors(); }
  bool OnEvent(QEvent* event) override;

 private:
  void ApplyColors();
  COLORREF m_bkColor = 0xFFFFFF;
  const QBrush* m_pBkBrush = nullptr;
};

// The main and footer icons; refers to the dialog's icon handle so a replaced icon paints at once.
class CXTaskDialogIconStatic : public CXTaskDialogControl {
 public:
  void SetIcon(const HICON* icon) { m_pIcon = icon; }
  void SetLarge(bool large) { m_bLarge = large; }

 protected:
  bool OnEvent(QEvent* event) override;

 private:
  const HICON* m_pIcon = nullptr;
  bool m_bLarge = false;
};

// A command link: an owner-drawn push button whose text is a title, or a title, a line feed and a note.
class CXTaskDialogCommandLink : public CXTaskDialogControl {
 public:
  static constexpr COLORREF kFocusPen = 0xFFF0B2;
  static constexpr COLORREF kHoverPen = 0xC6C6C6;
  static constexpr COLORREF kPlainPen = 0xFFFFFF;
  static constexpr COLORREF kPressedFill = 0xF0F0F0;
  static constexpr COLORREF kText = 0x993300;
  static constexpr COLORREF kHotText = 0xE54A07;

  // Sets the fonts (owned by the dialog) and the glyphs, and makes the pens; false when a pen cannot be made.
  bool SetFontsAndGlyphs(const QFont* titleFont, const QFont* noteFont, HICON normalGlyph, HICON hotGlyph);
  bool IsHover() const { return m_bHover; }
  bool IsTracking() const { return m_bTracking; }

 protected:
  void OnAttached() override;
  bool OnEvent(QEvent* event) override;

 private:
  void DrawItem(QPainter& painter);
  bool m_bHover = false;
  bool m_bTracking = false;
  bool m_bPens = false;
  QPen m_penFocus, m_penHover, m_penPlain;
  const QFont* m_pTitleFont = nullptr;
  const QFont* m_pNoteFont = nullptr;
  HICON m_hGlyph = nullptr;
  HICON m_hHotGlyph = nullptr;
};
