#include "setup/PropertyPageSetupMapping.h"

#include <QPainter>

#include "platform/com/format.h"
#include "platform/ui/menu.h"
#include "resources/qorvena_resources.h"
#include "setup/mapping_sources.h"
#include "setup/required_check.h"

namespace {
constexpr int kGroupCount = 5;
const char16_t* const kGroupTitles[kGroupCount] = {
    u"TPEC - External Dispatch Request",
    u"TBHB - Invoice Header",
    u"TBSB - Invoice Shipment/Order Header",
    u"TBLB - Invoice Lines",
    u"Other Details",
};
constexpr int kOtherGroup = 4;

bool IsSlot(int slot) { return slot >= 0 && slot < kMappingSlots; }
}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Rows

CMappedProperty::CMappedProperty(CMappingModel* model, CMappedProperty** pendingRow, CPropertyPageSetupMapping* page)
    : CMFCPropertyGridProperty(u"", u"", u"", 0), m_pModel(model), m_ppPendingRow(pendingRow), m_pPage(page) {}

CMappedProperty::~CMappedProperty() {
  // A row that goes away must not stay the target of an open menu's command.
  if (m_ppPendingRow && *m_ppPendingRow == this) *m_ppPendingRow = nullptr;
}

bool CMappedProperty::HasSlot() const { return IsSlot(m_slot); }

bool CMappedProperty::BindSlot(int slot) {
  if (!IsSlot(slot)) return false;
  m_slot = slot;
  if (!m_pModel || m_pModel->Entry(slot).table == ECM_EMPTY_SLOT) return false;
  RefreshRow();
  return true;
}

void CMappedProperty::RefreshRow() {
  if (!HasSlot() || !m_pModel) return;
  const MappingEntry& entry = m_pModel->Entry(m_slot);
  AllowEdit(entry.sourceType == KFX_REL_TEXTCONSTANT);
  const bool keys = m_pPage && m_pPage->IsDisplayFieldNames();
  SetName(keys ? entry.key.Str() : entry.label.Str(), true);
  SetValue(entry.source.Str());
  SetDescription(Format(u"%s - %s\n%s", entry.key, entry.typeText, entry.help));
}

bool CMappedProperty::IsSatisfied() const {
  if (!m_pModel || !HasSlot()) return true;
  const MappingEntry& entry = m_pModel->Entry(m_slot);
  if (!entry.required) return true;
  if (entry.sourceType == KFX_REL_UNDEFINED_LINK) return false;
  if (entry.sourceType == KFX_REL_TEXTCONSTANT && entry.source.IsEmpty()) return false;
  return true;
}

bool CMappedProperty::SetTextConstant() {
  if (!m_pModel || !HasSlot()) return false;
  MappingEntry& entry = m_pModel->Entry(m_slot);
  entry.source = CComBSTR(u"");
  entry.sourceType = KFX_REL_TEXTCONSTANT;
  RefreshRow();
  return true;
}

bool CMappedProperty::ClearMapping() {
  if (!m_pModel || !HasSlot()) return false;
  MappingEntry& entry = m_pModel->Entry(m_slot);
  entry.source = CComBSTR(u"");
  entry.sourceType = KFX_REL_UNDEFINED_LINK;
  RefreshRow();
  return true;
}

QColor CMappedProperty::NameColor() const {
  if (m_pModel && HasSlot() && m_pModel->Entry(m_slot).required) return QColorFromCOLORREF(kRequiredNameColor);
  return GetGrid() ? GetGrid()->palette().color(QPalette::WindowText) : QColor(Qt::black);
}

void CMappedProperty::OnDrawName(QPainter& dc, const QRect& rect) {
  dc.setPen(NameColor());
  CMFCPropertyGridProperty::OnDrawName(dc, rect);
}

void CMappedProperty::OnDrawValue(QPainter& dc, const QRect& rect) {
  if (GetGrid()) dc.setPen(GetGrid()->palette().color(QPalette::WindowText));
  CMFCPropertyGridProperty::OnDrawValue(dc, rect);
}

