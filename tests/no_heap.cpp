// Preloaded into the game by the terminal tests. The game allocates once, the
// screen's stream when it starts, so any other allocation is a fault: it ends
// the game with SIGABRT.
#include <cstddef>
#include <cstdlib>

alignas(std::max_align_t) static char g_stream[1024];
static bool g_stream_taken = false;

extern "C" void* malloc(std::size_t size) {
    if (g_stream_taken || size > sizeof g_stream) std::abort();
    g_stream_taken = true;
    return g_stream;
}
extern "C" void* calloc(std::size_t, std::size_t) { std::abort(); }
extern "C" void* realloc(void*, std::size_t) { std::abort(); }
extern "C" void free(void*) {}
