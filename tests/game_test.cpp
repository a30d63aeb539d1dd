#include "game/game.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <tuple>

#include "support.h"

using namespace reedmere;

namespace {

const std::string kColumnPrompt = "Enter column number: ";
const std::string kPrompts = kColumnPrompt + "Enter row number: ";

// Compares with the recorded file in tests/golden; REEDMERE_UPDATE_GOLDEN=1 records it anew.
void expect_golden(const std::string& name, const std::string& actual) {
    const std::string path = REEDMERE_GOLDEN + name;
    if (std::getenv("REEDMERE_UPDATE_GOLDEN") != nullptr) std::ofstream(path, std::ios::binary) << actual;
    std::ifstream recorded(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(recorded), {}), actual) << path;
}

}  // namespace

TEST(Screens, EveryOutcomeReadsAsRecorded) {
    MemoryOutput out;
    Board board;
    init_board(board, 10, 10);
    board[4][9].occupied = 1;
    Fish fish{4, 9, 0, 200, 0, 0};
    for (fish.type = 0; fish.type < 13; ++fish.type) resolve_cast(board, fish, fish, fish, 4, 9, out.stream);
    resolve_cast(board, fish, fish, fish, 9, 4, out.stream);
    expect_golden("outcomes.txt", out.text());
}

// The title cycle, a round of three pond ticks on a board left full by the
// last round (one fish drawn onto a taken square), the cast and the replay
// prompt, with every key test and sleep.
TEST(Game, ASessionFromTheTitleToAReplayReadsAsRecorded) {
    MemoryInput in{"x\n\n9 6\nyes\n"};
    MemoryOutput out;
    fake_console::trace = out.stream;
    fake_console::key_answers = {false, true, false, false, false, true};
    std::srand(10);
    Board board;
    for (auto& row : board) row.fill(Square{1});
    Fish fish1{};
    Fish fish2{};
    Fish fish3{};
    std::int32_t col = -1;
    std::int32_t row = -1;
    ASSERT_EQ(show_intro(in.stream, out.stream), 1);
    ASSERT_EQ(play_round(board, fish1, fish2, fish3, col, row, in.stream, out.stream), 1);
    EXPECT_EQ(ask_play_again(in.stream, out.stream), 1);
    expect_golden("session.txt", out.text());
}

TEST(Input, ACastIsTwoWordsFromZeroToTenAndAnythingElseIsPassedOverSilently) {
    const struct {
        const char* typed;
        int read, col, row;
        std::string printed;
    } cases[] = {
        {"7 key line\n3\n4\n", 1, 2, 3, kPrompts},
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
        std::int32_t col = -1;
        std::int32_t row = -1;
        EXPECT_EQ(read_cast(col, row, in.stream, out.stream), c.read) << c.typed;
        EXPECT_EQ(std::make_tuple(col, row, out.text()), std::make_tuple(c.col, c.row, c.printed)) << c.typed;
    }
}

TEST(Input, TheReplayAnswerIsTheFirstNonBlankCharacterOfItsLine) {
    const struct {
        const char* typed;
        int again, left;
    } cases[] = {
        {"y\n", 1, EOF}, {"Y", 1, EOF}, {" \n\tyes please\nnext", 1, 'n'}, {"no\ny\n", 0, 'y'}, {"", 0, EOF},
    };
    for (const auto& c : cases) {
        MemoryInput in{c.typed};
        MemoryOutput out;
        fake_console::trace = out.stream;
        EXPECT_EQ(ask_play_again(in.stream, out.stream), c.again) << c.typed;
        EXPECT_EQ(std::getc(in.stream), c.left) << c.typed;
    }
}
