#include "platform/ui/resources.h"

namespace {
const ResourceModule& HostModule() {
  static const ResourceModule module{u"host", {}, {}, {}, {}};
  return module;
}
thread_local const ResourceModule* t_current = nullptr;

const ResourceModule* Resolve(const ResourceModule* module) { return module ? module : AfxGetResourceHandle(); }
}  // namespace

const ResourceModule* AfxGetResourceHandle() { return t_current ? t_current : &HostModule(); }

AfxModuleStateGuard::AfxModuleStateGuard(const ResourceModule* module) : previous_(t_current) { t_current = module; }
AfxModuleStateGuard::~AfxModuleStateGuard() { t_current = previous_; }

bool LoadStringResource(const ResourceModule* module, UINT id, std::u16string* text) {
  const ResourceModule* m = Resolve(module);
  auto it = m->strings.find(id);
  if (it == m->strings.end()) return false;
  if (text) *text = it->second;
  return true;
}

std::u16string LoadStringOrMissing(const ResourceModule* module, UINT id) {
  std::u16string text;
  return LoadStringResource(module, id, &text) ? text : std::u16string(u"???");
}

const DialogTemplate* FindDialogResource(const ResourceModule* module, UINT id) {
  const ResourceModule* m = Resolve(module);
  auto it = m->dialogs.find(id);
  return it == m->dialogs.end() ? nullptr : &it->second;
}

const std::vector<MenuTemplateItem>* FindMenuResource(const ResourceModule* module, UINT id) {
  const ResourceModule* m = Resolve(module);
  auto it = m->menus.find(id);
  return it == m->menus.end() ? nullptr : &it->second;
}

QImage LoadIconResource(const ResourceModule* module, UINT id, int size) {
  const ResourceModule* m = Resolve(module);
  auto it = m->icons.find(id);
  if (it == m->icons.end() || !it->second || size <= 0) return {};
  return it->second(size);
}
