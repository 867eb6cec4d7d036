// Shared pieces of the task dialog tests: a deterministic text measurer and metrics, the required-field
// prompt's record, and a recorder of notifications.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "resources/qorvena_resources.h"
#include "taskdialog/XTaskDialog.h"
#include "taskdialog/XTaskDialogLayout.h"

namespace tdtest {

// Every character is half the font height wide, every line the font height plus 3 high; words wrap
// greedily at blanks; "&" marks a mnemonic and takes no room unless DT_NOPREFIX; tabs go to 8 columns.
class FakeMeasurer : public ITaskDialogTextMeasurer {
 public:
  bool failOpen = false;
  DWORD openError = ERROR_DC_NOT_FOUND;
  int opens = 0, closes = 0;

  bool Open(DWORD* error) override {
    ++opens;
    if (failOpen) {
      *error = openError;
      return false;
    }
    return true;
  }
  void Close() override { ++closes; }

  static int CharWidth(const TaskDialogFont& f) { return std::abs(static_cast<int>(f.lfHeight)) / 2; }
  static int LineHeight(const TaskDialogFont& f) { return std::abs(static_cast<int>(f.lfHeight)) + 3; }

  static std::u16string Visible(std::u16string_view text, UINT format) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
      char16_t ch = text[i];
      if (!(format & DT_NOPREFIX) && ch == u'&') {
        if (i + 1 < text.size() && text[i + 1] == u'&') {
          out += u'&';
          ++i;
        }
        continue;
      }
      if (ch == u'\t' && (format & DT_EXPANDTABS)) {
        const std::size_t column = out.size() - (out.rfind(u'\n') == std::u16string::npos ? 0 : out.rfind(u'\n') + 1);
        out.append(8 - column % 8, u' ');
        continue;
      }
      out += ch;
    }
    return out;
  }

  TextExtent Measure(const TaskDialogFont& font, std::u16string_view text, int width, UINT format) override {
    if (text.empty()) return {};
    const int cw = CharWidth(font);
    const int lh = LineHeight(font);
    const std::u16string visible = Visible(text, format);
    std::vector<std::size_t> lines;  // lengths
    auto split = [](const std::u16string& s, char16_t sep) {
      std::vector<std::u16string> parts;
      std::size_t start = 0;
      for (;;) {
        auto pos = s.find(sep, start);
        parts.push_back(s.substr(start, pos == std::u16string::npos ? std::u16string::npos : pos - start));
        if (pos == std::u16string::npos) break;
        start = pos + 1;
      }
      return parts;
    };
    if (format & DT_SINGLELINE) {
      lines.push_back(visible.size());
    } else {
      for (const std::u16string& para : split(visible, u'\n')) {
        if (!(format & DT_WORDBREAK)) {
          lines.push_back(para.size());
          continue;
        }
        std::size_t current = 0;
        bool first = true;
        for (const std::u16string& word : split(para, u' ')) {
          if (first) {
            current = word.size();
            first = false;
          } else if (static_cast<int>((current + 1 + word.size()) * cw) <= width) {
            current += 1 + word.size();
          } else {
            lines.push_back(current);
            current = word.size();
          }
        }
        lines.push_back(current);
      }
    }
    std::size_t widest = 0;
    for (std::size_t l : lines) widest = std::max(widest, l);
    return {static_cast<int>(widest) * cw, static_cast<int>(lines.size()) * lh};
  }
};

class FakeMetrics : public ITaskDialogMetrics {
 public:
  TaskDialogFont font{-12, 400, 0, u"Test Sans"};
  bool failFont = false;
  TextExtent baseUnits{8, 16};
  int monitorWidth = 800;
  int screenWidth = 1000;
  HWND askedFor = nullptr;

  bool GetMessageFont(TaskDialogFont* out, DWORD* error) override {
    if (failFont) {
      *error = ERROR_INVALID_PARAMETER;
      return false;
    }
    *out = font;
    return true;
  }
  TextExtent GetDialogBaseUnits() override { return baseUnits; }
  int GetMonitorWidth(HWND window) override {
    askedFor = window;
    return monitorWidth;
  }
  int GetScreenWidth() override { return screenWidth; }
};

inline TASKDIALOGCONFIG EmptyConfig() {
  TASKDIALOGCONFIG c{};
  c.cbSize = TASKDIALOGCONFIG_SIZE;
  c.hInstance = QorvenaResources();
  return c;
}

// The texts of the required-field prompt, as the setup builds them for "Quantity Invoiced".
struct RequiredTexts {
  std::u16string title = LoadStringOrMissing(QorvenaResources(), IDS_REQUIRED_TITLE);
  std::u16string instruction = LoadStringOrMissing(QorvenaResources(), IDS_REQUIRED_INSTRUCTION);
  std::u16string first = LoadStringOrMissing(QorvenaResources(), IDS_REQUIRED_MAP);
  std::u16string second = LoadStringOrMissing(QorvenaResources(), IDS_REQUIRED_IGNORE);
  RequiredTexts() {
    const auto at = first.find(u"%1");
    if (at != std::u16string::npos) first.replace(at, 2, u"Quantity Invoiced");
  }
};

// The required-field prompt as a configuration: a warning icon, the instruction and two command links.
inline TASKDIALOGCONFIG RequiredPrompt(const RequiredTexts& texts, TASKDIALOG_BUTTON (&buttons)[2]) {
  TASKDIALOGCONFIG c = EmptyConfig();
  c.dwFlags = TDF_USE_COMMAND_LINKS;
  c.pszMainIcon = MAKEINTRESOURCEW(IDI_WARNING);
  c.pszWindowTitle = texts.title.c_str();
  c.pszMainInstruction = texts.instruction.c_str();
  buttons[0] = {541, texts.first.c_str()};
  buttons[1] = {542, texts.second.c_str()};
  c.pButtons = buttons;
  c.cButtons = 2;
  c.nDefaultButton = 541;
  return c;
}

// Records the notifications of one run and lets a test act on them.
struct Recorder {
  struct Entry {
    UINT code;
    WPARAM wParam;
    std::u16string text;  // the link target of TDN_HYPERLINK_CLICKED
    HWND hwnd;
  };
  std::vector<Entry> entries;
  std::function<HRESULT(HWND, UINT, WPARAM, LPARAM)> onNotify;

  static HRESULT Callback(HWND hwnd, UINT code, WPARAM w, LPARAM l, LONG_PTR data) {
    auto* self = reinterpret_cast<Recorder*>(data);
    Entry e{code, w, {}, hwnd};
    if (code == TDN_HYPERLINK_CLICKED && l) e.text = reinterpret_cast<PCWSTR>(l);
    self->entries.push_back(e);
    return self->onNotify ? self->onNotify(hwnd, code, w, l) : S_OK;
  }
  void Attach(TASKDIALOGCONFIG& c) {
    c.pfCallback = &Recorder::Callback;
    c.lpCallbackData = reinterpret_cast<LONG_PTR>(this);
  }
  std::vector<UINT> Codes() const {
    std::vector<UINT> out;
    for (const Entry& e : entries) out.push_back(e.code);
    return out;
  }
  int Count(UINT code) const {
    int n = 0;
    for (const Entry& e : entries) n += e.code == code ? 1 : 0;
    return n;
  }
};

// Runs `action` once the event loop of the dialog about to run is going.
inline void Later(std::function<void()> action, int ms = 0) { QTimer::singleShot(ms, qApp, std::move(action)); }

}  // namespace tdtest
