// The Data Mapping page: one grid row per catalogue column, grouped by ECM table, each mapped through a
// menu behind the button of its value cell.
#pragma once

#include <QFrame>
#include <functional>
#include <string>

#include "ecm/mapping_model.h"
#include "platform/ui/property_grid.h"
#include "platform/ui/property_page.h"

class CPropertyPageSetupMapping;

// Colour of a required column's name.
constexpr COLORREF kRequiredNameColor = RGB(191, 0, 0);

// A grid row showing one slot of the mapping model. It edits the slot directly.
class CMappedProperty : public CMFCPropertyGridProperty {
 public:
  // `pendingRow` is the page's pending-row cell.
  CMappedProperty(CMappingModel* model, CMappedProperty** pendingRow, CPropertyPageSetupMapping* page);
  ~CMappedProperty() override;

  // False for a slot outside the model or an empty slot; otherwise shows the slot.
  bool BindSlot(int slot);
  int GetSlot() const { return m_slot; }
  // Shows the slot's name, mapping and description; the value is editable only for a text constant.
  void RefreshRow();
  // False only for a required column that is unmapped or a text constant without text.
  bool IsSatisfied() const;
  bool SetTextConstant();
  bool ClearMapping();
  // The index field at the command's position, read from the host now.
  bool ChooseIndexField(UINT commandId);
  // The value name at the command's position in the model's list.
  bool ChooseValue(UINT commandId);

  QColor NameColor() const;

  void OnDrawName(QPainter& dc, const QRect& rect) override;
  void OnDrawValue(QPainter& dc, const QRect& rect) override;
  bool OnEndEdit() override;
  void OnClickButton(const QPoint& point) override;
  bool HasButton() const override { return true; }

 private:
  bool HasSlot() const;

  CMappingModel* m_pModel;
  int m_slot = -1;
  CMappedProperty** m_ppPendingRow;
  CPropertyPageSetupMapping* m_pPage;
};

class CPropertyPageSetupMapping : public CMFCPropertyPage {
 public:
  // Asked whenever the page is about to stop being current: when the other page is chosen and when OK is
  // pressed while this page is current. True lets the page go; false keeps it current and the sheet open.
  using LeaveCheck = std::function<bool(CPropertyPageSetupMapping& page)>;

  CPropertyPageSetupMapping();
  ~CPropertyPageSetupMapping() override;

  void SetModel(CMappingModel* model) { m_pModel = model; }
  CMappingModel* GetModel() const { return m_pModel; }
  // The required-field check by default.
  void SetLeaveCheck(LeaveCheck check) { m_leaveCheck = std::move(check); }

  CMFCPropertyGridCtrl* GetGrid() const { return m_pGrid; }
  CMappedProperty* GetPendingRow() const { return m_pPendingRow; }
  bool IsDisplayFieldNames() const { return m_bDisplayFieldNames; }

  // The row of a slot or a key, or null.
  CMappedProperty* FindRow(int slot) const;
  CMappedProperty* FindRow(std::u16string_view key) const;
  // The first row, in grid order, whose IsSatisfied is false; null when every row is satisfied.
  CMappedProperty* FindFirstUnsatisfiedRow() const;
  // Selects a row and scrolls its group and then the row into view, expanding the group when needed.
  void ShowRow(CMappedProperty* row);

  void DoDataExchange(CDataExchange* dx) override;
  bool OnInitDialog() override;
  bool OnSetActive() override;
  bool OnKillActive() override;
  bool OnCommand(UINT id) override;

 private:
  template <class F>
  void ForEachRow(F f) const;
  void OnMappingCommand(UINT id);
  void OnDisplayFieldNames();

  CMappingModel* m_pModel = nullptr;
  QFrame* m_wndFrame = nullptr;
  CMFCPropertyGridCtrl* m_pGrid = nullptr;
  CMappedProperty* m_pPendingRow = nullptr;
  bool m_bDisplayFieldNames = false;
  LeaveCheck m_leaveCheck;
};
