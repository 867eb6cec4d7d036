// Document-class import files: parsing, the class file written back (it must read in as the same class), and
// the check and resolution of the example batch against the imported class.
#include <cstdint>
#include <string>

#include "capture/json_io.h"
#include "capture/resolve.h"
#include "fuzz_support.h"

namespace {

capture::Batch g_batch;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string error;
  if (!capture::ReadBatchFile(QORVENA_EXAMPLES_DIR "/invoice-batch.json", g_batch, &error))
    fuzz::Broken(("the example batch cannot be read: " + error).c_str(), __FILE__, __LINE__);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::ScratchDir() + "/class.json";
  std::string_view text = fuzz::AsText(data, size);

  capture::DocumentClass parsed;
  std::string error;
  bool ok = capture::ParseClass(text, path, parsed, &error);
  FUZZ_REQUIRE(ok == error.empty());

  fuzz::WriteBytes(path, text);
  capture::DocumentClass read;
  std::string readError;
  FUZZ_REQUIRE(capture::ReadClassFile(path, read, &readError) == ok);
  FUZZ_REQUIRE(readError == error);
  if (!ok) return 0;
  FUZZ_REQUIRE(read == parsed);
  FUZZ_REQUIRE(!parsed.name.empty());

  // An exported class imports as the same class.
  std::string exported = capture::ClassToJson(parsed);
  capture::DocumentClass again;
  std::string againError;
  if (!capture::ParseClass(exported, "exported", again, &againError))
    fuzz::Broken(("an exported class does not import: " + againError).c_str(), __FILE__, __LINE__);
  FUZZ_REQUIRE(again == parsed);
  FUZZ_REQUIRE(capture::ClassToJson(again) == exported);

  std::string why;
  bool fits = capture::CheckBatchAgainstClass(g_batch, parsed, &why);
  FUZZ_REQUIRE(fits == why.empty());
  for (std::size_t i = 0; i < g_batch.documents.size(); ++i) {
    capture::ReleaseDocument document = capture::MakeReleaseDocument(parsed, g_batch, i);
    FUZZ_REQUIRE(document.values.size() == parsed.links.size());
    FUZZ_REQUIRE(document.connectString == parsed.serverName);
  }
  return 0;
}
