// The system's message texts for HRESULTs (FormatMessage from the system table). Like the system's own,
// every text ends in "\r\n".
#pragma once

#include <string>

#include "platform/com/comtypes.h"

// True and the text when the system has one for this HRESULT.
bool SystemMessageText(HRESULT hr, std::u16string* text);
