// The front end: its record, setters, the choice of engine, RunModal's order and the notification routing.
#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "taskdialog/XTaskDialogMFCClient.h"
#include "taskdialog/XTaskDialogTesting.h"
#include "test_support.h"

using namespace tdtest;

namespace {

// A common-controls library of the test's making: present or not, with or without TaskDialogIndirect.
class FakeLibrary : public ITaskDialogLibraryLoader {
 public:
  bool hasLibrary = true;
  PFTASKDIALOGINDIRECT proc = nullptr;
  std::vector<std::string> calls;
  DWORD error = 0;

  void* LoadLibrary(std::u16string_view name) override {
    calls.push_back("load " + std::string(name.begin(), name.end()));
    error = hasLibrary ? 0 : ERROR_MOD_NOT_FOUND;
    return hasLibrary ? this : nullptr;
  }
  void* GetProcAddress(void* library, const char* name) override {
    calls.push_back(std::string("find ") + name);
    void* found = library == this && proc ? reinterpret_cast<void*>(proc) : nullptr;
    error = found ? 0 : ERROR_PROC_NOT_FOUND;
    return found;
  }
  void FreeLibrary(void*) override { calls.push_back("free"); }
  DWORD GetLastError() override { return error; }
};

// Engines that record what they were given.
struct EngineLog {
  static inline std::vector<std::string> calls;
  static inline const TASKDIALOGCONFIG* lastConfig = nullptr;
  static inline HWND ownerSeen = nullptr;
  static inline DWORD helpContextSeen = 0;
  static inline bool topEnabledSeen = true;
  static inline QWidget* topToWatch = nullptr;
  static void Reset() {
    calls.clear();
    lastConfig = nullptr;
    ownerSeen = nullptr;
    helpContextSeen = 0;
    topEnabledSeen = true;
    topToWatch = nullptr;
  }
  static void Seen(const char* who, const TASKDIALOGCONFIG* c) {
    calls.push_back(who);
    lastConfig = c;
    ownerSeen = c->hwndParent;
    helpContextSeen = GetHelpPromptContext(c->hwndParent);
    if (topToWatch) topEnabledSeen = topToWatch->isEnabled();
  }
};

HRESULT NativeChoosing7(const TASKDIALOGCONFIG* c, int* button, int* radio, BOOL* verification) {
  EngineLog::Seen("native", c);
  *button = 7;
  *radio = 201;
  *verification = 1;
  return S_OK;
}

HRESULT NativeRefusing(const TASKDIALOGCONFIG* c, int*, int*, BOOL*) {
  EngineLog::Seen("native", c);
  return E_INVALIDARG;
}

HRESULT EmulationChoosing8(const TASKDIALOGCONFIG* c, int* button, int*, BOOL*) {
  EngineLog::Seen("emulation", c);
  *button = 8;
  return S_OK;
}

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override { EngineLog::Reset(); }
  void TearDown() override {
    SetTaskDialogLibraryLoader(nullptr);
    SetTaskDialogEmulation(nullptr);
  }
  void Use(FakeLibrary& library) { SetTaskDialogLibraryLoader(&library); }
};

