#include "game/game.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <tuple>

#include "screens/screens.h"
#include "support.h"

using namespace reedmere;

namespace {
const std::string kColumnPrompt = "Enter column number: ", kPrompts = kColumnPrompt + "Enter row number: ";
}  // namespace

TEST(Input, ACastIsTwoWordsFromZeroToTenAndAnythingElseIsPassedOverSilently) {
    const struct {
        const char* typed;
        int read, col, row;
        std::string printed;
    } cases[] = {
        {"key line\n3\n4\n", 1, 2, 3, kPrompts},
        {"\n0 10", 1, 9, 9, kPrompts},
        {"\n11\n 0010\t12 abc -1 3x +3 \xff 4294967297 99999999999999999999 1\n", 1, 9, 0, kPrompts},
        {"", 0, -1, -1, ""},
        {"key line without its end", 0, -1, -1, ""},
        {"\n11 abc", 0, -1, -1, kColumnPrompt},
        {"\n5 ", 0, 5, -1, kPrompts},
    };
    for (const auto& c : cases) {
        MemoryInput in{c.typed};
        MemoryOutput out;
        std::int32_t col = -1, row = -1;
        EXPECT_EQ(read_cast(col, row, in.stream, out.stream), c.read) << c.typed;
        EXPECT_EQ(std::make_tuple(col, row, out.text()), std::make_tuple(c.col, c.row, c.printed)) << c.typed;
    }
}

TEST(Input, TheReplayAnswerIsTheFirstNonBlankCharacterOfItsLine) {
    const struct {
        const char* typed;
        int again, left;
    } cases[] = {
        {"y\n", 1, EOF},     {"Y", 1, EOF}, {" \n\tyes please\nnext", 1, 'n'},
        {"no\ny\n", 0, 'y'}, {"x", 0, EOF}, {"", 0, EOF},
        {" \n \n", 0, EOF},
    };
    for (const auto& c : cases) {
        MemoryInput in{c.typed};
        MemoryOutput out;
        fake_console::trace = out.stream;
        EXPECT_EQ(ask_play_again(in.stream, out.stream), c.again) << c.typed;
        EXPECT_EQ(std::getc(in.stream), c.left) << c.typed;
        EXPECT_EQ(out.text(), "<sleep 1000>Enter Y to play again\n\033[H\033[2J");
    }
}

TEST(Round, TheCastIsJudgedRowFirstWhereTheFishAreAfterTheLastTick) {
    for (unsigned seed = 1; seed < 1000; ++seed) {
        std::srand(seed);  // the round played out by hand: two ticks, then a look at fish1
        Board board;
        Fish f[3]{};
        init_board(board, 10, 10);
        for (Fish& fish : f)
            while (!spawn_fish(board, fish)) continue;
        for (int tick = 0; tick < 2; ++tick)
            for (Fish& fish : f) move_fish(board, fish);
        if (f[0].row == f[0].col || board[f[0].row][f[0].col].occupied != 1) continue;
        MemoryOutput expected, out;
        draw_hidden_pond(10, 10, expected.stream);
        std::fputs(kPrompts.c_str(), expected.stream);
        resolve_cast(board, f[0], f[1], f[2], f[0].row, f[0].col, expected.stream);

        std::srand(seed);
        MemoryInput in{"\n" + std::to_string(f[0].col + 1) + " " + std::to_string(f[0].row + 1) + "\n"};
        fake_console::trace = out.stream;
        fake_console::key_answers = {false, false, true};
        std::int32_t col, row;
        ASSERT_EQ(play_round(board, f[0], f[1], f[2], col, row, in.stream, out.stream), 1);
        const std::string text = out.text();
        EXPECT_EQ(text.rfind("<no key>REEDMERE!\n", 0), 0u);
        EXPECT_EQ(text.substr(text.find("<key>")), "<key>" + expected.text());
        return;
    }
    FAIL() << "no seed left fish1 off the diagonal on a square reading 1";
}
