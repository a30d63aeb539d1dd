#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "console/console.h"
#include "game/game.h"
#include "pond/pond.h"

namespace {

constexpr const char* kUsage =
    "Usage: reedmere [--help | --version]\n"
    "Go fishing with your father in a text-console pond.\n"
    "\n"
    "Watch the three fish swim and press any key when ready; the pond is\n"
    "covered. Cast by typing a column, then a row (1 to 9, and 0 or 10 for\n"
    "the tenth), each ended with Enter. Answer Y to play again.\n"
    "Ctrl-C ends the game, Ctrl-Z suspends it.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n";

// Prints the answer to --help or --version. Returns the exit status, or -1
// when no such option was given and the game should start; any other
// argument is ignored.
int answer_options(int argc, char** argv) {
    const char* answer = nullptr;
    for (int i = 1; i < argc && answer == nullptr; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) answer = kUsage;
        if (std::strcmp(argv[i], "--version") == 0) answer = "reedmere " REEDMERE_VERSION "\n";
    }
    if (answer == nullptr) return -1;
    std::fputs(answer, stdout);
    reedmere::console::flush(stdout);  // a help text that never reached its reader is no success
    return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace reedmere;
    console::buffer_standard_streams();
    const int answered = answer_options(argc, argv);
    if (answered >= 0) return answered;
    console::start();
    std::FILE* const in = console::keyboard();
    std::FILE* const out = console::screen();
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    Board board{};
    Fish fish1{};
    Fish fish2{};
    Fish fish3{};
    std::int32_t fish_col = 0;
    std::int32_t fish_row = 0;

    // Every way out, a declined replay or the end of the input, ends here.
    int playing = show_intro(in, out);
    while (playing) {
        if (!play_round(board, fish1, fish2, fish3, fish_col, fish_row, in, out)) {
            console::clear_screen(out);  // the input ended at the cast: leave as a declined replay would
            break;
        }
        playing = ask_play_again(in, out);
    }
    console::flush(out);
    return EXIT_SUCCESS;
}
