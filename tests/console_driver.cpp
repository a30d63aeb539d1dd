// Plays the game in a console it shares with the game: types real key events
// into the console's input and reads what the game wrote off the screen.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const HANDLE keyboard = GetStdHandle(STD_INPUT_HANDLE);
const HANDLE screen = GetStdHandle(STD_OUTPUT_HANDLE);

void type(const wchar_t* keys) {
    for (; *keys != 0; ++keys) {
        INPUT_RECORD press[2] = {{KEY_EVENT, {}}, {KEY_EVENT, {}}};
        for (KEY_EVENT_RECORD* key : {&press[0].Event.KeyEvent, &press[1].Event.KeyEvent}) {
            key->bKeyDown = key == &press[0].Event.KeyEvent;
            key->wRepeatCount = 1;
            key->wVirtualKeyCode = LOBYTE(VkKeyScanW(*keys));
            key->uChar.UnicodeChar = *keys;
            key->dwControlKeyState = *keys == L'\x03' ? LEFT_CTRL_PRESSED : 0;
        }
        DWORD written = 0;
        WriteConsoleInputW(keyboard, press, 2, &written);
    }
}

// Waits for the screen to show `text`, then blanks it for the next wait.
bool shows(const char* text) {
    CONSOLE_SCREEN_BUFFER_INFO buffer;
    GetConsoleScreenBufferInfo(screen, &buffer);
    std::string seen(buffer.dwSize.X * buffer.dwSize.Y, ' ');
    DWORD read = 0;
    for (int waited = 0; waited < 100 && seen.find(text) == std::string::npos; ++waited) {
        Sleep(50);
        ReadConsoleOutputCharacterA(screen, seen.data(), seen.size(), {0, 0}, &read);
    }
    FillConsoleOutputCharacterA(screen, ' ', seen.size(), {0, 0}, &read);
    return seen.find(text) != std::string::npos;
}

// Plays up to the column prompt, then types `ending`: the game's exit code.
DWORD play(char* game, const wchar_t* ending) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    CreateProcessA(nullptr, game, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    bool played = shows("Press any key");
    type(L"x\r");  // a key stops the title, Enter ends its line
    played = played && shows("1 2 3 4 5 6 7 8 9 0");
    type(L"z\r");
    played = played && shows("Enter column number:");
    type(ending);
    DWORD code = 1;
    if (WaitForSingleObject(process.hProcess, 5000) == WAIT_OBJECT_0 && played) {
        GetExitCodeProcess(process.hProcess, &code);
    }
    return code;
}

}  // namespace

int main(int, char** argv) {
    SetConsoleCtrlHandler([](DWORD) -> BOOL { return TRUE; }, TRUE);  // Ctrl-C is for the game
    DWORD mode = 0;
    GetConsoleMode(screen, &mode);
    const DWORD declined = play(argv[1], L"3 4\rn\r");
    const DWORD interrupted = play(argv[1], L"\x03");
    DWORD mode_after = 0;
    GetConsoleMode(screen, &mode_after);
    std::printf("declined: %lu, Ctrl-C: %#lx, output mode %#lx then %#lx\n", declined, interrupted, mode, mode_after);
    return declined == 0 && interrupted == STATUS_CONTROL_C_EXIT && mode_after == mode ? 0 : 1;
}
