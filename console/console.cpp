// Console services that every platform shares.
#include "console/console.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace reedmere::console {

namespace {

// A frame is about 1.5 KiB; the buffer holds the largest screen whole, so each
// one reaches the terminal in a single write when flushed.
char g_output_buffer[16384];

}  // namespace

void buffer_standard_streams() {
    std::setvbuf(stdout, g_output_buffer, _IOFBF, sizeof g_output_buffer);
    // Unbuffered, so that input not yet read stays where the key test can see it.
    std::setvbuf(stdin, nullptr, _IONBF, 0);
}

void clear_screen(std::FILE* out) {
    // Written into the output buffer, so that it reaches the terminal together
    // with the frame drawn after it.
    std::fputs(kClearScreen, out);
}

void flush(std::FILE* out) {
    if (std::fflush(out) == EOF) fail("write error");
}

void fail(const char* what) {
    const int error = errno;
    give_back();
    errno = error;
    std::fprintf(stderr, "reedmere: %s: %s\n", what, std::strerror(errno));
    std::exit(EXIT_FAILURE);
}

}  // namespace reedmere::console
