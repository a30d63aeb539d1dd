// The finished game, played through a pseudo-terminal as a player would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char* const kPondHeader = "  1 2 3 4 5 6 7 8 9 0";

bool same_modes(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// The game on the slave side of a pseudo-terminal; this side types and reads the screen.
struct TerminalGame {
    int master = -1;
    int slave = -1;
    pid_t pid = -1;
    termios modes_before{};
    std::string screen;                      // every byte the game wrote
    std::vector<std::pair<std::size_t, Clock::time_point>> arrivals;  // offset, time

    TerminalGame() {
        winsize size{40, 100, 0, 0};
        if (openpty(&master, &slave, nullptr, nullptr, &size) != 0) return;
        tcgetattr(slave, &modes_before);
        pid = fork();
        if (pid == 0) {
            setsid();
            ioctl(slave, TIOCSCTTY, 0);
            dup2(slave, 0);
            dup2(slave, 1);
            dup2(slave, 2);
            close(master);
            execl(REEDMERE_BINARY, "reedmere", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~TerminalGame() {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        close(master);
        close(slave);
    }

    void type(const std::string& keys) { ASSERT_EQ(write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }

    // Reads what the game writes until `text` appears after offset `from`, or ms pass.
    bool wait_for(const std::string& text, int ms, std::size_t from = 0) {
        const auto deadline = Clock::now() + milliseconds(ms);
        while (screen.find(text, from) == std::string::npos) {
            if (!read_until(deadline)) return false;
        }
        return true;
    }
    void read_for(int ms) {
        const auto deadline = Clock::now() + milliseconds(ms);
        while (read_until(deadline)) {
        }
    }
    bool read_until(Clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        char buffer[4096];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) return false;
        arrivals.emplace_back(screen.size(), Clock::now());
        screen.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
    Clock::time_point arrival_of(std::size_t offset) const {
        Clock::time_point when{};
        for (const auto& [start, time] : arrivals) {
            if (start <= offset) when = time;
        }
        return when;
    }
    // The wait status once the game ends, or -1 if it is still running after ms.
    int status_within(int ms) {
        const auto deadline = Clock::now() + milliseconds(ms);
        int status = 0;
        while (Clock::now() < deadline) {
            if (waitpid(pid, &status, WNOHANG) == pid) return status;
            read_for(20);
        }
        return -1;
    }
    termios modes_now() const {
        termios now{};
        tcgetattr(slave, &now);
        return now;
    }
};

std::vector<std::size_t> offsets_of(const std::string& haystack, const std::string& needle, std::size_t from) {
    std::vector<std::size_t> found;
    for (auto at = haystack.find(needle, from); at != std::string::npos; at = haystack.find(needle, at + 1)) {
        found.push_back(at);
    }
    return found;
}

// Runs the game with standard input from `input` (a file descriptor) and
// returns its wait status, or -1 when it does not end within ms.
int run_with_stdin(int input, int ms) {
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(input, 0);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        execl(REEDMERE_BINARY, "reedmere", static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = Clock::now() + milliseconds(ms);
    int status = 0;
    while (Clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid) return status;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

}  // namespace

TEST(Terminal, AWholeRoundFromTitleToDeclinedReplay) {
    TerminalGame game;
    ASSERT_GT(game.pid, 0);
    ASSERT_TRUE(game.wait_for("Press any key to start playing!", 3000));
    EXPECT_EQ(game.modes_now().c_lflag & (ICANON | ECHO), 0u) << "keys would need Enter or be echoed";

    // One key, no Enter, stops the animation; the key is not echoed.
    game.type("x");
    game.read_for(500);
    const std::size_t after_stop = game.screen.size();
    game.read_for(400);
    EXPECT_EQ(game.screen.size(), after_stop) << "the title kept running after a key";
    EXPECT_EQ(game.screen.find('x', after_stop > 600 ? after_stop - 600 : 0), std::string::npos);
    EXPECT_NE(game.modes_now().c_lflag & ICANON, 0u) << "line input is needed for the Enter";

    // Enter starts the round; pond frames follow each other about 400 ms apart.
    game.type("\r");
    ASSERT_TRUE(game.wait_for(kPondHeader, 2000, after_stop));
    game.read_for(1700);
    const auto frames = offsets_of(game.screen, kPondHeader, after_stop);
    ASSERT_GE(frames.size(), 3u);
    for (std::size_t i = 1; i < frames.size(); ++i) {
        const auto gap = game.arrival_of(frames[i]) - game.arrival_of(frames[i - 1]);
        EXPECT_GE(gap, milliseconds(380));
        EXPECT_LE(gap, milliseconds(900));
    }
    EXPECT_NE(game.screen.find("\033[31;1mF \033[0m", after_stop), std::string::npos);

    // Enter alone covers the pond and brings the cast prompt: the key is not lost.
    const std::size_t watching_end = game.screen.size();
    game.type("\r");
    ASSERT_TRUE(game.wait_for("watching your next move closely", 1500, watching_end));
    ASSERT_TRUE(game.wait_for("Enter column number: ", 1500, watching_end));
    const std::size_t cast_at = game.screen.size();
    game.type("3 4\r");
    ASSERT_TRUE(game.wait_for("Enter row number: ", 1500, cast_at));
    const auto cast_time = Clock::now();
    ASSERT_TRUE(game.wait_for("Enter Y to play again", 3000, cast_at));
    const auto replay_at = game.screen.find("Enter Y to play again", cast_at);
    EXPECT_GE(game.arrival_of(replay_at) - cast_time, milliseconds(950));
    const std::string outcome = game.screen.substr(game.screen.find("Enter row number: ", cast_at));
    EXPECT_TRUE(outcome.find("You ") != std::string::npos || outcome.find("A flying fish") != std::string::npos ||
                outcome.find("The fish pulls") != std::string::npos)
        << outcome;

    game.type("n\r");
    const int status = game.status_within(2000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(same_modes(game.modes_now(), game.modes_before));
}

TEST(Terminal, CtrlCWhileWatchingRestoresTheTerminal) {
    TerminalGame game;
    ASSERT_GT(game.pid, 0);
    ASSERT_TRUE(game.wait_for("Press any key", 3000));
    game.type("\r");
    ASSERT_TRUE(game.wait_for(kPondHeader, 2000));
    EXPECT_FALSE(same_modes(game.modes_now(), game.modes_before));
    game.type("\003");
    const int status = game.status_within(1000);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    EXPECT_TRUE(same_modes(game.modes_now(), game.modes_before));
}

TEST(Terminal, PlaysThroughPipedInputOrNoneAndExitsCleanly) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string session = "\n\n3 4\ny\n\n0 0\nn\n";
    ASSERT_EQ(write(fds[1], session.data(), session.size()), static_cast<ssize_t>(session.size()));
    close(fds[1]);
    int status = run_with_stdin(fds[0], 8000);
    close(fds[0]);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const int devnull = open("/dev/null", O_RDONLY);
    status = run_with_stdin(devnull, 3000);
    close(devnull);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
