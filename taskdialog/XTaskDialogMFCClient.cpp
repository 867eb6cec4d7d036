#include "taskdialog/XTaskDialogMFCClient.h"

#include <QApplication>
#include <QCursor>
#include <QMainWindow>
#include <QPointer>
#include <QVariant>
#include <QWidget>
#include <dlfcn.h>
#include <vector>

#include "platform/com/utf.h"
#include "taskdialog/XTaskDialog.h"

namespace {

constexpr const char* kHelpContextProperty = "helpPromptContext";
constexpr DWORD kHelpPromptBase = 0x30000;  // the framework's base for help prompt ids
DWORD g_appHelpPromptContext = 0;

class DynamicLinkerLoader final : public ITaskDialogLibraryLoader {
 public:
  void* LoadLibrary(std::u16string_view name) override {
    const std::string path = Utf16ToUtf8(name);
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    t_lastError = library ? 0 : ERROR_MOD_NOT_FOUND;
    return library;
  }
  void* GetProcAddress(void* library, const char* name) override {
    void* proc = library ? dlsym(library, name) : nullptr;
    t_lastError = proc ? 0 : ERROR_PROC_NOT_FOUND;
    return proc;
  }
  void FreeLibrary(void* library) override {
    if (library) dlclose(library);
  }
  DWORD GetLastError() override { return t_lastError; }

 private:
  static thread_local DWORD t_lastError;
};
thread_local DWORD DynamicLinkerLoader::t_lastError = 0;

ITaskDialogLibraryLoader* g_loader = nullptr;
PFTASKDIALOGINDIRECT g_emulation = nullptr;

ITaskDialogLibraryLoader* CurrentLoader() { return g_loader ? g_loader : SystemTaskDialogLibraryLoader(); }

// The application's modeless windows (Qt's tool windows) are disabled while a prompt runs.
class ModelessWindows {
 public:
  static void Enable(bool enable) {
    static std::vector<QPointer<QWidget>> disabled;
    static int depth = 0;
    if (!enable) {
      if (depth++ > 0 || !qobject_cast<QApplication*>(QCoreApplication::instance())) return;
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->isEnabled() && !w->isModal() && w->windowType() == Qt::Tool) {
          w->setEnabled(false);
          disabled.emplace_back(w);
        }
      }
    } else {
      if (depth == 0 || --depth > 0) return;
      for (const QPointer<QWidget>& w : disabled)
        if (w) w->setEnabled(true);
      disabled.clear();
    }
  }
};

bool IsOwnedBy(QWidget* window, QWidget* owner) {
  for (QWidget* w = window; w; w = w->parentWidget())
    if (w == owner) return true;
  return false;
}

// The framework's safe-owner rule. `top` receives the outermost window that was disabled for the prompt.
HWND GetSafeOwner(HWND parent, QWidget** top) {
  *top = nullptr;
  const bool app = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
  HWND hwnd = parent;
  if (!hwnd && app) {
    hwnd = QApplication::activeWindow();
    if (!hwnd) {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(w) && w->isVisible()) {
          hwnd = w;
          break;
        }
      }
    }
  }
  if (hwnd) hwnd = hwnd->window();  // a prompt cannot be owned by a child window
  QWidget* outermost = hwnd;
  for (QWidget* w = hwnd; w; w = w->parentWidget()) outermost = w->window();
  if (!parent && hwnd && app) {
    QWidget* popup = QApplication::activeModalWidget();
    if (!popup) popup = QApplication::activeWindow();
    if (popup && IsOwnedBy(popup, hwnd)) hwnd = popup;
  }
  if (outermost && outermost->isEnabled() && outermost != hwnd) {
    outermost->setEnabled(false);
    *top = outermost;
  }
  return hwnd;
}

}  // namespace

QEvent::Type CXTaskDialogHelpEvent::EventType() {
  static const int type = QEvent::registerEventType();
  return static_cast<QEvent::Type>(type);
}

DWORD GetHelpPromptContext(HWND window) {
  if (!window) return g_appHelpPromptContext;
  QVariant v = window->property(kHelpContextProperty);
  return v.isValid() ? static_cast<DWORD>(v.toUInt()) : 0;
}

void SetHelpPromptContext(HWND window, DWORD context) {
  if (!window)
    g_appHelpPromptContext = context;
  else
    window->setProperty(kHelpContextProperty, static_cast<uint>(context));
}

ITaskDialogLibraryLoader* SystemTaskDialogLibraryLoader() {
  static DynamicLinkerLoader loader;
  return &loader;
}

ITaskDialogLibraryLoader* SetTaskDialogLibraryLoader(ITaskDialogLibraryLoader* loader) {
  ITaskDialogLibraryLoader* previous = CurrentLoader();
  g_loader = loader;
  return previous;
}

HRESULT EmulatedTaskDialogIndirect(const TASKDIALOGCONFIG* pTaskConfig, int* pnButton, int* pnRadioButton,
                                   BOOL* pfVerificationFlagChecked) {
  CXTaskDialog dialog;
  return dialog.ShowIndirect(pTaskConfig, pnButton, pnRadioButton, pfVerificationFlagChecked);
}

PFTASKDIALOGINDIRECT SetTaskDialogEmulation(PFTASKDIALOGINDIRECT engine) {
  PFTASKDIALOGINDIRECT previous = g_emulation ? g_emulation : &EmulatedTaskDialogIndirect;
  g_emulation = engine;
  return previous;
}

CXTaskDialogMFCClient::CXTaskDialogMFCClient(HWND parent) : m_config{} {
  m_config.cbSize = TASKDIALOGCONFIG_SIZE;
  m_config.hwndParent = parent;
  m_config.hInstance = XTaskDialogComponentModule();
  m_config.pfCallback = &CXTaskDialogMFCClient::NotificationRouter;
  m_config.lpCallbackData = reinterpret_cast<LONG_PTR>(this);
}

