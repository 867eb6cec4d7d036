// The module's application object: start-up and shut-down of the data access layer when the module is loaded
// into a process and unloaded from it.
#pragma once

class CqorvenaApp {
 public:
  // Also sets the ATL module's type library identifier.
  CqorvenaApp();
  CqorvenaApp(const CqorvenaApp&) = delete;
  CqorvenaApp& operator=(const CqorvenaApp&) = delete;

  // False when the module cannot start: the module then refuses to hand out objects or register.
  bool InitInstance();
  int ExitInstance();
};
