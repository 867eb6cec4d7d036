#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bench/release/common.h"

namespace bench {

struct ConnectorRun {
  std::string modulePath;    // the connector module to register
  std::string registryPath;  // a registry store of this run's own
  std::u16string serverName, userName, password, library;
  std::size_t documents = 0;
  std::uint64_t seed = 1;
};

// Registers the module, creates the connector through its ProgID and releases the documents one by one as the
// platform's release module does. Synthesising a document is not counted in the time.
RunResult RunConnector(const ConnectorRun& run);

}  // namespace bench
