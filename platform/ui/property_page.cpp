#include "platform/ui/property_page.h"

#include "platform/ui/property_sheet.h"

CMFCPropertyPage::CMFCPropertyPage(UINT templateId) : m_templateId(templateId), m_pModule(AfxGetResourceHandle()) {
  const DialogTemplate* layout = GetTemplate();
  m_font = layout ? DialogFont(*layout) : DialogFont(u"MS Shell Dlg", 8);
  m_units = GetDialogBaseUnits(m_font);
  setFont(m_font);
  setAttribute(Qt::WA_DeleteOnClose, false);
  hide();
}

CMFCPropertyPage::~CMFCPropertyPage() {
  if (m_pSheet) m_pSheet->ForgetPage(this);
}

const DialogTemplate* CMFCPropertyPage::GetTemplate() const { return FindDialogResource(m_pModule, m_templateId); }

std::u16string CMFCPropertyPage::GetCaption() const {
  const DialogTemplate* layout = GetTemplate();
  return layout ? layout->caption : std::u16string();
}

QSize CMFCPropertyPage::GetTemplateSize() const {
  const DialogTemplate* layout = GetTemplate();
  if (!layout) return QSize();
  return MapDialogRect(QRect(0, 0, layout->cx, layout->cy)).size();
}

bool CMFCPropertyPage::Create(QWidget* parent) {
  if (m_created) return true;
  const DialogTemplate* layout = GetTemplate();
  if (!layout) return false;
  setParent(parent);
  resize(GetTemplateSize());
  CreateDialogControls(*layout, this, m_units, [this](UINT id) { OnCmdMsg(id); });
  m_created = true;
  OnInitDialog();
  return true;
}

bool CMFCPropertyPage::UpdateData(bool saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  try {
    DoDataExchange(&dx);
  } catch (const CUserException&) {
    return false;
  }
  return true;
}

void CMFCPropertyPage::SetModified(bool changed) {
  if (m_pSheet) m_pSheet->PageModified(this, changed);
}

void CMFCPropertyPage::DoDataExchange(CDataExchange*) {}

bool CMFCPropertyPage::OnInitDialog() {
  UpdateData(false);
  return true;
}

bool CMFCPropertyPage::OnSetActive() {
  if (m_bFirstSetActive) {
    m_bFirstSetActive = false;
  } else {
    UpdateData(false);
  }
  return true;
}

bool CMFCPropertyPage::OnKillActive() { return UpdateData(true); }

bool CMFCPropertyPage::OnApply() {
  OnOK();
  return true;
}

void CMFCPropertyPage::OnOK() {}

bool CMFCPropertyPage::OnQueryCancel() { return true; }

void CMFCPropertyPage::OnCancel() {}

bool CMFCPropertyPage::OnCommand(UINT) { return false; }
