#include <gtest/gtest.h>

#include <string>

#include "pond/pond.h"
#include "screens/screens.h"
#include "support.h"

using namespace reedmere;

namespace {

const std::string kClear = "\033[H\033[2J";
const std::string kTitle = "REEDMERE!\n";
const std::string kPrompt = "\033[0mPress any key to start playing!\n";
const std::string kHeader = "  1 2 3 4 5 6 7 8 9 0\n";
const std::string kF = "\033[31;1mF \033[0m";
const std::string kW = "\033[34;1m~ \033[0m";
const std::string kRed = "\033[31;1m";

const std::string kArtFrames[5] = {
    kRed + "   _.-=-._     .-,\n .'       \"-.,' / \n(          _.  <\n `=.____.=\"  `._\\\n\t\t\n",
    kRed + "    _.-=-._     .-,\n  .'       \"-.,' /   \n (          _.  <\n  `=.____.=\"  `._\\\n \t\t\n",
    kRed + "     _.-=-._     .-,\n   .'       \"-.,' /   \n  (          _.  <\n   `=.____.=\"  `._\\\n  \t\t\n",
    kRed + "      _.-=-._     .-,\n    .'       \"-.,' /   \n   (          _.  <\n    `=.____.=\"  `._\\\n   \t\t\n",
    kRed + "       _.-=-._     .-,\n     .'       \"-.,' /     \n    (          _.  <\n     `=.____.=\"  `._\\\n    \t\t\n",
};

std::string title_frame(int k) { return kTitle + kArtFrames[k - 1] + kPrompt; }

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

const std::string kWaterRow = repeat(kW, 10) + "\n";

}  // namespace

TEST(TitleScreen, EachFrameShiftsTheFishOneColumnRight) {
    for (int k = 1; k <= 5; ++k) {
        MemoryOutput out;
        draw_title_frame(k, out.stream);
        EXPECT_EQ(out.text(), title_frame(k)) << "frame " << k;
    }
    for (int k : {0, 6, -1}) {
        MemoryOutput out;
        draw_title_frame(k, out.stream);
        EXPECT_EQ(out.text(), kTitle + kPrompt) << "frame " << k;
    }
}

TEST(TitleScreen, SwimsRightAndBackTestingForAKeyOncePerCycle) {
    MemoryOutput out;
    fake_console::reset(out.stream, {false, false, true});
    animate_title(out.stream);
    std::string cycle = "<no key>";
    for (int k : {1, 2, 3, 4, 5, 4, 3, 2}) cycle += title_frame(k) + "<sleep 30>" + kClear;
    EXPECT_EQ(out.text(), cycle + cycle + "<key>");
}

TEST(TitleScreen, AKeyAlreadyWaitingStopsItBeforeAnyFrame) {
    MemoryOutput out;
    fake_console::reset(out.stream, {true});
    animate_title(out.stream);
    EXPECT_EQ(out.text(), "<key>");
}

TEST(PondScreen, ShowsFishWhereSquaresReadOneAndLabelsTheTenthRowZero) {
    Board board;
    init_board(board, 10, 10);
    board[0][0].occupied = 1;
    board[4][9].occupied = 1;
    board[9][3].occupied = 1;
    MemoryOutput out;
    draw_pond(board, 10, 10, out.stream);

    std::string expected = kHeader;
    expected += "1 " + kF + repeat(kW, 9) + "\n";
    expected += "2 " + kWaterRow + "3 " + kWaterRow + "4 " + kWaterRow;
    expected += "5 " + repeat(kW, 9) + kF + "\n";
    expected += "6 " + kWaterRow + "7 " + kWaterRow + "8 " + kWaterRow + "9 " + kWaterRow;
    expected += "0 " + repeat(kW, 3) + kF + repeat(kW, 6) + "\n";
    EXPECT_EQ(out.text(), expected);
}

TEST(PondScreen, TheCoveredPondIsAllWaterOnAFreshScreen) {
    MemoryOutput out;
    draw_hidden_pond(10, 10, out.stream);
    std::string expected = kClear + kTitle + kHeader;
    for (const char* label : {"1 ", "2 ", "3 ", "4 ", "5 ", "6 ", "7 ", "8 ", "9 ", "0 "}) {
        expected += label + kWaterRow;
    }
    expected += "You can't see through the ripples in the water! Your dad is watching your next move "
                "closely\n";
    EXPECT_EQ(out.text(), expected);
}

TEST(PondScreen, ATickMovesEveryFishThenHoldsTheFrameBeforeWipingIt) {
    Board board;
    init_board(board, 10, 10);
    Fish fish1{0, 0, 2, 200, 0, 0};
    Fish fish2{5, 5, 0, 1, 0, 1};  // still sitting out its first tick
    Fish fish3{9, 9, 0, 200, 0, 0};
    board[0][0].occupied = board[5][5].occupied = board[9][9].occupied = 1;

    MemoryOutput out;
    fake_console::reset(out.stream);
    pond_tick(board, fish1, fish2, fish3, out.stream);

    EXPECT_EQ(fish1.col, 1);
    EXPECT_EQ(fish2.row, 5);
    EXPECT_EQ(fish3.row, 8);
    MemoryOutput frame;
    draw_pond(board, 10, 10, frame.stream);
    EXPECT_NE(frame.text().find("1 " + kW + kF), std::string::npos);
    EXPECT_EQ(out.text(), kTitle + frame.text() + "<sleep 400>" + kClear);
}
