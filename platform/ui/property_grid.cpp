#include "platform/ui/property_grid.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionHeader>
#include <QWheelEvent>
#include <algorithm>

#include "platform/ui/resources.h"

namespace {
constexpr int kTextMargin = 4;   // between a cell's edge and its text
constexpr int kSplitterGap = 3;  // between the list and the description area
constexpr int kWheelRows = 3;

QFont BoldOf(const QFont& font) {
  QFont bold = font;
  bold.setBold(true);
  return bold;
}

void DrawCellText(QPainter& dc, const QRect& rect, const std::u16string& text) {
  const QRect textRect = rect.adjusted(kTextMargin, 0, -2, 0);
  if (textRect.width() <= 0) return;
  const QString elided = dc.fontMetrics().elidedText(QStringFromUtf16(text), Qt::ElideRight, textRect.width());
  dc.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, elided);
}
}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Rows

CMFCPropertyGridProperty::CMFCPropertyGridProperty(const std::u16string& groupName, std::uintptr_t data)
    : m_isGroup(true), m_name(groupName), m_data(data) {
  m_allowEdit = false;
}

CMFCPropertyGridProperty::CMFCPropertyGridProperty(const std::u16string& name, const std::u16string& value,
                                                   const std::u16string& description, std::uintptr_t data)
    : m_isGroup(false), m_name(name), m_value(value), m_originalValue(value), m_description(description),
      m_data(data) {}

CMFCPropertyGridProperty::~CMFCPropertyGridProperty() {
  if (m_pWndList) m_pWndList->PropertyRemoved(this);
}

bool CMFCPropertyGridProperty::AddSubItem(CMFCPropertyGridProperty* prop) {
  if (!prop || !m_isGroup || prop->m_pParent || prop == this) return false;
  prop->m_pParent = this;
  m_children.emplace_back(prop);
  if (m_pWndList) {
    prop->SetOwnerList(m_pWndList);
    m_pWndList->InvalidateRows();
    m_pWndList->UpdateScrollBar();
    m_pWndList->update();
  }
  return true;
}

CMFCPropertyGridProperty* CMFCPropertyGridProperty::GetSubItem(int index) const {
  if (index < 0 || index >= GetSubItemsCount()) return nullptr;
  return m_children[static_cast<size_t>(index)].get();
}

void CMFCPropertyGridProperty::SetOwnerList(CMFCPropertyGridCtrl* grid) {
  m_pWndList = grid;
  for (auto& child : m_children) child->SetOwnerList(grid);
}

void CMFCPropertyGridProperty::SetName(const std::u16string& name, bool redraw) {
  m_name = name;
  if (m_pWndList && m_pWndList->IsAlphabeticMode()) m_pWndList->InvalidateRows();
  if (redraw) Redraw();
}

void CMFCPropertyGridProperty::SetValue(const std::u16string& value) {
  if (m_isGroup) return;
  m_value = value;
  Redraw();
}

void CMFCPropertyGridProperty::SetOriginalValue(const std::u16string& value) {
  m_originalValue = value;
  SetModifiedFlag();
}

void CMFCPropertyGridProperty::ResetOriginalValue() {
  m_value = m_originalValue;
  SetModifiedFlag();
  Redraw();
}

void CMFCPropertyGridProperty::SetModifiedFlag() { m_modified = m_value != m_originalValue; }

void CMFCPropertyGridProperty::SetDescription(const std::u16string& description) {
  m_description = description;
  if (IsSelected()) Redraw();
}

void CMFCPropertyGridProperty::AllowEdit(bool allow) {
  if (m_isGroup) return;
  m_allowEdit = allow;
  if (!allow && IsInPlaceEditing()) m_pWndList->EndEditItem(false);
}

void CMFCPropertyGridProperty::Expand(bool expand) {
  if (m_expanded == expand) return;
  m_expanded = expand;
  if (!m_pWndList) return;
  if (!expand) {
    // A row that disappears cannot stay in edit.
    if (CMFCPropertyGridProperty* edited = m_pWndList->GetEditedProperty()) {
      for (auto* p = edited->GetParent(); p; p = p->GetParent()) {
        if (p == this) {
          m_pWndList->EndEditItem(true);
          break;
        }
      }
    }
  }
  m_pWndList->InvalidateRows();
  m_pWndList->UpdateScrollBar();
  m_pWndList->update();
}

bool CMFCPropertyGridProperty::IsSelected() const { return m_pWndList && m_pWndList->GetCurSel() == this; }

bool CMFCPropertyGridProperty::IsInPlaceEditing() const {
  return m_pWndList && m_pWndList->GetEditedProperty() == this;
}

bool CMFCPropertyGridProperty::IsVisible() const {
  if (!m_pWndList) return false;
  if (m_pWndList->IsAlphabeticMode()) return !m_isGroup;
  for (auto* p = m_pParent; p; p = p->m_pParent) {
    if (!p->m_expanded) return false;
  }
  return true;
}

