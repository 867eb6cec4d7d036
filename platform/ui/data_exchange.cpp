#include "platform/ui/data_exchange.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

QWidget* CDataExchange::PrepareCtrl(UINT id) {
  m_idLastControl = id;
  QWidget* control = FindDlgItem(m_pDlgWnd, id);
  if (!control) Fail();
  return control;
}

void CDataExchange::Fail() { throw CUserException{}; }

void DDX_Text(CDataExchange* dx, UINT id, std::u16string& value) {
  QWidget* control = dx->PrepareCtrl(id);
  if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    if (dx->m_bSaveAndValidate) value = Utf16FromQString(edit->text()); else edit->setText(QStringFromUtf16(value));
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    if (dx->m_bSaveAndValidate) value = Utf16FromQString(label->text()); else label->setText(QStringFromUtf16(value));
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    if (dx->m_bSaveAndValidate) value = Utf16FromQString(button->text()); else button->setText(QStringFromUtf16(value));
  } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
    if (dx->m_bSaveAndValidate) value = Utf16FromQString(group->title()); else group->setTitle(QStringFromUtf16(value));
  } else {
    dx->Fail();
  }
}

void DDX_Check(CDataExchange* dx, UINT id, int& value) {
  auto* box = qobject_cast<QCheckBox*>(dx->PrepareCtrl(id));
  if (!box) dx->Fail();
  if (dx->m_bSaveAndValidate) {
    switch (box->checkState()) {
      case Qt::Checked: value = 1; break;
      case Qt::PartiallyChecked: value = 2; break;
      default: value = 0; break;
    }
  } else {
    if (value == 2) {
      box->setTristate(true);
      box->setCheckState(Qt::PartiallyChecked);
    } else {
      box->setCheckState(value ? Qt::Checked : Qt::Unchecked);
    }
  }
}

void DDX_Check(CDataExchange* dx, UINT id, bool& value) {
  int state = value ? 1 : 0;
  DDX_Check(dx, id, state);
  if (dx->m_bSaveAndValidate) value = state == 1;
}