TEST_F(ClientTest, ConstructionFillsTheRecord) {
  QWidget parent;
  CXTaskDialogMFCClient client(&parent);
  const TASKDIALOGCONFIG& c = client.GetConfig();
  EXPECT_EQ(c.cbSize, 96u);
  EXPECT_EQ(c.hwndParent, &parent);
  EXPECT_EQ(c.hInstance, QorvenaResources());
  EXPECT_EQ(c.dwFlags, 0);
  EXPECT_EQ(c.dwCommonButtons, 0);
  EXPECT_EQ(c.pszWindowTitle, nullptr);
  EXPECT_EQ(c.pszMainIcon, nullptr);
  EXPECT_EQ(c.pszMainInstruction, nullptr);
  EXPECT_EQ(c.pszContent, nullptr);
  EXPECT_EQ(c.cButtons, 0u);
  EXPECT_EQ(c.pButtons, nullptr);
  EXPECT_EQ(c.nDefaultButton, 0);
  EXPECT_EQ(c.cRadioButtons, 0u);
  EXPECT_EQ(c.pRadioButtons, nullptr);
  EXPECT_EQ(c.nDefaultRadioButton, 0);
  EXPECT_EQ(c.pszVerificationText, nullptr);
  EXPECT_EQ(c.pszExpandedInformation, nullptr);
  EXPECT_EQ(c.pszExpandedControlText, nullptr);
  EXPECT_EQ(c.pszCollapsedControlText, nullptr);
  EXPECT_EQ(c.pszFooterIcon, nullptr);
  EXPECT_EQ(c.pszFooter, nullptr);
  EXPECT_EQ(c.pfCallback, &CXTaskDialogMFCClient::NotificationRouter);
  EXPECT_EQ(c.lpCallbackData, reinterpret_cast<LONG_PTR>(&client));
  EXPECT_EQ(c.cxWidth, 0u);
  EXPECT_EQ(client.GetSelectedButton(), 0);
  EXPECT_EQ(client.GetSelectedRadioButton(), 0);
  EXPECT_FALSE(client.IsVerificationChecked());
  EXPECT_EQ(client.GetSafeHwnd(), nullptr);
  EXPECT_EQ(CXTaskDialogMFCClient().GetConfig().hwndParent, nullptr);
}

TEST_F(ClientTest, SettersFillTheRecord) {
  CXTaskDialogMFCClient client;
  {
    std::u16string title = u"Title";
    std::u16string instruction = u"Instruction";
    client.SetWindowTitle(title);
    client.SetMainInstruction(instruction, 77);
    title.assign(40, u'x');  // the caller's texts need not outlive the calls
    instruction.assign(40, u'y');
  }
  const TASKDIALOGCONFIG& c = client.GetConfig();
  EXPECT_EQ(std::u16string(c.pszWindowTitle), u"Title");
  EXPECT_EQ(std::u16string(c.pszMainInstruction), u"Instruction");
  EXPECT_EQ(client.GetHelpPromptId(), 77u);

  client.ModifyFlags(0, TDF_USE_COMMAND_LINKS | TDF_USE_HICON_MAIN | TDF_CALLBACK_TIMER);
  client.ModifyFlags(TDF_CALLBACK_TIMER, TDF_ALLOW_DIALOG_CANCELLATION);
  EXPECT_EQ(c.dwFlags, TDF_USE_COMMAND_LINKS | TDF_USE_HICON_MAIN | TDF_ALLOW_DIALOG_CANCELLATION);

  // An icon id replaces an icon handle; only its low 16 bits count.
  client.SetMainIcon(0x12B0C);
  EXPECT_EQ(c.dwFlags & TDF_USE_HICON_MAIN, 0);
  EXPECT_TRUE(IS_INTRESOURCE(c.pszMainIcon));
  EXPECT_EQ(RESOURCE_ID(c.pszMainIcon), 0x2B0C);

  const TASKDIALOG_BUTTON buttons[] = {{541, u"a"}, {542, u"b"}};
  client.SetDefaultButton(542);
  client.SetButtons(buttons, 2, 0);
  EXPECT_EQ(c.pButtons, buttons);
  EXPECT_EQ(c.cButtons, 2u);
  EXPECT_EQ(c.nDefaultButton, 542);  // a default of 0 leaves the earlier one
  client.SetButtons(buttons, 1, 541);
  EXPECT_EQ(c.cButtons, 1u);
  EXPECT_EQ(c.nDefaultButton, 541);
  client.SetDefaultButton(0);
  EXPECT_EQ(c.nDefaultButton, 0);
}

TEST_F(ClientTest, NativeLookupFailsHereWithThePlatformError) {
  CXTaskDialogMFCClient client;
  EXPECT_EQ(client.DoModalNative(), MakeHResult(0x8007007Eu));  // the library does not exist
  EXPECT_EQ(client.GetSelectedButton(), 0);
}

