// A grouped property grid: a header ("Property" / "Value"), group rows with titles that expand and collapse,
// value rows with a name cell and a value cell (optionally a button at its right end and in-place editing),
// and a description area showing the selected row's name and description.
//
// Rows are painted by the grid, which asks each row to draw its name and value, so derived rows can change
// colours or content. Only the rows in view are painted.
#pragma once

#include <QFrame>
#include <QLineEdit>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/window.h"

class QPainter;
class QScrollBar;
class CMFCPropertyGridCtrl;

class CMFCPropertyGridProperty {
 public:
  // A group row.
  explicit CMFCPropertyGridProperty(const std::u16string& groupName, std::uintptr_t data = 0);
  // A value row.
  CMFCPropertyGridProperty(const std::u16string& name, const std::u16string& value,
                           const std::u16string& description, std::uintptr_t data = 0);
  virtual ~CMFCPropertyGridProperty();
  CMFCPropertyGridProperty(const CMFCPropertyGridProperty&) = delete;
  CMFCPropertyGridProperty& operator=(const CMFCPropertyGridProperty&) = delete;

  bool IsGroup() const { return m_isGroup; }
  // Groups only; the group takes ownership. False for a value row or a row that already has a parent.
  bool AddSubItem(CMFCPropertyGridProperty* prop);
  int GetSubItemsCount() const { return static_cast<int>(m_children.size()); }
  CMFCPropertyGridProperty* GetSubItem(int index) const;
  CMFCPropertyGridProperty* GetParent() const { return m_pParent; }
  CMFCPropertyGridCtrl* GetGrid() const { return m_pWndList; }

  void SetName(const std::u16string& name, bool redraw = true);
  const std::u16string& GetName() const { return m_name; }
  void SetValue(const std::u16string& value);
  const std::u16string& GetValue() const { return m_value; }
  const std::u16string& GetOriginalValue() const { return m_originalValue; }
  void SetOriginalValue(const std::u16string& value);
  void ResetOriginalValue();
  // Changed through the in-place editor since the original value was set.
  bool IsModified() const { return m_modified; }
  void SetDescription(const std::u16string& description);
  const std::u16string& GetDescription() const { return m_description; }
  void SetData(std::uintptr_t data) { m_data = data; }
  std::uintptr_t GetData() const { return m_data; }

  void AllowEdit(bool allow = true);
  bool IsAllowEdit() const { return m_allowEdit; }
  void Expand(bool expand = true);
  bool IsExpanded() const { return m_expanded; }
  bool IsSelected() const;
  bool IsInPlaceEditing() const;
  // In a grid, with every group above it expanded.
  bool IsVisible() const;

  // Rectangles in the grid's coordinates; empty when the row is not in view.
  QRect GetRect() const;
  QRect GetNameRect() const;
  QRect GetValueRect() const;
  QRect GetButtonRect() const;
  void Redraw();

  // Drawing: the grid sets the painter's pen to the text colour and its font before each call.
  virtual void OnDrawName(QPainter& dc, const QRect& rect);
  virtual void OnDrawValue(QPainter& dc, const QRect& rect);
  virtual void OnDrawButton(QPainter& dc, const QRect& rect);
  // The in-place editor's text becomes the value.
  virtual bool OnUpdateValue();
  // In-place editing has ended (after OnUpdateValue when the text is kept).
  virtual bool OnEndEdit();
  virtual void OnClickButton(const QPoint& point);
  virtual bool HasButton() const { return false; }

 protected:
  void SetModifiedFlag();

 private:
  friend class CMFCPropertyGridCtrl;
  void SetOwnerList(CMFCPropertyGridCtrl* grid);

  bool m_isGroup;
  std::u16string m_name;
  std::u16string m_value;
  std::u16string m_originalValue;
  std::u16string m_description;
  std::uintptr_t m_data;
  bool m_allowEdit = true;
  bool m_expanded = true;
  bool m_modified = false;
  CMFCPropertyGridProperty* m_pParent = nullptr;
  CMFCPropertyGridCtrl* m_pWndList = nullptr;
  std::vector<std::unique_ptr<CMFCPropertyGridProperty>> m_children;
};

class CMFCPropertyGridCtrl : public QFrame {
 public:
  enum ClickArea { ClickNone, ClickExpandBox, ClickName, ClickValue, ClickButton, ClickDescription };

  explicit CMFCPropertyGridCtrl(QWidget* parent = nullptr);
  ~CMFCPropertyGridCtrl() override;

  // Places the grid in `parent` at `rect` with the window styles WS_VISIBLE, WS_BORDER and WS_TABSTOP.
  bool Create(DWORD style, const QRect& rect, QWidget* parent, UINT id);

  // The grid takes ownership. Returns the index of the new top-level row, or -1.
  int AddProperty(CMFCPropertyGridProperty* prop, bool redraw = true, bool adjustLayout = true);
  int GetPropertyCount() const { return static_cast<int>(m_props.size()); }
  CMFCPropertyGridProperty* GetProperty(int index) const;
  void RemoveAll();

