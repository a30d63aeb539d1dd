// Console services for POSIX terminals (Linux, macOS, the BSDs).
//
// Modes. While the game holds the terminal, keys come one at a time and
// unechoed (ICANON and ECHO off), so the key test sees a single key at once
// and nothing is printed over a frame. ISIG stays on, so Ctrl-C and Ctrl-Z
// keep working, and so do OPOST and ICRNL, whatever the player left (stty
// raw, -icrnl): a frame's lines start at the left, and Enter ends a line.
// A prompt's line is the game's own, as in vim or linenoise: it echoes what
// is typed and edits it with the player's own erase, kill, word-erase and
// end-of-file keys, and hands the game the same bytes a terminal's own line
// editing would.
//
// Screen. On a terminal the game plays in the alternate screen, as less and
// vim do, so the player's screen and scrollback are untouched. It keeps a
// copy of what that screen shows since its last clear, and of the line being
// typed, and redraws both after fg, a resize or any other continue.
//
// Waiting. Every sleep, key test, read and blocked write waits in wait_for(),
// a select over the keyboard, the screen and a self-pipe that the stop,
// continue and resize handlers write to: those handlers only record the
// signal and wake the wait. The screen is written through a descriptor of
// the game's own, opened non-blocking, so a paused or slow screen is waited
// for there too, and a recorded signal is acted on at once in every phase.
//
// Who touches the terminal, and when:
// - The main flow takes it (the game's mode and screen) and gives it back
//   (the player's), and only while the game is in the foreground: a
//   background process that sets modes or writes is stopped by SIGTTOU. It
//   does so in attend(), called before every write and whenever a wait is
//   woken.
// - A signal that ends the game gives the terminal back from its handler
//   (mode, then screen, dropping what a slow or paused screen has not taken
//   after a short wait), then ends the game as that signal would. The main
//   flow counts the terminal as taken from before it changes anything until
//   after it has put everything back, so a handler, whenever it comes, gives
//   back whole.
#include <fcntl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "console/console.h"

