// Layout of the emulated task dialog: which controls exist, their ids, kinds, styles, positions and sizes,
// the separators of the background and the dialog's own size, computed from the configuration record
// before any window exists. Apart from measuring text and reading metrics it is pure computation.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "taskdialog/XTaskDialogTypes.h"

// A font description as the platform keeps it: a negative height is the character height in pixels.
struct TaskDialogFont {
  LONG lfHeight = 0;
  LONG lfWeight = 400;
  BYTE lfItalic = 0;
  std::u16string lfFaceName;
};

// Measuring flags of the platform's text-drawing routine.
enum : UINT {
  DT_WORDBREAK = 0x0010,
  DT_SINGLELINE = 0x0020,
  DT_EXPANDTABS = 0x0040,
  DT_NOPREFIX = 0x0800,
};

struct TextExtent {
  int cx = 0;
  int cy = 0;
};

// Measures text as the platform's text-drawing routine does in measuring mode.
class ITaskDialogTextMeasurer {
 public:
  virtual ~ITaskDialogTextMeasurer() = default;
  // Opens the display context for one layout; false with the platform error when it cannot.
  virtual bool Open(DWORD* error) = 0;
  virtual void Close() = 0;
  // Size of `text` drawn with `font` inside a square of `width`. Without DT_WORDBREAK lines break only at
  // line feeds; with DT_SINGLELINE not at all. Without DT_NOPREFIX an ampersand marks the next character
  // and takes no room. The width of a wrapped text is its widest line.
  virtual TextExtent Measure(const TaskDialogFont& font, std::u16string_view text, int width, UINT format) = 0;
};

// System metrics the layout reads.
class ITaskDialogMetrics {
 public:
  virtual ~ITaskDialogMetrics() = default;
  // The message font of the non-client metrics; false with the platform error when it cannot be read.
  virtual bool GetMessageFont(TaskDialogFont* font, DWORD* error) = 0;
  // Dialog base units of the system font: cx horizontal, cy vertical.
  virtual TextExtent GetDialogBaseUnits() = 0;
  // Width of the monitor nearest to `window`; 0 when the monitor cannot be asked.
  virtual int GetMonitorWidth(HWND window) = 0;
  virtual int GetScreenWidth() = 0;
};

// The measurer and metrics of the running system (Qt), shared by every layout.
ITaskDialogTextMeasurer* SystemTaskDialogMeasurer();
ITaskDialogMetrics* SystemTaskDialogMetrics();

// Control kinds of the item list.
enum : int {
  TDLG_KIND_BUTTON = 1,
  TDLG_KIND_STATIC = 3,
  TDLG_KIND_CHECKBOX = 4,
  TDLG_KIND_PROGRESS = 5,
  TDLG_KIND_LINK = 6,
  TDLG_KIND_RADIO = 7,
};

// A rectangle in pixels; right and bottom are exclusive.
struct TaskDialogRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const TaskDialogRect&) const = default;
};

// One control of the dialog, in creation order.
struct TaskDialogItem {
  DWORD style = 0;
  DWORD exStyle = 0;
  SHORT x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  WORD id = 0;
  int kind = 0;
  std::u16string text;
  std::u16string windowClass;
  TaskDialogRect pixels;  // as laid out, before the conversion to dialog units
};

struct TaskDialogHeader {
  DWORD style = 0;
  DWORD exStyle = 0;
  WORD cdit = 0;
  SHORT x = 0, y = 0, cx = 0, cy = 0;  // dialog units
};

// One row of the common-button table.
struct TaskDialogCommonButton {
  int flag;
  int id;
  std::u16string caption;
  UINT stringId;
};

class CXTaskDialogLayout {
 public:
  CXTaskDialogLayout();
  virtual ~CXTaskDialogLayout() = default;
  CXTaskDialogLayout(const CXTaskDialogLayout&) = delete;
  CXTaskDialogLayout& operator=(const CXTaskDialogLayout&) = delete;

  // Measuring and metrics; the system's unless replaced (tests give deterministic ones).
  void SetEnvironment(ITaskDialogTextMeasurer* measurer, ITaskDialogMetrics* metrics);

  // Loads the texts of the record (`pConfig`) into the text slots and sets the expanded state:
  // title (the executable's name when empty), main instruction, content, expanded information, the
  // expando captions (defaults when empty), verification text and footer, with the link-free copies.
  HRESULT LoadTexts();

  HRESULT BuildLayout();
  HRESULT AddControl(int kind, int id, const TaskDialogRect& rc, std::u16string_view text, int bx, int by,
                     DWORD addStyle = 0, DWORD removeStyle = 0);
  int MeasureCommandLink(std::u16string_view text, int width);

  // A text field of 0 gives an empty text, a value above 0xFFFF is a text, anything else a string id.
  static HRESULT LoadText(HINSTANCE module, std::u16string* slot, PCWSTR field);
  static std::u16string StripLinks(std::u16string_view text);

  static constexpr int kCommonButtonCount = 6;
  static const std::u16string_view kDefaultCollapsedCaption;
  static const std::u16string_view kDefaultExpandedCaption;

  // Prepared state.
  const TASKDIALOGCONFIG* m_pConfig = nullptr;
  TaskDialogCommonButton m_commonButtons[kCommonButtonCount];
  std::u16string m_strTitle;
  std::u16string m_strMainInstruction;
  std::u16string m_strContent, m_strContentNoLinks;
  std::u16string m_strExpandedInfo, m_strExpandedInfoNoLinks;
  std::u16string m_strExpandedCaption, m_strCollapsedCaption;
  std::u16string m_strVerification;
  std::u16string m_strFooter, m_strFooterNoLinks;
  bool m_bHasMainIcon = false;
  bool m_bHasFooterIcon = false;
  bool m_bExpanded = false;

  // Results.
  TaskDialogFont m_fontNormal, m_fontLarge;
  TextExtent m_baseUnits{8, 16};
  std::vector<std::u16string> m_buttonTexts;  // custom buttons as loaded, in array order
  std::vector<std::u16string> m_radioTexts;
  int m_nDefaultButtonId = -1;
  int m_nMainIconId = -1;
  int m_nMainInstructionId = -1;
  int m_nContentId = -1;
  int m_nExpandedInfoId = -1;
  int m_nProgressBarId = -1;
  int m_nExpandoButtonId = -1;
  int m_nVerificationId = -1;
  int m_nFooterIconId = -1;
  int m_nFooterTextId = -1;
  int m_nSeparator1 = -1;
  int m_nSeparator2 = -1;
  int m_nSeparator3 = -1;
  int m_nPreferredWidth = 0;  // W, pixels
  int m_nTextWidth = 0;       // t, pixels, after widening for the button row
  int m_nContentWidth = 0;    // v, pixels
  int m_nClientWidth = 0;     // D, pixels
  int m_nClientHeight = 0;    // H, pixels
  TaskDialogHeader m_header;
  std::vector<TaskDialogItem> m_items;

 protected:
  ITaskDialogTextMeasurer* m_pMeasurer;
  ITaskDialogMetrics* m_pMetrics;
};

// Converts the markup of a link control ("<A HREF=\"target\">text</A>", tags in any letter case) into
// rich text whose anchors carry the targets; everything else is shown as it stands.
std::u16string LinkMarkupToRichText(std::u16string_view text);
