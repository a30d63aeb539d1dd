// Console services for POSIX terminals (Linux, macOS, the BSDs).
//
// The key test needs a terminal without line editing (ICANON) and echo, or a
// key would only be seen after Enter and would be printed over the animation.
// The game switches into that "key mode" while it waits for a key and back to
// the player's own settings as soon as one is seen, so the key, still queued,
// is then read as the start of an ordinary line. Signals stay on (ISIG), so
// Ctrl-C and Ctrl-Z keep working; every way out restores the saved settings.
//
// Only the foreground game touches the terminal: a background process that
// calls tcsetattr or writes (under stty tostop) is stopped by SIGTTOU, which
// would keep a killed game alive. Found in the background, the game stops
// itself, as full-screen programs do, rather than draw over the shell.
// The handled signals are blocked while a handler runs and around every
// switch of mode, so no handler ever sees the terminal half switched.
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>

#include "console/console.h"

namespace reedmere::console {

namespace {

termios g_player_mode;  // the terminal as the player had it
termios g_key_mode;
volatile std::sig_atomic_t g_have_terminal = 0;
volatile std::sig_atomic_t g_in_key_mode = 0;  // the game is waiting for a key
volatile std::sig_atomic_t g_colour_terminal = 0;
sigset_t g_handled_signals;

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

bool in_foreground() { return tcgetpgrp(STDIN_FILENO) == getpgrp(); }

void set_mode(const termios& mode) {
    if (g_have_terminal && in_foreground()) tcsetattr(STDIN_FILENO, TCSANOW, &mode);
}

void restore_terminal() { set_mode(g_player_mode); }

// Runs a switch of mode with every handled signal held off until it is done.
template <typename Switch>
void without_signals(Switch switch_mode) {
    sigset_t before;
    sigprocmask(SIG_BLOCK, &g_handled_signals, &before);
    switch_mode();
    sigprocmask(SIG_SETMASK, &before, nullptr);
}

// At every key test, not only the first: the mode may have been lost since
// (bash's fg sends no SIGCONT to a job that is already running).
void enter_key_mode() {
    without_signals([] {
        g_in_key_mode = 1;
        set_mode(g_key_mode);
    });
}

// TCSANOW rather than TCSAFLUSH: the key that was seen must stay queued.
void leave_key_mode() {
    if (!g_in_key_mode) return;
    without_signals([] {
        g_in_key_mode = 0;
        set_mode(g_player_mode);
    });
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

// Re-raises sig with its default action, so the exit status (or the stop) is
// what the shell expects.
void raise_default(int sig) {
    std::signal(sig, SIG_DFL);
    set_blocked(sig, SIG_UNBLOCK);
    raise(sig);
}

// True when a short write to the screen cannot block, as it would on a
// terminal whose output the player has paused with Ctrl-S.
bool output_has_room() {
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(STDOUT_FILENO, &writable);
    timeval now{};
    return select(STDOUT_FILENO + 1, nullptr, &writable, nullptr, &now) == 1;
}

void on_fatal_signal(int sig) {
    restore_terminal();
    if (g_colour_terminal && in_foreground() && output_has_room()) {
        // "\033[0m": a frame cut short may have left the colour on.
        static const char reset[] = "\033[0m";
        (void)!write(STDOUT_FILENO, reset, sizeof reset - 1);
    }
    raise_default(sig);
    _exit(128 + sig);  // only if the default action did not end us
}

void on_stop_signal(int sig) {
    const int saved_errno = errno;
    restore_terminal();
    raise_default(sig);
    // Resumed, or never stopped: where no shell can take the game back (it is
    // its terminal's own program) the kernel discards the stop, and the game
    // goes on in the mode it was in. Until the handler is back a second stop
    // would find the terminal restored, so it does no harm.
    set_blocked(sig, SIG_BLOCK);
    set_handler(sig, on_stop_signal);
    if (g_in_key_mode) set_mode(g_key_mode);
    errno = saved_errno;
}

void on_continue(int) {
    const int saved_errno = errno;
    if (g_in_key_mode) set_mode(g_key_mode);
    errno = saved_errno;
}

long long monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

void catch_unless_ignored(int sig, void (*handler)(int)) {
    struct sigaction current {};
    sigaction(sig, nullptr, &current);
    // A signal ignored by whoever started the game (nohup, say) stays ignored.
    if (current.sa_handler != SIG_IGN) set_handler(sig, handler);
}

// Stops the game, as the terminal stops a background job's output under stty
// tostop, until a shell brings it back to the foreground.
void stop_while_in_background() {
    if (g_have_terminal && !in_foreground()) kill(0, SIGTTOU);
}

// Blocks until `fd` can be read, or a signal comes.
void wait_for_input(int fd) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    select(fd + 1, &readable, nullptr, nullptr, nullptr);
}

}  // namespace

void start() {
    g_colour_terminal = isatty(STDOUT_FILENO);

    if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &g_player_mode) == 0) {
        g_key_mode = g_player_mode;
        g_key_mode.c_lflag &= ~(ICANON | ECHO);
        // One key is enough, whatever minimum the player's stty asked for.
        g_key_mode.c_cc[VMIN] = 1;
        g_key_mode.c_cc[VTIME] = 0;
        g_have_terminal = 1;
        std::atexit(restore_terminal);
    }
    sigemptyset(&g_handled_signals);
    for (int sig : kEndingSignals) sigaddset(&g_handled_signals, sig);
    sigaddset(&g_handled_signals, SIGPIPE);
    sigaddset(&g_handled_signals, SIGTSTP);
    sigaddset(&g_handled_signals, SIGCONT);

    for (int sig : kEndingSignals) catch_unless_ignored(sig, on_fatal_signal);
    // Even when inherited as ignored: with nobody reading the screen there is
    // no game left to play, and carrying on would only spin.
    set_handler(SIGPIPE, on_fatal_signal);
    catch_unless_ignored(SIGTSTP, on_stop_signal);
    set_handler(SIGCONT, on_continue);
}

