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

    if (!show_intro()) return EXIT_SUCCESS;
    while (play_round(board, fish1, fish2, fish3, fish_col, fish_row)) {
        if (!ask_play_again()) return EXIT_SUCCESS;
    }
    // The input ended at the cast: leave as a declined replay would.
    console::clear_screen();
    return EXIT_SUCCESS;
}
