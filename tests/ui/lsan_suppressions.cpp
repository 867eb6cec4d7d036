// Fontconfig keeps a few allocations for the life of the process, which Qt's font database never hands
// back; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
