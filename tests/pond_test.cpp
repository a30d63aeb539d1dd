#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "pond/pond.h"
#include "support.h"

using namespace reedmere;

namespace {

// The next n values of the generator after seeding it with seed; the
// generator is left seeded the same way, so the code under test sees them too.
std::vector<int> draws_after_seeding(unsigned seed, int n) {
    std::srand(seed);
    std::vector<int> draws;
    for (int i = 0; i < n; ++i) draws.push_back(std::rand());
    std::srand(seed);
    return draws;
}

Fish swimming_fish(int row, int col, int direction) { return Fish{row, col, direction, 200, 0, 0}; }

int count_occupied(const Board& board) {
    int n = 0;
    for (const auto& row : board) {
        for (const Square& square : row) n += square.occupied;
    }
    return n;
}

std::string cast_output(const Board& board, const Fish& f1, const Fish& f2, const Fish& f3, int row,
                        int col) {
    MemoryOutput out;
    resolve_cast(board, f1, f2, f3, row, col, out.stream);
    return out.text();
}

const std::string kGameOver =
    "You really screwed up this time! Your dad's hands wrap around your neck as your vision "
    "fades to black...\nThanks for playing!\n";

}  // namespace

TEST(Placement, PutsTheFishOnTheDrawnSquareWithTheThirdDrawAsItsKind) {
    for (unsigned seed : {1u, 7u, 2024u}) {
        const std::vector<int> d = draws_after_seeding(seed, 4);
        Board board;
        init_board(board, 10, 10);
        Fish fish{};
        ASSERT_EQ(spawn_fish(board, fish), 1);
        EXPECT_EQ(fish.row, d[0] % 10);
        EXPECT_EQ(fish.col, d[1] % 10);
        EXPECT_EQ(fish.type, d[2] % 13);
        EXPECT_EQ(fish.direction, 0);
        EXPECT_EQ(fish.speed, 1);
        EXPECT_EQ(fish.wait, 1);
        EXPECT_EQ(board[fish.row][fish.col].occupied, 1);
        EXPECT_EQ(count_occupied(board), 1);
        EXPECT_EQ(std::rand(), d[3]) << "placement drew more than three numbers";
    }
}

TEST(Placement, OnATakenSquareChangesNothingAndDrawsOnlyTwoNumbers) {
    const std::vector<int> d = draws_after_seeding(99, 3);
    Board board;
    init_board(board, 10, 10);
    board[d[0] % 10][d[1] % 10].occupied = 1;
    const Fish before{4, 5, 2, 201, 6, 0};
    Fish fish = before;
    EXPECT_EQ(spawn_fish(board, fish), 0);
    EXPECT_EQ(fish.row, before.row);
    EXPECT_EQ(fish.type, before.type);
    EXPECT_EQ(fish.wait, before.wait);
    EXPECT_EQ(count_occupied(board), 1);
    EXPECT_EQ(std::rand(), d[2]);
}

TEST(Placement, ClearingTheBoardEmptiesEverySquare) {
    Board board;
    for (auto& row : board) {
        for (Square& square : row) square.occupied = 1;
    }
    init_board(board, 10, 10);
    EXPECT_EQ(count_occupied(board), 0);
}

TEST(Movement, ANewFishSitsOutOneTickThenStepsDownOrUpFromTheBottom) {
    for (int start_row : {0, 4, 9}) {
        Board board;
        init_board(board, 10, 10);
        Fish fish{start_row, 3, 0, 1, 5, 1};
        board[start_row][3].occupied = 1;

        const std::vector<int> d = draws_after_seeding(5, 3);
        move_fish(board, fish);
        EXPECT_EQ(fish.row, start_row);
        EXPECT_EQ(fish.wait, 0);
        EXPECT_EQ(board[start_row][3].occupied, 1);
        EXPECT_EQ(std::rand(), d[0]) << "a waiting fish drew a number";

        std::srand(5);
        move_fish(board, fish);
        const int expected_row = start_row == 9 ? 8 : start_row + 1;
        EXPECT_EQ(fish.row, expected_row);
        EXPECT_EQ(fish.col, 3);
        EXPECT_EQ(fish.direction, d[0] % 4);
        EXPECT_EQ(fish.speed, 200 + d[1] % 4);
        EXPECT_EQ(fish.wait, 0);
        EXPECT_EQ(fish.type, 5);
        EXPECT_EQ(board[start_row][3].occupied, 0);
        EXPECT_EQ(board[expected_row][3].occupied, 1);
        EXPECT_EQ(std::rand(), d[2]) << "a step draws exactly two numbers";
    }
}

