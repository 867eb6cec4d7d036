// The General page: the batch and document class being set up, the instance name, the IBM i server,
// the credentials and the library of the ECM tables.
#pragma once

#include <functional>
#include <string>

#include "ecm/mapping_model.h"
#include "platform/ui/property_page.h"

class CPropertyPageSetupGeneral : public CMFCPropertyPage {
 public:
  // Reads the product version shown under "Version:"; false when there is none.
  using VersionReader = std::function<bool(std::u16string& text)>;

  CPropertyPageSetupGeneral();

  void SetModel(CMappingModel* model) { m_pModel = model; }
  CMappingModel* GetModel() const { return m_pModel; }
  // By default the version resource of the module that holds this page.
  void SetVersionReader(VersionReader reader) { m_versionReader = std::move(reader); }

  // Sets m_strVersion from the version reader; false (leaving "1.0.0") when it cannot be read.
  bool ReadVersionText();

  void DoDataExchange(CDataExchange* dx) override;
  bool OnInitDialog() override;
  void OnOK() override;

  std::u16string m_strBatchClass;
  std::u16string m_strDocClass;
  std::u16string m_strInstanceName;
  std::u16string m_strServerName;
  std::u16string m_strUserName;
  std::u16string m_strPassword;
  std::u16string m_strApiLibrary;
  std::u16string m_strVersion;

 private:
  CMappingModel* m_pModel = nullptr;
  VersionReader m_versionReader;
};

// The product version of the module that holds the setup.
bool ReadOwnProductVersion(std::u16string& text);
