// The connector's own resources: string table, dialog layouts, menu and icons.
#pragma once

#include "platform/ui/resources.h"

// Resource identifiers.
constexpr UINT IDS_SHEET_CAPTION = 11003;
constexpr UINT IDS_BUTTON_OK = 11005;  // 11005..11010: the task dialog's common buttons
constexpr UINT IDS_REQUIRED_TITLE = 11011;
constexpr UINT IDS_REQUIRED_INSTRUCTION = 11012;
constexpr UINT IDS_REQUIRED_MAP = 11013;
constexpr UINT IDS_REQUIRED_IGNORE = 11014;

constexpr UINT IDD_SETUP_GENERAL = 11003;
constexpr UINT IDD_SETUP_MAPPING = 11013;
constexpr UINT IDR_MAPPING_MENU = 11012;

constexpr UINT IDI_WARNING = 11020;
constexpr UINT IDI_ARROW = 11021;
constexpr UINT IDI_ARROW_HOT = 11022;
constexpr UINT IDI_ERROR = 11023;
constexpr UINT IDI_INFORMATION = 11024;
constexpr UINT IDI_SHIELD = 11025;

// Controls of the General page.
constexpr UINT IDC_INSTANCE_NAME = 11002;
constexpr UINT IDC_BATCH_CLASS = 11003;
constexpr UINT IDC_DOCUMENT_CLASS = 11005;
constexpr UINT IDC_SERVER_NAME = 11017;
constexpr UINT IDC_USER_NAME = 11024;
constexpr UINT IDC_PASSWORD = 11025;
constexpr UINT IDC_API_LIBRARY = 11028;
constexpr UINT IDC_VERSION_LABEL = 11059;
constexpr UINT IDC_VERSION = 11060;
// Controls of the Data Mapping page.
constexpr UINT IDC_GRID_FRAME = 11055;
constexpr UINT IDC_DISPLAY_FIELD_NAMES = 11058;
// Commands of the mapping menu.
constexpr UINT ID_MAPPING_TEXT_CONSTANT = 32777;
constexpr UINT ID_MAPPING_NONE = 32779;

const ResourceModule* QorvenaResources();

// Fills the icon entries (defined beside the icon pictures).
void AddQorvenaIcons(ResourceModule& module);
