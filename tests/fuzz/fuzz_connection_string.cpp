// Connection strings of the ADO stand-in, and the provider a data source name selects.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/ado/provider.h"

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text = fuzz::LooseUtf16(fuzz::AsText(data, size));
  ado::ConnectionProperties props = ado::ParseConnectionString(text);
  FUZZ_REQUIRE(props.pairs.size() <= text.size() / 2 + 1);
  for (const auto& [key, value] : props.pairs) {
    // Keys are trimmed, never empty, and hold neither separator.
    FUZZ_REQUIRE(!key.empty() && !IsBlank(key.front()) && !IsBlank(key.back()));
    FUZZ_REQUIRE(key.find(u'=') == std::u16string::npos && key.find(u';') == std::u16string::npos);
    FUZZ_REQUIRE(key.size() + value.size() <= text.size());
    // The last value of a key wins.
    const std::u16string* found = props.Find(key);
    FUZZ_REQUIRE(found != nullptr);
  }
  if (!props.pairs.empty()) FUZZ_REQUIRE(*props.Find(props.pairs.back().first) == props.pairs.back().second);

  std::u16string source = props.Get(u"Data Source");
  std::u16string kind = ado::ProviderKindFor(source);
  FUZZ_REQUIRE(kind == u"sqlite" || kind == u"odbc");
  return 0;
}
