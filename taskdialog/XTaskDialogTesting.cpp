#include "taskdialog/XTaskDialogTesting.h"

#include <mutex>

#include "taskdialog/XTaskDialogLayout.h"
#include "taskdialog/XTaskDialogMFCClient.h"

namespace {
std::mutex g_mutex;
CXTaskDialogAutoAnswer* g_current = nullptr;
int g_libraryToken = 0;

std::u16string Resolve(HINSTANCE module, PCWSTR field) {
  std::u16string text;
  CXTaskDialogLayout::LoadText(module, &text, field);
  return text;
}

std::vector<std::pair<int, std::u16string>> ResolveButtons(HINSTANCE module, const TASKDIALOG_BUTTON* buttons,
                                                           UINT count) {
  std::vector<std::pair<int, std::u16string>> out;
  for (UINT i = 0; buttons && i < count; ++i) out.emplace_back(buttons[i].nButtonID, Resolve(module, buttons[i].pszButtonText));
  return out;
}
}  // namespace

// The common controls as the answer offers them: a library with TaskDialogIndirect, or none.
class CXTaskDialogAutoAnswer::Loader final : public ITaskDialogLibraryLoader {
 public:
  explicit Loader(bool fail) : m_fail(fail) {}
  void* LoadLibrary(std::u16string_view) override {
    m_error = m_fail ? ERROR_MOD_NOT_FOUND : 0;
    return m_fail ? nullptr : &g_libraryToken;
  }
  void* GetProcAddress(void* library, const char* name) override {
    if (library == &g_libraryToken && std::string_view(name) == "TaskDialogIndirect") {
      m_error = 0;
      return reinterpret_cast<void*>(&CXTaskDialogAutoAnswer::Engine);
    }
    m_error = ERROR_PROC_NOT_FOUND;
    return nullptr;
  }
  void FreeLibrary(void*) override {}
  DWORD GetLastError() override { return m_error; }

 private:
  bool m_fail;
  DWORD m_error = 0;
};

CXTaskDialogAutoAnswer::CXTaskDialogAutoAnswer(int buttonId)
    : m_answer([buttonId](const Prompt&) { return Answer{buttonId, 0, false}; }) {
  Install();
}

CXTaskDialogAutoAnswer::CXTaskDialogAutoAnswer(std::function<Answer(const Prompt&)> answer)
    : m_answer(std::move(answer)) {
  Install();
}

CXTaskDialogAutoAnswer::CXTaskDialogAutoAnswer(FailAll) : m_fail(true) { Install(); }

void CXTaskDialogAutoAnswer::Install() {
  std::lock_guard lock(g_mutex);
  m_loader = new Loader(m_fail);
  m_previous = g_current;
  g_current = this;
  m_previousLoader = SetTaskDialogLibraryLoader(m_loader);
  m_previousEmulation = SetTaskDialogEmulation(m_fail ? &FailingEngine : nullptr);
}

CXTaskDialogAutoAnswer::~CXTaskDialogAutoAnswer() {
  std::lock_guard lock(g_mutex);
  SetTaskDialogLibraryLoader(m_previousLoader);
  SetTaskDialogEmulation(m_previousEmulation);
  g_current = m_previous;
  delete m_loader;
}

HRESULT CXTaskDialogAutoAnswer::FailingEngine(const TASKDIALOGCONFIG*, int*, int*, BOOL*) { return E_FAIL; }

HRESULT CXTaskDialogAutoAnswer::Engine(const TASKDIALOGCONFIG* config, int* button, int* radio, BOOL* verification) {
  if (!config) return E_INVALIDARG;
  CXTaskDialogAutoAnswer* self;
  {
    std::lock_guard lock(g_mutex);
    self = g_current;
  }
  if (!self || self->m_fail) return E_FAIL;
  Prompt p;
  p.owner = config->hwndParent;
  p.flags = config->dwFlags;
  p.commonButtons = config->dwCommonButtons;
  p.title = Resolve(config->hInstance, config->pszWindowTitle);
  p.mainInstruction = Resolve(config->hInstance, config->pszMainInstruction);
  p.content = Resolve(config->hInstance, config->pszContent);
  p.footer = Resolve(config->hInstance, config->pszFooter);
  p.verification = Resolve(config->hInstance, config->pszVerificationText);
  p.mainIconIsHandle = (config->dwFlags & TDF_USE_HICON_MAIN) != 0;
  if (!p.mainIconIsHandle && IS_INTRESOURCE(config->pszMainIcon)) p.mainIconId = RESOURCE_ID(config->pszMainIcon);
  p.buttons = ResolveButtons(config->hInstance, config->pButtons, config->cButtons);
  p.radioButtons = ResolveButtons(config->hInstance, config->pRadioButtons, config->cRadioButtons);
  p.defaultButton = config->nDefaultButton;
  self->m_prompts.push_back(p);
  const Answer a = self->m_answer ? self->m_answer(p) : Answer{};
  if (button) *button = a.button;
  if (radio) *radio = a.radioButton;
  if (verification) *verification = a.verificationChecked ? 1 : 0;
  return S_OK;
}