QRect CMFCPropertyGridProperty::GetRect() const { return m_pWndList ? m_pWndList->RowRectOf(this) : QRect(); }
QRect CMFCPropertyGridProperty::GetNameRect() const { return m_pWndList ? m_pWndList->NameRectOf(this) : QRect(); }
QRect CMFCPropertyGridProperty::GetValueRect() const { return m_pWndList ? m_pWndList->ValueRectOf(this) : QRect(); }
QRect CMFCPropertyGridProperty::GetButtonRect() const {
  return m_pWndList ? m_pWndList->ButtonRectOf(this) : QRect();
}

void CMFCPropertyGridProperty::Redraw() {
  if (m_pWndList) m_pWndList->RedrawProperty(this);
}

void CMFCPropertyGridProperty::OnDrawName(QPainter& dc, const QRect& rect) {
  if (IsSelected() && !m_isGroup) {
    const bool focused = m_pWndList->hasFocus() || m_pWndList->GetInPlaceEdit() != nullptr;
    const QPalette& pal = m_pWndList->palette();
    dc.fillRect(rect.adjusted(0, 1, 0, 0), focused ? pal.color(QPalette::Highlight) : pal.color(QPalette::Midlight));
    dc.setPen(focused ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::WindowText));
  }
  DrawCellText(dc, rect, m_name);
}

void CMFCPropertyGridProperty::OnDrawValue(QPainter& dc, const QRect& rect) {
  if (m_pWndList && m_pWndList->IsMarkModifiedProperties() && m_modified) dc.setFont(BoldOf(dc.font()));
  DrawCellText(dc, rect, m_value);
}

void CMFCPropertyGridProperty::OnDrawButton(QPainter& dc, const QRect& rect) {
  QWidget* grid = m_pWndList;
  QStyleOptionButton option;
  option.initFrom(grid);
  option.rect = rect;
  option.text = QStringLiteral("...");
  option.state &= ~QStyle::State_HasFocus;
  option.state |= (m_pWndList->m_pPressedButton == this) ? QStyle::State_Sunken : QStyle::State_Raised;
  grid->style()->drawControl(QStyle::CE_PushButton, &option, &dc, grid);
}

bool CMFCPropertyGridProperty::OnUpdateValue() {
  if (!m_pWndList || !m_pWndList->GetInPlaceEdit()) return false;
  const std::u16string text = Utf16FromQString(m_pWndList->GetInPlaceEdit()->text());
  if (text != m_value) SetValue(text);
  SetModifiedFlag();
  return true;
}

bool CMFCPropertyGridProperty::OnEndEdit() { return true; }

void CMFCPropertyGridProperty::OnClickButton(const QPoint&) {}

// ---------------------------------------------------------------------------------------------------------------
// The grid

CMFCPropertyGridCtrl::CMFCPropertyGridCtrl(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  m_scroll = new QScrollBar(Qt::Vertical, this);
  m_scroll->setFocusPolicy(Qt::NoFocus);
  m_scroll->hide();
  QObject::connect(m_scroll, &QScrollBar::valueChanged, this, [this](int value) {
    if (value == m_topRow) return;
    m_topRow = value;
    if (m_pEdited) EndEditItem(true);
    update();
  });
  AdjustLayout();
}

CMFCPropertyGridCtrl::~CMFCPropertyGridCtrl() {
  if (m_edit) m_edit->removeEventFilter(this);
  m_pEdited = nullptr;
  m_pSel = nullptr;
  // Rows are destroyed with the grid; they must not call back into it.
  for (auto& prop : m_props) prop->SetOwnerList(nullptr);
  m_props.clear();
}

