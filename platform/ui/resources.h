// Resources of a module (string table, dialog layouts, menus, icons) and the module state that selects whose
// resources are used, as the window framework keeps them.
#pragma once

#include <QImage>
#include <map>
#include <string>
#include <vector>

#include "platform/com/comtypes.h"

// Window styles used by the dialog layouts.
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD ES_PASSWORD = 0x0020;
constexpr DWORD SS_BLACKFRAME = 0x0007;
constexpr DWORD BS_GROUPBOX = 0x0007;
constexpr DWORD BS_AUTOCHECKBOX = 0x0003;
constexpr UINT IDC_STATIC = 0xFFFF;

struct DialogItemTemplate {
  UINT id;
  std::u16string windowClass;  // "Edit", "Static", "Button"
  std::u16string text;
  int x, y, cx, cy;            // dialog units
  DWORD style;                 // kind bits; WS_VISIBLE unless the control starts hidden
};

struct DialogTemplate {
  std::u16string caption;
  int cx, cy;  // dialog units
  std::u16string fontFace;
  int pointSize;
  std::vector<DialogItemTemplate> items;  // creation and tab order
};

struct MenuTemplateItem {
  UINT id = 0;  // 0 for a popup
  std::u16string text;
  std::vector<MenuTemplateItem> children;  // a popup when not empty
};

using IconPainter = QImage (*)(int size);

struct ResourceModule {
  std::u16string name;
  std::map<UINT, std::u16string> strings;
  std::map<UINT, DialogTemplate> dialogs;
  std::map<UINT, std::vector<MenuTemplateItem>> menus;  // top-level items of the menu bar
  std::map<UINT, IconPainter> icons;
};

// The module whose resources are used on this thread now; the host's own (empty) module by default.
const ResourceModule* AfxGetResourceHandle();

// Selects a module's resources for a scope and puts back the previous one after it.
class AfxModuleStateGuard {
 public:
  explicit AfxModuleStateGuard(const ResourceModule* module);
  ~AfxModuleStateGuard();
  AfxModuleStateGuard(const AfxModuleStateGuard&) = delete;
  AfxModuleStateGuard& operator=(const AfxModuleStateGuard&) = delete;

 private:
  const ResourceModule* previous_;
};

// Loads string `id` from `module` (the current module when null). False when there is none.
bool LoadStringResource(const ResourceModule* module, UINT id, std::u16string* text);
// The string, or "???" when it cannot be loaded.
std::u16string LoadStringOrMissing(const ResourceModule* module, UINT id);
const DialogTemplate* FindDialogResource(const ResourceModule* module, UINT id);
const std::vector<MenuTemplateItem>* FindMenuResource(const ResourceModule* module, UINT id);
// Null image when the module has no such icon.
QImage LoadIconResource(const ResourceModule* module, UINT id, int size);
