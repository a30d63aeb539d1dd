#include "support.h"

#include "console/console.h"
#include "game/game.h"

namespace {
char* g_printed = nullptr;
std::size_t g_printed_size = 0;
}  // namespace

std::deque<bool> fake::key_answers;
std::FILE* fake::screen = open_memstream(&g_printed, &g_printed_size);

std::string fake::printed() {
    std::fflush(screen);
    std::string text(g_printed, g_printed_size);
    std::rewind(screen);
    return text;
}

bool reedmere::console::key_pending() {
    const bool pending = fake::key_answers.empty() || fake::key_answers.front();
    if (!fake::key_answers.empty()) fake::key_answers.pop_front();
    std::fputs(pending ? "<key>" : "<no key>", fake::screen);
    return pending;
}

void reedmere::console::sleep_ms(int ms) { std::fprintf(fake::screen, "<sleep %d>", ms); }

bool reedmere::console::input_ended(std::FILE*) { return true; }

void reedmere::console::give_back() {}

std::deque<int> fake::draws;
std::minstd_rand fake::generator;

int reedmere::next_random() {
    if (fake::draws.empty()) return static_cast<int>(fake::generator());
    const int draw = fake::draws.front();
    fake::draws.pop_front();
    return draw;
}

bool play_like_the_game(std::FILE* in) {
    std::FILE* const out = fake::screen;
    reedmere::Board board;
    board[0].fill(reedmere::Square{1});  // marks left over, as if by an earlier round
    reedmere::Fish fish[3]{};
    std::int32_t cast[2]{};
    if (!reedmere::show_intro(in, out)) return true;
    bool on_board = true;
    while (reedmere::play_round(board, fish[0], fish[1], fish[2], cast[0], cast[1], in, out)) {
        std::fprintf(out, "<cast %d %d>", cast[0], cast[1]);
        on_board = on_board && cast[0] >= 0 && cast[0] <= 9 && cast[1] >= 0 && cast[1] <= 9;
        const int again = reedmere::ask_play_again(in, out);
        std::fprintf(out, "<again %d>", again);
        if (!again) break;
    }
    return on_board;
}
