#include "platform/com/format.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "platform/com/utf.h"

namespace {

// A number given for an integer conversion loses its fraction; one beyond the integer range gives the nearest end
// of it, and NaN gives 0 (converting those directly is undefined).
std::int64_t ClampToInt64(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 0x1p63) return std::numeric_limits<std::int64_t>::max();
  if (d < -0x1p63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(d);
}

std::uint64_t ClampToUInt64(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 0x1p64) return std::numeric_limits<std::uint64_t>::max();
  if (d >= 0) return static_cast<std::uint64_t>(d);
  // Negative numbers wrap as a negative integer does.
  return static_cast<std::uint64_t>(ClampToInt64(d));
}

}  // namespace

std::int64_t FmtArg::AsInt() const {
  switch (kind_) {
    case Kind::Int: return i_;
    case Kind::UInt: return static_cast<std::int64_t>(u_);
    case Kind::Double: return ClampToInt64(d_);
    default: return 0;
  }
}

std::uint64_t FmtArg::AsUInt() const {
  switch (kind_) {
    case Kind::Int: return static_cast<std::uint64_t>(i_);
    case Kind::UInt: return u_;
    case Kind::Double: return ClampToUInt64(d_);
    default: return 0;
  }
}

double FmtArg::AsDouble() const {
  switch (kind_) {
    case Kind::Int: return static_cast<double>(i_);
    case Kind::UInt: return static_cast<double>(u_);
    case Kind::Double: return d_;
    default: return 0;
  }
}

std::u16string FmtArg::AsWide() const {
  switch (kind_) {
    case Kind::Wide: return null_ ? std::u16string(u"(null)") : std::u16string(wide_);
    case Kind::Narrow: return null_ ? std::u16string(u"(null)") : Utf8ToUtf16(narrow_);
    default: return {};
  }
}

namespace {

struct Spec {
  bool left = false, plus = false, space = false, zero = false, alt = false;
  int width = -1;
  int precision = -1;
  bool wide64 = false;
  bool narrowString = false;
};

void Pad(std::u16string& out, const std::u16string& body, const Spec& spec, std::size_t signLen = 0) {
  std::size_t width = spec.width > 0 ? static_cast<std::size_t>(spec.width) : 0;
  if (body.size() >= width) {
    out += body;
  } else if (spec.left) {
    out += body;
    out.append(width - body.size(), u' ');
  } else if (spec.zero) {
    out.append(body, 0, signLen);
    out.append(width - body.size(), u'0');
    out.append(body, signLen, std::u16string::npos);
  } else {
    out.append(width - body.size(), u' ');
    out += body;
  }
}

std::u16string Digits(std::uint64_t v, unsigned base, bool upper) {
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::u16string s;
  do {
    s.insert(s.begin(), static_cast<char16_t>(set[v % base]));
    v /= base;
  } while (v);
  return s;
}

}  // namespace

