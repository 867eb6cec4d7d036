// Batch files: parsing, the check against the document class that releases them, and the resolution of the
// class's links into each document's values, as the host does before a release.
#include <cstdint>
#include <string>

#include "capture/json_io.h"
#include "capture/resolve.h"
#include "fuzz_support.h"

namespace {

capture::DocumentClass g_class;

bool SameBatch(const capture::Batch& a, const capture::Batch& b) {
  if (a.file != b.file || a.name != b.name || a.batchClass != b.batchClass || a.documentClass != b.documentClass ||
      a.batchFields != b.batchFields || a.values != b.values || a.documents.size() != b.documents.size())
    return false;
  for (std::size_t i = 0; i < a.documents.size(); ++i) {
    const auto& x = a.documents[i];
    const auto& y = b.documents[i];
    if (x.name != y.name || x.kofaxPdfFileName != y.kofaxPdfFileName || x.originalFileName != y.originalFileName ||
        x.indexFields != y.indexFields || x.tables != y.tables || x.values != y.values)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string error;
  if (!capture::ReadClassFile(QORVENA_EXAMPLES_DIR "/invoice-class.json", g_class, &error))
    fuzz::Broken(("the example class cannot be read: " + error).c_str(), __FILE__, __LINE__);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::ScratchDir() + "/batch.json";
  std::string_view text = fuzz::AsText(data, size);

  capture::Batch parsed;
  std::string error;
  bool ok = capture::ParseBatch(text, path, parsed, &error);
  FUZZ_REQUIRE(ok == error.empty());

  // The file reader gives the same answer as the text parser.
  fuzz::WriteBytes(path, text);
  capture::Batch read;
  std::string readError;
  FUZZ_REQUIRE(capture::ReadBatchFile(path, read, &readError) == ok);
  FUZZ_REQUIRE(readError == error);
  if (!ok) return 0;
  FUZZ_REQUIRE(SameBatch(parsed, read));
  FUZZ_REQUIRE(!parsed.documentClass.empty());
  FUZZ_REQUIRE(!parsed.documents.empty());
  FUZZ_REQUIRE(parsed.file == path);

  // A batch the class refuses says why; one it accepts resolves for every document.
  std::string why;
  bool fits = capture::CheckBatchAgainstClass(parsed, g_class, &why);
  FUZZ_REQUIRE(fits == why.empty());
  for (std::size_t i = 0; i < parsed.documents.size() && i < 64; ++i) {
    std::vector<capture::DocumentValue> values = capture::ResolveLinks(g_class, parsed, i);
    FUZZ_REQUIRE(values.size() == g_class.links.size());
    for (std::size_t k = 0; k < values.size(); ++k) FUZZ_REQUIRE(values[k].destination == g_class.links[k].destination);
    capture::ReleaseDocument document = capture::MakeReleaseDocument(g_class, parsed, i);
    FUZZ_REQUIRE(document.values == values);
  }
  return 0;
}
