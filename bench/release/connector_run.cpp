#include "bench/release/connector_run.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "bench/release/synth.h"
#include "capture/connector.h"
#include "capture/host_objects.h"
#include "capture/resolve.h"
#include "platform/com/activation.h"
#include "platform/com/utf.h"
#include "platform/registry/com_registry.h"
#include "platform/registry/registry.h"

namespace bench {
namespace {

// Keeps the first error the connector reports; counts nothing else, so memory does not grow per document.
class Events final : public capture::ReleaseEvents {
 public:
  void LogError(LONG err1, LONG, LONG, std::u16string_view message, std::u16string_view, LONG) override {
    if (err1 != 0 && first.empty()) first = Utf16ToUtf8(message);
  }
  void SendMessage(std::u16string_view message, LONG, LONG) override {
    if (first.empty()) first = Utf16ToUtf8(message);
  }
  std::string first;
};

}  // namespace

RunResult RunConnector(const ConnectorRun& run) {
  RunResult result;
  result.documents = run.documents;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  EnableRegistryActivation();
  RegistrySetStorePath(run.registryPath);
  std::string message;
  if (FAILED(RegisterServerModule(run.modulePath, &message))) {
    result.failure = "cannot register " + run.modulePath + ": " + message;
    return result;
  }
  capture::SetProgIdResolver(CLSIDFromProgID);
  CComPtr<IKfxReleaseScript> script;
  if (FAILED(capture::CreateReleaseScript(capture::kDefaultConnectorProgId, &script, &message))) {
    result.failure = message;
    return result;
  }

  ClassSettings settings{run.serverName, run.userName, run.password, run.library};
  capture::DocumentClass documentClass = MakeInvoiceClass(settings);
  capture::Batch batch = MakeBatchFrame(documentClass);
  auto events = std::make_shared<Events>();

  // Documents are made in small groups before they are timed, so that making them is not counted and memory
  // does not grow with the number of documents.
  constexpr std::size_t kGroup = 32;
  std::vector<capture::BatchDocument> group;
  Stopwatch watch;
  KfxReturnValue ret = KFX_REL_ERROR;
  std::size_t tenth = run.documents / 10;
  bool opened = false;
  for (std::size_t first = 0; first < run.documents; first += kGroup) {
    std::size_t count = std::min(kGroup, run.documents - first);
    group.resize(count);
    for (std::size_t k = 0; k < count; ++k) MakeInvoice(documentClass, run.seed, first + k, group[k]);
    watch.Start();
    for (std::size_t k = 0; k < count; ++k) {
      std::size_t i = first + k;
      std::swap(batch.documents[0], group[k]);
      CComPtr<IReleaseData> data = capture::MakeReleaseData(capture::MakeReleaseDocument(documentClass, batch, 0), events);
      script->putref_DocumentData(data);
      if (!opened) {
        opened = true;
        if (script->OpenScript(&ret) != S_OK || ret != KFX_REL_SUCCESS) {
          result.failure = "OpenScript failed";
          return result;
        }
      }
      ret = KFX_REL_ERROR;
      if (script->ReleaseDoc(&ret) == S_OK && ret == KFX_REL_SUCCESS) {
        ++result.released;
      } else if (result.failure.empty()) {
        result.failure = "document " + std::to_string(i + 1) + ": " + events->first;
      }
      AfterDocument(i + 1, tenth, watch, result);
    }
    watch.Stop();
  }
  watch.Start();
  script->CloseScript(&ret);
  watch.Stop();
  Finish(watch, result);
  script.Release();
  return result;
}

}  // namespace bench
