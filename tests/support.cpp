#include "support.h"

#include <fstream>
#include <iterator>

#include "console/console.h"
#include "game/game.h"

std::deque<bool> fake_console::key_answers;
std::FILE* fake_console::trace = nullptr;

namespace reedmere::console {

void start() {}

bool key_pending() {
    const bool pending = fake_console::key_answers.empty() || fake_console::key_answers.front();
    if (!fake_console::key_answers.empty()) fake_console::key_answers.pop_front();
    std::fputs(pending ? "<key>" : "<no key>", fake_console::trace);
    return pending;
}

void sleep_ms(int ms) { std::fprintf(fake_console::trace, "<sleep %d>", ms); }

void input_ended() {}

}  // namespace reedmere::console

std::string recorded(const std::string& name, const std::string& actual) {
    const std::string path = REEDMERE_GOLDEN + name;
    if (std::getenv("REEDMERE_UPDATE_GOLDEN") != nullptr) std::ofstream(path, std::ios::binary) << actual;
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

bool play_like_the_game(std::FILE* in, std::FILE* out) {
    reedmere::Board board;
    for (auto& row : board) row.fill(reedmere::Square{1});  // as a round may leave it
    reedmere::Fish fish1{};
    reedmere::Fish fish2{};
    reedmere::Fish fish3{};
    std::int32_t col = -1;
    std::int32_t row = -1;
    if (!reedmere::show_intro(in, out)) return true;
    bool on_board = true;
    while (reedmere::play_round(board, fish1, fish2, fish3, col, row, in, out)) {
        std::fprintf(out, "<cast %d %d>", col, row);
        on_board = on_board && col >= 0 && col <= 9 && row >= 0 && row <= 9;
        const int again = reedmere::ask_play_again(in, out);
        std::fprintf(out, "<again %d>", again);
        if (!again) break;
    }
    return on_board;
}