namespace reedmere::console {

namespace {

// Escape sequences of the game's own, besides the frames' (kClearScreen and colours):
//   "\033[?1049h"  save the cursor, switch to the alternate screen (cleared)
//   "\033[0m"      colours off, in case a frame was cut short
//   "\033[?1049l"  back to the normal screen, cursor restored
//   "\b \b"        (not a sequence) erases the character left of the cursor
constexpr char kEnterScreen[] = "\033[?1049h";
constexpr char kLeaveScreen[] = "\033[0m\033[?1049l";
constexpr char kEraseCharacter[] = "\b \b";
// A dying game waits this long for its screen to take what was written, then
// drops the rest and waits as long again for the leave sequence.
constexpr long long kLeaveWaitNs = 150'000'000;
// The bytes of one key's escape sequence arrive together; a lone Escape has none after it.
constexpr long long kEscapeWaitNs = 50'000'000;
constexpr std::size_t kLineLimit = 4095;  // as much as a terminal's own line editing takes
constexpr unsigned char kEscape = 0x1b;
constexpr unsigned char kDelete = 0x7f;

enum class Woken { kReady, kTimeUp, kSignal };
enum class Wrote { kAll, kSignal, kTimeUp, kError };
// What edit_line() ends with.
constexpr int kLineEnded = 1;
constexpr int kInputEnded = 0;
constexpr int kReadFailed = -1;

termios g_player_mode;  // the terminal as the player had it when the game last took it
termios g_game_mode;
int g_terminal = -1;              // the descriptor whose job control the game obeys
int g_screen_fd = STDOUT_FILENO;  // the game's own, non-blocking, where the screen is a terminal
int g_echo_fd = -1;               // where typed keys are echoed: the screen, else the keyboard's terminal
int g_wake[2] = {-1, -1};         // the self-pipe: the handlers write, wait_for() reads
bool g_screen_is_terminal = false;
bool g_keyboard_is_terminal = false;
// Where the keyboard is not the game's controlling terminal (setsid, or a
// terminal opened by name), the kernel would send its Ctrl-C to that
// terminal's own foreground job, not to the game; there the game reads the
// player's interrupt and quit keys itself, and ends as they would.
bool g_reads_signal_keys = false;
volatile std::sig_atomic_t g_have_modes = 0;  // the player's settings have been read: the game edits lines
volatile std::sig_atomic_t g_taken = 0;       // the game's mode and screen are on the terminal
volatile std::sig_atomic_t g_ended = 0;       // given back for good
// Recorded by the handlers, acted on by attend().
volatile std::sig_atomic_t g_stop_asked = 0;
volatile std::sig_atomic_t g_continued = 0;
volatile std::sig_atomic_t g_resized = 0;
sigset_t g_ending_signals;

std::FILE* g_keyboard = stdin;
std::FILE* g_screen = stdout;
char g_screen_buffer[16384];  // holds the largest screen whole: one write a flushed frame
char g_shown[16384];          // what the screen shows since its last clear, but the line being typed
std::size_t g_shown_size = 0;

// Keys read from the keyboard and not yet taken; the first g_keys_unechoed
// were already there when the key test looked, and are never echoed.
char g_keys[4096];
std::size_t g_keys_size = 0;
std::size_t g_keys_taken = 0;
std::size_t g_keys_unechoed = 0;
// The line being typed at a prompt, and its echo not yet written.
char g_line[kLineLimit];
std::size_t g_line_size = 0;
char g_echo[8192];
std::size_t g_echo_size = 0;
// A line handed to the game, and how much of it the game has read.
char g_given[sizeof g_keys + 1];
std::size_t g_given_size = 0;
std::size_t g_given_read = 0;

// Signals whose default action ends the process: the player's terminal is
// given back first. SIGPIPE is caught apart, even when inherited as ignored;
// the real-time signals are added at start.
constexpr int kEndingSignals[] = {
    SIGINT,  SIGTERM,   SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
    SIGXCPU, SIGXFSZ,   SIGSEGV, SIGBUS,  SIGFPE,  SIGILL,  SIGABRT, SIGTRAP,   SIGSYS,
#ifdef __linux__
    SIGPOLL, SIGSTKFLT, SIGPWR,
#endif
};

long long monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// The game's to use when it is the foreground job there, or when it is not
// the game's controlling terminal (ENOTTY), where no job control applies.
bool in_foreground() {
    if (g_terminal < 0) return true;
    const int saved_errno = errno;
    const pid_t group = tcgetpgrp(g_terminal);
    const bool ours = group == getpgrp() || (group < 0 && errno == ENOTTY);
    errno = saved_errno;
    return ours;
}

// The one wait: until `read_fd` can be read or `write_fd` written (either may
// be -1), the deadline passes (-1: none), or, when `wakeable`, a handler has
// recorded a signal. A descriptor select refuses (a closed input) counts as
// ready: the read or write that follows says what is wrong.
Woken wait_for(int read_fd, int write_fd, long long deadline_ns = -1, bool wakeable = true) {
    fd_set readable;
    fd_set writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    const int wake_fd = wakeable ? g_wake[0] : -1;
    if (wake_fd >= 0) FD_SET(wake_fd, &readable);
    if (read_fd >= 0) FD_SET(read_fd, &readable);
    if (write_fd >= 0) FD_SET(write_fd, &writable);
    const long long left_ns = deadline_ns < 0 ? 0 : std::max(0LL, deadline_ns - monotonic_ns());
    timeval timeout{static_cast<time_t>(left_ns / 1000000000LL),
                    static_cast<suseconds_t>(left_ns % 1000000000LL / 1000)};
    const int found =
        select(std::max({wake_fd, read_fd, write_fd}) + 1, &readable, write_fd >= 0 ? &writable : nullptr,
               nullptr, deadline_ns < 0 ? nullptr : &timeout);
    // A signal that came with the descriptor's readiness (Ctrl-Z drops what
    // a full screen held, and so makes it writable) is acted on first.
    const bool recorded = g_stop_asked || g_continued || g_resized;
    if (wakeable && (recorded || (found > 0 && wake_fd >= 0 && FD_ISSET(wake_fd, &readable))))
        return Woken::kSignal;
    if (found < 0) return errno == EINTR ? Woken::kSignal : Woken::kReady;
    return found == 0 ? Woken::kTimeUp : Woken::kReady;
}

// Writes what is left of `data` to `fd`, waiting in the one wait whenever
// the fd is full or paused. Stops early, `data` and `size` telling what is
// left, when a recorded signal wakes the wait (if `wakeable`), at the
// deadline, or on an error (errno telling which).
Wrote write_out(int fd, const char*& data, std::size_t& size, long long deadline_ns = -1,
                bool wakeable = true) {
    // With a deadline (a dying game) the screen is waited for before each
    // write, so that a blocking one never holds it in the write.
    bool ready = deadline_ns < 0;
    while (size > 0) {
        if (ready) {
            const ssize_t written = write(fd, data, size);
            if (written > 0) {
                data += written;
                size -= static_cast<std::size_t>(written);
                continue;
            }
            if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return Wrote::kError;
        }
        const Woken woken = wait_for(-1, fd, deadline_ns, wakeable);
        if (woken == Woken::kTimeUp) return Wrote::kTimeUp;
        if (woken == Woken::kSignal && wakeable) return Wrote::kSignal;
        ready = woken == Woken::kReady || deadline_ns < 0;
    }
    return Wrote::kAll;
}

// The game's own sequences, sent whole whatever is recorded meanwhile (it is
// acted on after).
void send_whole(const char* data, std::size_t size) { write_out(g_screen_fd, data, size, -1, false); }

void read_player_mode() {
    if (!g_keyboard_is_terminal || tcgetattr(STDIN_FILENO, &g_player_mode) != 0) return;
    g_game_mode = g_player_mode;
    // Keys one at a time, unechoed; no implementation's extras (Ctrl-V, or a
    // BSD's Ctrl-O, which would drop frames). Signals and output processing on.
    g_game_mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
    g_reads_signal_keys = tcgetpgrp(STDIN_FILENO) < 0;
    if (g_reads_signal_keys) {
        g_game_mode.c_lflag &= ~static_cast<tcflag_t>(ISIG);
    } else {
        g_game_mode.c_lflag |= ISIG;
    }
    g_game_mode.c_iflag |= ICRNL;  // Enter sends a carriage return
    g_game_mode.c_iflag &= ~static_cast<tcflag_t>(IGNCR | INLCR);
    g_game_mode.c_oflag |= OPOST | ONLCR;  // a frame's lines start at the left
    g_game_mode.c_cc[VMIN] = 1;            // whatever minimum the player's stty asked for
    g_game_mode.c_cc[VTIME] = 0;
    g_have_modes = 1;
}

// TCSANOW rather than TCSAFLUSH: a key already typed must stay queued.
void set_game_mode() {
    if (g_taken && g_have_modes) tcsetattr(STDIN_FILENO, TCSANOW, &g_game_mode);
}

// Makes the terminal the game's: its mode, and the alternate screen, reading
// the player's settings anew each time (they may have changed them while the
// game was suspended). True when it did, and the screen is to be redrawn.
bool take_terminal() {
    if (g_taken || g_ended || !in_foreground()) return false;
    read_player_mode();
    g_taken = 1;
    set_game_mode();
    if (g_screen_is_terminal) send_whole(kEnterScreen, sizeof kEnterScreen - 1);
    return true;
}

// The player's settings and screen, as they were. The main flow waits for
// the screen; a dying game, in a signal handler, waits kLeaveWaitNs, then
// drops what the screen has not taken and resumes a paused one, so that the
// leave arrives, and waits as long again.
void give_terminal_back(bool dying = false) {
    if (!g_taken || !in_foreground()) return;
    if (g_have_modes) tcsetattr(STDIN_FILENO, TCSANOW, &g_player_mode);
    const auto leave_within = [](long long wait_ns) {
        const char* leave = kLeaveScreen;
        std::size_t size = sizeof kLeaveScreen - 1;
        return write_out(g_screen_fd, leave, size, wait_ns < 0 ? -1 : monotonic_ns() + wait_ns, false);
    };
    if (g_screen_is_terminal && !dying) leave_within(-1);
    if (g_screen_is_terminal && dying && leave_within(kLeaveWaitNs) == Wrote::kTimeUp) {
        tcflush(g_screen_fd, TCOFLUSH);
        tcflow(g_screen_fd, TCOOFF);  // on Linux TCOON alone does not undo Ctrl-S
        tcflow(g_screen_fd, TCOON);
        leave_within(kLeaveWaitNs);
    }
    g_taken = 0;
}

void set_handler(int sig, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_mask = g_ending_signals;
    sigaction(sig, &action, nullptr);
}

// With its default action: the exit status, core dump or stop the shell
// expects. Raised before it is unblocked, so that one pending already (a
// second Ctrl-Z) makes the same single stop.
void raise_default(int sig) {
    struct sigaction handled {};
    struct sigaction by_default {};
    by_default.sa_handler = SIG_DFL;
    sigaction(sig, &by_default, &handled);
    raise(sig);
    sigset_t just_sig;
    sigemptyset(&just_sig);
    sigaddset(&just_sig, sig);
    sigprocmask(SIG_UNBLOCK, &just_sig, nullptr);
    sigaction(sig, &handled, nullptr);  // back here only after a stop
}

void on_ending_signal(int sig) {
    give_terminal_back(true);
    raise_default(sig);
    _exit(128 + sig);  // only if the default action did not end us
}

void wake() {
    const int saved_errno = errno;
    const char byte = 0;
    const ssize_t written = write(g_wake[1], &byte, 1);
    static_cast<void>(written);  // a full pipe is awake already
    errno = saved_errno;
}

void on_stop(int) {
    g_stop_asked = 1;
    wake();
}
void on_continue(int) {
    g_continued = 1;
    wake();
}
void on_resize(int) {
    g_resized = 1;
    wake();
}

void catch_unless_ignored(int sig, void (*handler)(int)) {
    struct sigaction current {};
    sigaction(sig, nullptr, &current);
    // A signal ignored by whoever started the game (nohup, say) stays ignored.
    if (current.sa_handler != SIG_IGN) set_handler(sig, handler);
}

// Keeps what the screen shows since its last clear. When full, the oldest
// lines go: the newest screenful, and the prompt being answered, always stay.
void remember(const char* data, std::size_t size) {
    const char* const end = data + size;
    const char* const cleared =
        std::find_end(data, end, kClearScreen, kClearScreen + sizeof kClearScreen - 1);
    if (cleared != end) {
        data = cleared + sizeof kClearScreen - 1;
        g_shown_size = 0;
    }
    if (static_cast<std::size_t>(end - data) > sizeof g_shown / 2) {
        data = std::find(end - sizeof g_shown / 2, end, '\n');
        g_shown_size = 0;
    }
    size = static_cast<std::size_t>(end - data);
    if (g_shown_size + size > sizeof g_shown) {
        char* const shown_end = g_shown + g_shown_size;
        const std::size_t at_least = std::max(g_shown_size + size - sizeof g_shown, g_shown_size / 2);
        char* cut = std::find(g_shown + at_least, shown_end, '\n');
        if (cut != shown_end) ++cut;
        std::memmove(g_shown, cut, static_cast<std::size_t>(shown_end - cut));
        g_shown_size = static_cast<std::size_t>(shown_end - cut);
    }
    std::memcpy(g_shown + g_shown_size, data, size);
    g_shown_size += size;
}

// The kept screen and the line being typed, from a cleared screen. False
// when a recorded signal cut it short.
bool redraw() {
    g_echo_size = 0;  // the line is shown as it now is
    const auto sent = [](const char* data, std::size_t size) {
        return write_out(g_screen_fd, data, size) != Wrote::kSignal;
    };
    return sent(kClearScreen, sizeof kClearScreen - 1) && sent(g_shown, g_shown_size) &&
           sent(g_line, g_line_size);
}

// An orphaned game, in the background with no shell left to bring it back
// (started by "(reedmere &)"): the kernel discards its stops and would fail
// its reads, so it ends, with status 1, saying why only where that is not
// the terminal. Had it taken the terminal in the moment before its shell
// took it back, it gives it back first, SIGTTOU ignored so that the kernel
// lets it; it touches the terminal for nothing else.
[[noreturn]] void end_orphaned() {
    if (g_taken) {
        signal(SIGTTOU, SIG_IGN);
        g_terminal = -1;
        give_terminal_back(true);
    }
    if (!isatty(STDERR_FILENO)) {
        constexpr char kWhy[] = "reedmere: left in the background with no shell to bring it back\n";
        const ssize_t written = write(STDERR_FILENO, kWhy, sizeof kWhy - 1);
        static_cast<void>(written);  // nowhere left to say that it failed
    }
    _exit(EXIT_FAILURE);
}

// Stops the game with `sig`, the terminal given back first, until it is
// continued. A Ctrl-Z that comes meanwhile is part of this stop.
void stop_here(int sig) {
    sigset_t stops;
    sigset_t before;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTSTP);
    sigprocmask(SIG_BLOCK, &stops, &before);
    g_stop_asked = 0;
    give_terminal_back();
    g_continued = 0;
    raise_default(sig);
    sigprocmask(SIG_SETMASK, &before, nullptr);
}

// Acts on what the handlers recorded until nothing is left: a stop asked for
// (Ctrl-Z), or found in the background, gives the terminal back and stops
// until fg; a resize or a continue (fg, or one nobody asked for, after
// SIGSTOP or in a debugger) takes the terminal again and redraws. Where no
// shell can take the game back (it is its terminal's own program) the kernel
// discards the stop, no SIGCONT comes, and the game plays on. True when the
// screen was redrawn.
bool attend() {
    bool redrawn = false;
    for (;;) {
        char drained[64];
        while (g_wake[0] >= 0 && read(g_wake[0], drained, sizeof drained) > 0) continue;
        // Each flag cleared before it is acted on: one set meanwhile is acted on now or next time.
        bool redraw_due = false;
        if (g_resized) {
            g_resized = 0;
            redraw_due = true;
        }
        if (g_continued) {
            g_continued = 0;
            redraw_due = true;
        }
        while (g_stop_asked || !in_foreground()) {
            stop_here(g_stop_asked ? SIGTSTP : SIGTTOU);
            if (!g_continued) {
                if (!in_foreground()) end_orphaned();
                break;
            }
            g_continued = 0;
        }
        if (take_terminal()) {
            redraw_due = true;
        } else if (redraw_due) {
            set_game_mode();  // whoever stopped the game may have left a mode of their own
        }
        if (!redraw_due || !g_screen_is_terminal || !g_taken) return redrawn;
        if (redraw()) redrawn = true;
    }
}

// Writes the echo of typed keys, unless a redraw shows them first.
void flush_echo() {
    const char* data = g_echo;
    std::size_t size = g_echo_size;
    while (g_echo_size > 0 && g_echo_fd >= 0) {
        const Wrote wrote = write_out(g_echo_fd, data, size);
        if (wrote != Wrote::kSignal) break;
        attend();
    }
    g_echo_size = 0;
}

void echo(const char* data, std::size_t size) {
    if (g_echo_size + size > sizeof g_echo) flush_echo();
    std::memcpy(g_echo + g_echo_size, data, size);
    g_echo_size += size;
}

// The screen stream's only way out.
ssize_t write_screen(void*, const char* data, std::size_t size) {
    attend();
    if (g_screen_is_terminal) remember(data, size);
    const char* rest = data;
    std::size_t left = size;
    for (;;) {
        const Wrote wrote = write_out(g_screen_fd, rest, left);
        if (wrote == Wrote::kAll) return static_cast<ssize_t>(size);
        if (wrote == Wrote::kError) return -1;
        if (attend()) return static_cast<ssize_t>(size);  // the redraw showed the rest
    }
}

bool is_player_key(int key, int index) {
    const cc_t value = g_player_mode.c_cc[index];
    return value != _POSIX_VDISABLE && key == value;
}

// The keys just read, where the game reads the signal keys itself.
void obey_signal_keys() {
    for (std::size_t i = g_keys_taken; g_reads_signal_keys && i < g_keys_size; ++i) {
        const int key = static_cast<unsigned char>(g_keys[i]);
        if (is_player_key(key, VINTR)) raise(SIGINT);
        if (is_player_key(key, VQUIT)) raise(SIGQUIT);
    }
}

// Reads what the keyboard has into g_keys, the first `unechoed` of them
// (all, or none) never to be echoed; as read().
ssize_t read_keys(bool unechoed) {
    const ssize_t got = read(STDIN_FILENO, g_keys, sizeof g_keys);
    if (got < 0) return got;
    g_keys_size = static_cast<std::size_t>(got);
    g_keys_taken = 0;
    g_keys_unechoed = unechoed ? g_keys_size : 0;
    obey_signal_keys();
    return got;
}

// A key typed at the keyboard, waiting until the deadline (-1: for ever):
// its byte, or kTimeUp, kKeyboardEnded or kKeyboardFailed.
constexpr int kTimeUp = -1;
constexpr int kKeyboardEnded = -2;
constexpr int kKeyboardFailed = -3;
int next_key(long long deadline_ns = -1) {
    while (g_keys_taken == g_keys_size) {
        flush_echo();
        const Woken woken = wait_for(STDIN_FILENO, -1, deadline_ns);
        if (woken == Woken::kSignal) attend();
        if (woken == Woken::kTimeUp) return kTimeUp;
        if (woken != Woken::kReady) continue;
        const ssize_t got = read_keys(false);
        if (got == 0) return kKeyboardEnded;
        if (got < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return kKeyboardFailed;
    }
    return static_cast<unsigned char>(g_keys[g_keys_taken++]);
}

bool is_blank_in_line(char c) { return c == ' '; }

// Erases the last character typed, all the bytes of a UTF-8 one.
void erase_character() {
    if (g_line_size == 0) return;
    std::size_t start = g_line_size - 1;
    const auto continues = [](char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; };
    while (start > 0 && continues(g_line[start]) && g_line_size - start < 4) --start;
    if (static_cast<unsigned char>(g_line[start]) < 0xc0) start = g_line_size - 1;  // no lead byte: one byte
    g_line_size = start;
    echo(kEraseCharacter, sizeof kEraseCharacter - 1);
}

// The rest of a key's escape sequence after its Escape: a CSI ("[",
// parameter and intermediate bytes, a final byte), an SS3 ("O" and one
// more), or one more character (Alt and a key). A control key after the
// Escape is a key of its own.
void skip_escape_sequence() {
    int key = next_key(monotonic_ns() + kEscapeWaitNs);
    if (key == '[') {
        do key = next_key(monotonic_ns() + kEscapeWaitNs);
        while (key >= 0x20 && key <= 0x3f);
    } else if (key == 'O') {
        key = next_key(monotonic_ns() + kEscapeWaitNs);
    }
    if (key >= 0 && (key < 0x20 || key == kDelete)) --g_keys_taken;
}

// Hands the line typed to the game, with `end` (a newline, or nothing after
// the end-of-file key); what was echoed stays on the kept screen.
void hand_over(const char* end) {
    flush_echo();
    std::memcpy(g_given, g_line, g_line_size);
    g_given_size = g_line_size;
    if (*end != '\0') g_given[g_given_size++] = *end;
    g_given_read = 0;
    if (g_screen_is_terminal) {
        remember(g_line, g_line_size);
        remember(end, std::strlen(end));
    }
    g_line_size = 0;
    echo(end, std::strlen(end));
    flush_echo();
}

// Keys typed before the line read began (the key that stopped the title or
// the pond, and what came with it) were not shown; they are handed over as
// they came, up to the end of their line. False when there were none.
bool hand_over_unechoed(int& ended) {
    g_given_size = 0;
    g_given_read = 0;
    while (g_keys_taken < g_keys_unechoed) {
        char key = g_keys[g_keys_taken++];
        if (is_player_key(static_cast<unsigned char>(key), VEOF)) {
            ended = g_given_size > 0 ? kLineEnded : kInputEnded;
            return true;
        }
        if (key == '\r') key = '\n';
        g_given[g_given_size++] = key;
        if (key == '\n') break;
    }
    ended = kLineEnded;
    return g_given_size > 0;
}

// Reads one line into g_given, echoing and editing it as a terminal's own
// line editing would: Enter ends it; the player's end-of-file key ends the
// input on an empty line and hands over the line so far otherwise; the
// player's erase key (and Backspace, ^? or ^H), kill and word-erase keys
// edit it. Escape sequences, Tab and other control keys are blanks.
int edit_line() {
    std::fflush(g_screen);
    int ended = kLineEnded;
    if (hand_over_unechoed(ended)) return ended;
    for (;;) {
        const int key = next_key();
        if (key == kKeyboardFailed) return kReadFailed;
        if (key == kKeyboardEnded || is_player_key(key, VEOF)) {
            if (g_line_size == 0) return kInputEnded;
            hand_over("");
            return kLineEnded;
        }
        if (key == '\n' || key == '\r') {
            hand_over("\n");
            return kLineEnded;
        }
        if (is_player_key(key, VKILL)) {
            while (g_line_size > 0) erase_character();
        } else if (is_player_key(key, VWERASE)) {
            while (g_line_size > 0 && is_blank_in_line(g_line[g_line_size - 1])) erase_character();
            while (g_line_size > 0 && !is_blank_in_line(g_line[g_line_size - 1])) erase_character();
        } else if (is_player_key(key, VERASE) || key == kDelete || key == '\b') {
            erase_character();
        } else if (g_line_size < kLineLimit) {
            if (key == kEscape) skip_escape_sequence();
            const char typed = key < 0x20 || key == kDelete ? ' ' : static_cast<char>(key);
            g_line[g_line_size++] = typed;
            echo(&typed, 1);
        }
    }
}

// Where the game does not edit its lines (a pipe, a file), a plain read,
// waited for in the one wait.
ssize_t read_plainly(char* data, std::size_t size) {
    for (;;) {
        attend();
        if (wait_for(STDIN_FILENO, -1) != Woken::kReady) continue;
        const ssize_t got = read(STDIN_FILENO, data, size);
        if (got >= 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) return got;
    }
}

// The keyboard stream: lines as the game edits them, or the input as it is.
ssize_t read_keyboard(void*, char* data, std::size_t size) {
    if (!g_have_modes) return read_plainly(data, size);
    if (g_given_read == g_given_size) {
        const int ended = edit_line();
        if (ended != kLineEnded) return ended;
    }
    const std::size_t count = std::min(size, g_given_size - g_given_read);
    std::memcpy(data, g_given + g_given_read, count);
    g_given_read += count;
    return static_cast<ssize_t>(count);
}

void open_streams() {
#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__NetBSD__) || defined(__OpenBSD__) || \
    defined(__DragonFly__)
    std::FILE* const screen = funopen(
        nullptr, nullptr,
        [](void*, const char* data, int size) {
            return static_cast<int>(write_screen(nullptr, data, static_cast<std::size_t>(size)));
        },
        nullptr, nullptr);
    std::FILE* const keyboard = funopen(
        nullptr,
        [](void*, char* data, int size) {
            return static_cast<int>(read_keyboard(nullptr, data, static_cast<std::size_t>(size)));
        },
        nullptr, nullptr, nullptr);
#else
    std::FILE* const screen = fopencookie(nullptr, "w", {nullptr, write_screen, nullptr, nullptr});
    std::FILE* const keyboard = fopencookie(nullptr, "r", {read_keyboard, nullptr, nullptr, nullptr});
#endif
    // Without them stdin and stdout will do, with no waiting and no redraw.
    if (screen != nullptr) {
        std::setvbuf(screen, g_screen_buffer, _IOFBF, sizeof g_screen_buffer);
        g_screen = screen;
    }
    if (keyboard != nullptr) {
        std::setvbuf(keyboard, nullptr, _IONBF, 0);  // no key hidden in a buffer from the key test
        g_keyboard = keyboard;
    }
}

// Moves a descriptor of the game's own above the standard three, so that a
// closed standard input or output is never mistaken for it.
int above_standard(int fd) {
    if (fd < 0 || fd > STDERR_FILENO) return fd;
    const int moved = fcntl(fd, F_DUPFD, STDERR_FILENO + 1);
    close(fd);
    return moved;
}

void open_descriptors() {
    if (pipe(g_wake) == 0) {
        for (int& end : g_wake) {
            end = above_standard(end);
            fcntl(end, F_SETFL, O_NONBLOCK);
            fcntl(end, F_SETFD, FD_CLOEXEC);
        }
    }
    // A screen of the game's own, so that making it non-blocking changes
    // nothing for the programs that share the player's.
    const char* const name = g_screen_is_terminal ? ttyname(STDOUT_FILENO) : nullptr;
    const int own = name == nullptr ? -1 : above_standard(open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK));
    if (own >= 0) {
        fcntl(own, F_SETFD, FD_CLOEXEC);
        g_screen_fd = own;
    }
    const bool keyboard_writable = (fcntl(STDIN_FILENO, F_GETFL) & O_ACCMODE) == O_RDWR;
    g_echo_fd = g_screen_is_terminal ? g_screen_fd : g_keyboard_is_terminal && keyboard_writable ? 0 : -1;
}

void give_back_at_exit() {
    std::fflush(g_screen);
    give_back();
}

}  // namespace

