#include "screens/screens.h"

#include "console/console.h"

namespace reedmere {

namespace {

constexpr const char* kTitleLine = "REEDMERE!\n";
constexpr const char* kTitlePrompt = "\033[0mPress any key to start playing!\n";
constexpr const char* kColumnHeader = "  1 2 3 4 5 6 7 8 9 0\n";
constexpr const char* kFishSquare = "\033[31;1mF \033[0m";
constexpr const char* kWaterSquare = "\033[34;1m~ \033[0m";
constexpr const char* kCoveredPondLine =
    "You can't see through the ripples in the water! Your dad is watching your next move "
    "closely\n";
constexpr const char* kArtColour = "\033[31;1m";

constexpr int kArtFrames = 5;
constexpr int kArtLines = 5;

// The title fish at its leftmost; each later frame shifts it one column right.
// clang-format off
constexpr const char* kArt[kArtLines] = {
    "   _.-=-._     .-,",
    " .'       \"-.,' /",
    "(          _.  <",
    " `=.____.=\"  `._\\",
    "\t\t",
};
// clang-format on
// The tail on line 2 is followed by a run of blanks that changes from frame to frame.
constexpr int kLine2TrailingBlanks[kArtFrames] = {1, 3, 3, 3, 5};

constexpr int kTitleCycle[] = {1, 2, 3, 4, 5, 4, 3, 2};

constexpr int kTitleFrameMs = 30;
constexpr int kPondFrameMs = 400;

void draw_art_frame(int k, std::FILE* out) {
    std::fputs(kArtColour, out);
    for (int line = 0; line < kArtLines; ++line) {
        const int trailing = line == 1 ? kLine2TrailingBlanks[k - 1] : 0;
        std::fprintf(out, "%*s%s%*s\n", k - 1, "", kArt[line], trailing, "");
    }
}

void draw_row_label(int i, std::FILE* out) {
    if (i == kPondRows - 1) {
        std::fputs("0 ", out);  // the tenth row is typed as 0, like the tenth column
    } else {
        std::fprintf(out, "%d ", i + 1);
    }
}

// The numbered pond rows; without a board every square shows water.
void draw_rows(const Board* board, int rows, int cols, std::FILE* out) {
    for (int i = 0; i < rows; ++i) {
        draw_row_label(i, out);
        for (int j = 0; j < cols; ++j) {
            const bool fish = board != nullptr && (*board)[i][j].occupied == 1;
            std::fputs(fish ? kFishSquare : kWaterSquare, out);
        }
        std::fputs("\n", out);
    }
}

// Leaves the frame on screen for ms milliseconds, then wipes it.
void show_frame_for(int ms, std::FILE* out) {
    console::flush(out);
    console::sleep_ms(ms);
    console::clear_screen(out);
}

}  // namespace

void draw_title_frame(int k, std::FILE* out) {
    std::fputs(kTitleLine, out);
    if (k >= 1 && k <= kArtFrames) draw_art_frame(k, out);
    std::fputs(kTitlePrompt, out);
}

void animate_title(std::FILE* out) {
    while (!console::key_pending()) {
        for (int k : kTitleCycle) {
            draw_title_frame(k, out);
            show_frame_for(kTitleFrameMs, out);
        }
    }
}

void draw_pond(const Board& board, int rows, int cols, std::FILE* out) {
    std::fputs(kColumnHeader, out);
    draw_rows(&board, rows, cols, out);
}

void draw_hidden_pond(int rows, int cols, std::FILE* out) {
    console::clear_screen(out);
    std::fputs(kTitleLine, out);
    std::fputs(kColumnHeader, out);
    draw_rows(nullptr, rows, cols, out);
    std::fputs(kCoveredPondLine, out);
}

void pond_tick(Board& board, Fish& fish1, Fish& fish2, Fish& fish3, std::FILE* out) {
    move_fish(board, fish1);
    move_fish(board, fish2);
    move_fish(board, fish3);
    std::fputs(kTitleLine, out);
    draw_pond(board, kPondRows, kPondCols, out);
    show_frame_for(kPondFrameMs, out);
}

}  // namespace reedmere
