// Console services for the Windows console.
//
// Colour needs virtual-terminal processing switched on for the output; the
// player's own console modes are put back on every way out, Ctrl-C and the
// window being closed included. Keyboard input is left in its usual line
// mode: _kbhit looks at key presses waiting in the console without taking
// them, and the line read that follows starts with the pressed key.
#include <conio.h>
#include <windows.h>

#include <cstdlib>

#include "console/console.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace reedmere::console {

namespace {

constexpr DWORD kCtrlCGraceMs = 500;

HANDLE g_output = INVALID_HANDLE_VALUE;
DWORD g_player_output_mode = 0;
bool g_have_console_output = false;

void restore_console() {
    if (g_have_console_output) SetConsoleMode(g_output, g_player_output_mode);
}

// Ends the game with the Ctrl-C status itself, as not every console's
// default handler does; other events get the default ending.
BOOL WINAPI on_console_event(DWORD event) {
    restore_console();
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) ExitProcess(STATUS_CONTROL_C_EXIT);
    return FALSE;
}

bool is_console(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

// Redirected input is waiting when a pipe holds data or has lost its writer,
// and always for a file or a device such as NUL: reading it will not block.
bool redirected_input_pending(HANDLE input) {
    if (GetFileType(input) != FILE_TYPE_PIPE) return true;
    DWORD available = 0;
    if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) return true;
    return available > 0;
}

}  // namespace

void start() {
    SetConsoleCtrlHandler(on_console_event, TRUE);
    g_output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (GetConsoleMode(g_output, &g_player_output_mode)) {
        g_have_console_output = true;
        SetConsoleMode(g_output,
                       g_player_output_mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        std::atexit(restore_console);
    }
}

void give_back() { restore_console(); }

bool key_pending() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (!is_console(input)) return redirected_input_pending(input);
    return _kbhit() != 0;
}

// The console read comes back empty on Ctrl-C while the handler is still on
// its way, on a thread of its own; it ends the game during this wait, before
// a failed read is taken for an error.
bool input_ended(std::FILE* in) {
    if (is_console(GetStdHandle(STD_INPUT_HANDLE))) Sleep(kCtrlCGraceMs);
    if (std::ferror(in)) fail("read error");
    return true;
}

std::FILE* keyboard() { return stdin; }

std::FILE* screen() { return stdout; }

void sleep_ms(int ms) {
    // Sleep may wake a little early on a coarse system clock; finish the time.
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(ms);
    for (ULONGLONG now = GetTickCount64(); now < until; now = GetTickCount64()) {
        Sleep(static_cast<DWORD>(until - now));
    }
}

}  // namespace reedmere::console
