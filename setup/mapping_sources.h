// Where the sources a column can be mapped to come from, and how they are offered in the mapping menu.
#pragma once

#include <string_view>

#include "ecm/mapping_model.h"
#include "platform/ui/menu.h"

// Command identifiers of the mapping menu's submenus. An index field at host position i (from 1) gets
// kIndexFieldCommandBase + i, a value name at list position i (from 0) kValueCommandFirst + i. The ranges
// do not overlap, so the menu offers at most 255 index fields and 256 value names.
constexpr UINT kValueCommandFirst = 28160;
constexpr UINT kValueCommandLast = 28415;
constexpr UINT kIndexFieldCommandBase = 28416;
constexpr UINT kIndexFieldCommandLast = 28671;
constexpr int kMaxIndexFieldItems = static_cast<int>(kIndexFieldCommandLast - kIndexFieldCommandBase);  // 255
constexpr int kMaxValueItems = static_cast<int>(kValueCommandLast - kValueCommandFirst + 1);             // 256

inline bool IsValueCommand(UINT id) { return id >= kValueCommandFirst && id <= kValueCommandLast; }
inline bool IsIndexFieldCommand(UINT id) { return id > kIndexFieldCommandBase && id <= kIndexFieldCommandLast; }

// Appends "Document Index Fields" with the host's index fields, read now, even when there are none.
// The field named `currentSource` carries a check mark.
void AppendIndexFieldMenu(CMenu& menu, CMappingModel* model, std::u16string_view currentSource);
// Appends "Kofax Capture Values" with the model's value names, unless there are none.
void AppendValueMenu(CMenu& menu, CMappingModel* model);
