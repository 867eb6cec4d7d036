// Window handles, message parameters, colour values and resource-id texts as the connector's window code
// uses them. A window is a Qt widget; a module is a resource module; an icon is an image of one size.
#pragma once

#include <QColor>
#include <cstdint>

#include "platform/com/comtypes.h"
#include "platform/ui/resources.h"

class QImage;
class QWidget;

using BOOL = int;
using HWND = QWidget*;
using HINSTANCE = const ResourceModule*;
using HICON = const QImage*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LONG_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using PCWSTR = const char16_t*;
using LPCWSTR = const char16_t*;
using COLORREF = DWORD;  // 0x00BBGGRR: red in the lowest byte

constexpr WORD LOWORD(std::uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(std::uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr LONG MAKELONG(WORD low, WORD high) {
  return static_cast<LONG>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

inline QColor QColorFromCOLORREF(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

// A text field holds either a text or, in a value of at most 0xFFFF, a string resource id.
inline PCWSTR MAKEINTRESOURCEW(WORD id) { return reinterpret_cast<PCWSTR>(static_cast<std::uintptr_t>(id)); }
inline bool IS_INTRESOURCE(const void* p) { return (reinterpret_cast<std::uintptr_t>(p) >> 16) == 0; }
inline WORD RESOURCE_ID(const void* p) { return static_cast<WORD>(reinterpret_cast<std::uintptr_t>(p) & 0xFFFF); }

// A failure of the operating system as a status code: 0x80070000 combined with the error number,
// also for an error number of 0 (which still means failure here).
constexpr HRESULT HResultFromPlatformError(DWORD error) { return MakeHResult(0x80070000u | (error & 0xFFFFu)); }

constexpr DWORD ERROR_DC_NOT_FOUND = 1425;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;

// Window, dialog and control styles beyond those of the dialog layouts (resources.h).
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD DS_MODALFRAME = 0x00000080;
constexpr DWORD DS_CENTER = 0x00000800;
constexpr DWORD WS_EX_RIGHT = 0x00001000;
constexpr DWORD WS_EX_RTLREADING = 0x00002000;
constexpr DWORD BS_DEFPUSHBUTTON = 0x00000001;
constexpr DWORD BS_AUTORADIOBUTTON = 0x00000009;
constexpr DWORD BS_OWNERDRAW = 0x0000000B;
constexpr DWORD BS_ICON = 0x00000040;
constexpr DWORD BS_LEFT = 0x00000100;
constexpr DWORD PBS_SMOOTH = 0x00000001;
constexpr DWORD PBS_MARQUEE = 0x00000008;

// Dialog command ids.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDCLOSE = 8;
