// Menus: loaded from a module's menu resources or built item by item, shown as Qt popup menus.
#pragma once

#include <QPoint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/resources.h"
#include "platform/ui/window.h"

class QMenu;
class QWidget;

constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_SEPARATOR = 0x0800;
constexpr UINT MF_BYPOSITION = 0x0400;

constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_CENTERALIGN = 0x0004;
constexpr UINT TPM_RIGHTALIGN = 0x0008;
constexpr UINT TPM_LEFTBUTTON = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_TOPALIGN = 0x0000;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

constexpr UINT kMenuNotFound = 0xFFFFFFFFu;

class CMenu {
 public:
  struct Item {
    UINT id = 0;
    UINT flags = MF_STRING;
    std::u16string text;
    std::unique_ptr<CMenu> popup;  // set for MF_POPUP items
  };

  CMenu();
  ~CMenu();
  CMenu(CMenu&&) noexcept;
  CMenu& operator=(CMenu&&) noexcept;

  // Loads a menu resource of the current module: its top-level items, each a popup.
  bool LoadMenu(UINT resourceId);
  // Makes this an empty popup menu.
  bool CreatePopupMenu();
  bool IsValid() const { return m_valid; }

  int GetMenuItemCount() const { return static_cast<int>(m_items.size()); }
  // The item's command identifier; kMenuNotFound for a popup or a position outside the menu.
  UINT GetMenuItemID(int position) const;
  std::u16string GetMenuString(UINT idOrPosition, UINT flags) const;
  CMenu* GetSubMenu(int position) const;
  const Item* GetItem(int position) const;

  // Appends a command, a separator (MF_SEPARATOR) or, with AppendPopup, a submenu the menu then owns.
  bool AppendMenu(UINT flags, UINT id = 0, std::u16string_view text = {});
  bool AppendPopup(CMenu&& popup, std::u16string_view text, UINT flags = MF_STRING);
  // Sets or clears a check mark. By command the search includes submenus. The previous state
  // (MF_CHECKED or MF_UNCHECKED), or kMenuNotFound when there is no such item.
  UINT CheckMenuItem(UINT idOrPosition, UINT flags);
  UINT EnableMenuItem(UINT idOrPosition, UINT flags);
  // MF_CHECKED / MF_GRAYED / MF_POPUP bits of an item, or kMenuNotFound.
  UINT GetMenuState(UINT idOrPosition, UINT flags) const;

  // Shows the menu as a popup with its top-left corner at (x, y) in screen coordinates (right edge with
  // TPM_RIGHTALIGN) and waits for it to close. The chosen command goes to `owner`; with TPM_RETURNCMD it is
  // returned instead. Returns 0 when the menu was closed without a choice.
  UINT TrackPopupMenu(UINT flags, int x, int y, CCmdTarget* owner, QWidget* ownerWindow = nullptr) const;

  // The Qt menu this menu is shown as (for callers that show it themselves). The caller owns it.
  QMenu* BuildQMenu(QWidget* parent) const;

 private:
  Item* FindItem(UINT idOrPosition, UINT flags);
  const Item* FindItem(UINT idOrPosition, UINT flags) const;
  void LoadItems(const std::vector<MenuTemplateItem>& items);

  bool m_valid = false;
  std::vector<Item> m_items;
};
