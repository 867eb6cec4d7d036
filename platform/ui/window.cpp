#include "platform/ui/window.h"

#include <QVariant>
#include <QWidget>

namespace {
constexpr char kIdProperty[] = "dlgCtrlId";
}

UINT GetDlgItemId(const QWidget* widget) {
  if (!widget) return 0;
  const QVariant id = widget->property(kIdProperty);
  return id.isValid() ? id.toUInt() : 0;
}

void SetDlgItemId(QWidget* widget, UINT id) {
  if (widget) widget->setProperty(kIdProperty, id);
}

QWidget* FindDlgItem(const QWidget* parent, UINT id) {
  if (!parent) return nullptr;
  for (QWidget* child : parent->findChildren<QWidget*>()) {
    if (GetDlgItemId(child) == id && child->property(kIdProperty).isValid()) return child;
  }
  return nullptr;
}
