// printf-style formatting of UTF-16 text, as the system's wide printf does it: %s is a wide string,
// %hs a narrow one; %d %i %u %x %X %o %c %%; flags - + space 0 #; width and precision (also *);
// length letters h l ll I64 w z are accepted and ignored (integers are 32-bit unless ll/I64).
// A missing argument formats as 0 or an empty text; nothing is ever read past the argument list.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/com/bstr.h"

class FmtArg {
 public:
  enum class Kind { Int, UInt, Double, Wide, Narrow };

  FmtArg(int v) : kind_(Kind::Int), i_(v) {}
  FmtArg(long v) : kind_(Kind::Int), i_(v) {}
  FmtArg(long long v) : kind_(Kind::Int), i_(v) {}
  FmtArg(unsigned v) : kind_(Kind::UInt), u_(v) {}
  FmtArg(unsigned long v) : kind_(Kind::UInt), u_(v) {}
  FmtArg(unsigned long long v) : kind_(Kind::UInt), u_(v) {}
  FmtArg(double v) : kind_(Kind::Double), d_(v) {}
  FmtArg(const char16_t* s) : kind_(Kind::Wide), wide_(s ? std::u16string_view(s) : std::u16string_view()), null_(!s) {}
  FmtArg(std::u16string_view s) : kind_(Kind::Wide), wide_(s) {}
  FmtArg(const std::u16string& s) : kind_(Kind::Wide), wide_(s) {}
  FmtArg(const CComBSTR& s) : kind_(Kind::Wide), wide_(s.View()) {}
  FmtArg(const char* s) : kind_(Kind::Narrow), narrow_(s ? std::string_view(s) : std::string_view()), null_(!s) {}
  FmtArg(std::string_view s) : kind_(Kind::Narrow), narrow_(s) {}
  FmtArg(const std::string& s) : kind_(Kind::Narrow), narrow_(s) {}

  Kind kind() const { return kind_; }
  std::int64_t AsInt() const;
  std::uint64_t AsUInt() const;
  double AsDouble() const;
  std::u16string AsWide() const;
  bool IsNull() const { return null_; }

 private:
  Kind kind_;
  std::int64_t i_ = 0;
  std::uint64_t u_ = 0;
  double d_ = 0;
  std::u16string_view wide_;
  std::string_view narrow_;
  bool null_ = false;
};

// Formats into at most maxChars characters (the rest is cut).
std::u16string FormatW(std::u16string_view format, std::span<const FmtArg> args,
                       std::size_t maxChars = std::u16string::npos);

template <class... A>
std::u16string Format(std::u16string_view format, const A&... args) {
  std::array<FmtArg, sizeof...(A)> list{FmtArg(args)...};
  return FormatW(format, std::span<const FmtArg>(list.data(), list.size()));
}

template <class... A>
std::u16string FormatBounded(std::size_t maxChars, std::u16string_view format, const A&... args) {
  std::array<FmtArg, sizeof...(A)> list{FmtArg(args)...};
  return FormatW(format, std::span<const FmtArg>(list.data(), list.size()), maxChars);
}