TEST_F(ClientTest, NativeLookupLoadsFindsAndReleasesTheLibrary) {
  FakeLibrary library;
  Use(library);
  CXTaskDialogMFCClient client;
  EXPECT_EQ(client.DoModalNative(), MakeHResult(0x8007007Fu));  // no TaskDialogIndirect
  EXPECT_EQ(library.calls, (std::vector<std::string>{"load comctl32.dll", "find TaskDialogIndirect", "free"}));
  library.calls.clear();
  library.hasLibrary = false;
  EXPECT_EQ(client.DoModalNative(), MakeHResult(0x8007007Eu));
  EXPECT_EQ(library.calls, (std::vector<std::string>{"load comctl32.dll"}));
  EXPECT_TRUE(EngineLog::calls.empty());
}

TEST_F(ClientTest, NativeSuccessIsTheResultAndTheEmulationDoesNotRun) {
  FakeLibrary library;
  library.proc = &NativeChoosing7;
  Use(library);
  SetTaskDialogEmulation(&EmulationChoosing8);
  CXTaskDialogMFCClient client;
  EXPECT_EQ(client.DoModal(), S_OK);
  EXPECT_EQ(EngineLog::calls, (std::vector<std::string>{"native"}));
  EXPECT_EQ(EngineLog::lastConfig, &client.GetConfig());
  EXPECT_EQ(client.GetSelectedButton(), 7);
  EXPECT_EQ(client.GetSelectedRadioButton(), 201);
  EXPECT_TRUE(client.IsVerificationChecked());
  EXPECT_EQ(library.calls.back(), "free");  // released after the prompt
}

TEST_F(ClientTest, ANativeFailureTriesTheEmulationWithTheSameRecord) {
  FakeLibrary library;
  library.proc = &NativeRefusing;
  Use(library);
  SetTaskDialogEmulation(&EmulationChoosing8);
  CXTaskDialogMFCClient client;
  EXPECT_EQ(client.DoModal(), S_OK);
  EXPECT_EQ(EngineLog::calls, (std::vector<std::string>{"native", "emulation"}));
  EXPECT_EQ(EngineLog::lastConfig, &client.GetConfig());
  EXPECT_EQ(client.GetSelectedButton(), 8);
}

TEST_F(ClientTest, DoModalFallsBackToTheEmulatedWindow) {
  // The system's lookup fails here, so the real emulation shows the prompt.
  RequiredTexts texts;
  CXTaskDialogMFCClient client;
  client.ModifyFlags(0, TDF_USE_COMMAND_LINKS);
  client.SetMainIcon(IDI_WARNING);
  client.SetWindowTitle(texts.title);
  client.SetMainInstruction(texts.instruction, 0);
  const TASKDIALOG_BUTTON buttons[] = {{541, texts.first.c_str()}, {542, texts.second.c_str()}};
  client.SetButtons(buttons, 2, 0);
  client.SetDefaultButton(541);
  QString title;
  HWND handleWhileOpen = nullptr;
  Later([&] {
    HWND shown = QApplication::activeModalWidget();
    ASSERT_NE(shown, nullptr);
    title = shown->windowTitle();
    handleWhileOpen = client.GetSafeHwnd();
    EXPECT_EQ(handleWhileOpen, shown);
    SendTaskDialogMessage(shown, TDM_CLICK_BUTTON, 542, 0);
  });
  EXPECT_EQ(client.DoModal(), S_OK);
  EXPECT_EQ(title, QStringLiteral("Required field not Mapped"));
  EXPECT_NE(handleWhileOpen, nullptr);
  EXPECT_EQ(client.GetSelectedButton(), 542);
  EXPECT_EQ(client.GetSafeHwnd(), nullptr);  // let go at TDN_DESTROYED
}

