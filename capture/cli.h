// The capture host's command line. Exit statuses: 0 done (for release: every document released),
// 1 something did not work (a document not released, a library not created, a store that cannot be
// written), 2 bad input (usage, unknown class, a batch or class file that cannot be used).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace capture {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadInput = 2;

struct CliEnvironment {
  std::ostream* out;
  std::ostream* err;
  bool progress = false;           // draw a progress line (only on a terminal)
  std::string defaultHome;         // used when neither --home nor QORVENA_HOME is given
  std::string examplesDirectory;   // where the demo finds its class and batch
};

// args[0] is the program name.
int RunCli(const std::vector<std::string>& args, const CliEnvironment& environment);

}  // namespace capture