TEST(Movement, StepsOneSquareAndTurnsBackAtEveryEdge) {
    struct Case {
        int row, col, direction, to_row, to_col;
    };
    const Case cases[] = {
        {4, 4, 0, 5, 4}, {4, 4, 1, 3, 4}, {4, 4, 2, 4, 5}, {4, 4, 3, 4, 3},
        {9, 2, 0, 8, 2}, {0, 2, 1, 1, 2}, {2, 9, 2, 2, 8}, {2, 0, 3, 2, 1},
    };
    for (const Case& c : cases) {
        Board board;
        init_board(board, 10, 10);
        Fish fish = swimming_fish(c.row, c.col, c.direction);
        board[c.row][c.col].occupied = 1;
        move_fish(board, fish);
        EXPECT_EQ(fish.row, c.to_row) << "from " << c.row << "," << c.col << " dir " << c.direction;
        EXPECT_EQ(fish.col, c.to_col) << "from " << c.row << "," << c.col << " dir " << c.direction;
        EXPECT_EQ(count_occupied(board), 1);
        EXPECT_EQ(board[c.to_row][c.to_col].occupied, 1);
    }
}

TEST(Movement, AFishCanBeLeftOnASquareThatReadsEmpty) {
    // fish1 swims onto fish2's square, then fish2 swims away and clears it.
    Board board;
    init_board(board, 10, 10);
    Fish fish1 = swimming_fish(3, 3, 2);
    Fish fish2 = swimming_fish(3, 4, 0);
    fish1.type = 1;
    board[3][3].occupied = 1;
    board[3][4].occupied = 1;
    move_fish(board, fish1);
    move_fish(board, fish2);
    ASSERT_EQ(fish1.row, 3);
    ASSERT_EQ(fish1.col, 4);
    EXPECT_EQ(board[3][4].occupied, 0);
    EXPECT_EQ(board[4][4].occupied, 1);

    const Fish elsewhere = swimming_fish(8, 8, 0);
    EXPECT_EQ(cast_output(board, fish1, fish2, elsewhere, 3, 4), kGameOver);

    move_fish(board, fish1);
    EXPECT_EQ(board[fish1.row][fish1.col].occupied, 1) << "the fish marks its next square again";
}

TEST(Cast, TheFirstFishInOrderOnTheSquareDecidesTheCatch) {
    Board board;
    init_board(board, 10, 10);
    board[2][6].occupied = 1;
    Fish boot{2, 6, 0, 1, 1, 0};
    Fish dead_body{2, 6, 0, 1, 3, 0};
    Fish away{6, 2, 0, 1, 4, 0};  // same numbers, row and column swapped
    const std::string boot_text = "You caught a boot. Your dad picks it up and raises it over his head!\n";
    const std::string body_text = "You caught a dead body. You can tell it's your dad's handiwork. Uh oh\n";
    EXPECT_EQ(cast_output(board, boot, dead_body, away, 2, 6), boot_text);
    EXPECT_EQ(cast_output(board, dead_body, boot, away, 2, 6), body_text);
    EXPECT_EQ(cast_output(board, away, dead_body, boot, 2, 6), body_text);
    EXPECT_EQ(cast_output(board, away, away, boot, 2, 6), boot_text);
    EXPECT_EQ(cast_output(board, boot, dead_body, away, 6, 2), kGameOver) << "square reads 0";
}

TEST(Cast, EveryKindHasItsOwnMessage) {
    const std::string openings[13] = {
        "You caught a sea cucumber! ",
        "You caught a boot. Your dad picks it up and raises it over his head!\n",
        "You caught a trout! ",
        "You caught a dead body. You can tell it's your dad's handiwork. Uh oh\n",
        "You caught a rainbow fish! The floodwaters are rising. The water is up to your ankles\n",
        "You caught a goldfish with your pet goldfish's nametag from childhood. You hear your dad "
        "crack his belt\n",
        "A flying fish jumps into the boat! Your dad raises it near your windpipe with his "
        "cramming arm\n",
        "You caught a fish resembling Colonel Mossgrove! Your dad raises the point of his "
        "Drummelo Pryle '84 pin above his head\n",
        "You caught an anchor. Before you even realize what's happened, you can feel your dad tie "
        "a rope around your ankle\n",
        "You caught an angler! Your dad perceives the light as a message fromm God and sacrifices "
        "you without a second thought\n",
        "You caught a clone of your dad! Your dad takes the opportunity to watch himself beat you "
        "from the 3rd person\n",
        "The fish pulls too hard and you fall into the water. Your dad's dead eyes look on as you "
        "scream for help\n",
        "You snag the line on a log",
    };
    for (int kind = 0; kind < 13; ++kind) {
        const Fish fish{5, 5, 0, 1, kind, 0};
        const Fish other{0, 0, 0, 1, 0, 0};
        MemoryOutput out;
        report_catch(5, 5, fish, other, other, out.stream);
        const std::string text = out.text();
        const std::string& opening = openings[kind];
        if (opening.back() == '\n') {
            EXPECT_EQ(text, opening);
            continue;
        }
        // The rest of this one is a line of our own about the father.
        EXPECT_EQ(text.rfind(opening, 0), 0u) << text;
        EXPECT_GT(text.size(), opening.size() + 10) << text;
        EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
    }
}
