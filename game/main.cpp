#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "console/console.h"
#include "game/game.h"
#include "pond/pond.h"

int main() {
    using namespace reedmere;
    console::start();
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    Board board{};
    Fish fish1{};
    Fish fish2{};
    Fish fish3{};
    std::int32_t fish_col = 0;
    std::int32_t fish_row = 0;

    // Every way out, a declined replay or the end of the input, ends here.
    int playing = show_intro();
    while (playing) {
        if (!play_round(board, fish1, fish2, fish3, fish_col, fish_row)) {
            console::clear_screen();  // the input ended at the cast: leave as a declined replay would
            break;
        }
        playing = ask_play_again();
    }
    return EXIT_SUCCESS;
}
