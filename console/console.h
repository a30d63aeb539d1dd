// The few console services the game needs, one implementation per platform.
#pragma once

#include <cstdio>

namespace reedmere::console {

// Call first, before any input or output: one write per flushed frame, and
// no input hidden in a stdio buffer from the key test.
void buffer_standard_streams();

// Call once before the game starts: makes sure the player's terminal is given
// back as it was, however the game ends.
void start();

// The player's keyboard and screen once started: standard input and output,
// except in a browser, where the page's terminal stands in for them.
std::FILE* keyboard();
std::FILE* screen();

// True when a key press, or the end of input, is waiting on the keyboard.
// Answers at once; the pressed key is not echoed, and the line read that
// follows starts with it.
bool key_pending();

// Told by the game that a read from `in` came back empty. True when the input
// has ended; false when the read is worth trying again. A read error ends the
// game.
// On Windows a console read also comes back empty when Ctrl-C is pressed,
// before the Ctrl-C handler has run; this gives it the moment it needs, so
// Ctrl-C never passes for an end.
bool input_ended(std::FILE* in);

// Sends what has been written to `out` on its way; a write error ends the game.
void flush(std::FILE* out);

// Gives the player's terminal back as it was, for good: done at exit, and
// before an error is said, so that the message stays on the player's screen.
void give_back();

// Ends the game with status 1, saying on standard error what failed and why
// (errno), as "reedmere: read error: Is a directory".
[[noreturn]] void fail(const char* what);

// Blocks for at least ms milliseconds.
void sleep_ms(int ms);

// Cursor home, then erase the whole display.
constexpr char kClearScreen[] = "\033[H\033[2J";

// Empties the screen and puts the cursor at the top left.
void clear_screen(std::FILE* out = stdout);

}  // namespace reedmere::console
