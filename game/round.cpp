#include "console/console.h"
#include "game/game.h"
#include "screens/screens.h"

namespace reedmere {

namespace {

// Draws squares until one is free.
void place(Board& board, Fish& fish) {
    while (spawn_fish(board, fish) == 0) continue;
}

}  // namespace

int show_intro(std::FILE* in, std::FILE* out) {
    animate_title(out);
    console::flush(out);
    const int line_ended = flush_line(in);
    console::clear_screen(out);
    return line_ended;
}

int play_round(Board& board, Fish& fish1, Fish& fish2, Fish& fish3, std::int32_t& fish_col,
               std::int32_t& fish_row, std::FILE* in, std::FILE* out) {
    init_board(board, kPondRows, kPondCols);
    place(board, fish1);
    place(board, fish2);
    place(board, fish3);
    while (!console::key_pending()) pond_tick(board, fish1, fish2, fish3, out);
    draw_hidden_pond(kPondRows, kPondCols, out);
    if (!read_cast(fish_col, fish_row, in, out)) return 0;
    resolve_cast(board, fish1, fish2, fish3, fish_row, fish_col, out);
    return 1;
}

}  // namespace reedmere
