// Streams in memory for feeding the game input and catching what it prints,
// the script for the console that unit tests link instead of the real one,
// and the recorded results in tests/golden.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

struct MemoryOutput {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&data, &size);
    ~MemoryOutput() {
        std::fclose(stream);
        std::free(data);
    }
    std::string text() {
        std::fflush(stream);
        return std::string(data, size);
    }
};

struct MemoryInput {
    std::string bytes;
    std::FILE* stream = fmemopen(bytes.data(), bytes.size(), "r");
    ~MemoryInput() { std::fclose(stream); }
};

// Key tests are answered from `key_answers` (a key is pending once it runs
// out); key tests and sleeps leave a mark in `trace`, so a test sees where
// in the output they happened.
namespace fake_console {
extern std::deque<bool> key_answers;
extern std::FILE* trace;
}  // namespace fake_console

// The file tests/golden/<name>; with REEDMERE_UPDATE_GOLDEN set, `actual` is
// recorded there first.
std::string recorded(const std::string& name, const std::string& actual);

// Plays as the game does: the intro, then rounds until the input ends or the
// player declines, marking each cast and replay answer in `out`. False when a
// cast lies off the board.
bool play_like_the_game(std::FILE* in, std::FILE* out);
