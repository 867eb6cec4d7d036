#include "platform/ui/menu.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

namespace {
QString MenuText(std::u16string_view text) {
  // Menus use & for the access key, as Qt does; a literal & is written &&.
  return QStringFromUtf16(text);
}
}  // namespace

CMenu::CMenu() = default;
CMenu::~CMenu() = default;
CMenu::CMenu(CMenu&&) noexcept = default;
CMenu& CMenu::operator=(CMenu&&) noexcept = default;

void CMenu::LoadItems(const std::vector<MenuTemplateItem>& items) {
  for (const MenuTemplateItem& source : items) {
    Item item;
    item.text = source.text;
    if (!source.children.empty()) {
      item.flags = MF_POPUP;
      item.popup = std::make_unique<CMenu>();
      item.popup->m_valid = true;
      item.popup->LoadItems(source.children);
    } else if (source.id == 0 && source.text.empty()) {
      item.flags = MF_SEPARATOR;
    } else {
      item.id = source.id;
    }
    m_items.push_back(std::move(item));
  }
}

bool CMenu::LoadMenu(UINT resourceId) {
  const std::vector<MenuTemplateItem>* items = FindMenuResource(nullptr, resourceId);
  if (!items) return false;
  m_items.clear();
  LoadItems(*items);
  m_valid = true;
  return true;
}

bool CMenu::CreatePopupMenu() {
  m_items.clear();
  m_valid = true;
  return true;
}

const CMenu::Item* CMenu::GetItem(int position) const {
  if (position < 0 || position >= GetMenuItemCount()) return nullptr;
  return &m_items[static_cast<size_t>(position)];
}

UINT CMenu::GetMenuItemID(int position) const {
  const Item* item = GetItem(position);
  if (!item || item->popup) return kMenuNotFound;
  return item->id;
}

std::u16string CMenu::GetMenuString(UINT idOrPosition, UINT flags) const {
  const Item* item = FindItem(idOrPosition, flags);
  return item ? item->text : std::u16string();
}

CMenu* CMenu::GetSubMenu(int position) const {
  const Item* item = GetItem(position);
  return item ? item->popup.get() : nullptr;
}

bool CMenu::AppendMenu(UINT flags, UINT id, std::u16string_view text) {
  if (!m_valid || (flags & MF_POPUP)) return false;
  Item item;
  item.flags = flags;
  item.id = (flags & MF_SEPARATOR) ? 0 : id;
  item.text = (flags & MF_SEPARATOR) ? std::u16string() : std::u16string(text);
  m_items.push_back(std::move(item));
  return true;
}

bool CMenu::AppendPopup(CMenu&& popup, std::u16string_view text, UINT flags) {
  if (!m_valid || !popup.m_valid) return false;
  Item item;
  item.flags = (flags & ~MF_SEPARATOR) | MF_POPUP;
  item.text = std::u16string(text);
  item.popup = std::make_unique<CMenu>(std::move(popup));
  m_items.push_back(std::move(item));
  return true;
}

CMenu::Item* CMenu::FindItem(UINT idOrPosition, UINT flags) {
  return const_cast<Item*>(static_cast<const CMenu*>(this)->FindItem(idOrPosition, flags));
}

const CMenu::Item* CMenu::FindItem(UINT idOrPosition, UINT flags) const {
  if (flags & MF_BYPOSITION) return GetItem(static_cast<int>(idOrPosition));
  for (const Item& item : m_items) {
    if (item.popup) {
      if (const Item* found = item.popup->FindItem(idOrPosition, flags)) return found;
    } else if (!(item.flags & MF_SEPARATOR) && item.id == idOrPosition) {
      return &item;
    }
  }
  return nullptr;
}

UINT CMenu::CheckMenuItem(UINT idOrPosition, UINT flags) {
  Item* item = FindItem(idOrPosition, flags);
  if (!item) return kMenuNotFound;
  const UINT previous = item->flags & MF_CHECKED;
  item->flags = (item->flags & ~MF_CHECKED) | (flags & MF_CHECKED);
  return previous;
}

UINT CMenu::EnableMenuItem(UINT idOrPosition, UINT flags) {
  Item* item = FindItem(idOrPosition, flags);
  if (!item) return kMenuNotFound;
  const UINT previous = item->flags & (MF_GRAYED | MF_DISABLED);
  item->flags = (item->flags & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
  return previous;
}

UINT CMenu::GetMenuState(UINT idOrPosition, UINT flags) const {
  const Item* item = FindItem(idOrPosition, flags);
  if (!item) return kMenuNotFound;
  return item->flags & (MF_CHECKED | MF_GRAYED | MF_DISABLED | MF_POPUP | MF_SEPARATOR);
}

QMenu* CMenu::BuildQMenu(QWidget* parent) const {
  auto* menu = new QMenu(parent);
  for (const Item& item : m_items) {
    if (item.flags & MF_SEPARATOR) {
      menu->addSeparator();
    } else if (item.popup) {
      QMenu* sub = item.popup->BuildQMenu(menu);
      sub->setTitle(MenuText(item.text));
      QAction* action = menu->addMenu(sub);
      action->setEnabled(!(item.flags & (MF_GRAYED | MF_DISABLED)));
    } else {
      QAction* action = menu->addAction(MenuText(item.text));
      action->setData(item.id);
      // Only a checked item shows a mark, as on the platform.
      action->setCheckable((item.flags & MF_CHECKED) != 0);
      action->setChecked((item.flags & MF_CHECKED) != 0);
      action->setEnabled(!(item.flags & (MF_GRAYED | MF_DISABLED)));
    }
  }
  return menu;
}

UINT CMenu::TrackPopupMenu(UINT flags, int x, int y, CCmdTarget* owner, QWidget* ownerWindow) const {
  if (!m_valid) return 0;
  QMenu* menu = BuildQMenu(ownerWindow);
  QPointer<QMenu> guard(menu);
  QPoint at(x, y);
  if (flags & TPM_RIGHTALIGN) {
    at.rx() -= menu->sizeHint().width();
  } else if (flags & TPM_CENTERALIGN) {
    at.rx() -= menu->sizeHint().width() / 2;
  }
  QAction* chosen = menu->exec(at);
  UINT id = 0;
  if (chosen && chosen->data().isValid()) id = chosen->data().toUInt();
  delete guard.data();
  if (flags & TPM_RETURNCMD) return id;
  if (id != 0 && owner) owner->OnCmdMsg(id);
  return id != 0 ? 1u : 0u;
}