bool CMFCPropertyGridCtrl::Create(DWORD style, const QRect& rect, QWidget* parent, UINT id) {
  setParent(parent);
  SetDlgItemId(this, id);
  m_border = (style & WS_BORDER) != 0;
  setContentsMargins(m_border ? QMargins(1, 1, 1, 1) : QMargins());
  setFocusPolicy((style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
  setGeometry(rect);
  AdjustLayout();
  setVisible((style & WS_VISIBLE) != 0);
  return true;
}

int CMFCPropertyGridCtrl::AddProperty(CMFCPropertyGridProperty* prop, bool redraw, bool adjustLayout) {
  if (!prop || prop->m_pParent || prop->m_pWndList) return -1;
  prop->SetOwnerList(this);
  m_props.emplace_back(prop);
  InvalidateRows();
  if (adjustLayout) AdjustLayout();
  if (redraw) update();
  return GetPropertyCount() - 1;
}

CMFCPropertyGridProperty* CMFCPropertyGridCtrl::GetProperty(int index) const {
  if (index < 0 || index >= GetPropertyCount()) return nullptr;
  return m_props[static_cast<size_t>(index)].get();
}

void CMFCPropertyGridCtrl::RemoveAll() {
  if (m_pEdited) EndEditItem(false);
  m_pSel = nullptr;
  for (auto& prop : m_props) prop->SetOwnerList(nullptr);
  m_props.clear();
  m_topRow = 0;
  InvalidateRows();
  AdjustLayout();
  update();
}

void CMFCPropertyGridCtrl::PropertyRemoved(CMFCPropertyGridProperty* prop) {
  if (m_pSel == prop) m_pSel = nullptr;
  if (m_pEdited == prop) {
    m_pEdited = nullptr;
    if (m_edit) {
      m_edit->removeEventFilter(this);
      m_edit->hide();
      m_edit->deleteLater();
      m_edit = nullptr;
    }
  }
  if (m_pPressedButton == prop) m_pPressedButton = nullptr;
  InvalidateRows();
}

void CMFCPropertyGridCtrl::EnableHeaderCtrl(bool enable, const std::u16string& leftColumn,
                                            const std::u16string& rightColumn) {
  m_header = enable;
  m_headerLeft = leftColumn;
  m_headerRight = rightColumn;
  AdjustLayout();
}

void CMFCPropertyGridCtrl::EnableDescriptionArea(bool enable) {
  m_descriptionArea = enable;
  AdjustLayout();
}

void CMFCPropertyGridCtrl::SetDescriptionRows(int rows) {
  m_descriptionRows = std::max(1, rows);
  m_descriptionHeight = 0;
  AdjustLayout();
}

void CMFCPropertyGridCtrl::SetVSDotNetLook(bool set) {
  m_dotNetLook = set;
  update();
}

void CMFCPropertyGridCtrl::MarkModifiedProperties(bool mark, bool redraw) {
  m_markModified = mark;
  if (redraw) update();
}

void CMFCPropertyGridCtrl::SetAlphabeticMode(bool set) {
  if (m_alphabetic == set) return;
  if (m_pEdited) EndEditItem(true);
  m_alphabetic = set;
  if (m_pSel && !m_pSel->IsVisible()) m_pSel = nullptr;
  InvalidateRows();
  m_topRow = 0;
  AdjustLayout();
  update();
}

const std::vector<CMFCPropertyGridProperty*>& CMFCPropertyGridCtrl::Rows() const {
  if (!m_rowsDirty) return m_rows;
  m_rows.clear();
  if (m_alphabetic) {
    std::vector<CMFCPropertyGridProperty*> stack;
    for (auto it = m_props.rbegin(); it != m_props.rend(); ++it) stack.push_back(it->get());
    while (!stack.empty()) {
      CMFCPropertyGridProperty* p = stack.back();
      stack.pop_back();
      if (!p->IsGroup()) m_rows.push_back(p);
      for (auto it = p->m_children.rbegin(); it != p->m_children.rend(); ++it) stack.push_back(it->get());
    }
    std::stable_sort(m_rows.begin(), m_rows.end(), [](const auto* a, const auto* b) {
      return QStringFromUtf16(a->GetName()).compare(QStringFromUtf16(b->GetName()), Qt::CaseInsensitive) < 0;
    });
  } else {
    std::vector<CMFCPropertyGridProperty*> stack;
    for (auto it = m_props.rbegin(); it != m_props.rend(); ++it) stack.push_back(it->get());
    while (!stack.empty()) {
      CMFCPropertyGridProperty* p = stack.back();
      stack.pop_back();
      m_rows.push_back(p);
      if (p->IsGroup() && p->IsExpanded()) {
        for (auto it = p->m_children.rbegin(); it != p->m_children.rend(); ++it) stack.push_back(it->get());
      }
    }
  }
  m_rowsDirty = false;
  return m_rows;
}

int CMFCPropertyGridCtrl::RowIndex(const CMFCPropertyGridProperty* prop) const {
  const auto& rows = Rows();
  auto it = std::find(rows.begin(), rows.end(), prop);
  return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
}

QRect CMFCPropertyGridCtrl::GetHeaderRect() const {
  const QRect content = contentsRect();
  return m_header ? QRect(content.left(), content.top(), content.width(), m_rowHeight + 4) : QRect();
}

QRect CMFCPropertyGridCtrl::GetDescriptionRect() const {
  if (!m_descriptionArea) return QRect();
  const QRect content = contentsRect();
  return QRect(content.left(), content.bottom() + 1 - m_descriptionHeight, content.width(), m_descriptionHeight);
}

QRect CMFCPropertyGridCtrl::GetListRect() const {
  const QRect content = contentsRect();
  const int top = content.top() + (m_header ? GetHeaderRect().height() : 0);
  int bottom = content.bottom() + 1;
  if (m_descriptionArea) bottom -= m_descriptionHeight + kSplitterGap;
  int right = content.right() + 1;
  if (m_scroll->isVisible()) right -= m_scroll->width();
  return QRect(content.left(), top, std::max(0, right - content.left()), std::max(0, bottom - top));
}

int CMFCPropertyGridCtrl::GetVisibleRowCount() const {
  return m_rowHeight > 0 ? std::max(1, GetListRect().height() / m_rowHeight) : 1;
}

int CMFCPropertyGridCtrl::Divider() const { return GetListRect().left() + m_leftColumnWidth; }

QRect CMFCPropertyGridCtrl::RowRect(int row) const {
  const QRect list = GetListRect();
  return QRect(list.left(), list.top() + (row - m_topRow) * m_rowHeight, list.width(), m_rowHeight);
}

QRect CMFCPropertyGridCtrl::RowRectOf(const CMFCPropertyGridProperty* prop) const {
  const int row = RowIndex(prop);
  if (row < 0 || row < m_topRow) return QRect();
  const QRect rect = RowRect(row);
  if (rect.top() >= GetListRect().bottom() + 1) return QRect();
  return rect;
}

QRect CMFCPropertyGridCtrl::NameRectOf(const CMFCPropertyGridProperty* prop) const {
  const QRect row = RowRectOf(prop);
  if (row.isNull()) return QRect();
  if (prop->IsGroup()) return QRect(row.left() + Gutter(), row.top(), row.width() - Gutter(), row.height());
  int depth = 1;
  if (!m_alphabetic) {
    depth = 0;
    for (auto* p = prop->GetParent(); p; p = p->GetParent()) ++depth;
    depth = std::max(depth, 1);
  }
  const int left = row.left() + Gutter() * depth;
  return QRect(left, row.top(), std::max(0, Divider() - left), row.height());
}

QRect CMFCPropertyGridCtrl::ValueRectOf(const CMFCPropertyGridProperty* prop) const {
  const QRect row = RowRectOf(prop);
  if (row.isNull() || prop->IsGroup()) return QRect();
  const int left = Divider() + 1;
  return QRect(left, row.top(), std::max(0, row.right() + 1 - left), row.height());
}

QRect CMFCPropertyGridCtrl::ButtonRectOf(const CMFCPropertyGridProperty* prop) const {
  const QRect value = ValueRectOf(prop);
  if (value.isNull() || !prop->HasButton()) return QRect();
  const int width = std::min(m_rowHeight, value.width());
  return QRect(value.right() + 1 - width, value.top() + 1, width, value.height() - 1);
}

QRect CMFCPropertyGridCtrl::EditRectOf(const CMFCPropertyGridProperty* prop) const {
  QRect value = ValueRectOf(prop);
  if (value.isNull()) return QRect();
  const QRect button = ButtonRectOf(prop);
  if (!button.isNull()) value.setRight(button.left() - 1);
  return value.adjusted(kTextMargin - 1, 1, 0, -1);
}

CMFCPropertyGridProperty* CMFCPropertyGridCtrl::HitTest(const QPoint& point, ClickArea* area) const {
  if (area) *area = ClickNone;
  if (m_descriptionArea && GetDescriptionRect().contains(point)) {
    if (area) *area = ClickDescription;
    return nullptr;
  }
  const QRect list = GetListRect();
  if (!list.contains(point)) return nullptr;
  const int row = m_topRow + (point.y() - list.top()) / m_rowHeight;
  const auto& rows = Rows();
  if (row < 0 || row >= static_cast<int>(rows.size())) return nullptr;
  CMFCPropertyGridProperty* prop = rows[static_cast<size_t>(row)];
  if (area) {
    if (point.x() < list.left() + Gutter()) {
      *area = prop->IsGroup() ? ClickExpandBox : ClickName;
    } else if (prop->IsGroup() || point.x() < Divider()) {
      *area = ClickName;
    } else if (ButtonRectOf(prop).contains(point)) {
      *area = ClickButton;
    } else {
      *area = ClickValue;
    }
  }
  return prop;
}

QColor CMFCPropertyGridCtrl::GroupBackground() const {
  return m_dotNetLook ? palette().color(QPalette::Button) : palette().color(QPalette::Base);
}

QColor CMFCPropertyGridCtrl::LineColor() const {
  return m_dotNetLook ? palette().color(QPalette::Button) : palette().color(QPalette::Mid);
}

void CMFCPropertyGridCtrl::SetLeftColumnWidth(int width) {
  const QRect list = GetListRect();
  m_leftColumnWidth = std::clamp(width, Gutter() + 10, std::max(Gutter() + 10, list.width() - m_rowHeight - 10));
  m_leftColumnSet = true;
  if (m_edit && m_pEdited) m_edit->setGeometry(EditRectOf(m_pEdited));
  update();
}

void CMFCPropertyGridCtrl::AdjustLayout() {
  const QFontMetrics metrics(font());
  m_rowHeight = metrics.height() + 5;
  if (m_descriptionHeight <= 0) m_descriptionHeight = m_descriptionRows * metrics.height() + 8;
  const QRect content = contentsRect();
  if (m_descriptionArea) {
    // Keep at least a few rows for the list.
    const int maxDescription = std::max(metrics.height() + 8, content.height() - GetHeaderRect().height() -
                                                                   3 * m_rowHeight - kSplitterGap);
    m_descriptionHeight = std::min(m_descriptionHeight, maxDescription);
  }
  UpdateScrollBar();
  const QRect list = GetListRect();
  if (!m_leftColumnSet) m_leftColumnWidth = list.width() / 2;
  m_leftColumnWidth = std::min(m_leftColumnWidth, std::max(Gutter() + 10, list.width() - m_rowHeight - 10));
  if (m_edit && m_pEdited) {
    const QRect rect = EditRectOf(m_pEdited);
    if (rect.isNull()) EndEditItem(true); else m_edit->setGeometry(rect);
  }
  update();
}

void CMFCPropertyGridCtrl::UpdateScrollBar() {
  const QRect content = contentsRect();
  const int total = static_cast<int>(Rows().size());
  // Decide visibility on the list height, which does not depend on the scroll bar.
  const int listTop = content.top() + (m_header ? m_rowHeight + 4 : 0);
  int listBottom = content.bottom() + 1;
  if (m_descriptionArea) listBottom -= m_descriptionHeight + kSplitterGap;
  const int fit = m_rowHeight > 0 ? std::max(1, (listBottom - listTop) / m_rowHeight) : 1;
  const int maxTop = std::max(0, total - fit);
  const bool needed = total > fit;
  const int width = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scroll);
  m_scroll->setGeometry(content.right() + 1 - width, listTop, width, std::max(0, listBottom - listTop));
  m_scroll->setVisible(needed);
  const bool blocked = m_scroll->blockSignals(true);
  m_scroll->setRange(0, maxTop);
  m_scroll->setPageStep(fit);
  m_scroll->setSingleStep(1);
  m_topRow = std::clamp(m_topRow, 0, maxTop);
  m_scroll->setValue(m_topRow);
  m_scroll->blockSignals(blocked);
}

void CMFCPropertyGridCtrl::SetTopRow(int row) {
  const int maxTop = std::max(0, static_cast<int>(Rows().size()) - GetVisibleRowCount());
  row = std::clamp(row, 0, maxTop);
  if (row == m_topRow) return;
  if (m_pEdited) EndEditItem(true);
  m_topRow = row;
  const bool blocked = m_scroll->blockSignals(true);
  m_scroll->setValue(row);
  m_scroll->blockSignals(blocked);
  update();
}

void CMFCPropertyGridCtrl::SetCurSel(CMFCPropertyGridProperty* prop, bool redraw) {
  if (prop == m_pSel) return;
  if (prop && prop->GetGrid() != this) return;
  if (m_pEdited && m_pEdited != prop) EndEditItem(true);
  m_pSel = prop;
  if (redraw) update();
}

void CMFCPropertyGridCtrl::EnsureVisible(CMFCPropertyGridProperty* prop, bool expandParent) {
  if (!prop || prop->GetGrid() != this) return;
  if (expandParent && !m_alphabetic) {
    for (auto* p = prop->GetParent(); p; p = p->GetParent()) {
      if (!p->IsExpanded()) p->Expand(true);
    }
  }
  const int row = RowIndex(prop);
  if (row < 0) return;
  const int fit = GetVisibleRowCount();
  if (row < m_topRow) {
    SetTopRow(row);
  } else if (row >= m_topRow + fit) {
    SetTopRow(row - fit + 1);
  }
}

void CMFCPropertyGridCtrl::ExpandAll(bool expand) {
  std::vector<CMFCPropertyGridProperty*> stack;
  for (auto& p : m_props) stack.push_back(p.get());
  while (!stack.empty()) {
    CMFCPropertyGridProperty* p = stack.back();
    stack.pop_back();
    if (p->IsGroup()) p->m_expanded = expand;
    for (auto& c : p->m_children) stack.push_back(c.get());
  }
  if (m_pEdited && !m_pEdited->IsVisible()) EndEditItem(true);
  InvalidateRows();
  UpdateScrollBar();
  update();
}

void CMFCPropertyGridCtrl::ToggleExpand(CMFCPropertyGridProperty* prop) {
  if (prop && prop->IsGroup()) prop->Expand(!prop->IsExpanded());
}

void CMFCPropertyGridCtrl::MoveSelection(int delta) {
  const auto& rows = Rows();
  if (rows.empty()) return;
  int row = m_pSel ? RowIndex(m_pSel) : -1;
  row = row < 0 ? 0 : std::clamp(row + delta, 0, static_cast<int>(rows.size()) - 1);
  CMFCPropertyGridProperty* next = rows[static_cast<size_t>(row)];
  SetCurSel(next);
  EnsureVisible(next);
}

bool CMFCPropertyGridCtrl::EditItem(CMFCPropertyGridProperty* prop) {
  if (!prop || prop->GetGrid() != this || prop->IsGroup() || !prop->IsAllowEdit() || !prop->IsVisible()) return false;
  if (m_pEdited == prop) return true;
  if (m_pEdited && !EndEditItem(true)) return false;
  SetCurSel(prop);
  EnsureVisible(prop);
  m_pEdited = prop;
  auto* edit = new QLineEdit(this);
  edit->setFrame(false);
  edit->setFont(font());
  edit->setText(QStringFromUtf16(prop->GetValue()));
  edit->setGeometry(EditRectOf(prop));
  edit->installEventFilter(this);
  m_edit = edit;
  edit->show();
  edit->setFocus(Qt::MouseFocusReason);
  edit->selectAll();
  update();
  return true;
}

bool CMFCPropertyGridCtrl::EndEditItem(bool updateData) {
  if (!m_pEdited || m_ending) return false;
  m_ending = true;
  CMFCPropertyGridProperty* prop = m_pEdited;
  if (updateData && !prop->OnUpdateValue()) {
    m_ending = false;
    return false;
  }
  prop->OnEndEdit();
  m_pEdited = nullptr;
  if (QLineEdit* edit = m_edit) {
    m_edit = nullptr;
    edit->removeEventFilter(this);
    const bool hadFocus = edit->hasFocus();
    edit->hide();
    edit->deleteLater();
    if (hadFocus) setFocus(Qt::OtherFocusReason);
  }
  m_ending = false;
  update();
  return true;
}

void CMFCPropertyGridCtrl::RedrawProperty(const CMFCPropertyGridProperty*) {
  // Rows are cheap to paint; one repaint covers the row and the description area together.
  update();
}

std::u16string CMFCPropertyGridCtrl::GetDescriptionText() const {
  if (!m_pSel) return {};
  return m_pSel->GetName() + u"\n" + m_pSel->GetDescription();
}

void CMFCPropertyGridCtrl::ClickButtonOf(CMFCPropertyGridProperty* prop) {
  if (!prop || !prop->HasButton()) return;
  const QRect button = ButtonRectOf(prop);
  if (button.isNull()) return;
  m_pPressedButton = prop;
  repaint(button);
  QPointer<CMFCPropertyGridCtrl> alive(this);
  prop->OnClickButton(button.center());
  if (!alive) return;
  m_pPressedButton = nullptr;
  update();
}

// ---------------------------------------------------------------------------------------------------------------
// Painting

void CMFCPropertyGridCtrl::DrawHeader(QPainter& p) {
  const QRect header = GetHeaderRect();
  const int divider = Divider();
  const struct {
    QRect rect;
    const std::u16string* text;
    QStyleOptionHeader::SectionPosition position;
  } sections[] = {
      {QRect(header.left(), header.top(), divider - header.left(), header.height()), &m_headerLeft,
       QStyleOptionHeader::Beginning},
      {QRect(divider, header.top(), header.right() + 1 - divider, header.height()), &m_headerRight,
       QStyleOptionHeader::End},
  };
  for (const auto& section : sections) {
    QStyleOptionHeader option;
    option.initFrom(this);
    option.state = QStyle::State_Enabled | QStyle::State_Raised | QStyle::State_Horizontal;
    option.rect = section.rect;
    option.section = section.position == QStyleOptionHeader::Beginning ? 0 : 1;
    option.position = section.position;
    option.orientation = Qt::Horizontal;
    option.text = QStringFromUtf16(*section.text);
    option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    style()->drawControl(QStyle::CE_Header, &option, &p, this);
  }
}

void CMFCPropertyGridCtrl::DrawExpandBox(QPainter& p, const QRect& rect, bool expanded) {
  const int size = 9;
  const QRect box(rect.left() + (rect.width() - size) / 2, rect.top() + (rect.height() - size) / 2, size - 1,
                  size - 1);
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(box, palette().color(QPalette::Base));
  p.setPen(palette().color(QPalette::Dark));
  p.drawRect(box);
  p.setPen(palette().color(QPalette::WindowText));
  const int cy = box.top() + box.height() / 2;
  const int cx = box.left() + box.width() / 2;
  p.drawLine(box.left() + 2, cy, box.right() - 2, cy);
  if (!expanded) p.drawLine(cx, box.top() + 2, cx, box.bottom() - 2);
  p.restore();
}

void CMFCPropertyGridCtrl::DrawRow(QPainter& p, CMFCPropertyGridProperty* prop, const QRect& rect) {
  const QPalette& pal = palette();
  const QColor text = pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
  if (prop->IsGroup()) {
    p.fillRect(rect, GroupBackground());
    DrawExpandBox(p, QRect(rect.left(), rect.top(), Gutter(), rect.height()), prop->IsExpanded());
    QRect name(rect.left() + Gutter(), rect.top(), rect.width() - Gutter(), rect.height());
    p.setFont(BoldOf(font()));
    p.setPen(text);
    if (prop->IsSelected()) {
      const QFontMetrics metrics(p.font());
      const int width = std::min(name.width(), metrics.horizontalAdvance(QStringFromUtf16(prop->GetName())) + 2 * kTextMargin);
      const bool focused = hasFocus();
      p.fillRect(QRect(name.left(), name.top() + 1, width, name.height() - 2),
                 focused ? pal.color(QPalette::Highlight) : pal.color(QPalette::Midlight));
      if (focused) p.setPen(pal.color(QPalette::HighlightedText));
    }
    p.save();
    p.setClipRect(name);
    prop->OnDrawName(p, name);
    p.restore();
    p.setPen(LineColor());
    p.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    return;
  }

  const QRect nameRect = NameRectOf(prop);
  const QRect valueRect = ValueRectOf(prop);
  // Gutter and indentation.
  p.fillRect(QRect(rect.left(), rect.top(), nameRect.left() - rect.left(), rect.height()), GroupBackground());
  p.fillRect(QRect(nameRect.left(), rect.top(), rect.right() + 1 - nameRect.left(), rect.height()),
             pal.color(QPalette::Base));

  p.save();
  p.setClipRect(nameRect);
  p.setFont(font());
  p.setPen(text);
  prop->OnDrawName(p, nameRect);
  p.restore();

  QRect valueText = valueRect;
  const QRect button = ButtonRectOf(prop);
  if (!button.isNull()) valueText.setRight(button.left() - 1);
  if (prop != m_pEdited) {
    p.save();
    p.setClipRect(valueText);
    p.setFont(font());
    p.setPen(text);
    prop->OnDrawValue(p, valueText);
    p.restore();
  }
  if (!button.isNull()) {
    p.save();
    p.setClipRect(button);
    p.setFont(font());
    prop->OnDrawButton(p, button);
    p.restore();
  }
  p.setPen(LineColor());
  p.drawLine(nameRect.left(), rect.bottom(), rect.right(), rect.bottom());
  p.drawLine(Divider(), rect.top(), Divider(), rect.bottom());
}

void CMFCPropertyGridCtrl::DrawDescription(QPainter& p) {
  const QRect area = GetDescriptionRect();
  const QPalette& pal = palette();
  p.fillRect(area, GroupBackground());
  p.setPen(pal.color(QPalette::Mid));
  p.drawRect(area.adjusted(0, 0, -1, -1));
  if (!m_pSel) return;
  const QRect inner = area.adjusted(kTextMargin + 1, 3, -kTextMargin - 1, -3);
  const QFontMetrics metrics(font());
  p.setPen(pal.color(QPalette::WindowText));
  p.setFont(BoldOf(font()));
  const QRect nameLine(inner.left(), inner.top(), inner.width(), metrics.height());
  p.drawText(nameLine, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
             QFontMetrics(p.font()).elidedText(QStringFromUtf16(m_pSel->GetName()), Qt::ElideRight, inner.width()));
  p.setFont(font());
  const QRect body(inner.left(), nameLine.bottom() + 1, inner.width(), inner.bottom() - nameLine.bottom());
  p.save();
  p.setClipRect(body);
  p.drawText(body, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, QStringFromUtf16(m_pSel->GetDescription()));
  p.restore();
}

void CMFCPropertyGridCtrl::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter p(this);
  if (m_border) {
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  const QRect content = contentsRect();
  p.setClipRect(content);
  p.fillRect(content, palette().color(QPalette::Window));
  if (m_header) DrawHeader(p);

  const QRect list = GetListRect();
  p.fillRect(list, palette().color(QPalette::Base));
  const auto& rows = Rows();
  const int last = std::min(static_cast<int>(rows.size()), m_topRow + GetVisibleRowCount() + 1);
  p.save();
  p.setClipRect(list.intersected(content));
  int y = list.top();
  for (int row = m_topRow; row < last; ++row) {
    const QRect rect = RowRect(row);
    DrawRow(p, rows[static_cast<size_t>(row)], rect);
    y = rect.bottom() + 1;
  }
  if (y <= list.bottom() && m_dotNetLook) {
    p.fillRect(QRect(list.left(), y, Gutter(), list.bottom() + 1 - y), GroupBackground());
  }
  p.restore();
  if (m_descriptionArea) DrawDescription(p);
}

// ---------------------------------------------------------------------------------------------------------------
// Input

void CMFCPropertyGridCtrl::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  AdjustLayout();
}