bool CMappedProperty::OnEndEdit() {
  if (!HasSlot()) return true;
  if (m_pModel) m_pModel->Entry(m_slot).source = CComBSTR(GetValue());
  return CMFCPropertyGridProperty::OnEndEdit();
}

void CMappedProperty::OnClickButton(const QPoint&) {
  if (!HasSlot() || !m_pModel || !GetGrid()) return;
  const QRect button = GetButtonRect();
  const QPoint at = GetGrid()->mapToGlobal(QPoint(button.left(), button.top() + button.height()));

  CMenu menu;
  if (!menu.LoadMenu(IDR_MAPPING_MENU)) return;
  CMenu* popup = menu.GetSubMenu(0);
  if (!popup) return;
  const MappingEntry& entry = m_pModel->Entry(m_slot);
  AppendIndexFieldMenu(*popup, m_pModel, entry.sourceType == KFX_REL_INDEXFIELD ? entry.source.View() : u"");
  AppendValueMenu(*popup, m_pModel);
  popup->CheckMenuItem(ID_MAPPING_NONE,
                       MF_BYCOMMAND | (entry.sourceType == KFX_REL_UNDEFINED_LINK ? MF_CHECKED : MF_UNCHECKED));
  popup->CheckMenuItem(ID_MAPPING_TEXT_CONSTANT,
                       MF_BYCOMMAND | (entry.sourceType == KFX_REL_TEXTCONSTANT ? MF_CHECKED : MF_UNCHECKED));
  if (m_ppPendingRow) *m_ppPendingRow = this;
  popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x(), at.y(), m_pPage, m_pPage);
}

// ---------------------------------------------------------------------------------------------------------------
// The page

CPropertyPageSetupMapping::CPropertyPageSetupMapping()
    : CMFCPropertyPage(IDD_SETUP_MAPPING), m_leaveCheck(&CheckRequiredFields) {}

CPropertyPageSetupMapping::~CPropertyPageSetupMapping() {
  // The rows point back at this page: they go first.
  delete m_pGrid;
  m_pGrid = nullptr;
}

void CPropertyPageSetupMapping::DoDataExchange(CDataExchange* dx) {
  CMFCPropertyPage::DoDataExchange(dx);
  DDX_Control(dx, IDC_GRID_FRAME, m_wndFrame);
  DDX_Check(dx, IDC_DISPLAY_FIELD_NAMES, m_bDisplayFieldNames);
}

bool CPropertyPageSetupMapping::OnInitDialog() {
  CMFCPropertyPage::OnInitDialog();

  QRect rect;
  QWidget* frame = m_wndFrame ? m_wndFrame : GetDlgItem(IDC_GRID_FRAME);
  if (frame) {
    rect = QRect(frame->mapTo(this, QPoint(0, 0)), frame->size());
    rect.setRight(rect.right() - 1);
    rect.setBottom(rect.bottom() - 1);
  }
  m_pGrid = new CMFCPropertyGridCtrl();
  m_pGrid->Create(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP, rect, this, static_cast<UINT>(-1));
  m_pGrid->EnableHeaderCtrl(true, u"Property", u"Value");
  m_pGrid->EnableDescriptionArea();
  m_pGrid->SetVSDotNetLook();
  m_pGrid->MarkModifiedProperties();
  m_pGrid->SetAlphabeticMode(false);

  setUpdatesEnabled(false);
  CMFCPropertyGridProperty* groups[kGroupCount];
  for (int g = 0; g < kGroupCount; ++g) groups[g] = new CMFCPropertyGridProperty(kGroupTitles[g]);
  for (int slot = 0; slot < kMappingSlots; ++slot) {
    auto* row = new CMappedProperty(m_pModel, &m_pPendingRow, this);
    if (row->BindSlot(slot)) {
      const LONG table = m_pModel->Entry(slot).table;
      groups[table >= ECM_TPEC && table <= ECM_TBLB ? table : kOtherGroup]->AddSubItem(row);
    } else {
      delete row;
    }
  }
  for (CMFCPropertyGridProperty* group : groups) {
    if (group->GetSubItemsCount() > 0) {
      m_pGrid->AddProperty(group, false, false);
    } else {
      delete group;
    }
  }
  setUpdatesEnabled(true);
  m_pGrid->AdjustLayout();
  return true;
}

