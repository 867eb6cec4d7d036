#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "capture/cli.h"
#include "capture/connector.h"
#ifdef QORVENA_INPROC_EXPORT
#include "capture/inproc_connector.h"
#endif

namespace {
std::string DefaultHome() {
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir;
  }
  return home && *home ? std::string(home) + "/.qorvena-capture" : std::string();
}
}  // namespace

int main(int argc, char** argv) {
  // Export connectors are found by ProgID through the registry once it is installed here:
  //   capture::SetProgIdResolver(CLSIDFromProgID);
#ifdef QORVENA_INPROC_EXPORT
  capture::SetConnectorFallback(CreateInprocExportConnector);
#endif
  std::vector<std::string> args(argv, argv + argc);
  capture::CliEnvironment environment{&std::cout, &std::cerr, isatty(STDERR_FILENO) != 0, DefaultHome(),
                                      QORVENA_EXAMPLES_DIR};
  int status = capture::RunCli(args, environment);
  std::cout.flush();
  return status;
}
