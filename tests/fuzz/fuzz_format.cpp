// The UTF-16 message formatter: any format text with any arguments, whole and bounded.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/com/format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  // The arguments first, so that the rest of the input is the format and seeds can be written as text.
  std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 8);
  std::vector<std::u16string> wideTexts;
  std::vector<std::string> narrowTexts;
  wideTexts.reserve(count);
  narrowTexts.reserve(count);
  std::vector<FmtArg> args;
  for (std::size_t i = 0; i < count; ++i) {
    switch (in.ConsumeIntegralInRange<int>(0, 8)) {
      case 0: args.emplace_back(in.ConsumeIntegral<int>()); break;
      case 1: args.emplace_back(in.ConsumeIntegral<long long>()); break;
      case 2: args.emplace_back(in.ConsumeIntegral<unsigned>()); break;
      case 3: args.emplace_back(in.ConsumeIntegral<unsigned long long>()); break;
      case 4: args.emplace_back(fuzz::ConsumeDouble(in)); break;
      case 5:
        wideTexts.push_back(fuzz::LooseUtf16(in.ConsumeRandomLengthString(64)));
        args.emplace_back(std::u16string_view(wideTexts.back()));
        break;
      case 6:
        narrowTexts.push_back(in.ConsumeRandomLengthString(64));
        args.emplace_back(std::string_view(narrowTexts.back()));
        break;
      case 7: args.emplace_back(static_cast<const char16_t*>(nullptr)); break;
      default: args.emplace_back(static_cast<const char*>(nullptr)); break;
    }
  }
  std::size_t bound = in.ConsumeIntegralInRange<std::size_t>(0, 600);
  std::u16string format = fuzz::LooseUtf16(in.ConsumeRemainingBytesAsString());

  std::u16string whole = FormatW(format, args);
  std::u16string bounded = FormatW(format, args, bound);
  // The bounded text is the whole text, cut.
  FUZZ_REQUIRE(bounded.size() <= bound);
  FUZZ_REQUIRE(whole.compare(0, bounded.size(), bounded) == 0);
  FUZZ_REQUIRE(bounded.size() == std::min(whole.size(), bound));
  // Text without conversions comes out as it went in.
  if (format.find(u'%') == std::u16string::npos) FUZZ_REQUIRE(whole == format);
  return 0;
}
