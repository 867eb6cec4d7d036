#include "setup/required_check.h"

#include <vector>

#include "platform/com/message_format.h"
#include "platform/ui/resources.h"
#include "resources/qorvena_resources.h"
#include "setup/PropertyPageSetupMapping.h"
#include "taskdialog/XTaskDialogMFCClient.h"

namespace {
constexpr int kMapRequiredFields = 541;
constexpr int kIgnoreRequirement = 542;
}  // namespace

std::u16string LoadResourceText(UINT id) { return LoadStringOrMissing(nullptr, id); }

std::u16string FormatResourceText(UINT id, std::initializer_list<std::u16string_view> arguments) {
  std::u16string format;
  if (!LoadStringResource(nullptr, id, &format)) return u"???";
  std::vector<std::u16string> args(arguments.begin(), arguments.end());
  std::u16string text;
  // A resource whose inserts do not match its arguments shows as missing rather than taking the setup down.
  if (!FormatMessageFromString(format, args, &text)) return u"???";
  return text;
}

int AskRequired(const std::u16string& title, const std::u16string& instruction, const std::u16string& firstLink,
                const std::u16string& secondLink) {
  CXTaskDialogMFCClient dialog(nullptr);
  dialog.ModifyFlags(0, TDF_USE_COMMAND_LINKS);
  dialog.SetMainIcon(IDI_WARNING);
  dialog.SetWindowTitle(title.c_str());
  dialog.SetMainInstruction(instruction.c_str(), 0);
  const TASKDIALOG_BUTTON buttons[] = {{kMapRequiredFields, firstLink.c_str()},
                                       {kIgnoreRequirement, secondLink.c_str()}};
  dialog.SetButtons(buttons, 2, 0);
  dialog.SetDefaultButton(kMapRequiredFields);
  dialog.DoModal();
  return dialog.GetSelectedButton() == kIgnoreRequirement ? 2 : 1;
}

bool CheckRequiredFields(CPropertyPageSetupMapping& page) {
  CMappedProperty* row = page.FindFirstUnsatisfiedRow();
  if (!row) return true;
  const std::u16string title = LoadResourceText(IDS_REQUIRED_TITLE);
  const std::u16string instruction = FormatResourceText(IDS_REQUIRED_INSTRUCTION, {});
  const std::u16string firstLink = FormatResourceText(IDS_REQUIRED_MAP, {row->GetName()});
  const std::u16string secondLink = LoadResourceText(IDS_REQUIRED_IGNORE);
  if (AskRequired(title, instruction, firstLink, secondLink) == 2) return true;
  page.ShowRow(row);
  return false;
}
