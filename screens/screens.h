// Everything drawn on the console apart from prompts and catch messages.
#pragma once

#include <cstdio>

#include "pond/pond.h"

namespace reedmere {

// The title line, art frame k (1 to 5; any other k draws no art) and the prompt.
void draw_title_frame(int k, std::FILE* out = stdout);

// Plays the title animation until a key is pending; never reads the key.
void animate_title(std::FILE* out = stdout);

// The column header and the pond rows, fish shown.
void draw_pond(const Board& board, int rows, int cols, std::FILE* out = stdout);

// Clears the screen and draws the pond as all water, with the title line.
void draw_hidden_pond(int rows, int cols, std::FILE* out = stdout);

// One frame of the watching phase: the fish move, the pond is shown for a while.
void pond_tick(Board& board, Fish& fish1, Fish& fish2, Fish& fish3, std::FILE* out = stdout);

}  // namespace reedmere
