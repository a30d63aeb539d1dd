#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "game/game.h"
#include "pond/pond.h"
#include "screens/screens.h"
#include "support.h"

using namespace reedmere;

namespace {

const std::string kClear = "\033[H\033[2J";
const std::string kPrompts = "Enter column number: Enter row number: ";

struct CastResult {
    int read;
    std::int32_t col, row;
    std::string printed;
};

CastResult cast_from(const std::string& typed) {
    MemoryInput in(typed);
    MemoryOutput out;
    CastResult result{0, -1, -1, ""};
    result.read = read_cast(result.col, result.row, in.stream, out.stream);
    result.printed = out.text();
    return result;
}

struct ReplayResult {
    int again;
    std::string printed;
    int next_char;
};

ReplayResult replay_from(const std::string& typed) {
    MemoryInput in(typed);
    MemoryOutput out;
    fake_console::reset(out.stream);
    const int again = ask_play_again(in.stream, out.stream);
    return {again, out.text(), std::getc(in.stream)};
}

}  // namespace

TEST(CastEntry, TakesColumnThenRowAndCountsZeroAsTen) {
    struct Case {
        const char* typed;
        int col, row;
    };
    const Case cases[] = {
        {"\n3\n4\n", 2, 3},
        {"\n3 4\n", 2, 3},  // one line answers both prompts
        {"\n1 1\n", 0, 0},
        {"\n0 10\n", 9, 9},
        {"\n10\n0\n", 9, 9},
        {"\n 0010\t007", 9, 6},  // leading zeros, tabs, no final newline
        {"anything left of the key's line\n5\n6\n", 4, 5},
    };
    for (const Case& c : cases) {
        const CastResult r = cast_from(c.typed);
        EXPECT_EQ(r.read, 1) << c.typed;
        EXPECT_EQ(r.col, c.col) << c.typed;
        EXPECT_EQ(r.row, c.row) << c.typed;
        EXPECT_EQ(r.printed, kPrompts) << c.typed;
    }
}

TEST(CastEntry, PassesOverAnythingButANumberFromZeroToTenWithoutAWord) {
    const char* typed[] = {
        "\n11\n12 3\n4\n",
        "\nabc -1 3x +3 3.0 0x3\n3 4",
        "\n99999999999999999999999 4294967299 4294967296\n3 4\n",
        "\n3 \x01\x80\xff 4\n",
    };
    for (const char* t : typed) {
        const CastResult r = cast_from(t);
        EXPECT_EQ(r.read, 1) << t;
        EXPECT_EQ(r.col, 2) << t;
        EXPECT_EQ(r.row, 3) << t;
        EXPECT_EQ(r.printed, kPrompts) << "a prompt was repeated or a complaint printed for " << t;
    }
}

TEST(CastEntry, EndsCleanlyWhenTheInputRunsOut) {
    const struct {
        const char* typed;
        const char* printed;
    } cases[] = {
        {"", ""},
        {"no newline after the key", ""},
        {"\n", "Enter column number: "},
        {"\n11 abc\n", "Enter column number: "},
        {"\n5", "Enter column number: Enter row number: "},
        {"\n5 99 ", "Enter column number: Enter row number: "},
    };
    for (const auto& c : cases) {
        const CastResult r = cast_from(c.typed);
        EXPECT_EQ(r.read, 0) << c.typed;
        EXPECT_EQ(r.printed, c.printed) << c.typed;
    }
}