bool key_pending() {
    stop_while_in_background();
    enter_key_mode();
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(STDIN_FILENO, &readable);
    timeval now{};
    const int ready = select(STDIN_FILENO + 1, &readable, nullptr, nullptr, &now);
    // Hang-ups, errors and end of input count as pending too: the read that
    // follows finds out what they are instead of the game waiting forever.
    const bool pending = ready > 0 || (ready < 0 && errno != EINTR);
    if (pending && g_have_terminal) {
        // The key is read while still in key mode and put back, for the line
        // read to start with: queued across the switch to line mode, a NUL
        // (Ctrl-Space) would be read there as the end of the input. Putting
        // back the character just read needs no buffer of stdio's own.
        const int key = std::getc(stdin);
        if (key != EOF) std::ungetc(key, stdin);
    }
    if (pending) leave_key_mode();
    return pending;
}

std::FILE* keyboard() { return stdin; }

std::FILE* screen() { return stdout; }

void sleep_ms(int ms) {
    const long long until_ns = monotonic_ns() + ms * 1000000LL;
    // Sleeps out what is left whenever a signal wakes it early.
    for (long long left = until_ns - monotonic_ns(); left > 0; left = until_ns - monotonic_ns()) {
        timespec rest{static_cast<time_t>(left / 1000000000LL), static_cast<long>(left % 1000000000LL)};
        nanosleep(&rest, nullptr);
    }
    // A game put in the background during the pause draws no next frame there.
    stop_while_in_background();
}

bool input_ended(std::FILE* in) {
    if (!std::ferror(in)) return true;
    // A non-blocking input (left so by another program on the terminal) that
    // has nothing yet is waited for, not taken for the end.
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) fail("read error");
    std::clearerr(in);
    wait_for_input(fileno(in));
    return false;
}

}  // namespace reedmere::console
