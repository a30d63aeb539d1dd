// Preloaded into the game by the terminal tests. The game needs no heap, so
// any allocation is a fault: it ends the game with SIGABRT.
#include <cstdlib>

extern "C" void* malloc(std::size_t) { std::abort(); }
extern "C" void* calloc(std::size_t, std::size_t) { std::abort(); }
extern "C" void* realloc(void*, std::size_t) { std::abort(); }