TEST(ReplayPrompt, OnlyTheFirstNonBlankCharacterCounts) {
    const struct {
        const char* typed;
        int again;
    } cases[] = {
        {"y\n", 1},  {"Y", 1},     {"  \n\t yes\n", 1}, {"n\n", 0}, {"no\n", 0},
        {"x\n", 0},  {"", 0},      {" \n \n", 0},       {"Yy\n", 1}, {"ny\n", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(replay_from(c.typed).again, c.again) << c.typed;
    }
}

TEST(ReplayPrompt, PausesOnTheOutcomeThenClearsAndDiscardsTheRestOfTheLine) {
    const ReplayResult r = replay_from("yes please\nnext");
    EXPECT_EQ(r.printed, "<sleep 1000>Enter Y to play again\n" + kClear);
    EXPECT_EQ(r.next_char, 'n');
}

TEST(Intro, WaitsForTheLineOfTheKeyThenClears) {
    MemoryOutput out;
    fake_console::reset(out.stream, {true});
    MemoryInput in("x\nrest");
    EXPECT_EQ(show_intro(in.stream, out.stream), 1);
    EXPECT_EQ(out.text(), "<key>" + kClear);
    EXPECT_EQ(std::getc(in.stream), 'r');

    MemoryOutput out_at_end;
    fake_console::reset(out_at_end.stream, {true});
    MemoryInput empty("x");
    EXPECT_EQ(show_intro(empty.stream, out_at_end.stream), 0);
}

TEST(Round, TheCastIsJudgedWhereTheFishAreAfterTheLastTick) {
    // Find a round whose fish1, after two ticks, sits alone off the diagonal
    // on a square that reads 1, so a swapped row and column would miss it.
    for (unsigned seed = 1; seed < 500; ++seed) {
        Board board;
        Fish f1{}, f2{}, f3{};
        std::srand(seed);
        init_board(board, 10, 10);
        while (!spawn_fish(board, f1)) {
        }
        while (!spawn_fish(board, f2)) {
        }
        while (!spawn_fish(board, f3)) {
        }
        for (int tick = 0; tick < 2; ++tick) {
            move_fish(board, f1);
            move_fish(board, f2);
            move_fish(board, f3);
        }
        const bool alone = (f2.row != f1.row || f2.col != f1.col) && (f3.row != f1.row || f3.col != f1.col);
        if (f1.row == f1.col || board[f1.row][f1.col].occupied != 1 || !alone) continue;

        MemoryOutput catch_text;
        report_catch(f1.row, f1.col, f1, f2, f3, catch_text.stream);
        MemoryOutput hidden;
        draw_hidden_pond(10, 10, hidden.stream);

        const std::string cast = "\n" + std::to_string(f1.col + 1) + " " + std::to_string(f1.row + 1) + "\n";
        MemoryInput in(cast);
        MemoryOutput out;
        fake_console::reset(out.stream, {false, false, true});
        std::srand(seed);
        Board played;
        Fish p1{}, p2{}, p3{};
        std::int32_t col = -1, row = -1;
        ASSERT_EQ(play_round(played, p1, p2, p3, col, row, in.stream, out.stream), 1);

        const std::string text = out.text();
        EXPECT_EQ(col, f1.col);
        EXPECT_EQ(row, f1.row);
        const std::string ending = "<key>" + hidden.text() + kPrompts + catch_text.text();
        ASSERT_GE(text.size(), ending.size());
        EXPECT_EQ(text.substr(text.size() - ending.size()), ending);
        EXPECT_EQ(text.rfind("<no key>REEDMERE!\n", 0), 0u);
        EXPECT_EQ(text.find("<sleep 400>" + kClear + "<no key>REEDMERE!\n"), text.find("<sleep 400>"));
        return;
    }
    FAIL() << "no seed gave a usable round";
}

TEST(Round, AKeyWaitingAtTheStartSkipsTheWatchingAndTheEndOfInputEndsTheRound) {
    MemoryOutput out;
    fake_console::reset(out.stream, {true});
    MemoryInput in("\n");
    Board board;
    Fish f1{}, f2{}, f3{};
    std::int32_t col = 0, row = 0;
    EXPECT_EQ(play_round(board, f1, f2, f3, col, row, in.stream, out.stream), 0);
    MemoryOutput hidden;
    draw_hidden_pond(10, 10, hidden.stream);
    EXPECT_EQ(out.text(), "<key>" + hidden.text() + "Enter column number: ");
}
