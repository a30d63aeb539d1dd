// The game's logic against results recorded in tests/golden, each read over
// by hand when it was recorded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "pond/pond.h"
#include "support.h"

using namespace reedmere;
using fake::screen;

// Compares what has been printed with tests/golden/<name>; with
// REEDMERE_UPDATE_GOLDEN set, records it there first.
static void expect_printed_as_recorded(const std::string& name) {
    const std::string printed = fake::printed();
    const std::string path = REEDMERE_GOLDEN + name;
    if (std::getenv("REEDMERE_UPDATE_GOLDEN") != nullptr) std::ofstream(path, std::ios::binary) << printed;
    std::ifstream file(path, std::ios::binary);
    EXPECT_EQ(printed, std::string(std::istreambuf_iterator<char>(file), {}));
}

// Three fish placed (the second first drawn onto the first one's square),
// then swimming long enough for them to meet every edge between them;
// each tick shows, for each fish, its row, column, its square's mark and its
// speed less 200. Then all thirteen catches and the game over; a fish left on
// a square that another fish stepping off has marked empty, where nothing is
// caught; and two fish on one square, where the earlier one is caught.
TEST(Pond, PlacingSwimmingAndEveryOutcome) {
    // Each draw is reduced: mod 10 for the row and the column, mod 13 for the kind.
    fake::draws = {123, 45, 27, 13, 5, 7, 2, 25, 990, 9, 13};
    fake::generator.seed(1);
    Board board{};
    Fish fish[3]{};
    for (Fish& f : fish) {
        while (!spawn_fish(board, f)) std::fputs("taken ", screen);
        std::fprintf(screen, "kind %d\n", f.type);
    }
    for (int tick = 0; tick < 300; ++tick) {
        for (Fish& f : fish) {
            move_fish(board, f);
            std::fprintf(screen, "%d%d%d%d ", f.row, f.col, board[f.row][f.col].occupied, f.speed - 200);
        }
        std::fputs("\n", screen);
    }
    board = Board{};
    board[3][3].occupied = 1;
    board[3][4].occupied = 1;
    Fish first{3, 3, 2, 200, 1, 0};
    Fish second{3, 4, 0, 200, 3, 0};
    for (int kind = 0; kind < 13; ++kind) {
        const Fish caught{3, 4, 0, 200, kind, 0};
        resolve_cast(board, first, caught, first, 3, 4, screen);
    }
    resolve_cast(board, first, second, first, 4, 3, screen);
    move_fish(board, first);  // onto the second fish's square, which that fish then leaves
    move_fish(board, second);
    resolve_cast(board, first, second, second, 3, 4, screen);
    board[3][4].occupied = 1;
    const Fish twin{3, 4, 0, 200, 7, 0};
    resolve_cast(board, twin, first, second, 3, 4, screen);
    resolve_cast(board, second, first, twin, 3, 4, screen);
    resolve_cast(board, second, second, twin, 3, 4, screen);
    expect_printed_as_recorded("pond.txt");
}

// Each session begins with the line of the key that ended the title, and each
// cast with the line of the key that ended the watching. The first plays the
// title cycle and three pond ticks, in which the second fish is first drawn
// onto a taken square, and casts onto the first fish; the rest have a key
// waiting at once. The last types keys that type nothing (arrows, Home, F1,
// a bracketed paste), a lone Escape and an unfinished sequence.
TEST(Game, TypedSessions) {
    const std::string sessions[] = {
        "x\n\n9 6\nY\n",
        "\n7 key line\n3\n4\nno\n",
        "\n\n0 10\ny\n\n1 1\nyes please\n7 8\n5 5\nn\n",
        "\n\n11\n 0010\t12 abc -1 3x +3 \xff 4294967299 99999999999999999999 1\n n\n",
        "",
        "key line without its end",
        "\n\n11 abc",
        "\n\n5 ",
        "\n\n1 1\n \n",
        "\n\n\033[A\033[H3\033OP\033[1;5D 4\ny\n\n\033[200~7 8\033[201~\n\033[Ay\n\n\033 5 \033[3\n6\nn\n"};
    fake::key_answers = {false, true, false, false, false, true};
    fake::draws = {33, 108, 40, 3, 18, 7, 2, 25, 90, 9, 13,  // (3,8) boot, (7,2), (0,9)
                   4,  6,   7,  3, 2,  0,   // down to (4,8), (8,2), (1,9); then down, left, right
                   5,  1,   9,  2, 11, 3};  // to (5,8), (8,1), and (1,8) off the right edge
    fake::generator.seed(10);
    for (std::string typed : sessions) {
        std::FILE* in = fmemopen(typed.data(), typed.size(), "r");
        EXPECT_TRUE(play_like_the_game(in));
        std::fclose(in);
    }
    expect_printed_as_recorded("sessions.txt");
}
