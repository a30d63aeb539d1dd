// Whatever bytes arrive on standard input, the game must come to an end, and
// every cast it accepts lies on the board.
#include <cstdint>
#include <cstdlib>

#include "tests/support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    if (!play_like_the_game(in)) std::abort();
    std::fclose(in);
    std::rewind(fake::screen);  // what was printed is of no interest
    return 0;
}
