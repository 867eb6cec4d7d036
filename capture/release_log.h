// The platform's error log (every LogError) and the release module's message list (every SendMessage), kept
// as text files in the host's home folder. Each entry is written with one append, so hosts sharing a home
// do not interleave their entries.
#pragma once

#include <chrono>
#include <string>

#include "host/kofax.h"

namespace capture {

struct LogEntry {
  std::chrono::system_clock::time_point time;
  LONG err1 = 0, err2 = 0, err3 = 0;
  std::u16string message;
  std::u16string module;  // the reporting source file
  LONG line = 0;
};

struct MessageEntry {
  std::chrono::system_clock::time_point time;
  std::u16string message;
  LONG errorNumber = 0;
  LONG infoRet = 0;
};

// A connector's text as UTF-8 for a file or a terminal: control characters other than line ends and tabs (which a
// document value can carry into a report) are written as \x1B or \u0085, so they cannot act on the terminal.
std::string PrintableText(std::u16string_view text);

// "2024-06-03 16:05:09.007 +0200" in local time.
std::string FormatTime(std::chrono::system_clock::time_point time);

// One entry as it stands in the file: a head line with time, context, error numbers and source position,
// then the message, every line indented by four spaces.
std::string FormatLogEntry(const LogEntry& entry, const std::string& context);
std::string FormatMessageEntry(const MessageEntry& entry, const std::string& context);

class LogFile {
 public:
  explicit LogFile(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }
  bool Append(const std::string& text, std::string* error) const;
  bool Read(std::string& text, std::string* error) const;  // an absent file reads as empty
  bool Clear(std::string* error) const;

 private:
  std::string path_;
};

}  // namespace capture
