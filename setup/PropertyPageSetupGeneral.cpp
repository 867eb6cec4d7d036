#include "setup/PropertyPageSetupGeneral.h"

#include <QLabel>
#include <algorithm>

#include "ecm/settings.h"
#include "resources/qorvena_resources.h"
#include "setup/module_version.h"

namespace {
// A host property read into a member; a failed read leaves the member empty.
template <class Getter>
void ReadHostText(IReleaseSetupData* data, Getter getter, std::u16string& member) {
  CComBSTR text;
  member = (data->*getter)(&text) == S_OK ? text.Str() : std::u16string();
}
}  // namespace

bool ReadOwnProductVersion(std::u16string& text) { return ReadProductVersion(GetOwnModulePath(), text); }

CPropertyPageSetupGeneral::CPropertyPageSetupGeneral()
    : CMFCPropertyPage(IDD_SETUP_GENERAL), m_versionReader(&ReadOwnProductVersion) {}

void CPropertyPageSetupGeneral::DoDataExchange(CDataExchange* dx) {
  CMFCPropertyPage::DoDataExchange(dx);
  DDX_Text(dx, IDC_BATCH_CLASS, m_strBatchClass);
  DDX_Text(dx, IDC_DOCUMENT_CLASS, m_strDocClass);
  DDX_Text(dx, IDC_INSTANCE_NAME, m_strInstanceName);
  DDX_Text(dx, IDC_SERVER_NAME, m_strServerName);
  DDX_Text(dx, IDC_USER_NAME, m_strUserName);
  DDX_Text(dx, IDC_PASSWORD, m_strPassword);
  DDX_Text(dx, IDC_API_LIBRARY, m_strApiLibrary);
  DDX_Text(dx, IDC_VERSION, m_strVersion);
}

bool CPropertyPageSetupGeneral::ReadVersionText() {
  m_strVersion = u"1.0.0";
  std::u16string text;
  if (!m_versionReader || !m_versionReader(text)) return false;
  m_strVersion = text;
  return true;
}

bool CPropertyPageSetupGeneral::OnInitDialog() {
  CMFCPropertyPage::OnInitDialog();

  // The document class name gets the width of the batch class line: in its narrow box a longer name
  // would wrap out of sight.
  QWidget* batchClass = GetDlgItem(IDC_BATCH_CLASS);
  if (QWidget* docClass = GetDlgItem(IDC_DOCUMENT_CLASS); docClass && batchClass) {
    docClass->resize(std::max(docClass->width(), batchClass->width()), docClass->height());
  }

  if (ReadVersionText()) {
    if (QWidget* label = GetDlgItem(IDC_VERSION_LABEL)) label->show();
    if (auto* version = GetDlgItemAs<QLabel>(IDC_VERSION)) {
      // Shown with its text even when there is no host data to transfer below.
      version->setText(QStringFromUtf16(m_strVersion));
      version->show();
    }
  }

  IReleaseSetupData* data = m_pModel ? m_pModel->SetupData() : nullptr;
  if (data) {
    ReadHostText(data, &IReleaseSetupData::get_BatchClassName, m_strBatchClass);
    ReadHostText(data, &IReleaseSetupData::get_DocClassName, m_strDocClass);
    ReadHostText(data, &IReleaseSetupData::get_Name, m_strInstanceName);
    ReadHostText(data, &IReleaseSetupData::get_ConnectString, m_strServerName);
    ReadHostText(data, &IReleaseSetupData::get_UserName, m_strUserName);
    ReadHostText(data, &IReleaseSetupData::get_Password, m_strPassword);
    GetCustomProperty(data, kLibraryProperty, u"", m_strApiLibrary);
    UpdateData(false);
  }
  return true;
}

void CPropertyPageSetupGeneral::OnOK() {
  IReleaseSetupData* data = m_pModel ? m_pModel->SetupData() : nullptr;
  if (data && UpdateData(true)) {
    data->put_Name(CComBSTR(m_strInstanceName));
    data->put_ConnectString(CComBSTR(m_strServerName));
    data->put_UserName(CComBSTR(m_strUserName));
    data->put_Password(CComBSTR(m_strPassword));
    SetCustomProperty(data, kLibraryProperty, m_strApiLibrary);
  }
  CMFCPropertyPage::OnOK();
}
