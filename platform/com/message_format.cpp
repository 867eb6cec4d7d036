#include "platform/com/message_format.h"

bool FormatMessageFromString(std::u16string_view format, std::span<const std::u16string> arguments,
                             std::u16string* out) {
  std::u16string text;
  for (std::size_t i = 0; i < format.size(); ++i) {
    char16_t c = format[i];
    if (c != u'%') {
      text.push_back(c);
      continue;
    }
    if (++i >= format.size()) break;  // a lone % at the end is dropped
    char16_t next = format[i];
    if (next >= u'1' && next <= u'9') {
      std::size_t number = static_cast<std::size_t>(next - u'0');
      if (i + 1 < format.size() && format[i + 1] >= u'0' && format[i + 1] <= u'9') {
        number = number * 10 + static_cast<std::size_t>(format[++i] - u'0');
      }
      // A printf-style format between exclamation marks; only text arguments are ever given here.
      if (i + 1 < format.size() && format[i + 1] == u'!') {
        std::size_t end = format.find(u'!', i + 2);
        if (end == std::u16string_view::npos) return false;
        std::u16string_view spec = format.substr(i + 2, end - i - 2);
        if (spec != u"s" && spec != u"ls" && spec != u"ws") return false;
        i = end;
      }
      if (number > arguments.size()) return false;
      text += arguments[number - 1];
    } else if (next == u'0') {
      break;
    } else if (next == u'n') {
      text += u"\r\n";
    } else if (next == u't') {
      text.push_back(u'\t');
    } else if (next == u'r') {
      text.push_back(u'\r');
    } else {
      text.push_back(next);
    }
  }
  *out = std::move(text);
  return true;
}
