#include "resources/qorvena_resources.h"

namespace {

constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kStatic = WS_CHILD | WS_VISIBLE;
constexpr DWORD kHiddenStatic = WS_CHILD;

ResourceModule Build() {
  ResourceModule m;
  m.name = u"qorvena";
  m.strings = {
      {11003, u"Vantrel Export Connector for InforLX Setup"},
      {11005, u"OK"},
      {11006, u"&Yes"},
      {11007, u"&No"},
      {11008, u"&Retry"},
      {11009, u"Cancel"},
      {11010, u"&Close"},
      {11011, u"Required field not Mapped"},
      {11012, u"One or more fields that are marked as 'Required' have not been mapped. What would you like to do?"},
      {11013, u"Map Required Fields\nReturn to the dialog and map the required fields, beginning with '%1'."},
      {11014, u"Ignore Requirement\nDo not map the Required fields and close this dialog immediately."},
  };
  m.dialogs[IDD_SETUP_GENERAL] = DialogTemplate{
      u"General",
      350,
      242,
      u"MS Shell Dlg",
      8,
      {
          {11002, u"Edit", u"", 131, 39, 152, 13, kEdit},
          {11017, u"Edit", u"", 131, 71, 152, 13, kEdit},
          {11024, u"Edit", u"", 131, 87, 55, 13, kEdit},
          {11025, u"Edit", u"", 131, 103, 55, 13, kEdit | ES_PASSWORD},
          {11028, u"Edit", u"", 131, 119, 55, 13, kEdit},
          {11056, u"Static", u"Batch Class:", 77, 7, 40, 8, kStatic},
          {11003, u"Static", u"batch class", 131, 7, 150, 8, kStatic},
          {11004, u"Static", u"Document Class:", 63, 23, 54, 8, kStatic},
          {11005, u"Static", u"document class", 131, 23, 50, 8, kStatic},
          {11006, u"Static", u"Export Connector Instance Name:", 7, 40, 110, 8, kStatic},
          {11016, u"Static", u"Server Name:", 72, 72, 45, 8, kStatic},
          {11026, u"Static", u"Username:", 81, 88, 36, 8, kStatic},
          {11027, u"Static", u"Password:", 83, 104, 34, 8, kStatic},
          {IDC_STATIC, u"Button", u"InforLX Server Details", 33, 58, 260, 80, kStatic | BS_GROUPBOX},
          {11029, u"Static", u"API Library:", 78, 120, 39, 8, kStatic},
          {11059, u"Static", u"Version:", 90, 173, 27, 8, kHiddenStatic},
          {11060, u"Static", u"1.0.0.0", 131, 173, 89, 8, kHiddenStatic},
      }};
  m.dialogs[IDD_SETUP_MAPPING] = DialogTemplate{
      u"Data Mapping",
      350,
      242,
      u"MS Shell Dlg",
      8,
      {
          {11055, u"Static", u"", 2, 2, 346, 225, kStatic | SS_BLACKFRAME},
          {11058, u"Button", u"Display Field Names", 2, 231, 79, 10, kStatic | BS_AUTOCHECKBOX | WS_TABSTOP},
      }};
  m.menus[IDR_MAPPING_MENU] = {
      MenuTemplateItem{0, u"Mapping", {{ID_MAPPING_TEXT_CONSTANT, u"Text Constant", {}}, {ID_MAPPING_NONE, u"No Mapping", {}}}},
  };
  AddQorvenaIcons(m);
  return m;
}

}  // namespace

const ResourceModule* QorvenaResources() {
  static const ResourceModule module = Build();
  return &module;
}
