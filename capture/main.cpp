#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "capture/cli.h"
#include "capture/connector.h"
#include "platform/com/activation.h"
#include "platform/registry/com_registry.h"

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
  // Connectors are found as the platform finds them: ProgID -> CLSID -> InprocServer32 -> the module.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  EnableRegistryActivation();
  capture::SetProgIdResolver(CLSIDFromProgID);
  std::vector<std::string> args(argv, argv + argc);
  capture::CliEnvironment environment{&std::cout, &std::cerr, isatty(STDERR_FILENO) != 0, DefaultHome(),
                                      QORVENA_EXAMPLES_DIR};
  int status = capture::RunCli(args, environment);
  std::cout.flush();
  return status;
}
