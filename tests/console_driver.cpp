// Plays the game in a console it shares with the game: reads what the game
// wrote off the screen, and types real key events into the console's input.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const HANDLE keyboard = GetStdHandle(STD_INPUT_HANDLE);
const HANDLE screen = GetStdHandle(STD_OUTPUT_HANDLE);

// Waits up to 20 s (wine can be slow to start a program) for the screen to show
// `text`, blanks it for the next wait, then types `keys`.
bool step(const char* text, const wchar_t* keys) {
    CONSOLE_SCREEN_BUFFER_INFO buffer;
    GetConsoleScreenBufferInfo(screen, &buffer);
    std::string seen(buffer.dwSize.X * buffer.dwSize.Y, ' ');
    DWORD done = 0;
    for (int waited = 0; waited < 400 && seen.find(text) == std::string::npos; ++waited) {
        Sleep(50);
        ReadConsoleOutputCharacterA(screen, seen.data(), seen.size(), {0, 0}, &done);
    }
    FillConsoleOutputCharacterA(screen, ' ', seen.size(), {0, 0}, &done);
    for (; *keys != 0; ++keys) {
        const DWORD ctrl = *keys == L'\x03' ? LEFT_CTRL_PRESSED : 0;
        INPUT_RECORD press{KEY_EVENT, {}};
        press.Event.KeyEvent = {TRUE, 1, LOBYTE(VkKeyScanW(*keys)), 0, {*keys}, ctrl};
        WriteConsoleInputW(keyboard, &press, 1, &done);
    }
    return seen.find(text) != std::string::npos;
}

// The console's output mode while the game draws: colour needs virtual-terminal
// processing on, which wine's console, showing the sequences raw, cannot show.
DWORD mode_while_playing = 0;

constexpr DWORD kEndedByDriver = 0xE0DED;

// Plays to the column prompt (a key stops the title and the pond, Enter ends
// its line), types `ending`, and gives the game's exit code. Without an ending
// no key is typed, and the title must still be playing a second later (wine
// would give the keys of the next game to a read left by a game ended there).
// Whenever a step fails or the game outlives its wait, the driver ends it: no
// test leaves a game behind.
DWORD play(char* game, const wchar_t* ending) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    DWORD mode = 0;
    GetConsoleMode(screen, &mode);
    CreateProcessA(nullptr, game, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    const bool played = ending == nullptr
                            ? step("Press any key", L"")
                            : step("Press any key", L"x\r") && GetConsoleMode(screen, &mode_while_playing) &&
                                  step("1 2 3 4 5 6 7 8 9 0", L"z\r") && step("Enter column number:", ending);
    if (WaitForSingleObject(process.hProcess, ending ? 20000 : 1000) != WAIT_OBJECT_0 || !played) {
        TerminateProcess(process.hProcess, kEndedByDriver);
        WaitForSingleObject(process.hProcess, 20000);
        SetConsoleMode(screen, mode);  // a game ended so cannot give the console back itself
    }
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    return played ? code : 1;
}

}  // namespace

int main(int, char** argv) {
    SetConsoleCtrlHandler([](DWORD) -> BOOL { return TRUE; }, TRUE);  // Ctrl-C is for the game
    DWORD mode = 0;
    GetConsoleMode(screen, &mode);
    const DWORD waiting = play(argv[1], nullptr);
    const DWORD declined = play(argv[1], L"3 4\rn\r");
    const DWORD interrupted = play(argv[1], L"\x03");
    DWORD mode_after = 0;
    GetConsoleMode(screen, &mode_after);
    std::printf("declined %lu, Ctrl-C %#lx, waiting %#lx, mode %#lx, %#lx while playing, %#lx after\n",
                declined, interrupted, waiting, mode, mode_while_playing, mode_after);
    const bool played = declined == 0 && interrupted == STATUS_CONTROL_C_EXIT && waiting == kEndedByDriver;
    return played && (mode_while_playing & ENABLE_VIRTUAL_TERMINAL_PROCESSING) && mode_after == mode ? 0 : 1;
}