void CMFCPropertyGridCtrl::mousePressEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (event->button() != Qt::LeftButton) {
    QFrame::mousePressEvent(event);
    return;
  }
  if (m_pEdited) EndEditItem(true);
  if (m_header && GetHeaderRect().contains(point) && std::abs(point.x() - Divider()) <= 3) {
    m_drag = Drag::Divider;
    return;
  }
  if (m_descriptionArea) {
    const int top = GetDescriptionRect().top();
    if (point.y() >= top - kSplitterGap && point.y() < top) {
      m_drag = Drag::Description;
      return;
    }
  }
  ClickArea area = ClickNone;
  CMFCPropertyGridProperty* prop = HitTest(point, &area);
  if (!prop) return;
  if (!prop->IsGroup() && area == ClickValue && std::abs(point.x() - Divider()) <= 2) {
    m_drag = Drag::Divider;
    return;
  }
  SetCurSel(prop);
  switch (area) {
    case ClickExpandBox: ToggleExpand(prop); break;
    case ClickButton: ClickButtonOf(prop); break;
    case ClickValue:
      if (prop->IsAllowEdit()) EditItem(prop);
      break;
    default: break;
  }
}

void CMFCPropertyGridCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  ClickArea area = ClickNone;
  CMFCPropertyGridProperty* prop = HitTest(point, &area);
  if (!prop) return;
  if (prop->IsGroup()) {
    ToggleExpand(prop);
  } else if (area == ClickName && prop->IsAllowEdit()) {
    EditItem(prop);
  } else if (area == ClickButton) {
    ClickButtonOf(prop);
  }
}

