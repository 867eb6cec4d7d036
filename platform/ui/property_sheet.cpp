#include "platform/ui/property_sheet.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>

namespace {
// Spacing of the platform's property sheets, in dialog units.
constexpr int kMarginDu = 7;
constexpr int kButtonWidthDu = 50;
constexpr int kButtonHeightDu = 14;
constexpr int kButtonGapDu = 4;
}  // namespace

CMFCPropertySheet::CMFCPropertySheet(std::u16string_view caption, QWidget* parentWnd, UINT selectPage)
    : QDialog(parentWnd ? parentWnd : QApplication::activeWindow()), m_caption(caption) {
  m_psh.nStartPage = selectPage;
  setWindowTitle(QStringFromUtf16(caption));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);

  m_nav = new QListWidget(this);
  m_nav->setSelectionMode(QAbstractItemView::SingleSelection);
  m_nav->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_nav->setFocusPolicy(Qt::StrongFocus);
  m_pageArea = new QWidget(this);
  m_ok = new QPushButton(QStringLiteral("OK"), this);
  m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
  m_apply = new QPushButton(QStringLiteral("&Apply"), this);
  m_apply->setEnabled(false);
  m_ok->setDefault(true);
  m_ok->setAutoDefault(true);
  m_cancel->setAutoDefault(false);
  m_apply->setAutoDefault(false);

  QObject::connect(m_nav, &QListWidget::currentRowChanged, this, [this](int row) { OnNavigate(row); });
  QObject::connect(m_ok, &QPushButton::clicked, this, [this] { OnOkPressed(); });
  QObject::connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
  QObject::connect(m_apply, &QPushButton::clicked, this, [this] { OnApplyPressed(); });
}

CMFCPropertySheet::~CMFCPropertySheet() {
  // The pages belong to whoever made them: take them out before the dialog deletes its children.
  for (const QPointer<CMFCPropertyPage>& page : m_pages) {
    if (!page) continue;
    page->m_pSheet = nullptr;
    page->hide();
    page->setParent(nullptr);
  }
}

void CMFCPropertySheet::SetLook(PropSheetLook, int navControlWidth) { m_navWidth = std::max(0, navControlWidth); }

void CMFCPropertySheet::AddPage(CMFCPropertyPage* page) {
  if (!page || GetPageIndex(page) >= 0) return;
  page->m_pSheet = this;
  m_pages.emplace_back(page);
  auto* item = new QListWidgetItem(QStringFromUtf16(page->GetCaption()), m_nav);
  item->setSizeHint(QSize(0, page->GetBaseUnits().cy + 5));
}

CMFCPropertyPage* CMFCPropertySheet::GetPage(int index) const {
  if (index < 0 || index >= GetPageCount()) return nullptr;
  return m_pages[static_cast<size_t>(index)].data();
}

int CMFCPropertySheet::GetPageIndex(const CMFCPropertyPage* page) const {
  for (size_t i = 0; i < m_pages.size(); ++i) {
    if (page && m_pages[i].data() == page) return static_cast<int>(i);
  }
  return -1;
}

void CMFCPropertySheet::ForgetPage(CMFCPropertyPage* page) {
  std::erase(m_modified, page);
  const int index = GetPageIndex(page);
  if (index < 0) return;
  m_pages[static_cast<size_t>(index)] = nullptr;
  if (m_active == index) m_active = -1;
}

void CMFCPropertySheet::PageModified(CMFCPropertyPage* page, bool changed) {
  std::erase(m_modified, page);
  if (changed) m_modified.push_back(page);
  m_apply->setEnabled(!m_modified.empty());
}

void CMFCPropertySheet::SelectNavRow(int row) {
  const bool blocked = m_nav->blockSignals(true);
  m_nav->setCurrentRow(row);
  m_nav->blockSignals(blocked);
}

bool CMFCPropertySheet::SetActivePage(int index) {
  CMFCPropertyPage* next = GetPage(index);
  if (!next) return false;
  if (index == m_active) return true;
  CMFCPropertyPage* current = GetActivePage();
  if (current && !current->OnKillActive()) {
    SelectNavRow(m_active);
    return false;
  }
  if (!next->IsCreated() && !next->Create(m_pageArea)) {
    SelectNavRow(m_active);
    return false;
  }
  next->move(0, 0);
  if (!next->OnSetActive()) {
    // The page does not want to be shown: stay where we were.
    SelectNavRow(m_active);
    if (current) current->OnSetActive();
    return false;
  }
  m_active = index;
  next->show();
  if (current) current->hide();
  SelectNavRow(index);
  return true;
}

