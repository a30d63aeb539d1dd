// Console services for POSIX terminals (Linux, macOS, the BSDs).
//
// Modes. The key test needs a terminal without line editing (ICANON) and
// echo, or a key would only be seen after Enter and would be printed over the
// animation. The game is in "key mode" while it waits for a key and in "line
// mode" otherwise, so the key, still queued, is then read as the start of an
// ordinary line. Line mode is the player's own settings with what line input
// and the frames need switched on, whatever the player left (stty raw,
// -icrnl). Signals stay on (ISIG), so Ctrl-C and Ctrl-Z keep working.
//
// Screen. On a terminal the game plays in the alternate screen, as less and
// vim do, so the player's screen and scrollback are untouched. It keeps a
// copy of what that screen shows since its last clear, the answers the
// terminal echoed included, and redraws it after fg and after a resize.
//
// Who touches the terminal, and when:
// - The main flow takes it (the game's mode and screen) and gives it back
//   (the player's), and only while the game is in the foreground: a
//   background process that sets modes or writes is stopped by SIGTTOU. It
//   does so in attend(), called wherever the game waits or writes: the
//   screen's write, the sleep, the key test, a read that came back empty.
// - The SIGTSTP, SIGCONT and SIGWINCH handlers only record the signal. They
//   are installed without SA_RESTART, so a blocked read, write or sleep
//   returns and attend() acts at once.
// - A signal that ends the game gives the terminal back from its handler
//   (mode, then screen, waiting at most 0.3 s for a slow or paused
//   terminal), then ends the game as that signal would. The main flow counts
//   the terminal as taken from before it changes anything until after it has
//   put everything back, so a handler, whenever it comes, gives back whole.
#include <sys/ioctl.h>
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
constexpr char kEnterScreen[] = "\033[?1049h";
constexpr char kLeaveScreen[] = "\033[0m\033[?1049l";
// How long giving back waits for a slow or paused terminal to take the leave.
constexpr long long kLeaveWaitNs = 300'000'000;

termios g_player_mode;  // the terminal as the player had it
termios g_line_mode;
termios g_key_mode;
int g_terminal = -1;  // the descriptor whose job control the game obeys
bool g_keyboard_is_terminal = false;
bool g_screen_is_terminal = false;
bool g_in_key_mode = false;
int g_unechoed = 0;  // bytes typed in key mode, still queued: the terminal did not echo them
volatile std::sig_atomic_t g_have_modes = 0;  // the player's settings have been read
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
char g_shown[16384];          // what the screen shows since its last clear
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

// Waits until `fd` can be read (or written), a signal comes, or, with a
// timeout, the time runs out; as select, 1 when it can.
int wait_for(int fd, bool for_writing, long long timeout_ns = -1) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval timeout{static_cast<time_t>(timeout_ns / 1000000000LL),
                    static_cast<suseconds_t>(timeout_ns % 1000000000LL / 1000)};
    return select(fd + 1, for_writing ? nullptr : &set, for_writing ? &set : nullptr, nullptr,
                  timeout_ns < 0 ? nullptr : &timeout);
}

bool attend();

// Writes it all, waiting whenever a non-blocking terminal is full or paused
// (it shares its open file, and so its flags, with the input). With a
// deadline, gives up there. The screen's own writes attend to the handlers'
// records after each write and end once a redraw has shown the rest. False
// on any other error, errno telling which.
bool write_all(const char* data, std::size_t size, long long deadline_ns = -1, bool attending = false) {
    while (size > 0) {
        if (deadline_ns >= 0) {
            const long long left_ns = deadline_ns - monotonic_ns();
            if (left_ns <= 0) return true;
            if (wait_for(STDOUT_FILENO, true, left_ns) != 1) continue;  // a signal came: try again in time
        }
        const ssize_t written = write(STDOUT_FILENO, data, size);
        if (written >= 0) {
            data += written;
            size -= static_cast<std::size_t>(written);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (deadline_ns < 0) wait_for(STDOUT_FILENO, true);
        } else if (errno != EINTR) {
            return false;
        }
        if (attending && attend()) return true;
    }
    return true;
}

void read_player_mode() {
    if (!g_keyboard_is_terminal || tcgetattr(STDIN_FILENO, &g_player_mode) != 0) return;
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
    if (g_taken && g_have_modes) tcsetattr(STDIN_FILENO, TCSANOW, g_in_key_mode ? &g_key_mode : &g_line_mode);
}