void start() {
    g_keyboard_is_terminal = isatty(STDIN_FILENO);
    g_screen_is_terminal = isatty(STDOUT_FILENO);
    g_terminal = g_keyboard_is_terminal ? STDIN_FILENO : g_screen_is_terminal ? STDOUT_FILENO : -1;
    open_descriptors();
    open_streams();

    sigemptyset(&g_ending_signals);
    for (int sig : kEndingSignals) sigaddset(&g_ending_signals, sig);
#ifdef SIGRTMIN
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) sigaddset(&g_ending_signals, sig);
#endif
    sigaddset(&g_ending_signals, SIGPIPE);
    for (int sig : kEndingSignals) catch_unless_ignored(sig, on_ending_signal);
#ifdef SIGRTMIN
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) catch_unless_ignored(sig, on_ending_signal);
#endif
    // Even when inherited as ignored: with nobody reading the screen there is
    // no game left to play, and carrying on would only spin.
    set_handler(SIGPIPE, on_ending_signal);
    catch_unless_ignored(SIGTSTP, on_stop);
    set_handler(SIGCONT, on_continue);
    if (g_screen_is_terminal) set_handler(SIGWINCH, on_resize);
    std::atexit(give_back_at_exit);

    // Started with &: until fg the terminal holds the shell's settings, not the player's.
    attend();
}

