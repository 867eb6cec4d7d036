// The check that runs whenever the Data Mapping page is about to be left: the first required column that is not
// mapped raises a prompt, and the administrator either goes back to map it or ignores the requirement.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/com/comtypes.h"

class CPropertyPageSetupMapping;

// True lets the page be left; false keeps it current (and the sheet open when OK was pressed).
bool CheckRequiredFields(CPropertyPageSetupMapping& page);

// String resource `id` of the current module, or "???".
std::u16string LoadResourceText(UINT id);
// The same, with its inserts %1, %2, ... replaced by the arguments; "???" when it cannot be loaded or formatted.
std::u16string FormatResourceText(UINT id, std::initializer_list<std::u16string_view> arguments);

// Shows the required-field prompt: 2 when the second command link was chosen, 1 otherwise (the first link, or a
// prompt that could not be shown).
int AskRequired(const std::u16string& title, const std::u16string& instruction, const std::u16string& firstLink,
                const std::u16string& secondLink);
