// The game's logic against results recorded in tests/golden, each read over
// by hand when it was recorded.
#include <gtest/gtest.h>

#include <cstdlib>

#include "pond/pond.h"
#include "support.h"

using namespace reedmere;

// Long enough for every fish to meet every edge. Each tick shows, for each
// fish, its row, column, its square's mark and its speed less 200.
TEST(Pond, ThreeFishPlacedAndSwimming) {
    std::srand(10);  // the second fish is first drawn onto the first one's square
    Board board;
    init_board(board, 10, 10);
    Fish fish[3]{};
    MemoryOutput out;
    for (Fish& f : fish) {
        while (!spawn_fish(board, f)) std::fputs("taken ", out.stream);
        std::fprintf(out.stream, "kind %d\n", f.type);
    }
    for (int tick = 0; tick < 300; ++tick) {
        for (Fish& f : fish) {
            move_fish(board, f);
            std::fprintf(out.stream, "%d%d%d%d ", f.row, f.col, board[f.row][f.col].occupied, f.speed - 200);
        }
        std::fputs("\n", out.stream);
    }
    EXPECT_EQ(out.text(), recorded("swim.txt", out.text()));
}

// All thirteen catches and the game over; a fish left on a square that
// another fish stepping off has marked empty, where nothing is caught; and
// two fish on one square, where the earlier one in the order is caught.
TEST(Pond, EveryOutcome) {
    Board board;
    init_board(board, 10, 10);
    board[3][3].occupied = 1;
    board[3][4].occupied = 1;
    Fish first{3, 3, 2, 200, 1, 0};
    Fish second{3, 4, 0, 200, 3, 0};
    MemoryOutput out;
    for (int kind = 0; kind < 13; ++kind) {
        const Fish caught{3, 4, 0, 200, kind, 0};
        resolve_cast(board, first, caught, first, 3, 4, out.stream);
    }
    resolve_cast(board, first, second, first, 4, 3, out.stream);
    move_fish(board, first);  // onto the second fish's square, which that fish then leaves
    move_fish(board, second);
    resolve_cast(board, second, first, first, 3, 4, out.stream);
    board[3][4].occupied = 1;
    const Fish twin{3, 4, 0, 200, 7, 0};
    resolve_cast(board, twin, first, second, 3, 4, out.stream);
    resolve_cast(board, second, first, twin, 3, 4, out.stream);
    resolve_cast(board, second, second, twin, 3, 4, out.stream);
    EXPECT_EQ(out.text(), recorded("outcomes.txt", out.text()));
}

// Each session begins with the line of the key that ended the title, and each
// cast with the line of the key that ended the watching. The first plays the
// title cycle and three pond ticks, in which one fish is first drawn onto a
// taken square, and casts onto a fish; the rest have a key waiting at once.
TEST(Game, TypedSessions) {
    const std::string sessions[] = {
        "x\n\n9 6\nY\n",
        "\n7 key line\n3\n4\nno\n",
        "\n\n0 10\ny\n\n1 1\nyes please\n7 8\n5 5\nn\n",
        "\n\n11\n 0010\t12 abc -1 3x +3 \xff 4294967297 99999999999999999999 1\n n\n",
        "",
        "key line without its end",
        "\n\n11 abc",
        "\n\n5 ",
        "\n\n1 1\n \n",
    };
    MemoryOutput out;
    fake_console::trace = out.stream;
    fake_console::key_answers = {false, true, false, false, false, true};
    std::srand(10);
    for (const std::string& typed : sessions) {
        MemoryInput in{typed};
        EXPECT_TRUE(play_like_the_game(in.stream, out.stream));
        std::fputs("<end of input>\n", out.stream);
    }
    EXPECT_EQ(out.text(), recorded("sessions.txt", out.text()));
}