void CMFCPropertyGridCtrl::mouseMoveEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (m_drag == Drag::Divider) {
    SetLeftColumnWidth(point.x() - GetListRect().left());
    return;
  }
  if (m_drag == Drag::Description) {
    const QRect content = contentsRect();
    m_descriptionHeight = std::max(QFontMetrics(font()).height() + 8, content.bottom() + 1 - point.y() - 1);
    AdjustLayout();
    return;
  }
  const bool overDivider = (GetListRect().contains(point) || GetHeaderRect().contains(point)) &&
                           std::abs(point.x() - Divider()) <= 2;
  const int top = GetDescriptionRect().top();
  const bool overSplitter = m_descriptionArea && point.y() >= top - kSplitterGap && point.y() < top;
  if (overDivider) {
    setCursor(Qt::SplitHCursor);
  } else if (overSplitter) {
    setCursor(Qt::SplitVCursor);
  } else {
    unsetCursor();
  }
}

void CMFCPropertyGridCtrl::mouseReleaseEvent(QMouseEvent* event) {
  m_drag = Drag::None;
  QFrame::mouseReleaseEvent(event);
}

void CMFCPropertyGridCtrl::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y() / 120;
  if (steps != 0) SetTopRow(m_topRow - steps * kWheelRows);
  event->accept();
}

