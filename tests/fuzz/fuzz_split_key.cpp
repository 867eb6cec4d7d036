// Link destinations split into table and column.
#include <cstdint>
#include <string>

#include "ecm/mapping_model.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string key = fuzz::LooseUtf16(fuzz::AsText(data, size));
  std::u16string table = u"stale", column = u"stale";
  SplitKey(key, table, column);
  FUZZ_REQUIRE(table.find(u'.') == std::u16string::npos);
  FUZZ_REQUIRE(column.find(u'.') == std::u16string::npos);
  if (key.find(u'.') == std::u16string::npos) {
    FUZZ_REQUIRE(table == key && column.empty());
  } else {
    // TABLE.COLUMN, and whatever follows a second full stop is not part of the column.
    std::u16string joined = table + u"." + column;
    FUZZ_REQUIRE(key.compare(0, joined.size(), joined) == 0);
    FUZZ_REQUIRE(key.size() == joined.size() || key[joined.size()] == u'.');
  }
  return 0;
}