TEST_F(ClientTest, APromptThatCannotBeShownLeavesTheSelectedButtonZero) {
  // Native lookup fails; the emulation fails on a text id the module does not have.
  CXTaskDialogMFCClient client;
  client.GetConfig().pszContent = MAKEINTRESOURCEW(9999);
  EXPECT_EQ(client.DoModal(), MakeHResult(0x80070716u));
  EXPECT_EQ(client.GetSelectedButton(), 0);
  EXPECT_EQ(client.GetSelectedRadioButton(), 0);
  EXPECT_FALSE(client.IsVerificationChecked());
}

TEST_F(ClientTest, RunModalResolvesTheOwnerSetsTheHelpContextAndRestoresEverything) {
  FakeLibrary library;
  library.proc = &NativeChoosing7;
  Use(library);

  // An owner inside a main window: the prompt's owner is the owner's window, the outermost one is
  // disabled for the time of the prompt.
  QMainWindow main;
  main.show();
  auto* dialog = new QDialog(&main);
  auto* child = new QPushButton(dialog);
  dialog->show();
  EngineLog::topToWatch = &main;
  SetHelpPromptContext(dialog, 0x1234);
  // A modeless tool window of the application is disabled while the prompt runs.
  QWidget palette(nullptr, Qt::Tool);
  palette.show();
  static QWidget* toolWindow;
  static bool toolEnabledSeen;
  toolWindow = &palette;
  toolEnabledSeen = true;
  library.proc = [](const TASKDIALOGCONFIG* c, int* b, int* r, BOOL* v) {
    toolEnabledSeen = toolWindow->isEnabled();
    return NativeChoosing7(c, b, r, v);
  };

  CXTaskDialogMFCClient client(child);
  client.SetMainInstruction(u"x", 42);
  EXPECT_EQ(client.DoModal(), S_OK);
  EXPECT_EQ(EngineLog::ownerSeen, dialog);
  EXPECT_EQ(client.GetConfig().hwndParent, dialog);
  EXPECT_EQ(EngineLog::helpContextSeen, 0x30000u + 42);
  EXPECT_FALSE(EngineLog::topEnabledSeen);
  EXPECT_TRUE(main.isEnabled());
  EXPECT_TRUE(dialog->isEnabled());
  EXPECT_EQ(GetHelpPromptContext(dialog), 0x1234u);
  EXPECT_FALSE(toolEnabledSeen);
  EXPECT_TRUE(palette.isEnabled());

  // Without a help prompt id the context is left alone; without a parent the active window owns it.
  EngineLog::Reset();
  QApplication::setActiveWindow(dialog);
  CXTaskDialogMFCClient orphan;
  orphan.SetMainInstruction(u"x", 0);
  EXPECT_EQ(orphan.DoModal(), S_OK);
  EXPECT_EQ(EngineLog::ownerSeen, dialog);
  EXPECT_EQ(EngineLog::helpContextSeen, 0x1234u);
}

// A front end that records its handler calls.
class RecordingClient : public CXTaskDialogMFCClient {
 public:
  std::vector<std::string> calls;
  int buttonReply = 0;
  int timerReply = 0;
  std::u16string link;
  HWND windowAtConstructed = nullptr;

 protected:
  void OnDialogConstructed() override {
    calls.push_back("constructed");
    windowAtConstructed = GetSafeHwnd();
  }
  void OnCreated() override { calls.push_back("created"); }
  int OnButtonClicked(int id) override {
    calls.push_back("button " + std::to_string(id));
    return buttonReply;
  }
  void OnRadioButtonClicked(int id) override { calls.push_back("radio " + std::to_string(id)); }
  void OnHyperlinkClicked(const std::u16string& target) override {
    calls.push_back("link");
    link = target;
  }
  void OnExpandoButtonClicked(bool expanded) override { calls.push_back(expanded ? "expanded" : "collapsed"); }
  void OnVerificationClicked(bool checked) override { calls.push_back(checked ? "ticked" : "unticked"); }
  void OnHelp() override { calls.push_back("help"); }
  int OnTimer(DWORD ms) override {
    calls.push_back("timer " + std::to_string(ms));
    return timerReply;
  }
  void OnNavigated() override { calls.push_back("navigated"); }
  void OnDestroyed() override { calls.push_back("destroyed"); }
};

