// Test support: answers the prompts that CXTaskDialogMFCClient::DoModal shows, without a window.
//
//   CXTaskDialogAutoAnswer answer(542);          // every prompt "chooses" button 542
//   ... code that calls DoModal ...
//   ASSERT_EQ(answer.Prompts().size(), 1u);
//   EXPECT_EQ(answer.Prompts()[0].title, u"Required field not Mapped");
//
//   CXTaskDialogAutoAnswer failing(CXTaskDialogAutoAnswer::kFailAll);  // no engine can show a prompt
//
// The answer stands in for the platform's task dialog (DoModal's first engine), so the front end runs its
// real path; no notification is sent. While one lives it serves every thread; the last one made wins and
// the previous one comes back when it goes.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "taskdialog/XTaskDialogTypes.h"

class ITaskDialogLibraryLoader;

class CXTaskDialogAutoAnswer {
 public:
  // A prompt as it was asked, its texts resolved (resource ids from the record's module).
  struct Prompt {
    HWND owner = nullptr;
    int flags = 0;
    int commonButtons = 0;
    std::u16string title;
    std::u16string mainInstruction;
    std::u16string content;
    std::u16string footer;
    std::u16string verification;
    bool mainIconIsHandle = false;
    WORD mainIconId = 0;
    std::vector<std::pair<int, std::u16string>> buttons;
    std::vector<std::pair<int, std::u16string>> radioButtons;
    int defaultButton = 0;
  };
  struct Answer {
    int button = 0;
    int radioButton = 0;
    bool verificationChecked = false;
  };
  enum FailAll { kFailAll };

  explicit CXTaskDialogAutoAnswer(int buttonId);
  explicit CXTaskDialogAutoAnswer(std::function<Answer(const Prompt&)> answer);
  // Neither engine shows anything: DoModal fails and the results keep their values.
  explicit CXTaskDialogAutoAnswer(FailAll);
  ~CXTaskDialogAutoAnswer();
  CXTaskDialogAutoAnswer(const CXTaskDialogAutoAnswer&) = delete;
  CXTaskDialogAutoAnswer& operator=(const CXTaskDialogAutoAnswer&) = delete;

  const std::vector<Prompt>& Prompts() const { return m_prompts; }

 private:
  static HRESULT Engine(const TASKDIALOGCONFIG* config, int* button, int* radio, BOOL* verification);
  static HRESULT FailingEngine(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
  void Install();

  std::function<Answer(const Prompt&)> m_answer;
  bool m_fail = false;
  std::vector<Prompt> m_prompts;
  CXTaskDialogAutoAnswer* m_previous = nullptr;
  class Loader;
  Loader* m_loader = nullptr;
  ITaskDialogLibraryLoader* m_previousLoader = nullptr;
  PFTASKDIALOGINDIRECT m_previousEmulation = nullptr;
};