bool CPropertyPageSetupMapping::OnSetActive() {
  const bool result = CMFCPropertyPage::OnSetActive();
  if (m_pModel) UpdateData(false);
  return result;
}

bool CPropertyPageSetupMapping::OnKillActive() {
  // A constant still being typed counts: leaving the page (or OK) ends the edit first, whether or not the
  // click that leaves it took the focus away.
  if (m_pGrid && m_pGrid->GetInPlaceEdit()) m_pGrid->EndEditItem(true);
  if (m_leaveCheck && !m_leaveCheck(*this)) return false;
  return CMFCPropertyPage::OnKillActive();
}

bool CPropertyPageSetupMapping::OnCommand(UINT id) {
  if (id == ID_MAPPING_TEXT_CONSTANT || id == ID_MAPPING_NONE || IsValueCommand(id) || IsIndexFieldCommand(id)) {
    OnMappingCommand(id);
    return true;
  }
  if (id == IDC_DISPLAY_FIELD_NAMES) {
    OnDisplayFieldNames();
    return true;
  }
  return CMFCPropertyPage::OnCommand(id);
}

void CPropertyPageSetupMapping::OnMappingCommand(UINT id) {
  if (CMappedProperty* row = m_pPendingRow) {
    if (id == ID_MAPPING_TEXT_CONSTANT) {
      row->SetTextConstant();
    } else if (id == ID_MAPPING_NONE) {
      row->ClearMapping();
    } else if (IsValueCommand(id)) {
      row->ChooseValue(id);
    } else {
      row->ChooseIndexField(id);
    }
  }
  if (m_pModel) UpdateData(false);
  m_pPendingRow = nullptr;
}

void CPropertyPageSetupMapping::OnDisplayFieldNames() {
  UpdateData(true);
  setUpdatesEnabled(false);
  ForEachRow([](CMappedProperty* row) {
    row->RefreshRow();
    return true;
  });
  setUpdatesEnabled(true);
  if (m_pGrid) m_pGrid->AdjustLayout();
}

template <class F>
void CPropertyPageSetupMapping::ForEachRow(F f) const {
  if (!m_pGrid) return;
  for (int g = 0; g < m_pGrid->GetPropertyCount(); ++g) {
    CMFCPropertyGridProperty* group = m_pGrid->GetProperty(g);
    for (int i = 0; i < group->GetSubItemsCount(); ++i) {
      if (auto* row = dynamic_cast<CMappedProperty*>(group->GetSubItem(i))) {
        if (!f(row)) return;
      }
    }
  }
}

CMappedProperty* CPropertyPageSetupMapping::FindRow(int slot) const {
  CMappedProperty* found = nullptr;
  ForEachRow([&](CMappedProperty* row) {
    if (row->GetSlot() != slot) return true;
    found = row;
    return false;
  });
  return found;
}

CMappedProperty* CPropertyPageSetupMapping::FindRow(std::u16string_view key) const {
  return m_pModel ? FindRow(m_pModel->FindByKey(key)) : nullptr;
}

CMappedProperty* CPropertyPageSetupMapping::FindFirstUnsatisfiedRow() const {
  CMappedProperty* found = nullptr;
  ForEachRow([&](CMappedProperty* row) {
    if (row->IsSatisfied()) return true;
    found = row;
    return false;
  });
  return found;
}

void CPropertyPageSetupMapping::ShowRow(CMappedProperty* row) {
  if (!m_pGrid || !row || row->GetGrid() != m_pGrid) return;
  m_pGrid->SetCurSel(row);
  if (row->GetParent()) m_pGrid->EnsureVisible(row->GetParent());
  m_pGrid->EnsureVisible(row, true);
}