void CMFCPropertyGridCtrl::keyPressEvent(QKeyEvent* event) {
  CMFCPropertyGridProperty* sel = m_pSel;
  if (event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier)) {
    if (sel) ClickButtonOf(sel);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Up: MoveSelection(-1); return;
    case Qt::Key_Down: MoveSelection(1); return;
    case Qt::Key_PageUp: MoveSelection(-GetVisibleRowCount()); return;
    case Qt::Key_PageDown: MoveSelection(GetVisibleRowCount()); return;
    case Qt::Key_Home: MoveSelection(-static_cast<int>(Rows().size())); return;
    case Qt::Key_End: MoveSelection(static_cast<int>(Rows().size())); return;
    case Qt::Key_Left:
    case Qt::Key_Minus:
      if (sel && sel->IsGroup() && sel->IsExpanded()) {
        sel->Expand(false);
      } else if (sel && sel->GetParent() && !m_alphabetic) {
        SetCurSel(sel->GetParent());
        EnsureVisible(sel->GetParent());
      }
      return;
    case Qt::Key_Right:
    case Qt::Key_Plus:
      if (sel && sel->IsGroup() && !sel->IsExpanded()) sel->Expand(true);
      return;
    case Qt::Key_F2:
      if (sel) EditItem(sel);
      return;
    case Qt::Key_F4:
      if (sel) ClickButtonOf(sel);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (sel && sel->IsGroup()) {
        ToggleExpand(sel);
        return;
      }
      if (sel && EditItem(sel)) return;
      break;
    default:
      if (sel && !sel->IsGroup() && sel->IsAllowEdit() && !event->text().isEmpty() && event->text().at(0).isPrint() &&
          !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        if (EditItem(sel)) {
          m_edit->setText(event->text());
          return;
        }
      }
      break;
  }
  QFrame::keyPressEvent(event);
}

