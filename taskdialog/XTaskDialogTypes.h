// The task dialog's configuration record, flags, messages and notifications, with the names and values
// the platform publishes for TaskDialogIndirect. Both engines read the same record.
#pragma once

#include "platform/ui/wintypes.h"

// Task dialog flags (dwFlags).
enum : int {
  TDF_ENABLE_HYPERLINKS = 0x0001,
  TDF_USE_HICON_MAIN = 0x0002,
  TDF_USE_HICON_FOOTER = 0x0004,
  TDF_ALLOW_DIALOG_CANCELLATION = 0x0008,
  TDF_USE_COMMAND_LINKS = 0x0010,
  TDF_USE_COMMAND_LINKS_NO_ICON = 0x0020,
  TDF_EXPAND_FOOTER_AREA = 0x0040,
  TDF_EXPANDED_BY_DEFAULT = 0x0080,
  TDF_VERIFICATION_FLAG_CHECKED = 0x0100,
  TDF_SHOW_PROGRESS_BAR = 0x0200,
  TDF_SHOW_MARQUEE_PROGRESS_BAR = 0x0400,
  TDF_CALLBACK_TIMER = 0x0800,
  TDF_POSITION_RELATIVE_TO_WINDOW = 0x1000,
  TDF_RTL_LAYOUT = 0x2000,
  TDF_NO_DEFAULT_RADIO_BUTTON = 0x4000,
  TDF_CAN_BE_MINIMIZED = 0x8000,
};
using TASKDIALOG_FLAGS = int;

// Common buttons (dwCommonButtons).
enum : int {
  TDCBF_OK_BUTTON = 0x0001,
  TDCBF_YES_BUTTON = 0x0002,
  TDCBF_NO_BUTTON = 0x0004,
  TDCBF_CANCEL_BUTTON = 0x0008,
  TDCBF_RETRY_BUTTON = 0x0010,
  TDCBF_CLOSE_BUTTON = 0x0020,
};
using TASKDIALOG_COMMON_BUTTON_FLAGS = int;

// Standard icon ids for the icon fields.
inline PCWSTR TD_WARNING_ICON() { return MAKEINTRESOURCEW(0xFFFF); }
inline PCWSTR TD_ERROR_ICON() { return MAKEINTRESOURCEW(0xFFFE); }
inline PCWSTR TD_INFORMATION_ICON() { return MAKEINTRESOURCEW(0xFFFD); }
inline PCWSTR TD_SHIELD_ICON() { return MAKEINTRESOURCEW(0xFFFC); }
constexpr WORD TD_WARNING_ICON_ID = 0xFFFF;
constexpr WORD TD_ERROR_ICON_ID = 0xFFFE;
constexpr WORD TD_INFORMATION_ICON_ID = 0xFFFD;
constexpr WORD TD_SHIELD_ICON_ID = 0xFFFC;

// Notifications sent through pfCallback.
enum : UINT {
  TDN_CREATED = 0,
  TDN_NAVIGATED = 1,
  TDN_BUTTON_CLICKED = 2,
  TDN_HYPERLINK_CLICKED = 3,
  TDN_TIMER = 4,
  TDN_DESTROYED = 5,
  TDN_RADIO_BUTTON_CLICKED = 6,
  TDN_DIALOG_CONSTRUCTED = 7,
  TDN_VERIFICATION_CLICKED = 8,
  TDN_HELP = 9,
  TDN_EXPANDO_BUTTON_CLICKED = 10,
};

// Messages an application sends to a running task dialog.
constexpr UINT WM_USER = 0x0400;
enum : UINT {
  TDM_NAVIGATE_PAGE = WM_USER + 101,
  TDM_CLICK_BUTTON = WM_USER + 102,
  TDM_SET_MARQUEE_PROGRESS_BAR = WM_USER + 103,
  TDM_SET_PROGRESS_BAR_STATE = WM_USER + 104,
  TDM_SET_PROGRESS_BAR_RANGE = WM_USER + 105,
  TDM_SET_PROGRESS_BAR_POS = WM_USER + 106,
  TDM_SET_PROGRESS_BAR_MARQUEE = WM_USER + 107,
  TDM_SET_ELEMENT_TEXT = WM_USER + 108,
  TDM_CLICK_RADIO_BUTTON = WM_USER + 110,
  TDM_ENABLE_BUTTON = WM_USER + 111,
  TDM_ENABLE_RADIO_BUTTON = WM_USER + 112,
  TDM_CLICK_VERIFICATION = WM_USER + 113,
  TDM_UPDATE_ELEMENT_TEXT = WM_USER + 114,
  TDM_SET_BUTTON_ELEVATION_REQUIRED_STATE = WM_USER + 115,
  TDM_UPDATE_ICON = WM_USER + 116,
};

// Elements of TDM_SET_ELEMENT_TEXT / TDM_UPDATE_ELEMENT_TEXT and TDM_UPDATE_ICON.
enum : int {
  TDE_CONTENT = 0,
  TDE_EXPANDED_INFORMATION = 1,
  TDE_FOOTER = 2,
  TDE_MAIN_INSTRUCTION = 3,
};
enum : int {
  TDIE_ICON_MAIN = 0,
  TDIE_ICON_FOOTER = 1,
};

// Progress bar states.
enum : int { PBST_NORMAL = 1, PBST_ERROR = 2, PBST_PAUSED = 3 };

using PFTASKDIALOGCALLBACK = HRESULT (*)(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LONG_PTR lpRefData);

struct TASKDIALOG_BUTTON {
  int nButtonID;
  PCWSTR pszButtonText;  // a text, or a string resource id (MAKEINTRESOURCEW)
};

// The platform's record. Its size field holds the published size of the record (its 32-bit layout),
// whatever the size of this build's pointers.
constexpr UINT TASKDIALOGCONFIG_SIZE = 96;

struct TASKDIALOGCONFIG {
  UINT cbSize;
  HWND hwndParent;
  HINSTANCE hInstance;
  TASKDIALOG_FLAGS dwFlags;
  TASKDIALOG_COMMON_BUTTON_FLAGS dwCommonButtons;
  PCWSTR pszWindowTitle;
  union {
    HICON hMainIcon;
    PCWSTR pszMainIcon;
  };
  PCWSTR pszMainInstruction;
  PCWSTR pszContent;
  UINT cButtons;
  const TASKDIALOG_BUTTON* pButtons;
  int nDefaultButton;
  UINT cRadioButtons;
  const TASKDIALOG_BUTTON* pRadioButtons;
  int nDefaultRadioButton;
  PCWSTR pszVerificationText;
  PCWSTR pszExpandedInformation;
  PCWSTR pszExpandedControlText;
  PCWSTR pszCollapsedControlText;
  union {
    HICON hFooterIcon;
    PCWSTR pszFooterIcon;
  };
  PCWSTR pszFooter;
  PFTASKDIALOGCALLBACK pfCallback;
  LONG_PTR lpCallbackData;
  UINT cxWidth;
};

// The engine's entry point: TaskDialogIndirect of the common controls, or the emulation.
using PFTASKDIALOGINDIRECT = HRESULT (*)(const TASKDIALOGCONFIG* pTaskConfig, int* pnButton, int* pnRadioButton,
                                         BOOL* pfVerificationFlagChecked);