  void EnableHeaderCtrl(bool enable = true, const std::u16string& leftColumn = u"Property",
                        const std::u16string& rightColumn = u"Value");
  bool IsHeaderCtrl() const { return m_header; }
  std::u16string GetHeaderText(int column) const { return column == 0 ? m_headerLeft : m_headerRight; }
  void EnableDescriptionArea(bool enable = true);
  bool IsDescriptionArea() const { return m_descriptionArea; }
  void SetDescriptionRows(int rows);
  int GetDescriptionHeight() const { return m_descriptionArea ? m_descriptionHeight : 0; }
  void SetVSDotNetLook(bool set = true);
  bool IsVSDotNetLook() const { return m_dotNetLook; }
  void MarkModifiedProperties(bool mark = true, bool redraw = true);
  bool IsMarkModifiedProperties() const { return m_markModified; }
  // In alphabetic mode the value rows are listed by name without their groups.
  void SetAlphabeticMode(bool set = true);
  bool IsAlphabeticMode() const { return m_alphabetic; }

  void SetCurSel(CMFCPropertyGridProperty* prop, bool redraw = true);
  CMFCPropertyGridProperty* GetCurSel() const { return m_pSel; }
  // Scrolls the row into view; with expandParent, collapsed groups above it are expanded first.
  void EnsureVisible(CMFCPropertyGridProperty* prop, bool expandParent = false);
  void ExpandAll(bool expand = true);

  // Starts in-place editing of a row that allows it.
  bool EditItem(CMFCPropertyGridProperty* prop);
  // Ends in-place editing, keeping the typed text when updateData is true.
  bool EndEditItem(bool updateData = true);
  QLineEdit* GetInPlaceEdit() const { return m_edit; }
  CMFCPropertyGridProperty* GetEditedProperty() const { return m_pEdited; }

  void AdjustLayout();
  void RedrawProperty(const CMFCPropertyGridProperty* prop);

  int GetRowHeight() const { return m_rowHeight; }
  int GetLeftColumnWidth() const { return m_leftColumnWidth; }
  void SetLeftColumnWidth(int width);
  QRect GetHeaderRect() const;
  QRect GetListRect() const;
  QRect GetDescriptionRect() const;
  // The description area's text: the selected row's name and description.
  std::u16string GetDescriptionText() const;
  // The first row in view and the number of rows in view (value and group rows, groups expanded or not).
  int GetTopRow() const { return m_topRow; }
  int GetVisibleRowCount() const;
  QScrollBar* GetScrollBar() const { return m_scroll; }

  CMFCPropertyGridProperty* HitTest(const QPoint& point, ClickArea* area = nullptr) const;

  // Colours of the look.
  QColor GroupBackground() const;
  QColor LineColor() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  friend class CMFCPropertyGridProperty;

  void InvalidateRows() { m_rowsDirty = true; }
  const std::vector<CMFCPropertyGridProperty*>& Rows() const;
  int RowIndex(const CMFCPropertyGridProperty* prop) const;
  QRect RowRect(int row) const;
  QRect RowRectOf(const CMFCPropertyGridProperty* prop) const;
  QRect NameRectOf(const CMFCPropertyGridProperty* prop) const;
  QRect ValueRectOf(const CMFCPropertyGridProperty* prop) const;
  QRect ButtonRectOf(const CMFCPropertyGridProperty* prop) const;
  QRect EditRectOf(const CMFCPropertyGridProperty* prop) const;
  int Divider() const;
  int Gutter() const { return m_rowHeight; }
  void UpdateScrollBar();
  void SetTopRow(int row);
  void MoveSelection(int delta);
  void ToggleExpand(CMFCPropertyGridProperty* prop);
  void PropertyRemoved(CMFCPropertyGridProperty* prop);
  void DrawHeader(QPainter& p);
  void DrawRow(QPainter& p, CMFCPropertyGridProperty* prop, const QRect& rect);
  void DrawExpandBox(QPainter& p, const QRect& rect, bool expanded);
  void DrawDescription(QPainter& p);
  void ClickButtonOf(CMFCPropertyGridProperty* prop);

  std::vector<std::unique_ptr<CMFCPropertyGridProperty>> m_props;
  mutable std::vector<CMFCPropertyGridProperty*> m_rows;
  mutable bool m_rowsDirty = true;
  CMFCPropertyGridProperty* m_pSel = nullptr;
  CMFCPropertyGridProperty* m_pEdited = nullptr;
  QPointer<QLineEdit> m_edit;
  bool m_ending = false;
  QScrollBar* m_scroll = nullptr;

  bool m_border = false;
  bool m_header = false;
  std::u16string m_headerLeft = u"Property";
  std::u16string m_headerRight = u"Value";
  bool m_descriptionArea = false;
  int m_descriptionRows = 4;
  int m_descriptionHeight = 0;
  bool m_dotNetLook = false;
  bool m_markModified = false;
  bool m_alphabetic = false;
  int m_rowHeight = 18;
  int m_leftColumnWidth = 0;
  bool m_leftColumnSet = false;
  int m_topRow = 0;
  enum class Drag { None, Divider, Description } m_drag = Drag::None;
  CMFCPropertyGridProperty* m_pPressedButton = nullptr;
};
