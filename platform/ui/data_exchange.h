// Data exchange between a dialog's members and its controls, in either direction.
#pragma once

#include <QWidget>
#include <string>

#include "platform/ui/window.h"

// Thrown by Fail() to stop an exchange; UpdateData catches it and yields false.
struct CUserException {};

class CDataExchange {
 public:
  CDataExchange(QWidget* dialog, bool saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

  // The control with that identifier; a missing control fails the exchange.
  QWidget* PrepareCtrl(UINT id);
  [[noreturn]] void Fail();

  QWidget* m_pDlgWnd;
  bool m_bSaveAndValidate;  // true: controls -> members; false: members -> controls
  UINT m_idLastControl = 0;
};

// Text of an edit box, a label, a button or a group box.
void DDX_Text(CDataExchange* dx, UINT id, std::u16string& value);
// State of a check box: 0 unchecked, 1 checked, 2 indeterminate.
void DDX_Check(CDataExchange* dx, UINT id, int& value);
void DDX_Check(CDataExchange* dx, UINT id, bool& value);

// Binds a member to the control itself (only on the way to the controls, once it is bound).
template <class T>
void DDX_Control(CDataExchange* dx, UINT id, T*& control) {
  if (control) return;
  control = dynamic_cast<T*>(dx->PrepareCtrl(id));
  if (!control) dx->Fail();
}