void give_back() {
    g_ended = 1;
    give_terminal_back();
}

bool key_pending() {
    attend();
    // At every key test, not only at a continue: another program on the
    // terminal may have set a mode of its own.
    set_game_mode();
    if (g_given_read < g_given_size || g_keys_taken < g_keys_size) {
        g_keys_unechoed = g_keys_size;
        return true;
    }
    Woken woken = wait_for(STDIN_FILENO, -1, monotonic_ns());
    for (; woken == Woken::kSignal; woken = wait_for(STDIN_FILENO, -1, monotonic_ns())) attend();
    if (woken == Woken::kTimeUp) return false;
    // The keys typed so far are taken now, to be handed over unechoed. An end
    // of input or an error counts as a key too: the read that follows finds
    // out what it is, instead of the game waiting for ever.
    if (!g_have_modes) return true;
    const ssize_t got = read_keys(true);
    return got >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

std::FILE* keyboard() { return g_keyboard; }

std::FILE* screen() { return g_screen; }

void sleep_ms(int ms) {
    const long long until_ns = monotonic_ns() + ms * 1000000LL;
    // A recorded signal is acted on at once; the rest of the time is slept out.
    while (monotonic_ns() < until_ns) {
        if (wait_for(-1, -1, until_ns) == Woken::kSignal) attend();
    }
}

bool input_ended(std::FILE* in) {
    if (std::ferror(in)) fail("read error");
    return true;
}

}  // namespace reedmere::console
