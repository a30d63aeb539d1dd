// Game flow: the intro, a round, and all keyboard reading.
#pragma once

#include <cstdint>
#include <cstdio>

#include "pond/pond.h"

namespace reedmere {

// Discards input up to and including the next newline. Returns 1 when a
// newline ended the line, 0 when the input ended first.
int flush_line(std::FILE* in = stdin);

// The title animation, then waits for the line of the key that stopped it.
// Returns 0 when the input ended.
int show_intro(std::FILE* in = stdin, std::FILE* out = stdout);

// Prompts for the cast and stores it as 0-based column and row. Returns 0,
// leaving both untouched or partly read, when the input ends first.
int read_cast(std::int32_t& fish_col, std::int32_t& fish_row, std::FILE* in = stdin, std::FILE* out = stdout);

// 1 when the player answers Y or y; 0 for anything else or the end of input.
int ask_play_again(std::FILE* in = stdin, std::FILE* out = stdout);

// Sets up the pond, lets the player watch, takes the cast and tells the
// outcome. Returns 0 when the input ended before the cast was read.
int play_round(Board& board, Fish& fish1, Fish& fish2, Fish& fish3, std::int32_t& fish_col,
               std::int32_t& fish_row, std::FILE* in = stdin, std::FILE* out = stdout);

}  // namespace reedmere
