// Console services for POSIX terminals (Linux, macOS, the BSDs).
//
// The key test needs a terminal without line editing (ICANON) and echo, or a
// key would only be seen after Enter and would be printed over the animation.
// The game switches into that "key mode" while it waits for a key and back to
// "line mode" as soon as one is seen, so the key, still queued, is then read
// as the start of an ordinary line. Line mode is the player's own settings
// with what line input and the frames need switched on, whatever the player
// left (stty raw, -icrnl). Signals stay on (ISIG), so Ctrl-C and Ctrl-Z keep
// working.
//
// On a terminal the game plays in the alternate screen, as less and vim do, so
// the player's screen and scrollback are untouched. Every way out, Ctrl-Z
// included, gives back the player's settings and screen; fg takes them again
// and redraws what the game last showed.
//
// Only the foreground game touches the terminal: a background process that
// calls tcsetattr or writes (under stty tostop) is stopped by SIGTTOU, which
// would keep a killed game alive. Found in the background, started there
// included, the game stops itself, as full-screen programs do, rather than
// draw over the shell or take the shell's settings for the player's. A
// terminal that is not the game's controlling one has no job control and is
// always the game's. The handled signals are blocked while a handler runs and
// around every switch of mode, so no handler ever sees the terminal half
// switched.
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
//   "\033[H"       cursor to the top left, where the first frame starts
//   "\033[0m"      colours off, in case a frame was cut short
//   "\033[?1049l"  back to the normal screen, cursor restored
constexpr char kEnterScreen[] = "\033[?1049h\033[H";
constexpr char kLeaveScreen[] = "\033[0m\033[?1049l";

termios g_player_mode;  // the terminal as the player had it
termios g_line_mode;
termios g_key_mode;
volatile std::sig_atomic_t g_terminal = -1;  // the descriptor whose job control the game obeys
volatile std::sig_atomic_t g_screen_is_terminal = 0;
volatile std::sig_atomic_t g_have_modes = 0;   // the player's settings have been read
volatile std::sig_atomic_t g_taken = 0;        // the game's mode and screen are on the terminal
volatile std::sig_atomic_t g_ended = 0;        // given back for good
volatile std::sig_atomic_t g_in_key_mode = 0;  // the game is waiting for a key
volatile std::sig_atomic_t g_redrawn = 0;      // since the screen's latest bytes were kept
volatile std::sig_atomic_t g_resumed = 0;      // SIGCONTs so far
sigset_t g_handled_signals;

// The screen's stream: every byte passes through write_screen.
std::FILE* g_screen = stdout;
char g_screen_buffer[16384];  // holds the largest screen whole: one write a flushed frame
// What the screen shows since its last clear, redrawn when the game comes back.
char g_shown[16384];
std::size_t g_shown_size = 0;

// Signals whose default action ends the process: the player's terminal is
// given back first. SIGPIPE is caught apart, even when inherited as ignored.
constexpr int kEndingSignals[] = {
    SIGINT,  SIGTERM,   SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
    SIGXCPU, SIGXFSZ,   SIGSEGV, SIGBUS,  SIGFPE,  SIGILL,  SIGABRT, SIGTRAP,   SIGSYS,
#ifdef __linux__
    SIGPOLL, SIGSTKFLT, SIGPWR,
#endif
};

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

// True when `fd` can be read (or written), waiting until it can or a signal
// comes; with `look_only`, answering at once.
bool ready(int fd, bool for_writing, bool look_only = false) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval now{};
    fd_set* const readable = for_writing ? nullptr : &set;
    fd_set* const writable = for_writing ? &set : nullptr;
    return select(fd + 1, readable, writable, nullptr, look_only ? &now : nullptr) == 1;
}

