// A modal property sheet with the list look: the page titles stand in a list on the left, the current page
// to its right, OK, Cancel and (unless PSH_NOAPPLYNOW) Apply below.
#pragma once

#include <QDialog>
#include <QPointer>
#include <string>
#include <vector>

#include "platform/ui/property_page.h"

class QListWidget;
class QPushButton;

constexpr DWORD PSH_NOAPPLYNOW = 0x00000080;

// Buttons for PressButton.
constexpr int PSBTN_OK = 1;
constexpr int PSBTN_CANCEL = 2;
constexpr int PSBTN_APPLYNOW = 3;

struct PROPSHEETHEADER {
  DWORD dwFlags = 0;
  UINT nStartPage = 0;
};

class CMFCPropertySheet : public QDialog {
 public:
  enum PropSheetLook { PropSheetLook_List };

  // Without a parent the application's active window, if any, owns the sheet.
  explicit CMFCPropertySheet(std::u16string_view caption, QWidget* parentWnd = nullptr, UINT selectPage = 0);
  ~CMFCPropertySheet() override;

  void SetLook(PropSheetLook look, int navControlWidth = 100);
  int GetNavControlWidth() const { return m_navWidth; }
  std::u16string GetCaption() const { return m_caption; }

  // Pages are not owned; a page destroyed before the sheet leaves it.
  void AddPage(CMFCPropertyPage* page);
  int GetPageCount() const { return static_cast<int>(m_pages.size()); }
  CMFCPropertyPage* GetPage(int index) const;
  int GetPageIndex(const CMFCPropertyPage* page) const;
  int GetActiveIndex() const { return m_active; }
  CMFCPropertyPage* GetActivePage() const { return GetPage(m_active); }
  // Makes another page current, leaving the current one first. False when the current page refuses to be
  // left or the index is not a page.
  bool SetActivePage(int index);
  bool SetActivePage(CMFCPropertyPage* page) { return SetActivePage(GetPageIndex(page)); }

  // Presses OK, Cancel or Apply as the user would.
  bool PressButton(int button);

  // Shows the sheet modally: IDOK or IDCANCEL.
  int DoModal();

  QListWidget* GetNavigationList() const { return m_nav; }
  QPushButton* GetOkButton() const { return m_ok; }
  QPushButton* GetCancelButton() const { return m_cancel; }
  QPushButton* GetApplyButton() const { return m_apply; }
  // The area the pages are shown in.
  QWidget* GetPageArea() const { return m_pageArea; }

  PROPSHEETHEADER m_psh;

 protected:
  void reject() override;

 private:
  friend class CMFCPropertyPage;

  void ForgetPage(CMFCPropertyPage* page);
  void PageModified(CMFCPropertyPage* page, bool changed);
  void LayoutSheet();
  void OnNavigate(int row);
  bool OnOkPressed();
  bool OnApplyPressed();
  bool ApplyAll();
  void SelectNavRow(int row);

  std::u16string m_caption;
  std::vector<QPointer<CMFCPropertyPage>> m_pages;
  std::vector<CMFCPropertyPage*> m_modified;
  int m_active = -1;
  int m_navWidth = 100;
  QListWidget* m_nav = nullptr;
  QWidget* m_pageArea = nullptr;
  QPushButton* m_ok = nullptr;
  QPushButton* m_cancel = nullptr;
  QPushButton* m_apply = nullptr;
};
