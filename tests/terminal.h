// Runs the finished game on a pseudo-terminal, the way a player's shell would.
#pragma once

#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
inline const std::string kPondHeader = "  1 2 3 4 5 6 7 8 9 0";

// Where the game reads its keys and shows its screen: the terminal, or pipes
// that this side holds; and the command that runs it.
struct Wiring {
    bool keys_on_pipe = false;
    bool screen_on_pipe = false;
    std::vector<const char*> command = {REEDMERE_BINARY};
};

[[noreturn]] inline void exec_game(int in, int out, int err,
                                   std::vector<const char*> command = {REEDMERE_BINARY}) {
    dup2(in, 0), dup2(out, 1), dup2(err, 2);
    command.push_back(nullptr);
    execv(command[0], const_cast<char* const*>(command.data()));
    _exit(127);
}

// Stands in for the player's shell: leads the terminal's session, runs the
// game as the foreground job, and exits as a shell reports a job: with its
// status, or 128 plus the number of the signal that ended it.
[[noreturn]] inline void run_shell(int terminal, int keys, int screen, int report_pid, const Wiring& wiring) {
    setsid();
    ioctl(terminal, TIOCSCTTY, 0);
    const pid_t game = fork();
    if (game == 0) {
        setpgid(0, 0);
        signal(SIGTTOU, SIG_IGN);
        tcsetpgrp(terminal, getpid());
        signal(SIGTTOU, SIG_DFL);
        const rlimit no_core{0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        exec_game(keys, screen, terminal, wiring.command);
    }
    signal(SIGHUP, SIG_IGN);  // outlive a hang-up, to report how the game took it
    (void)!write(report_pid, &game, sizeof game);
    int status = 0;
    while (waitpid(game, &status, 0) < 0 && errno == EINTR) continue;
    _exit(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status));
}

struct TerminalGame {
    int master = -1, slave = -1, keys_fd = -1, screen_fd = -1;
    pid_t shell = -1, game = -1;
    int exit_code = -1;  // as the shell reports it, once the game has ended
    termios modes_before{};
    std::string screen;                          // every byte the game has shown
    std::vector<Clock::time_point> pond_frames;  // when each pond frame arrived
    std::size_t frames_counted = 0;

    explicit TerminalGame(const Wiring& wiring = {}) {
        openpty(&master, &slave, nullptr, nullptr, nullptr);
        tcgetattr(slave, &modes_before);
        int keys[2] = {slave, master}, screen_ends[2] = {master, slave}, report[2];  // read end, write end
        if (wiring.keys_on_pipe) (void)!pipe(keys);
        if (wiring.screen_on_pipe) (void)!pipe(screen_ends);
        (void)!pipe(report);
        shell = fork();
        if (shell == 0) {
            // This side's ends: a game holding them would never see them close.
            for (int fd : {master, keys[1], screen_ends[0], report[0]}) close(fd);
            run_shell(slave, keys[0], screen_ends[1], report[1], wiring);
        }
        for (int fd : {keys[0], screen_ends[1], report[1]})
            if (fd != slave) close(fd);
        keys_fd = keys[1], screen_fd = screen_ends[0];
        (void)!::read(report[0], &game, sizeof game);
        close(report[0]);
    }
    ~TerminalGame() {
        if (!ended_within(0)) kill(game, SIGKILL), waitpid(shell, nullptr, 0);
        if (keys_fd != master) close(keys_fd);
        if (screen_fd != master) close(screen_fd);
        close(master), close(slave);
    }
    void type(const std::string& keys) { (void)!write(keys_fd, keys.data(), keys.size()); }

    // Reads the screen for up to ms, stopping early once `text` shows up after `from`.
    bool read(int ms, const std::string& text = "", std::size_t from = 0) {
        const auto seen = [&] { return !text.empty() && screen.find(text, from) != std::string::npos; };
        for (const auto deadline = Clock::now() + milliseconds(ms); !seen() && Clock::now() < deadline;) {
            pollfd p{screen_fd, POLLIN, 0};
            char buffer[4096];
            const ssize_t n = poll(&p, 1, 10) > 0 ? ::read(screen_fd, buffer, sizeof buffer) : 0;
            screen.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
            for (std::size_t at; (at = screen.find(kPondHeader, frames_counted)) != std::string::npos;)
                frames_counted = at + 1, pond_frames.push_back(Clock::now());
        }
        return seen();
    }
    bool ended_within(int ms) {
        int status = 0;
        for (const auto deadline = Clock::now() + milliseconds(ms); exit_code < 0; read(10)) {
            if (waitpid(shell, &status, WNOHANG) == shell) exit_code = WEXITSTATUS(status);
            if (Clock::now() >= deadline) break;
        }
        return exit_code >= 0;
    }
    bool stopped() const {
        std::ifstream stat("/proc/" + std::to_string(game) + "/stat");
        std::string fields;
        std::getline(stat, fields);
        return fields.find(") T ") != std::string::npos;
    }
    bool modes_restored() const {
        termios now{};
        tcgetattr(slave, &now);
        return now.c_iflag == modes_before.c_iflag && now.c_oflag == modes_before.c_oflag &&
               now.c_lflag == modes_before.c_lflag && now.c_cflag == modes_before.c_cflag &&
               std::memcmp(now.c_cc, modes_before.c_cc, sizeof now.c_cc) == 0;
    }
};
