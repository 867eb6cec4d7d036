// A page of a property sheet, built from a dialog layout of the module whose resources were current when the
// page was constructed.
//
// Life of a page in a sheet: the sheet creates its controls when the page is first shown (OnInitDialog, which
// moves the members into the controls), then calls OnSetActive each time the page becomes current and
// OnKillActive each time it is about to stop being current - when another page is chosen, and when OK or
// Apply is pressed while it is current. OnKillActive may refuse: the page stays current and the sheet open.
// OK then calls OnApply (and so OnOK) on every page that has been shown; Cancel calls OnQueryCancel on the
// current page and OnCancel on every page that has been shown.
#pragma once

#include <QFont>
#include <QWidget>
#include <string>

#include "platform/ui/data_exchange.h"
#include "platform/ui/dialog_builder.h"
#include "platform/ui/resources.h"
#include "platform/ui/window.h"

class CMFCPropertySheet;

class CMFCPropertyPage : public QWidget, public CCmdTarget {
 public:
  explicit CMFCPropertyPage(UINT templateId);
  ~CMFCPropertyPage() override;
  CMFCPropertyPage(const CMFCPropertyPage&) = delete;
  CMFCPropertyPage& operator=(const CMFCPropertyPage&) = delete;

  UINT GetTemplateId() const { return m_templateId; }
  // The dialog layout, or null when the page's module has none with that identifier.
  const DialogTemplate* GetTemplate() const;
  // The layout's caption: the page's title in the sheet.
  std::u16string GetCaption() const;
  // The page's size in pixels, from its layout.
  QSize GetTemplateSize() const;
  const QFont& GetDialogFont() const { return m_font; }
  const DialogBaseUnits& GetBaseUnits() const { return m_units; }
  QRect MapDialogRect(const QRect& dialogUnits) const { return ::MapDialogRect(dialogUnits, m_units); }

  // Creates the controls as children of this page, puts the page under `parent` and runs OnInitDialog.
  // Does nothing when the page already exists.
  bool Create(QWidget* parent);
  bool IsCreated() const { return m_created; }

  QWidget* GetDlgItem(UINT id) const { return FindDlgItem(this, id); }
  template <class T>
  T* GetDlgItemAs(UINT id) const {
    return dynamic_cast<T*>(GetDlgItem(id));
  }

  // Runs DoDataExchange: true moves the controls into the members, false the members into the controls.
  // False when the exchange failed.
  bool UpdateData(bool saveAndValidate = true);

  CMFCPropertySheet* GetParentSheet() const { return m_pSheet; }
  // Enables the sheet's Apply button.
  void SetModified(bool changed = true);

  // Sends a command as a menu choice or a control click would.
  bool SendCommand(UINT id) { return OnCmdMsg(id); }
  bool OnCmdMsg(UINT id) override { return OnCommand(id); }

  virtual void DoDataExchange(CDataExchange* dx);
  // After the controls exist; the default moves the members into the controls.
  virtual bool OnInitDialog();
  // Each time the page becomes current; the default refreshes the controls from the members, except the
  // first time (OnInitDialog has just done it). False refuses the activation.
  virtual bool OnSetActive();
  // Each time the page is about to stop being current; the default moves the controls into the members.
  // False keeps the page current and the sheet open.
  virtual bool OnKillActive();
  // OK or Apply accepted; the default runs OnOK.
  virtual bool OnApply();
  virtual void OnOK();
  virtual bool OnQueryCancel();
  virtual void OnCancel();
  // Commands from menus and controls; true when handled.
  virtual bool OnCommand(UINT id);

 private:
  friend class CMFCPropertySheet;

  UINT m_templateId;
  const ResourceModule* m_pModule;  // whose layout this page is built from
  QFont m_font;
  DialogBaseUnits m_units;
  bool m_created = false;
  bool m_bFirstSetActive = true;
  CMFCPropertySheet* m_pSheet = nullptr;
};
