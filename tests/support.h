// The console and the draws that unit tests and the fuzzer link instead of
// the real ones.
#pragma once

#include <cstdio>
#include <deque>
#include <random>
#include <string>

namespace fake {
// Key tests are answered from here; a key is pending once it runs out.
extern std::deque<bool> key_answers;
// Where key tests and sleeps leave their marks: by default the memory that
// `printed` reads, for the game's own output to go to as well.
extern std::FILE* screen;
// What has gone to the screen since the last call.
std::string printed();
// The pond's draws are taken from here first, then from the standard
// library's minstd_rand, the same everywhere, so that no recorded result
// depends on a C library's own rand.
extern std::deque<int> draws;
extern std::minstd_rand generator;
}  // namespace fake

// Plays as the game does: the intro, then rounds until the input ends or the
// player declines, marking each cast and replay answer on the screen. False
// when a cast lies off the board.
bool play_like_the_game(std::FILE* in);
