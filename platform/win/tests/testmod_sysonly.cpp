// A module found only through the machine's system directory.
#define TESTMOD_EXPORT extern "C" __attribute__((visibility("default")))

TESTMOD_EXPORT int SysOnlyAnswer() { return 7; }