// Writes it all, waiting whenever a non-blocking terminal is full or paused
// (it shares its open file, and so its flags, with the input). False on any
// other error, errno telling which. The screen's bytes stop once a redraw has
// shown them all.
bool write_all(const char* data, std::size_t size, bool until_redrawn = false) {
    while (size > 0 && !(until_redrawn && g_redrawn)) {
        const ssize_t written = write(STDOUT_FILENO, data, size);
        if (written >= 0) {
            data += written;
            size -= static_cast<std::size_t>(written);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            ready(STDOUT_FILENO, true);
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

void read_player_mode() {
    if (g_terminal != STDIN_FILENO || tcgetattr(STDIN_FILENO, &g_player_mode) != 0) return;
    g_line_mode = g_player_mode;
    g_line_mode.c_lflag |= ICANON | ECHO | ISIG;
    g_line_mode.c_iflag |= ICRNL;  // Enter sends a carriage return
    g_line_mode.c_iflag &= ~static_cast<tcflag_t>(IGNCR | INLCR);
    g_line_mode.c_oflag |= OPOST | ONLCR;  // a frame's lines start at the left
    g_key_mode = g_line_mode;
    g_key_mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    // One key is enough, whatever minimum the player's stty asked for.
    g_key_mode.c_cc[VMIN] = 1;
    g_key_mode.c_cc[VTIME] = 0;
    g_have_modes = 1;
}

// TCSANOW rather than TCSAFLUSH: a key that was seen must stay queued.
void set_game_mode() {
    if (g_have_modes && in_foreground()) {
        tcsetattr(STDIN_FILENO, TCSANOW, g_in_key_mode ? &g_key_mode : &g_line_mode);
    }
}

// Makes the terminal the game's: its mode, and the alternate screen showing
// what the game last showed there.
void take_terminal() {
    if (g_taken || g_ended || !in_foreground()) return;
    if (!g_have_modes) read_player_mode();
    set_game_mode();
    if (g_screen_is_terminal) {
        write_all(kEnterScreen, sizeof kEnterScreen - 1);
        write_all(g_shown, g_shown_size);
        g_redrawn = 1;
    }
    g_taken = 1;
}

// Takes the terminal, or puts the game's mode back on it: the mode may have
// been changed since (bash's fg sends no SIGCONT to a job that is running).
void renew_terminal() {
    if (g_taken) {
        set_game_mode();
    } else {
        take_terminal();
    }
}

// The player's settings and screen, as they were. From a signal handler a
// paused screen is not waited for: a dying or stopping game must not hang.
void give_terminal_back(bool may_wait) {
    if (!g_taken || !in_foreground()) return;
    g_taken = 0;
    if (g_have_modes) tcsetattr(STDIN_FILENO, TCSANOW, &g_player_mode);
    if (!g_screen_is_terminal) return;
    if (may_wait) {
        write_all(kLeaveScreen, sizeof kLeaveScreen - 1);
    } else if (ready(STDOUT_FILENO, true, true)) {  // one write, which a paused screen cannot block
        (void)!write(STDOUT_FILENO, kLeaveScreen, sizeof kLeaveScreen - 1);
    }
}

// Runs `work` with every handled signal held off until it is done.
template <typename Work>
void without_signals(Work work) {
    sigset_t before;
    sigprocmask(SIG_BLOCK, &g_handled_signals, &before);
    work();
    sigprocmask(SIG_SETMASK, &before, nullptr);
}

void set_handler(int sig, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_mask = g_handled_signals;
    // Restarting keeps a blocking read at a prompt alive across Ctrl-Z and fg.
    action.sa_flags = SA_RESTART;
    sigaction(sig, &action, nullptr);
}

void set_blocked(int sig, int how) {
    sigset_t just_sig;
    sigemptyset(&just_sig);
    sigaddset(&just_sig, sig);
    sigprocmask(how, &just_sig, nullptr);
}

// Re-raises sig with its default action, so the exit status, core dump or
// stop is what the shell expects.
void raise_default(int sig) {
    std::signal(sig, SIG_DFL);
    set_blocked(sig, SIG_UNBLOCK);
    raise(sig);
}

void on_ending_signal(int sig) {
    give_terminal_back(false);
    raise_default(sig);
    _exit(128 + sig);  // only if the default action did not end us
}

void on_stop_signal(int sig) {
    const int saved_errno = errno;
    give_terminal_back(false);
    raise_default(sig);
    // Resumed, or never stopped: where no shell can take the game back (it is
    // its terminal's own program) the kernel discards the stop, no SIGCONT
    // comes, and the game takes its terminal again here. Until the handler is
    // back a second stop would find the terminal given back, so it does no harm.
    set_blocked(sig, SIG_BLOCK);
    set_handler(sig, on_stop_signal);
    take_terminal();
    errno = saved_errno;
}

// Also at a SIGCONT that ended no stop: the mode may have been changed since.
void on_continue(int) {
    const int saved_errno = errno;
    g_resumed = g_resumed + 1;
    renew_terminal();
    errno = saved_errno;
}

void give_back_at_exit() {
    std::fflush(g_screen);
    g_ended = 1;
    give_terminal_back(true);
}

void catch_unless_ignored(int sig, void (*handler)(int)) {
    struct sigaction current {};
    sigaction(sig, nullptr, &current);
    // A signal ignored by whoever started the game (nohup, say) stays ignored.
    if (current.sa_handler != SIG_IGN) set_handler(sig, handler);
}

// Stops the game, as the terminal stops a background job's output under stty
// tostop, until a shell brings it to the foreground. Where the stop is
// discarded (no shell could take the game back) it goes on.
void stop_while_in_background() {
    while (!in_foreground()) {
        const std::sig_atomic_t resumed = g_resumed;
        kill(0, SIGTTOU);
        if (g_resumed == resumed) return;
    }
}

// Keeps what the screen shows since its last clear.
void remember(const char* data, std::size_t size) {
    const char* const end = data + size;
    const char* const cleared =
        std::find_end(data, end, kClearScreen, kClearScreen + sizeof kClearScreen - 1);
    if (cleared != end) {
        data = cleared;
        g_shown_size = 0;
    }
    const std::size_t kept = std::min(sizeof g_shown - g_shown_size, static_cast<std::size_t>(end - data));
    std::memcpy(g_shown + g_shown_size, data, kept);
    g_shown_size += kept;
}

// The screen stream's only way out. The background check is here, right
// before any byte would reach the terminal.
ssize_t write_screen(void*, const char* data, std::size_t size) {
    stop_while_in_background();
    without_signals([&] {
        take_terminal();
        if (g_screen_is_terminal) remember(data, size);
        g_redrawn = 0;
    });
    return write_all(data, size, true) ? static_cast<ssize_t>(size) : -1;
}

void open_screen() {
#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__NetBSD__) || defined(__OpenBSD__) || \
    defined(__DragonFly__)
    std::FILE* const screen = funopen(
        nullptr, nullptr,
        [](void*, const char* data, int size) {
            return static_cast<int>(write_screen(nullptr, data, static_cast<std::size_t>(size)));
        },
        nullptr, nullptr);
#else
    std::FILE* const screen = fopencookie(nullptr, "w", {nullptr, write_screen, nullptr, nullptr});
#endif
    if (screen == nullptr) return;  // stdout will do, without the waiting and the redraw
    std::setvbuf(screen, g_screen_buffer, _IOFBF, sizeof g_screen_buffer);
    g_screen = screen;
}

long long monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

}  // namespace

void start() {
    g_screen_is_terminal = isatty(STDOUT_FILENO);
    g_terminal = isatty(STDIN_FILENO) ? STDIN_FILENO : g_screen_is_terminal ? STDOUT_FILENO : -1;
    open_screen();

    sigemptyset(&g_handled_signals);
    for (int sig : kEndingSignals) sigaddset(&g_handled_signals, sig);
    for (int sig : {SIGPIPE, SIGTSTP, SIGCONT}) sigaddset(&g_handled_signals, sig);
    for (int sig : kEndingSignals) catch_unless_ignored(sig, on_ending_signal);
    // Even when inherited as ignored: with nobody reading the screen there is
    // no game left to play, and carrying on would only spin.
    set_handler(SIGPIPE, on_ending_signal);
    catch_unless_ignored(SIGTSTP, on_stop_signal);
    set_handler(SIGCONT, on_continue);
    std::atexit(give_back_at_exit);

    // Started with &: until fg the terminal holds the shell's settings, not the player's.
    stop_while_in_background();
    without_signals(take_terminal);
}

bool key_pending() {
    stop_while_in_background();
    // At every key test, not only the first.
    without_signals([] {
        g_in_key_mode = 1;
        renew_terminal();
    });
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(STDIN_FILENO, &readable);
    timeval now{};
    const int found = select(STDIN_FILENO + 1, &readable, nullptr, nullptr, &now);
    // Hang-ups, errors and end of input count as pending too: the read that
    // follows finds out what they are instead of the game waiting forever.
    const bool pending = found > 0 || (found < 0 && errno != EINTR);
    if (pending && g_have_modes) {
        // The key is read while still in key mode and put back, for the line
        // read to start with: queued across the switch to line mode, a NUL
        // (Ctrl-Space) would be read there as the end of the input. Putting
        // back the character just read needs no buffer of stdio's own.
        const int key = std::getc(stdin);
        if (key != EOF) std::ungetc(key, stdin);
    }
    if (pending) {
        without_signals([] {
            g_in_key_mode = 0;
            set_game_mode();
        });
    }
    return pending;
}

std::FILE* keyboard() { return stdin; }

std::FILE* screen() { return g_screen; }

void sleep_ms(int ms) {
    const long long until_ns = monotonic_ns() + ms * 1000000LL;
    // Sleeps out what is left whenever a signal wakes it early.
    for (long long left = until_ns - monotonic_ns(); left > 0; left = until_ns - monotonic_ns()) {
        timespec rest{static_cast<time_t>(left / 1000000000LL), static_cast<long>(left % 1000000000LL)};
        nanosleep(&rest, nullptr);
    }
}

bool input_ended(std::FILE* in) {
    if (!std::ferror(in)) return true;
    // A non-blocking input (left so by another program on the terminal) that
    // has nothing yet is waited for, not taken for the end.
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) fail("read error");
    std::clearerr(in);
    ready(fileno(in), false);
    return false;
}

}  // namespace reedmere::console
