// How long drawing takes, apart from the terminal: each frame goes to
// /dev/null through the same stdio path the game uses.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "screens/screens.h"

namespace {

std::FILE* nowhere() {
    static std::FILE* const devnull = std::fopen("/dev/null", "w");
    return devnull;
}

void pond_frame(benchmark::State& state) {
    reedmere::Board board;
    reedmere::init_board(board, 10, 10);
    board[1][4].occupied = board[6][2].occupied = board[9][3].occupied = 1;
    for (auto _ : state) {
        reedmere::draw_pond(board, 10, 10, nowhere());
        std::fflush(nowhere());
    }
}
BENCHMARK(pond_frame);

void title_frame(benchmark::State& state) {
    int k = 0;
    for (auto _ : state) {
        reedmere::draw_title_frame(k++ % 5 + 1, nowhere());
        std::fflush(nowhere());
    }
}
BENCHMARK(title_frame);

}  // namespace

BENCHMARK_MAIN();
