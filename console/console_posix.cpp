// Console services for POSIX terminals.
//
// The key test needs a terminal without line editing (ICANON) and echo, or a
// key would only be seen after Enter and would be printed over the animation.
// The game switches into that "key mode" while it waits for a key and back to
// the player's own settings as soon as one is seen, so the key, still queued,
// is then read as the start of an ordinary line. Signals stay on (ISIG), so
// Ctrl-C and Ctrl-Z keep working; every way out restores the saved settings.
#include <poll.h>
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
volatile std::sig_atomic_t g_in_key_mode = 0;
volatile std::sig_atomic_t g_colour_terminal = 0;

void restore_terminal() {
    if (g_have_terminal) tcsetattr(STDIN_FILENO, TCSANOW, &g_player_mode);
}

void enter_key_mode() {
    if (!g_have_terminal || g_in_key_mode) return;
    g_in_key_mode = 1;
    tcsetattr(STDIN_FILENO, TCSANOW, &g_key_mode);
}

// TCSANOW rather than TCSAFLUSH: the key that was seen must stay queued.
void leave_key_mode() {
    if (!g_in_key_mode) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &g_player_mode);
    g_in_key_mode = 0;
}

void set_handler(int sig, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Restarting keeps a blocking read at a prompt alive across Ctrl-Z and fg.
    action.sa_flags = SA_RESTART;
    sigaction(sig, &action, nullptr);
}

// Re-raises sig with its default action, so the exit status (or the stop)
// is what the shell expects.
void raise_default(int sig) {
    std::signal(sig, SIG_DFL);
    sigset_t just_sig;
    sigemptyset(&just_sig);
    sigaddset(&just_sig, sig);
    sigprocmask(SIG_UNBLOCK, &just_sig, nullptr);
    raise(sig);
}

void on_fatal_signal(int sig) {
    restore_terminal();
    if (g_colour_terminal) {
        // A frame cut short may have left the colour on.
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
    // Resumed by fg.
    set_handler(sig, on_stop_signal);
    errno = saved_errno;
}

void on_continue(int) {
    const int saved_errno = errno;
    if (g_in_key_mode) tcsetattr(STDIN_FILENO, TCSANOW, &g_key_mode);
    errno = saved_errno;
}

void catch_unless_ignored(int sig, void (*handler)(int)) {
    struct sigaction current {};
    sigaction(sig, nullptr, &current);
    // A signal ignored by whoever started the game (nohup, say) stays ignored.
    if (current.sa_handler != SIG_IGN) set_handler(sig, handler);
}

}  // namespace

void start() {
    buffer_standard_streams();
    g_colour_terminal = isatty(STDOUT_FILENO);

    if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &g_player_mode) == 0) {
        g_key_mode = g_player_mode;
        g_key_mode.c_lflag &= ~(ICANON | ECHO);
        g_have_terminal = 1;
        std::atexit(restore_terminal);
    }
    constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    for (int sig : kEndingSignals) catch_unless_ignored(sig, on_fatal_signal);
    // Even when inherited as ignored: with nobody reading the screen there is
    // no game left to play, and carrying on would only spin.
    set_handler(SIGPIPE, on_fatal_signal);
    catch_unless_ignored(SIGTSTP, on_stop_signal);
    set_handler(SIGCONT, on_continue);
}

bool key_pending() {
    enter_key_mode();
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&input, 1, 0);
    // Hang-ups, errors and end of input count as pending too: the read that
    // follows finds out what they are instead of the game waiting forever.
    const bool pending = ready > 0 || (ready < 0 && errno != EINTR && errno != EAGAIN);
    if (pending) leave_key_mode();
    return pending;
}

void sleep_ms(int ms) {
    timespec until{};
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += ms / 1000;
    until.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    // An absolute deadline, so a signal that interrupts the sleep never shortens it.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

}  // namespace reedmere::console
