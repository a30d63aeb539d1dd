// Keyboard reading. Input is taken a character at a time; a cast number is a
// blank-separated word, read whole, so no stray text can stall a prompt. The
// escape sequences a terminal sends for keys that type nothing (arrows,
// Home, F1, a mouse wheel turned into arrows, the marks around a bracketed
// paste) read as blanks.
#include <cctype>

#include "console/console.h"
#include "game/game.h"

namespace reedmere {

namespace {

constexpr int kEndOfInput = -1;
constexpr int kNotACastNumber = -2;
constexpr int kHighestCastNumber = 10;
constexpr int kReplayPauseMs = 1000;
constexpr int kEscape = '\033';

bool is_blank(int c) { return std::isspace(c) != 0; }

int next_char(std::FILE* in) {
    int c = std::getc(in);
    while (c == EOF && !console::input_ended(in)) c = std::getc(in);
    return c;
}

// The next typed character, a whole escape sequence read as a blank: a CSI
// ("ESC [", parameter and intermediate bytes, a final byte) or an SS3
// ("ESC O" and one more). Anything else after ESC leaves the ESC a character
// of its own, and an unfinished CSI reads as one word that is no number.
int next_typed(std::FILE* in) {
    const int c = next_char(in);
    if (c != kEscape) return c;
    const int kind = next_char(in);
    int last = kind == 'O' ? next_char(in) : kind;
    if (kind == '[') {
        do last = next_char(in);
        while (last >= 0x20 && last <= 0x3f);
        if (last >= 0x40 && last <= 0x7e) return ' ';
    } else if (kind == 'O' && last != EOF && !is_blank(last)) {
        return ' ';
    }
    if (last != EOF) std::ungetc(last, in);
    return kEscape;
}

// The next character that is not white space, or EOF.
int read_nonblank(std::FILE* in) {
    int c = next_typed(in);
    while (c != EOF && is_blank(c)) c = next_typed(in);
    return c;
}

// Reads the next word: its value when it is a cast number (only digits,
// 0 to 10), kNotACastNumber when it is any other word, kEndOfInput at the end.
int read_cast_word(std::FILE* in) {
    int c = read_nonblank(in);
    if (c == EOF) return kEndOfInput;
    bool digits_only = true;
    int value = 0;
    for (; c != EOF && !is_blank(c); c = next_typed(in)) {
        if (c < '0' || c > '9') {
            digits_only = false;
        } else if (value <= kHighestCastNumber) {
            value = value * 10 + (c - '0');  // stops growing once out of range, so never wraps
        }
    }
    return digits_only && value <= kHighestCastNumber ? value : kNotACastNumber;
}

// Waits for a cast number, passing over any other word without a word said.
int read_cast_number(std::int32_t& number, std::FILE* in, std::FILE* out) {
    console::flush(out);
    int word = read_cast_word(in);
    while (word == kNotACastNumber) word = read_cast_word(in);
    if (word == kEndOfInput) return 0;
    number = word;
    return 1;
}

// Typed 1 to 10 with 0 standing for 10; held 0 to 9.
std::int32_t to_index(std::int32_t typed) { return (typed == 0 ? 10 : typed) - 1; }

}  // namespace

int flush_line(std::FILE* in) {
    int c = next_char(in);
    while (c != EOF && c != '\n') c = next_char(in);
    return c == '\n' ? 1 : 0;
}

int read_cast(std::int32_t& fish_col, std::int32_t& fish_row, std::FILE* in, std::FILE* out) {
    console::flush(out);
    if (!flush_line(in)) return 0;
    std::fputs("Enter column number: ", out);
    if (!read_cast_number(fish_col, in, out)) return 0;
    std::fputs("Enter row number: ", out);
    if (!read_cast_number(fish_row, in, out)) return 0;
    fish_col = to_index(fish_col);
    fish_row = to_index(fish_row);
    return 1;
}

int ask_play_again(std::FILE* in, std::FILE* out) {
    console::flush(out);
    console::sleep_ms(kReplayPauseMs);
    std::fputs("Enter Y to play again\n", out);
    console::flush(out);
    const int play_again = read_nonblank(in);
    if (play_again != EOF) flush_line(in);
    console::clear_screen(out);
    return play_again == 'Y' || play_again == 'y' ? 1 : 0;
}

}  // namespace reedmere