std::u16string FormatW(std::u16string_view fmt, std::span<const FmtArg> args, std::size_t maxChars) {
  std::u16string out;
  std::size_t next = 0;
  auto take = [&]() -> const FmtArg* { return next < args.size() ? &args[next++] : nullptr; };
  // Width and precision may come from the arguments; a huge one would only waste memory.
  constexpr int kMaxField = 4096;

  for (std::size_t i = 0; i < fmt.size(); ++i) {
    if (out.size() >= maxChars) break;
    char16_t c = fmt[i];
    if (c != u'%') {
      out.push_back(c);
      continue;
    }
    if (++i >= fmt.size()) break;
    if (fmt[i] == u'%') {
      out.push_back(u'%');
      continue;
    }
    Spec spec;
    for (; i < fmt.size(); ++i) {
      char16_t f = fmt[i];
      if (f == u'-') spec.left = true;
      else if (f == u'+') spec.plus = true;
      else if (f == u' ') spec.space = true;
      else if (f == u'0') spec.zero = true;
      else if (f == u'#') spec.alt = true;
      else break;
    }
    auto readNumber = [&](int& target, bool precision) {
      if (i < fmt.size() && fmt[i] == u'*') {
        const FmtArg* a = take();
        std::int64_t v = a ? a->AsInt() : 0;
        ++i;
        if (v < 0) {
          // As printf takes them: a negative width asks for the '-' flag, a negative precision for none at all.
          if (precision) {
            target = -1;
            return;
          }
          spec.left = true;
        }
        std::uint64_t magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
        target = static_cast<int>(magnitude > kMaxField ? kMaxField : magnitude);
        return;
      }
      bool any = false;
      long long v = 0;
      while (i < fmt.size() && fmt[i] >= u'0' && fmt[i] <= u'9') {
        v = v * 10 + (fmt[i] - u'0');
        if (v > kMaxField) v = kMaxField;
        any = true;
        ++i;
      }
      if (any) target = static_cast<int>(v);
    };
    readNumber(spec.width, false);
    if (i < fmt.size() && fmt[i] == u'.') {
      ++i;
      spec.precision = 0;
      readNumber(spec.precision, true);
    }
    // Length letters.
    for (; i < fmt.size(); ++i) {
      char16_t l = fmt[i];
      if (l == u'l' && i + 1 < fmt.size() && fmt[i + 1] == u'l') {
        spec.wide64 = true;
        ++i;
      } else if (l == u'I' && i + 2 < fmt.size() && fmt[i + 1] == u'6' && fmt[i + 2] == u'4') {
        spec.wide64 = true;
        i += 2;
      } else if (l == u'h') {
        spec.narrowString = true;
      } else if (l == u'l' || l == u'w' || l == u'z' || l == u'L' || l == u'j' || l == u't') {
      } else {
        break;
      }
    }
    if (i >= fmt.size()) break;
    char16_t type = fmt[i];
    std::u16string body;
    std::size_t signLen = 0;
    switch (type) {
      case u'd':
      case u'i': {
        const FmtArg* a = take();
        std::int64_t v = a ? a->AsInt() : 0;
        if (!spec.wide64) v = static_cast<std::int32_t>(v);
        std::uint64_t mag = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
        std::u16string digits = Digits(mag, 10, false);
        if (spec.precision >= 0 && digits.size() < static_cast<std::size_t>(spec.precision))
          digits.insert(0, static_cast<std::size_t>(spec.precision) - digits.size(), u'0');
        if (spec.precision == 0 && v == 0) digits.clear();
        if (v < 0) body = u"-";
        else if (spec.plus) body = u"+";
        else if (spec.space) body = u" ";
        signLen = body.size();
        body += digits;
        if (spec.precision >= 0) spec.zero = false;
        break;
      }
      case u'u':
      case u'x':
      case u'X':
      case u'o': {
        const FmtArg* a = take();
        std::uint64_t v = a ? a->AsUInt() : 0;
        if (!spec.wide64) v &= 0xFFFFFFFFull;
        unsigned base = type == u'o' ? 8 : (type == u'u' ? 10 : 16);
        std::u16string digits = Digits(v, base, type == u'X');
        if (spec.precision >= 0 && digits.size() < static_cast<std::size_t>(spec.precision))
          digits.insert(0, static_cast<std::size_t>(spec.precision) - digits.size(), u'0');
        if (spec.precision == 0 && v == 0) digits.clear();
        if (spec.alt && v != 0 && base == 16) {
          body = type == u'X' ? u"0X" : u"0x";
          signLen = 2;
        } else if (spec.alt && base == 8 && (digits.empty() || digits[0] != u'0')) {
          digits.insert(digits.begin(), u'0');
        }
        body += digits;
        if (spec.precision >= 0) spec.zero = false;
        break;
      }
      case u'c':
      case u'C': {
        const FmtArg* a = take();
        auto v = static_cast<char16_t>(a ? a->AsUInt() : 0);
        body.assign(1, v);
        spec.zero = false;
        break;
      }
      case u's':
      case u'S': {
        const FmtArg* a = take();
        body = a ? a->AsWide() : std::u16string();
        if (spec.precision >= 0 && body.size() > static_cast<std::size_t>(spec.precision))
          body.resize(static_cast<std::size_t>(spec.precision));
        spec.zero = false;
        break;
      }
      case u'f':
      case u'e':
      case u'g':
      case u'E':
      case u'G': {
        const FmtArg* a = take();
        char cfmt[16];
        std::snprintf(cfmt, sizeof cfmt, "%%.%d%c", spec.precision >= 0 ? spec.precision : 6, static_cast<char>(type));
        double v = a ? a->AsDouble() : 0.0;
        // A large number with a long precision needs more than any fixed buffer: %.4096f of 1e308 has 4406.
        int length = std::snprintf(nullptr, 0, cfmt, v);
        std::string buf(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
        if (length > 0) std::snprintf(buf.data(), buf.size() + 1, cfmt, v);
        body = Utf8ToUtf16(buf);
        if (!body.empty() && body[0] == u'-') signLen = 1;
        else if (spec.plus) {
          body.insert(body.begin(), u'+');
          signLen = 1;
        }
        break;
      }
      default:
        // Unknown conversion: written as it stands.
        body = u"%";
        body.push_back(type);
        spec = Spec{};
        break;
    }
    Pad(out, body, spec, signLen);
  }
  if (out.size() > maxChars) out.resize(maxChars);
  return out;
}
