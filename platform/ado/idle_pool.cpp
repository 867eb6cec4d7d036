#include "platform/ado/idle_pool.h"

#include <pthread.h>
#include <unistd.h>

namespace ado {
namespace {
pid_t g_pid = ::getpid();
[[maybe_unused]] const int g_forkHook = pthread_atfork(nullptr, nullptr, [] { g_pid = ::getpid(); });
}  // namespace

pid_t CurrentProcess() { return g_pid; }

}  // namespace ado