void CMFCPropertyGridCtrl::focusInEvent(QFocusEvent* event) {
  QFrame::focusInEvent(event);
  update();
}

void CMFCPropertyGridCtrl::focusOutEvent(QFocusEvent* event) {
  QFrame::focusOutEvent(event);
  update();
}

bool CMFCPropertyGridCtrl::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_edit.data()) return QFrame::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: EndEditItem(true); return true;
        case Qt::Key_Escape: EndEditItem(false); return true;
        case Qt::Key_Up:
          if (EndEditItem(true)) MoveSelection(-1);
          return true;
        case Qt::Key_Down:
          if (EndEditItem(true)) MoveSelection(1);
          return true;
        default: break;
      }
      break;
    }
    case QEvent::ShortcutOverride: {
      // The editor keeps Return and Escape from the dialog's default and cancel buttons.
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Escape || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        event->accept();
        return true;
      }
      break;
    }
    case QEvent::FocusOut: {
      auto* focus = static_cast<QFocusEvent*>(event);
      if (focus->reason() != Qt::PopupFocusReason && !m_ending) EndEditItem(true);
      break;
    }
    default: break;
  }
  return QFrame::eventFilter(watched, event);
}

bool CMFCPropertyGridCtrl::event(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    const bool result = QFrame::event(event);
    m_descriptionHeight = 0;
    AdjustLayout();
    return result;
  }
  return QFrame::event(event);
}