void CXTaskDialogMFCClient::SetWindowTitle(std::u16string_view title) {
  m_strWindowTitle = title;
  m_config.pszWindowTitle = m_strWindowTitle.c_str();
}

void CXTaskDialogMFCClient::SetMainInstruction(std::u16string_view text, UINT helpPromptId) {
  m_strMainInstruction = text;
  m_config.pszMainInstruction = m_strMainInstruction.c_str();
  m_nHelpPromptId = helpPromptId;
}

void CXTaskDialogMFCClient::SetMainIcon(UINT iconId) {
  m_config.dwFlags &= ~TDF_USE_HICON_MAIN;
  m_config.pszMainIcon = MAKEINTRESOURCEW(LOWORD(iconId));
}

void CXTaskDialogMFCClient::ModifyFlags(int remove, int add) { m_config.dwFlags = (m_config.dwFlags & ~remove) | add; }

void CXTaskDialogMFCClient::SetButtons(const TASKDIALOG_BUTTON* buttons, UINT count, int defaultId) {
  m_config.pButtons = buttons;
  m_config.cButtons = count;
  if (defaultId != 0) m_config.nDefaultButton = defaultId;
}

void CXTaskDialogMFCClient::SetDefaultButton(int id) { m_config.nDefaultButton = id; }

HRESULT CXTaskDialogMFCClient::DoModal() {
  const HRESULT hr = DoModalNative();
  if (FAILED(hr)) return DoModalEmulated();
  return hr;
}

HRESULT CXTaskDialogMFCClient::DoModalNative() {
  ITaskDialogLibraryLoader* loader = CurrentLoader();
  void* library = loader->LoadLibrary(u"comctl32.dll");
  if (!library) return HResultFromPlatformError(loader->GetLastError());
  auto proc = reinterpret_cast<PFTASKDIALOGINDIRECT>(loader->GetProcAddress(library, "TaskDialogIndirect"));
  if (!proc) {
    const DWORD error = loader->GetLastError();
    loader->FreeLibrary(library);
    return HResultFromPlatformError(error);
  }
  const HRESULT hr = RunModal(proc);
  loader->FreeLibrary(library);
  return hr;
}

HRESULT CXTaskDialogMFCClient::DoModalEmulated() {
  return RunModal(g_emulation ? g_emulation : &EmulatedTaskDialogIndirect);
}

HRESULT CXTaskDialogMFCClient::RunModal(PFTASKDIALOGINDIRECT engine) {
  // 1.
  HRESULT hr = E_UNEXPECTED;
  // 2.
  ModelessWindows::Enable(false);
  // 3.
  QWidget* top = nullptr;
  HWND owner = GetSafeOwner(m_config.hwndParent, &top);
  if (owner && owner != top) owner->setEnabled(true);
  // 4.
  const DWORD oldContext = GetHelpPromptContext(owner);
  if (m_nHelpPromptId != 0) SetHelpPromptContext(owner, kHelpPromptBase + m_nHelpPromptId);
  // 5.
  m_config.hwndParent = owner;
  // 6.
  hr = engine(&m_config, &m_nSelectedButton, &m_nSelectedRadioButton, &m_bVerificationChecked);
  // 7.
  SetHelpPromptContext(owner, oldContext);
  if (top) top->setEnabled(true);
  ModelessWindows::Enable(true);
  return hr;
}

LRESULT CXTaskDialogMFCClient::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return m_hWnd ? SendTaskDialogMessage(m_hWnd, message, wParam, lParam) : 0;
}

void CXTaskDialogMFCClient::OnHelp() {
  HWND owner = m_config.hwndParent;
  if (!owner) return;
  HELPINFO info;
  info.hItemHandle = m_hWnd;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) info.MousePos = QCursor::pos();
  CXTaskDialogHelpEvent event(info);
  QCoreApplication::sendEvent(owner, &event);
}

HRESULT CXTaskDialogMFCClient::NotificationRouter(HWND hwnd, UINT code, WPARAM wParam, LPARAM lParam,
                                                  LONG_PTR refData) {
  auto* self = reinterpret_cast<CXTaskDialogMFCClient*>(refData);
  if (!self) return S_OK;
  switch (code) {
    case TDN_CREATED:
      self->OnCreated();
      break;
    case TDN_NAVIGATED:
      self->OnNavigated();
      break;
    case TDN_BUTTON_CLICKED:
      return self->OnButtonClicked(static_cast<int>(wParam)) != 0 ? S_FALSE : S_OK;
    case TDN_HYPERLINK_CLICKED: {
      auto target = reinterpret_cast<PCWSTR>(lParam);
      self->OnHyperlinkClicked(target ? std::u16string(target) : std::u16string());
      break;
    }
    case TDN_TIMER:
      return self->OnTimer(static_cast<DWORD>(wParam)) != 0 ? S_FALSE : S_OK;
    case TDN_DESTROYED:
      self->OnDestroyed();
      self->m_hWnd = nullptr;
      break;
    case TDN_RADIO_BUTTON_CLICKED:
      self->OnRadioButtonClicked(static_cast<int>(wParam));
      break;
    case TDN_DIALOG_CONSTRUCTED:
      self->m_hWnd = hwnd;
      self->OnDialogConstructed();
      break;
    case TDN_VERIFICATION_CLICKED:
      self->OnVerificationClicked(wParam != 0);
      break;
    case TDN_HELP:
      self->OnHelp();
      break;
    case TDN_EXPANDO_BUTTON_CLICKED:
      self->OnExpandoButtonClicked(wParam != 0);
      break;
    default:
      break;
  }
  return S_OK;
}
