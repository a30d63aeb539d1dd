// Console services that every platform shares.
#include "console/console.h"

namespace reedmere::console {

void clear_screen(std::FILE* out) {
    // Cursor home, then erase the whole display. Written into the output buffer
    // so that it reaches the terminal together with the frame drawn after it.
    std::fputs("\033[H\033[2J", out);
}

}  // namespace reedmere::console
