// A data access layer whose start-up and shut-down record their calls and can be told to throw.
#pragma once

#include <string>

namespace fake_axlib {
enum class Throw { Nothing, AxException, OtherException };
extern int initCalls;
extern int shutdownCalls;
extern Throw initThrows;
extern Throw shutdownThrows;
extern std::u16string resourcesAtInit;      // name of the resource module selected during AxLibInit
extern std::u16string resourcesAtShutdown;  // and during AxLibShutdown
void Reset();
}  // namespace fake_axlib