// Makes the terminal the game's: its mode, and the alternate screen. True
// when it did, and the screen is to be redrawn.
bool take_terminal() {
    if (g_taken || g_ended || !in_foreground()) return false;
    if (!g_have_modes) read_player_mode();
    g_taken = 1;
    set_game_mode();
    if (g_screen_is_terminal) write_all(kEnterScreen, sizeof kEnterScreen - 1);
    return true;
}

// The player's settings and screen, as they were. Safe in a signal handler,
// which waits for the screen at most kLeaveWaitNs; the main flow waits.
void give_terminal_back(long long wait_ns = -1) {
    if (!g_taken || !in_foreground()) return;
    if (g_have_modes) tcsetattr(STDIN_FILENO, TCSANOW, &g_player_mode);
    if (g_screen_is_terminal)
        write_all(kLeaveScreen, sizeof kLeaveScreen - 1, wait_ns < 0 ? -1 : monotonic_ns() + wait_ns);
    g_taken = 0;
}

void set_handler(int sig, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_mask = g_ending_signals;
    // No SA_RESTART: a blocked read, write or sleep returns, so the game acts at once.
    sigaction(sig, &action, nullptr);
}

// With its default action: the exit status, core dump or stop the shell expects.
void raise_default(int sig) {
    struct sigaction handled {};
    struct sigaction by_default {};
    by_default.sa_handler = SIG_DFL;
    sigaction(sig, &by_default, &handled);
    sigset_t just_sig;
    sigemptyset(&just_sig);
    sigaddset(&just_sig, sig);
    sigprocmask(SIG_UNBLOCK, &just_sig, nullptr);
    raise(sig);
    sigaction(sig, &handled, nullptr);  // back here only after a stop
}

void on_ending_signal(int sig) {
    give_terminal_back(kLeaveWaitNs);
    raise_default(sig);
    _exit(128 + sig);  // only if the default action did not end us
}

void on_stop(int) { g_stop_asked = 1; }
void on_continue(int) { g_continued = 1; }
void on_resize(int) { g_resized = 1; }

void catch_unless_ignored(int sig, void (*handler)(int)) {
    struct sigaction current {};
    sigaction(sig, nullptr, &current);
    // A signal ignored by whoever started the game (nohup, say) stays ignored.
    if (current.sa_handler != SIG_IGN) set_handler(sig, handler);
}

// Keeps what the screen shows since its last clear; with `typed`, what the
// terminal echoed of a line the game read, control keys shown as ^X.
void remember(const char* data, std::size_t size, bool typed = false) {
    const char* const end = data + size;
    const char* const cleared =
        std::find_end(data, end, kClearScreen, kClearScreen + sizeof kClearScreen - 1);
    if (!typed && cleared != end) {
        data = cleared;
        g_shown_size = 0;
    }
    for (; data < end && g_shown_size + 2 <= sizeof g_shown; ++data) {
        const unsigned char c = static_cast<unsigned char>(*data);
        const bool control = typed && (c < ' ' || c == 0x7f) && c != '\n' && c != '\t';
        if (control) g_shown[g_shown_size++] = '^';
        g_shown[g_shown_size++] = control ? static_cast<char>(c ^ 0x40) : static_cast<char>(c);
    }
}

// Acts on what the handlers recorded: a stop asked for (Ctrl-Z), or found in
// the background, gives the terminal back and stops until fg; a resize or a
// return redraws the kept screen. True when the screen was redrawn. Where no
// shell can take the game back (it is its terminal's own program) the kernel
// discards the stop, no SIGCONT comes, and the game plays on.
bool attend() {
    bool redraw = g_resized != 0;
    g_resized = 0;
    while (g_stop_asked || !in_foreground()) {
        const int stop = g_stop_asked ? SIGTSTP : SIGTTOU;
        g_stop_asked = 0;
        give_terminal_back();
        g_continued = 0;
        raise_default(stop);
        if (!g_continued) break;
    }
    redraw = take_terminal() || redraw;
    if (!redraw || !g_screen_is_terminal || !g_taken) return false;
    write_all(kClearScreen, sizeof kClearScreen - 1);
    write_all(g_shown, g_shown_size);
    return true;
}

// The screen stream's only way out.
ssize_t write_screen(void*, const char* data, std::size_t size) {
    attend();
    if (g_screen_is_terminal) remember(data, size);
    return write_all(data, size, -1, true) ? static_cast<ssize_t>(size) : -1;
}

