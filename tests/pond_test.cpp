// Placement and the draws of each step are replayed in the session recorded
// in game_test.cpp; here are the edges and what a cast catches.
#include "pond/pond.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support.h"

using namespace reedmere;

TEST(Pond, AStepGoesOneSquareAndTurnsBackAtEachEdge) {
    const struct {
        int row, col, direction, to_row, to_col;
    } cases[] = {
        {4, 4, 0, 5, 4}, {4, 4, 1, 3, 4}, {4, 4, 2, 4, 5}, {4, 4, 3, 4, 3},
        {9, 2, 0, 8, 2}, {0, 2, 1, 1, 2}, {2, 9, 2, 2, 8}, {2, 0, 3, 2, 1},
    };
    for (const auto& c : cases) {
        Board board;
        init_board(board, 10, 10);
        board[c.row][c.col].occupied = 1;
        Fish fish{c.row, c.col, c.direction, 200, 5, 0};
        move_fish(board, fish);
        EXPECT_EQ(std::tie(fish.row, fish.col), std::make_tuple(c.to_row, c.to_col));
        EXPECT_EQ(board[c.row][c.col].occupied, 0);
        EXPECT_EQ(board[c.to_row][c.to_col].occupied, 1);
    }
}

TEST(Pond, ACastCatchesTheEarliestFishOnlyWhereTheSquareReadsOne) {
    Board board;
    init_board(board, 10, 10);
    board[3][3].occupied = 1;
    board[3][4].occupied = 1;
    Fish boot{3, 3, 2, 200, 1, 0};
    Fish body{3, 4, 0, 200, 3, 0};
    const Fish far{6, 7, 0, 200, 4, 0};
    const auto cast = [&board](const Fish& f1, const Fish& f2, const Fish& f3) {
        MemoryOutput out;
        resolve_cast(board, f1, f2, f3, 3, 4, out.stream);
        return out.text().substr(0, 20);
    };
    move_fish(board, boot);  // onto the body's square, which the body then leaves
    move_fish(board, body);
    EXPECT_EQ(cast(boot, body, far), "You really screwed u");
    board[3][4].occupied = 1;
    body = boot;
    body.type = 3;
    EXPECT_EQ(cast(boot, body, far), "You caught a boot. Y");
    EXPECT_EQ(cast(far, body, boot), "You caught a dead bo");
    EXPECT_EQ(cast(far, far, boot), "You caught a boot. Y");
}
