// Whatever bytes arrive on standard input, the intro, the cast and the replay
// answer must come to an end, and every cast they accept lies on the board.
#include <cstdint>
#include <cstdlib>

#include "game/game.h"
#include "tests/support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::FILE* const nowhere = std::fopen("/dev/null", "w");
    fake_console::trace = nowhere;
    MemoryInput in{std::string(reinterpret_cast<const char*>(data), size)};
    if (!reedmere::show_intro(in.stream, nowhere)) return 0;
    std::int32_t col = -1, row = -1;
    while (reedmere::read_cast(col, row, in.stream, nowhere)) {
        if (col < 0 || col > 9 || row < 0 || row > 9) std::abort();
        if (!reedmere::ask_play_again(in.stream, nowhere)) break;
    }
    return 0;
}
