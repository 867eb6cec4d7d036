// The front end for task-style prompts: holds one configuration record, shows it through the platform's
// task dialog when the common controls offer one and through the emulation otherwise, routes the
// notifications to overridable handlers and hands back the button that closed the prompt.
//
// The required-field prompt of the setup, for example:
//
//   CXTaskDialogMFCClient dialog(nullptr);
//   dialog.ModifyFlags(0, TDF_USE_COMMAND_LINKS);        // custom buttons become command links
//   dialog.SetMainIcon(IDI_WARNING);                      // 11020, the warning triangle
//   dialog.SetWindowTitle(title);
//   dialog.SetMainInstruction(instruction, 0);
//   const TASKDIALOG_BUTTON buttons[] = {{541, firstLink.c_str()}, {542, secondLink.c_str()}};
//   dialog.SetButtons(buttons, 2, 0);                     // texts "caption\nnote"; they must outlive DoModal
//   dialog.SetDefaultButton(541);
//   dialog.DoModal();                                     // result code not needed
//   return dialog.GetSelectedButton() == 542 ? 2 : 1;     // 0 when no prompt could be shown
//
// Tests answer prompts without a window through CXTaskDialogAutoAnswer (XTaskDialogTesting.h), or drive
// the emulated window: while DoModal runs, QApplication::activeModalWidget() is the prompt, and
// SendTaskDialogMessage(prompt, TDM_CLICK_BUTTON, 542, 0) clicks a button (queue it with
// QTimer::singleShot before calling DoModal).
#pragma once

#include <QEvent>
#include <QPoint>
#include <string>
#include <string_view>

#include "taskdialog/XTaskDialogTypes.h"

// Help request a prompt sends its owner (the platform's WM_HELP with its help-information record).
constexpr int HELPINFO_WINDOW = 1;
constexpr UINT HELPINFO_SIZE = 28;
struct HELPINFO {
  UINT cbSize = HELPINFO_SIZE;
  int iContextType = HELPINFO_WINDOW;
  int iCtrlId = 0;
  HWND hItemHandle = nullptr;
  UINT_PTR dwContextId = 0;
  QPoint MousePos;
};

class CXTaskDialogHelpEvent : public QEvent {
 public:
  explicit CXTaskDialogHelpEvent(const HELPINFO& info) : QEvent(EventType()), m_info(info) {}
  static QEvent::Type EventType();
  const HELPINFO& Info() const { return m_info; }

 private:
  HELPINFO m_info;
};

// Help prompt context word of a window (the application's own when `window` is null).
DWORD GetHelpPromptContext(HWND window);
void SetHelpPromptContext(HWND window, DWORD context);

// How DoModalNative reaches the common-controls library. Replaceable for the whole process.
class ITaskDialogLibraryLoader {
 public:
  virtual ~ITaskDialogLibraryLoader() = default;
  virtual void* LoadLibrary(std::u16string_view name) = 0;            // null on failure
  virtual void* GetProcAddress(void* library, const char* name) = 0;  // null on failure
  virtual void FreeLibrary(void* library) = 0;
  virtual DWORD GetLastError() = 0;  // the error of the last failed call
};

// The system's loader: the dynamic linker.
ITaskDialogLibraryLoader* SystemTaskDialogLibraryLoader();
// Replaces the loader (null puts back the system's); returns the one replaced.
ITaskDialogLibraryLoader* SetTaskDialogLibraryLoader(ITaskDialogLibraryLoader* loader);
// The emulation's entry point: runs a CXTaskDialog created for the call.
HRESULT EmulatedTaskDialogIndirect(const TASKDIALOGCONFIG* pTaskConfig, int* pnButton, int* pnRadioButton,
                                   BOOL* pfVerificationFlagChecked);
// Replaces the emulation's entry point (null puts back EmulatedTaskDialogIndirect); returns the one replaced.
PFTASKDIALOGINDIRECT SetTaskDialogEmulation(PFTASKDIALOGINDIRECT engine);

class CXTaskDialogMFCClient {
 public:
  explicit CXTaskDialogMFCClient(HWND parent = nullptr);
  virtual ~CXTaskDialogMFCClient() = default;
  CXTaskDialogMFCClient(const CXTaskDialogMFCClient&) = delete;
  CXTaskDialogMFCClient& operator=(const CXTaskDialogMFCClient&) = delete;

  void SetWindowTitle(std::u16string_view title);
  void SetMainInstruction(std::u16string_view text, UINT helpPromptId = 0);
  void SetMainIcon(UINT iconId);
  void ModifyFlags(int remove, int add);
  // The buttons belong to the caller and must stay valid until DoModal returns.
  void SetButtons(const TASKDIALOG_BUTTON* buttons, UINT count, int defaultId = 0);
  void SetDefaultButton(int id);

  HRESULT DoModal();
  HRESULT DoModalNative();
  HRESULT DoModalEmulated();

  int GetSelectedButton() const { return m_nSelectedButton; }
  int GetSelectedRadioButton() const { return m_nSelectedRadioButton; }
  bool IsVerificationChecked() const { return m_bVerificationChecked != 0; }
  UINT GetHelpPromptId() const { return m_nHelpPromptId; }

  // The record, for the fields without a setter of their own.
  TASKDIALOGCONFIG& GetConfig() { return m_config; }
  const TASKDIALOGCONFIG& GetConfig() const { return m_config; }

  // The prompt's window from TDN_DIALOG_CONSTRUCTED to TDN_DESTROYED, else null.
  HWND GetSafeHwnd() const { return m_hWnd; }
  // A task dialog message (TDM_...) to the running prompt; 0 when there is none.
  LRESULT SendMessage(UINT message, WPARAM wParam, LPARAM lParam);

  static HRESULT NotificationRouter(HWND hwnd, UINT code, WPARAM wParam, LPARAM lParam, LONG_PTR refData);

 protected:
  virtual void OnDialogConstructed() {}
  virtual void OnCreated() {}
  virtual int OnButtonClicked(int /*buttonId*/) { return 0; }
  virtual void OnRadioButtonClicked(int /*buttonId*/) {}
  virtual void OnHyperlinkClicked(const std::u16string& /*target*/) {}
  virtual void OnExpandoButtonClicked(bool /*expanded*/) {}
  virtual void OnVerificationClicked(bool /*checked*/) {}
  virtual void OnHelp();
  virtual int OnTimer(DWORD /*milliseconds*/) { return 0; }
  virtual void OnNavigated() {}
  virtual void OnDestroyed() {}

 private:
  HRESULT RunModal(PFTASKDIALOGINDIRECT engine);

  TASKDIALOGCONFIG m_config;
  std::u16string m_strWindowTitle;
  std::u16string m_strMainInstruction;
  UINT m_nHelpPromptId = 0;
  int m_nSelectedButton = 0;
  int m_nSelectedRadioButton = 0;
  BOOL m_bVerificationChecked = 0;
  HWND m_hWnd = nullptr;
};