TEST_F(ClientTest, NotificationRouterCallsEachHandlerAndAnswersAsTold) {
  RecordingClient client;
  QWidget window;
  const LONG_PTR self = client.GetConfig().lpCallbackData;
  auto route = [&](UINT code, WPARAM w, LPARAM l = 0) {
    return CXTaskDialogMFCClient::NotificationRouter(&window, code, w, l, self);
  };
  const std::u16string target = u"https://example.com";
  struct Case {
    UINT code;
    WPARAM w;
    LPARAM l;
    HRESULT result;
    std::string call;
  };
  client.buttonReply = 0;
  client.timerReply = 0;
  const Case cases[] = {
      {TDN_DIALOG_CONSTRUCTED, 0, 0, S_OK, "constructed"},
      {TDN_CREATED, 0, 0, S_OK, "created"},
      {TDN_NAVIGATED, 0, 0, S_OK, "navigated"},
      {TDN_BUTTON_CLICKED, 541, 0, S_OK, "button 541"},
      {TDN_HYPERLINK_CLICKED, 0, reinterpret_cast<LPARAM>(target.c_str()), S_OK, "link"},
      {TDN_TIMER, 1200, 0, S_OK, "timer 1200"},
      {TDN_RADIO_BUTTON_CLICKED, 201, 0, S_OK, "radio 201"},
      {TDN_VERIFICATION_CLICKED, 1, 0, S_OK, "ticked"},
      {TDN_VERIFICATION_CLICKED, 0, 0, S_OK, "unticked"},
      {TDN_HELP, 0, 0, S_OK, "help"},
      {TDN_EXPANDO_BUTTON_CLICKED, 1, 0, S_OK, "expanded"},
      {TDN_EXPANDO_BUTTON_CLICKED, 0, 0, S_OK, "collapsed"},
      {TDN_DESTROYED, 0, 0, S_OK, "destroyed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    client.calls.clear();
    EXPECT_EQ(route(c.code, c.w, c.l), c.result);
    EXPECT_EQ(client.calls, std::vector<std::string>{c.call});
  }
  EXPECT_EQ(client.link, target);
  EXPECT_EQ(client.windowAtConstructed, &window);  // taken before the handler runs
  EXPECT_EQ(client.GetSafeHwnd(), nullptr);        // let go at TDN_DESTROYED

  client.buttonReply = 5;
  client.timerReply = -1;
  EXPECT_EQ(route(TDN_BUTTON_CLICKED, 541), S_FALSE);
  EXPECT_EQ(route(TDN_TIMER, 10), S_FALSE);
  client.calls.clear();
  EXPECT_EQ(route(11, 0), S_OK);
  EXPECT_EQ(route(0xFFFF, 0), S_OK);
  EXPECT_TRUE(client.calls.empty());
}

// The owner of the prompt in the default help handler's test.
class HelpOwner : public QWidget {
 public:
  std::vector<HELPINFO> requests;

 protected:
  bool event(QEvent* e) override {
    if (e->type() == CXTaskDialogHelpEvent::EventType()) {
      requests.push_back(static_cast<CXTaskDialogHelpEvent*>(e)->Info());
      return true;
    }
    return QWidget::event(e);
  }
};

TEST_F(ClientTest, DefaultHelpAsksTheOwner) {
  HelpOwner owner;
  CXTaskDialogMFCClient client(&owner);
  QWidget prompt;
  const LONG_PTR self = client.GetConfig().lpCallbackData;
  CXTaskDialogMFCClient::NotificationRouter(&prompt, TDN_DIALOG_CONSTRUCTED, 0, 0, self);
  EXPECT_EQ(CXTaskDialogMFCClient::NotificationRouter(&prompt, TDN_HELP, 0, 0, self), S_OK);
  ASSERT_EQ(owner.requests.size(), 1u);
  const HELPINFO& info = owner.requests[0];
  EXPECT_EQ(info.cbSize, 28u);
  EXPECT_EQ(info.iContextType, HELPINFO_WINDOW);
  EXPECT_EQ(info.iCtrlId, 0);
  EXPECT_EQ(info.hItemHandle, &prompt);
  EXPECT_EQ(info.dwContextId, 0u);
}

TEST_F(ClientTest, AButtonHandlerThatKeepsThePromptOpenLeavesTheResultAlone) {
  RecordingClient client;
  client.buttonReply = 1;
  const TASKDIALOG_BUTTON buttons[] = {{541, u"First"}, {542, u"Second"}};
  client.ModifyFlags(0, TDF_USE_COMMAND_LINKS);
  client.SetButtons(buttons, 2, 0);
  int seenWhileOpen = -99;
  Later([&] {
    HWND prompt = QApplication::activeModalWidget();
    SendTaskDialogMessage(prompt, TDM_CLICK_BUTTON, 541, 0);
    Later([&, prompt] {
      seenWhileOpen = client.GetSelectedButton();
      client.buttonReply = 0;
      SendTaskDialogMessage(prompt, TDM_CLICK_BUTTON, 542, 0);
    });
  });
  EXPECT_EQ(client.DoModal(), S_OK);
  EXPECT_EQ(seenWhileOpen, 0);
  EXPECT_EQ(client.GetSelectedButton(), 542);
  EXPECT_EQ(client.calls, (std::vector<std::string>{"constructed", "created", "button 541", "button 542", "destroyed"}));
  EXPECT_NE(client.windowAtConstructed, nullptr);
}

TEST_F(ClientTest, AutoAnswerStandsInForThePrompt) {
  RequiredTexts texts;
  CXTaskDialogAutoAnswer answer(542);
  CXTaskDialogMFCClient client;
  client.ModifyFlags(0, TDF_USE_COMMAND_LINKS);
  client.SetMainIcon(IDI_WARNING);
  client.SetWindowTitle(texts.title);
  client.SetMainInstruction(texts.instruction, 0);
  const TASKDIALOG_BUTTON buttons[] = {{541, texts.first.c_str()}, {542, texts.second.c_str()}};
  client.SetButtons(buttons, 2, 0);
  client.SetDefaultButton(541);
  EXPECT_EQ(client.DoModal(), S_OK);
  EXPECT_EQ(client.GetSelectedButton(), 542);
  ASSERT_EQ(answer.Prompts().size(), 1u);
  const CXTaskDialogAutoAnswer::Prompt& p = answer.Prompts()[0];
  EXPECT_EQ(p.title, u"Required field not Mapped");
  EXPECT_EQ(p.mainInstruction, texts.instruction);
  EXPECT_EQ(p.flags, TDF_USE_COMMAND_LINKS);
  EXPECT_EQ(p.mainIconId, IDI_WARNING);
  EXPECT_EQ(p.defaultButton, 541);
  ASSERT_EQ(p.buttons.size(), 2u);
  EXPECT_EQ(p.buttons[0], std::make_pair(541, texts.first));
  EXPECT_EQ(p.buttons[1], std::make_pair(542, texts.second));
  EXPECT_NE(texts.first.find(u"'Quantity Invoiced'"), std::u16string::npos);

  {
    CXTaskDialogAutoAnswer failing(CXTaskDialogAutoAnswer::kFailAll);
    CXTaskDialogMFCClient other;
    EXPECT_LT(other.DoModal(), 0);
    EXPECT_EQ(other.GetSelectedButton(), 0);
  }
  // The outer answer is back.
  CXTaskDialogMFCClient again;
  EXPECT_EQ(again.DoModal(), S_OK);
  EXPECT_EQ(again.GetSelectedButton(), 542);
  EXPECT_EQ(answer.Prompts().size(), 2u);
}

}  // namespace
