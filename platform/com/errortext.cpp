#include "platform/com/errortext.h"

#include <cstdint>

namespace {
struct Entry {
  std::uint32_t hr;
  const char16_t* text;
};

// Texts as the English system table words them.
constexpr Entry kTexts[] = {
    {0x00000000u, u"The operation completed successfully.\r\n"},
    {0x00000001u, u"Incorrect function.\r\n"},
    {0x80004001u, u"Not implemented\r\n"},
    {0x80004002u, u"No such interface supported\r\n"},
    {0x80004003u, u"Invalid pointer\r\n"},
    {0x80004004u, u"Operation aborted\r\n"},
    {0x80004005u, u"Unspecified error\r\n"},
    {0x8000FFFFu, u"Catastrophic failure\r\n"},
    {0x8000000Bu, u"The operation attempted to access data outside the valid range\r\n"},
    {0x80070002u, u"The system cannot find the file specified.\r\n"},
    {0x80070003u, u"The system cannot find the path specified.\r\n"},
    {0x80070005u, u"Access is denied.\r\n"},
    {0x80070006u, u"The handle is invalid.\r\n"},
    {0x8007000Du, u"The data is invalid.\r\n"},
    {0x8007000Eu, u"Not enough storage is available to complete this operation.\r\n"},
    {0x8007000Bu, u"An attempt was made to load a program with an incorrect format.\r\n"},
    {0x80070057u, u"The parameter is incorrect.\r\n"},
    {0x80070070u, u"There is not enough space on the disk.\r\n"},
    {0x8007007Au, u"The data area passed to a system call is too small.\r\n"},
    {0x800700A7u, u"Unable to lock a region of a file.\r\n"},
    {0x800703F1u, u"The configuration registry database is corrupt.\r\n"},
    {0x800703F8u,
     u"An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or write "
     u"out, or flush, one of the files that contain the system's image of the registry.\r\n"},
    {0x800703FAu, u"Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {0x8007045Au, u"A dynamic link library (DLL) initialization routine failed.\r\n"},
    {0x8007007Eu, u"The specified module could not be found.\r\n"},
    {0x8007007Fu, u"The specified procedure could not be found.\r\n"},
    {0x80070714u, u"The specified image file did not contain a resource section.\r\n"},
    {0x80070715u, u"The specified resource type cannot be found in the image file.\r\n"},
    {0x80070716u, u"The specified resource name cannot be found in the image file.\r\n"},
    {0x80040110u, u"Class does not support aggregation (or class object is remote)\r\n"},
    {0x80040111u, u"ClassFactory cannot supply requested class\r\n"},
    {0x80040150u, u"Could not read key from registry\r\n"},
    {0x80040151u, u"Could not write key to registry\r\n"},
    {0x80040152u, u"Could not find the key in the registry\r\n"},
    {0x80040154u, u"Class not registered\r\n"},
    {0x80040155u, u"Interface not registered\r\n"},
    {0x800401F0u, u"CoInitialize has not been called.\r\n"},
    {0x800401F3u, u"Invalid class string\r\n"},
    {0x800401F8u, u"DLL for class not found\r\n"},
    {0x800401F9u, u"Error in the DLL\r\n"},
    {0x80010106u, u"Cannot change thread mode after it is set.\r\n"},
    {0x80020001u, u"Unknown interface.\r\n"},
    {0x80020003u, u"Member not found.\r\n"},
    {0x80020004u, u"Parameter not found.\r\n"},
    {0x80020005u, u"Type mismatch.\r\n"},
    {0x80020006u, u"Unknown name.\r\n"},
    {0x80020007u, u"No named arguments.\r\n"},
    {0x80020008u, u"Bad variable type.\r\n"},
    {0x80020009u, u"Exception occurred.\r\n"},
    {0x8002000Au, u"Out of present range.\r\n"},
    {0x8002000Bu, u"Invalid index.\r\n"},
    {0x8002000Eu, u"Invalid number of parameters.\r\n"},
    {0x8002000Fu, u"Parameter not optional.\r\n"},
    {0x8002801Cu, u"Error accessing the OLE registry.\r\n"},
    {0x8002801Du, u"Library not registered.\r\n"},
    {0x8002802Bu, u"Element not found.\r\n"},
    {0x80029C4Au, u"Error loading type library/DLL.\r\n"},
};
}  // namespace

bool SystemMessageText(HRESULT hr, std::u16string* text) {
  for (const auto& e : kTexts) {
    if (e.hr == static_cast<std::uint32_t>(hr)) {
      if (text) *text = e.text;
      return true;
    }
  }
  return false;
}
