#include "screens/screens.h"

#include <gtest/gtest.h>

#include "support.h"

using namespace reedmere;

namespace {

const std::string kClear = "\033[H\033[2J", kTitle = "REEDMERE!\n", kHeader = "  1 2 3 4 5 6 7 8 9 0\n";
const std::string kArt[5] = {
    "   _.-=-._     .-,\n .'       \"-.,' / \n(          _.  <\n `=.____.=\"  `._\\\n\t\t\n",
    "    _.-=-._     .-,\n  .'       \"-.,' /   \n (          _.  <\n  `=.____.=\"  `._\\\n \t\t\n",
    "     _.-=-._     .-,\n   .'       \"-.,' /   \n  (          _.  <\n   `=.____.=\"  `._\\\n  \t\t\n",
    "      _.-=-._     .-,\n    .'       \"-.,' /   \n   (          _.  <\n    `=.____.=\"  `._\\\n   \t\t\n",
    "       _.-=-._     .-,\n     .'       \"-.,' /     \n    (          _.  <\n     `=.____.=\"  `._\\\n    "
    "\t\t\n",
};

std::string title_frame(int k) {
    const std::string art = k >= 1 && k <= 5 ? "\033[31;1m" + kArt[k - 1] : "";
    return kTitle + art + "\033[0mPress any key to start playing!\n";
}

std::string pond_row(char label, int fish_at = -1) {
    std::string row = {label, ' '};
    for (int j = 0; j < 10; ++j) row += j == fish_at ? "\033[31;1mF \033[0m" : "\033[34;1m~ \033[0m";
    return row + "\n";
}

}  // namespace

TEST(Screens, TheTitleFishSwimsRightAndBackWithOneKeyTestPerCycle) {
    for (int k = -1; k <= 6; ++k) {
        MemoryOutput out;
        draw_title_frame(k, out.stream);
        EXPECT_EQ(out.text(), title_frame(k)) << "frame " << k;
    }
    MemoryOutput out;
    fake_console::trace = out.stream;
    fake_console::key_answers = {false, true};
    animate_title(out.stream);
    std::string expected = "<no key>";
    for (int k : {1, 2, 3, 4, 5, 4, 3, 2}) expected += title_frame(k) + "<sleep 30>" + kClear;
    EXPECT_EQ(out.text(), expected + "<key>");
}

TEST(Screens, ThePondShowsFishWhereSquaresReadOneAndTheCoveredPondNone) {
    Board board;
    init_board(board, 10, 10);
    board[0][0].occupied = board[4][9].occupied = board[9][3].occupied = 1;
    MemoryOutput shown, covered;
    draw_pond(board, 10, 10, shown.stream);
    draw_hidden_pond(10, 10, covered.stream);
    std::string fish = kHeader, water = kHeader;
    for (char label : std::string("1234567890")) {
        fish += pond_row(label, label == '1' ? 0 : label == '5' ? 9 : label == '0' ? 3 : -1);
        water += pond_row(label);
    }
    EXPECT_EQ(shown.text(), fish);
    EXPECT_EQ(
        covered.text(),
        kClear + kTitle + water +
            "You can't see through the ripples in the water! Your dad is watching your next move closely\n");
}