void CMFCPropertySheet::OnNavigate(int row) {
  if (row < 0 || row == m_active) return;
  SetActivePage(row);
}

bool CMFCPropertySheet::ApplyAll() {
  for (int i = 0; i < GetPageCount(); ++i) {
    CMFCPropertyPage* page = GetPage(i);
    if (!page || !page->IsCreated()) continue;
    if (!page->OnApply()) {
      SetActivePage(i);
      return false;
    }
  }
  m_modified.clear();
  m_apply->setEnabled(false);
  return true;
}

bool CMFCPropertySheet::OnOkPressed() {
  // Only the current page is asked whether it may be left; the others were left already.
  if (CMFCPropertyPage* current = GetActivePage(); current && !current->OnKillActive()) return false;
  if (!ApplyAll()) return false;
  done(IDOK);
  return true;
}

bool CMFCPropertySheet::OnApplyPressed() {
  if (CMFCPropertyPage* current = GetActivePage(); current && !current->OnKillActive()) return false;
  return ApplyAll();
}

void CMFCPropertySheet::reject() {
  if (CMFCPropertyPage* current = GetActivePage(); current && !current->OnQueryCancel()) return;
  for (int i = 0; i < GetPageCount(); ++i) {
    if (CMFCPropertyPage* page = GetPage(i); page && page->IsCreated()) page->OnCancel();
  }
  done(IDCANCEL);
}

bool CMFCPropertySheet::PressButton(int button) {
  switch (button) {
    case PSBTN_OK: return OnOkPressed();
    case PSBTN_CANCEL: reject(); return result() == IDCANCEL;
    case PSBTN_APPLYNOW: return OnApplyPressed();
    default: return false;
  }
}

void CMFCPropertySheet::LayoutSheet() {
  QSize pageSize;
  QFont font = DialogFont(u"MS Shell Dlg", 8);
  for (int i = 0; i < GetPageCount(); ++i) {
    CMFCPropertyPage* page = GetPage(i);
    if (!page) continue;
    if (i == 0) font = page->GetDialogFont();
    pageSize = pageSize.expandedTo(page->GetTemplateSize());
  }
  setFont(font);
  const DialogBaseUnits units = GetDialogBaseUnits(font);
  const int mx = MapDialogX(kMarginDu, units);
  const int my = MapDialogY(kMarginDu, units);
  const int bw = MapDialogX(kButtonWidthDu, units);
  const int bh = MapDialogY(kButtonHeightDu, units);
  const int gap = MapDialogX(kButtonGapDu, units);

  m_nav->setGeometry(mx, my, m_navWidth, pageSize.height());
  m_nav->setVisible(m_navWidth > 0);
  const int pageX = m_navWidth > 0 ? mx + m_navWidth + mx : mx;
  m_pageArea->setGeometry(pageX, my, pageSize.width(), pageSize.height());
  const int width = pageX + pageSize.width() + mx;
  const int height = my + pageSize.height() + my + bh + my;

  const bool showApply = !(m_psh.dwFlags & PSH_NOAPPLYNOW);
  m_apply->setVisible(showApply);
  int x = width - mx;
  const int y = height - my - bh;
  if (showApply) {
    x -= bw;
    m_apply->setGeometry(x, y, bw, bh);
    x -= gap;
  }
  x -= bw;
  m_cancel->setGeometry(x, y, bw, bh);
  x -= gap + bw;
  m_ok->setGeometry(x, y, bw, bh);
  setFixedSize(width, height);
}

int CMFCPropertySheet::DoModal() {
  LayoutSheet();
  setResult(IDCANCEL);
  int start = static_cast<int>(m_psh.nStartPage);
  if (!GetPage(start)) start = 0;
  if (!SetActivePage(start)) {
    // No page can be shown: there is nothing to accept.
    if (GetActivePage() == nullptr) return IDCANCEL;
  }
  // The sheet opens with the first control of its page focused, not the page list.
  if (CMFCPropertyPage* page = GetActivePage()) {
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
      if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(page) && w->isEnabled()) {
        w->setFocus(Qt::TabFocusReason);
        break;
      }
    }
  }
  const int code = exec();
  return code == IDOK ? IDOK : IDCANCEL;
}
