// The original file's path, from the document values the platform hands over: folder, file name and
// extension as the batch gave them, checked against the file system.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/host_objects.h"
#include "export/release_steps.h"
#include "fuzz_support.h"
#include "platform/com/utf.h"

namespace {

// Files the inputs may name: ScratchDir()/scans/inv-1.pdf, .../inv-1.tif, .../a.b/c, .../a.b/c.pdf, .../x.
void MakeFiles() {
  namespace fs = std::filesystem;
  fs::path scans = fs::path(fuzz::ScratchDir()) / "scans";
  fs::create_directories(scans / "a.b");
  for (const char* name : {"inv-1.pdf", "inv-1.tif", "a.b/c", "a.b/c.pdf", "x", "noext."})
    fuzz::WriteBytes((scans / name).string(), "%PDF");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MakeFiles();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  static const char16_t* const kNames[] = {u"OriginalFolder", u"OriginalFileName", u"OriginalFileNameExt",
                                           u"TPEC.PESID", u""};
  std::vector<capture::DocumentValue> values;
  std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 6);
  for (std::size_t i = 0; i < count; ++i) {
    capture::DocumentValue v;
    v.destination = kNames[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kNames) - 1)];
    std::u16string text = fuzz::LooseUtf16(in.ConsumeRandomLengthString(300));
    // "@" stands for the folder of the test files, so that inputs can name files that exist.
    if (!text.empty() && text[0] == u'@') text = Utf8ToUtf16(fuzz::ScratchDir() + "/scans") + text.substr(1);
    v.value = std::move(text);
    values.push_back(std::move(v));
  }
  CComPtr<IValues> list = capture::MakeValues(values);

  std::u16string path = u"untouched";
  bool found = GetOriginalFilePath(list, path);
  if (!found) {
    FUZZ_REQUIRE(path == u"untouched");
    return 0;
  }
  // A path is only handed back when the file is there, and it is built from the values.
  FUZZ_REQUIRE(!path.empty() && path.size() < 260);
  FUZZ_REQUIRE(path.find(u'\0') == std::u16string::npos);
  struct stat st{};
  FUZZ_REQUIRE(::stat(Utf16ToUtf8(path).c_str(), &st) == 0);
  std::u16string folder, name, extension;
  GetValueByName(u"OriginalFolder", list, folder);
  GetValueByName(u"OriginalFileName", list, name);
  GetValueByName(u"OriginalFileNameExt", list, extension);
  FUZZ_REQUIRE(path.compare(0, folder.size(), folder) == 0);
  if (!extension.empty()) {
    std::u16string tail = extension[0] == u'.' ? extension : u"." + extension;
    FUZZ_REQUIRE(path.size() >= tail.size() && path.compare(path.size() - tail.size(), tail.size(), tail) == 0);
  }
  return 0;
}
