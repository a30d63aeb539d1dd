#include "pond/pond.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "support.h"

using namespace reedmere;
using std::make_tuple;
using std::tie;

namespace {

// The next three draws after seeding; the generator is seeded again for the code under test.
std::tuple<int, int, int> replay_draws(unsigned seed) {
    std::srand(seed);
    const int first = std::rand(), second = std::rand(), third = std::rand();
    std::srand(seed);
    return {first, second, third};
}

int occupied_count(const Board& board) {
    int n = 0;
    for (const auto& row : board)
        for (const Square& square : row) n += square.occupied;
    return n;
}

}  // namespace

TEST(Pond, PlacementDrawsRowColumnAndKindButOnlyTwoNumbersForATakenSquare) {
    Board board;
    init_board(board, 10, 10);
    Fish fish{}, again{};
    const auto [row, col, kind] = replay_draws(7);
    ASSERT_EQ(spawn_fish(board, fish), 1);
    EXPECT_EQ(tie(fish.row, fish.col, fish.type, fish.direction, fish.speed, fish.wait),
              make_tuple(row % 10, col % 10, kind % 13, 0, 1, 1));
    replay_draws(7);
    EXPECT_EQ(spawn_fish(board, again), 0);
    EXPECT_EQ(again.wait, 0);
    EXPECT_EQ(occupied_count(board), 1);
    EXPECT_EQ(std::rand(), kind);
}

TEST(Pond, AFishSitsOutItsFirstTickThenStepsOneSquareTurningBackAtEdges) {
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
        Fish fish{c.row, c.col, c.direction, 1, 5, 1};
        const auto [direction, speed, unused] = replay_draws(3);
        move_fish(board, fish);
        EXPECT_EQ(tie(fish.row, fish.col, fish.wait), make_tuple(c.row, c.col, 0));
        move_fish(board, fish);
        EXPECT_EQ(tie(fish.row, fish.col, fish.direction, fish.speed, fish.wait, fish.type),
                  make_tuple(c.to_row, c.to_col, direction % 4, 200 + speed % 4, 0, 5));
        EXPECT_EQ(std::rand(), unused) << "a still tick draws nothing, a step draws two";
        EXPECT_EQ(board[c.to_row][c.to_col].occupied, 1);
        EXPECT_EQ(occupied_count(board), 1);
    }
}

TEST(Pond, ACastCatchesTheEarliestFishOnlyWhereTheSquareReadsOne) {
    Board board;
    init_board(board, 10, 10);
    board[3][3].occupied = board[3][4].occupied = 1;
    Fish boot{3, 3, 2, 200, 1, 0}, body{3, 4, 0, 200, 3, 0}, far{6, 7, 0, 200, 4, 0};
    const auto cast_at = [&](Fish f1, Fish f2, Fish f3, int row, int col) {
        MemoryOutput out;
        resolve_cast(board, f1, f2, f3, row, col, out.stream);
        return out.text().substr(0, 20);
    };
    move_fish(board, boot);  // onto the body's square, which the body then leaves
    move_fish(board, body);
    ASSERT_EQ(tie(boot.row, boot.col), make_tuple(3, 4));
    EXPECT_EQ(cast_at(boot, body, far, 3, 4), "You really screwed u");
    body = boot, body.type = 3, board[3][4].occupied = 1;
    EXPECT_EQ(cast_at(boot, body, far, 3, 4), "You caught a boot. Y");
    EXPECT_EQ(cast_at(far, body, boot, 3, 4), "You caught a dead bo");
    EXPECT_EQ(cast_at(far, far, boot, 3, 4), "You caught a boot. Y");
    EXPECT_EQ(cast_at(boot, body, far, 4, 3), "You really screwed u");
}
