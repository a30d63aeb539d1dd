// The pond: a 10 by 10 board of squares and the fish that swim in it.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

namespace reedmere {

constexpr int kPondRows = 10;
constexpr int kPondCols = 10;

struct Square {
    std::int32_t occupied;  // 1 while a fish has arrived and none has left since
};

// Indexed by row (0 at the top), then column (0 at the left).
using Board = std::array<std::array<Square, kPondCols>, kPondRows>;

struct Fish {
    std::int32_t row;
    std::int32_t col;
    std::int32_t direction;  // next step: 0 down, 1 up, 2 right, 3 left
    std::int32_t speed;
    std::int32_t type;  // which catch this fish turns out to be, 0 to 12
    std::int32_t wait;  // ticks still to sit out before the next step
};

// The pond's one source of chance, a value as std::rand gives: the game draws
// from std::rand, and the tests link a scripted sequence in its place.
int next_random();

void init_board(Board& board, int rows, int cols);

// One attempt at placing the fish on a random square: 1 when placed, 0 when
// the square drawn was taken and the caller should try again.
int spawn_fish(Board& board, Fish& fish);

// Advances the fish by one tick of the watching phase.
void move_fish(Board& board, Fish& fish);

// Prints what a cast at (row, col) brings up: a catch or the game-over text.
void resolve_cast(const Board& board, Fish fish1, Fish fish2, Fish fish3, int row, int col,
                  std::FILE* out = stdout);

// Prints the catch message of the first of the fish lying at (row, col).
void report_catch(int row, int col, Fish fish1, Fish fish2, Fish fish3, std::FILE* out = stdout);

}  // namespace reedmere