// The keyboard stream: what a line read took, the terminal echoed on screen,
// but for what was typed in key mode.
ssize_t read_keyboard(void*, char* data, std::size_t size) {
    const ssize_t got = read(STDIN_FILENO, data, size);
    if (got <= 0 || g_in_key_mode) return got;
    const ssize_t unechoed = std::min<ssize_t>(got, g_unechoed);
    g_unechoed -= static_cast<int>(unechoed);
    remember(data + unechoed, static_cast<std::size_t>(got - unechoed), true);
    return got;
}

void open_streams() {
    // The keyboard's own stream only where the terminal echoes on the screen.
    const bool echoed = g_keyboard_is_terminal && g_screen_is_terminal;
#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__NetBSD__) || defined(__OpenBSD__) || \
    defined(__DragonFly__)
    std::FILE* const screen = funopen(
        nullptr, nullptr,
        [](void*, const char* data, int size) {
            return static_cast<int>(write_screen(nullptr, data, static_cast<std::size_t>(size)));
        },
        nullptr, nullptr);
    std::FILE* const keyboard =
        !echoed
            ? nullptr
            : funopen(
                  nullptr,
                  [](void*, char* data, int size) {
                      return static_cast<int>(read_keyboard(nullptr, data, static_cast<std::size_t>(size)));
                  },
                  nullptr, nullptr, nullptr);
#else
    std::FILE* const screen = fopencookie(nullptr, "w", {nullptr, write_screen, nullptr, nullptr});
    std::FILE* const keyboard =
        !echoed ? nullptr : fopencookie(nullptr, "r", {read_keyboard, nullptr, nullptr, nullptr});
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

void give_back_at_exit() {
    std::fflush(g_screen);
    give_back();
}

}  // namespace

void start() {
    g_keyboard_is_terminal = isatty(STDIN_FILENO);
    g_screen_is_terminal = isatty(STDOUT_FILENO);
    g_terminal = g_keyboard_is_terminal ? STDIN_FILENO : g_screen_is_terminal ? STDOUT_FILENO : -1;
    open_streams();

    sigemptyset(&g_ending_signals);
    for (int sig : kEndingSignals) sigaddset(&g_ending_signals, sig);
    sigaddset(&g_ending_signals, SIGPIPE);
    for (int sig : kEndingSignals) catch_unless_ignored(sig, on_ending_signal);
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
    // At every key test, not only the first: bash's fg sends no SIGCONT to a
    // job that is running, and may leave its own mode behind.
    g_in_key_mode = true;
    set_game_mode();
    const int found = wait_for(STDIN_FILENO, false, 0);
    // Hang-ups, errors and end of input count as pending too: the read that
    // follows finds out what they are instead of the game waiting forever.
    const bool pending = found > 0 || (found < 0 && errno != EINTR);
    if (pending && g_have_modes) {
        // The key is read while still in key mode and put back, for the line
        // read to start with: queued across the switch to line mode, a NUL
        // (Ctrl-Space) would be read there as the end of the input. Putting
        // back the character just read needs no buffer of stdio's own.
        const int key = std::getc(g_keyboard);
        if (key != EOF) std::ungetc(key, g_keyboard);
        std::clearerr(g_keyboard);
    }
    if (pending) {
        if (g_have_modes && ioctl(STDIN_FILENO, FIONREAD, &g_unechoed) != 0) g_unechoed = 0;
        g_in_key_mode = false;
        set_game_mode();
    }
    return pending;
}

std::FILE* keyboard() { return g_keyboard; }

std::FILE* screen() { return g_screen; }

void sleep_ms(int ms) {
    const long long until_ns = monotonic_ns() + ms * 1000000LL;
    // Sleeps out what is left whenever a signal wakes it early.
    for (long long left = until_ns - monotonic_ns(); left > 0; left = until_ns - monotonic_ns()) {
        timespec rest{static_cast<time_t>(left / 1000000000LL), static_cast<long>(left % 1000000000LL)};
        nanosleep(&rest, nullptr);
        attend();
    }
}

bool input_ended(std::FILE* in) {
    if (!std::ferror(in)) return true;
    // A non-blocking input (left so by another program on the terminal) that
    // has nothing yet is waited for, not taken for the end.
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) fail("read error");
    std::clearerr(in);
    if (errno != EINTR) wait_for(STDIN_FILENO, false);
    attend();
    return false;
}

}  // namespace reedmere::console
