// Console services in a browser page, where a terminal emulator with a
// pseudo-terminal in JavaScript (console/web/terminal.js) stands in for the
// player's terminal. The game reads and writes it through two stdio streams
// of its own, and each wait (a read, a pause) hands the page its main thread
// back until the wait is over, by Asyncify.
//
// As on a POSIX terminal, the key test switches the terminal into key mode
// (no line editing, no echo) and back to line mode once a key is seen, which
// stays queued for the line read that follows. Ctrl-C (or Ctrl-\) ends the
// game at its next wait, with the status a shell would give it.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>

#include "console/console.h"

namespace reedmere::console {

namespace {

// The page's terminal, as lent by terminal.js to this game. (JavaScript, which
// clang-format would mangle.)
// clang-format off
EM_JS(void, web_set_key_mode, (int on), { Module.terminal.setKeyMode(on !== 0); });
EM_JS(int, web_key_pending, (), { return Module.terminal.keyPending() ? 1 : 0; });
EM_JS(int, web_signal, (), { return Module.terminal.signal; });
EM_JS(void, web_write, (const char* bytes, int size), {
    Module.terminal.write(HEAPU8.slice(bytes, bytes + size));
});
// Resolves with the bytes read, none at the end of input.
EM_ASYNC_JS(int, web_read, (char* bytes, int size), {
    const read = await Module.terminal.read(size);
    HEAPU8.set(read, bytes);
    return read.length;
});
EM_ASYNC_JS(void, web_sleep, (int ms), { await Module.terminal.sleep(ms); });
// clang-format on

std::FILE* g_keyboard = nullptr;
std::FILE* g_screen = nullptr;

// After every wait: a signal that came in meanwhile ends the game.
void end_if_signalled() {
    if (const int sig = web_signal()) std::exit(128 + sig);
}

ssize_t read_keyboard(void*, char* bytes, std::size_t size) {
    const int read = web_read(bytes, static_cast<int>(size));
    end_if_signalled();
    return read;
}

ssize_t write_screen(void*, const char* bytes, std::size_t size) {
    web_write(bytes, static_cast<int>(size));
    return static_cast<ssize_t>(size);
}

// As large as the buffer of a terminal's standard output: a frame is one write.
char g_screen_buffer[16384];

}  // namespace

void start() {
    g_keyboard = fopencookie(nullptr, "r", {read_keyboard, nullptr, nullptr, nullptr});
    g_screen = fopencookie(nullptr, "w", {nullptr, write_screen, nullptr, nullptr});
    // Unbuffered, so that no key hides in a stdio buffer from the key test.
    std::setvbuf(g_keyboard, nullptr, _IONBF, 0);
    std::setvbuf(g_screen, g_screen_buffer, _IOFBF, sizeof g_screen_buffer);
}

void give_back() {}  // the page's terminal is the game's alone

std::FILE* keyboard() { return g_keyboard; }

std::FILE* screen() { return g_screen; }

bool key_pending() {
    web_set_key_mode(1);
    const bool pending = web_key_pending() != 0;
    if (pending) web_set_key_mode(0);
    return pending;
}

bool input_ended(std::FILE*) { return true; }  // reads here end only at the end of input

void sleep_ms(int ms) {
    web_sleep(ms);
    end_if_signalled();
}

}  // namespace reedmere::console
