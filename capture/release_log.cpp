#include "capture/release_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/com/utf.h"

namespace capture {

namespace {

std::string Indented(std::u16string_view message) {
  std::string text = PrintableText(message), out = "    ";
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') continue;
      c = '\n';
    }
    out += c;
    if (c == '\n') out += "    ";
  }
  return out + "\n";
}

}  // namespace

std::string PrintableText(std::u16string_view text) {
  std::u16string shown;
  shown.reserve(text.size());
  for (char16_t c : text) {
    bool control = (c < 0x20 && c != u'\n' && c != u'\r' && c != u'\t') || (c >= 0x7F && c <= 0x9F);
    if (!control) {
      shown += c;
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, c < 0x80 ? "\\x%02X" : "\\u%04X", static_cast<unsigned>(c));
    for (const char* p = escape; *p; ++p) shown += static_cast<char16_t>(*p);
  }
  return Utf16ToUtf8(shown);
}

std::string FormatTime(std::chrono::system_clock::time_point time) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() % 1000;
  if (ms < 0) ms += 1000;
  std::time_t t = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  localtime_r(&t, &local);
  char head[64], zone[16];
  std::strftime(head, sizeof head, "%Y-%m-%d %H:%M:%S", &local);
  std::strftime(zone, sizeof zone, "%z", &local);
  char out[96];
  std::snprintf(out, sizeof out, "%s.%03d %s", head, static_cast<int>(ms), zone);
  return out;
}

std::string FormatLogEntry(const LogEntry& e, const std::string& context) {
  std::ostringstream head;
  head << FormatTime(e.time);
  if (!context.empty()) head << "  " << context;
  head << "  error " << e.err1 << " " << e.err2 << " " << e.err3;
  head << "  at " << (e.module.empty() ? std::string("?") : Utf16ToUtf8(e.module)) << ":" << e.line << "\n";
  return head.str() + Indented(e.message);
}

std::string FormatMessageEntry(const MessageEntry& e, const std::string& context) {
  std::ostringstream head;
  head << FormatTime(e.time);
  if (!context.empty()) head << "  " << context;
  head << "  message " << e.errorNumber << " " << e.infoRet << "\n";
  return head.str() + Indented(e.message);
}

bool LogFile::Append(const std::string& text, std::string* error) const {
  int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (error) *error = "cannot write " + path_ + ": " + std::strerror(errno);
    return false;
  }
  std::size_t done = 0;
  bool ok = true;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      if (error) *error = "cannot write " + path_ + ": " + std::strerror(errno);
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return ok;
}

bool LogFile::Read(std::string& text, std::string* error) const {
  text.clear();
  if (::access(path_.c_str(), F_OK) != 0 && errno == ENOENT) return true;
  std::ifstream in(path_, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read " + path_ + ": " + std::strerror(errno);
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  return true;
}

bool LogFile::Clear(std::string* error) const {
  if (::truncate(path_.c_str(), 0) != 0 && errno != ENOENT) {
    if (error) *error = "cannot clear " + path_ + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace capture
