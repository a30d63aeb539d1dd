// The finished game, played through a pseudo-terminal as a player would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
const std::string kPondHeader = "  1 2 3 4 5 6 7 8 9 0";

pid_t start_game(int in, int out) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (isatty(in)) setsid(), ioctl(in, TIOCSCTTY, 0);
        dup2(in, 0), dup2(out, 1), dup2(out, 2);
        execl(REEDMERE_BINARY, "reedmere", static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

struct TerminalGame {
    int master = -1, slave = -1;
    termios modes_before{};
    pid_t pid = (openpty(&master, &slave, nullptr, nullptr, nullptr), tcgetattr(slave, &modes_before),
                 start_game(slave, slave));
    std::string screen;                          // every byte the game has written
    std::vector<Clock::time_point> pond_frames;  // when each pond frame arrived
    std::size_t frames_counted = 0;

    ~TerminalGame() {
        if (waitpid(pid, nullptr, WNOHANG) == 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        close(master), close(slave);
    }
    void type(const std::string& keys) { (void)!write(master, keys.data(), keys.size()); }

    // Reads the screen for up to ms, stopping early once `text` shows up after `from`.
    bool read(int ms, const std::string& text = "", std::size_t from = 0) {
        const auto seen = [&] { return !text.empty() && screen.find(text, from) != std::string::npos; };
        for (const auto deadline = Clock::now() + milliseconds(ms); !seen() && Clock::now() < deadline;) {
            pollfd p{master, POLLIN, 0};
            char buffer[4096];
            const ssize_t n = poll(&p, 1, 10) > 0 ? ::read(master, buffer, sizeof buffer) : 0;
            screen.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
            for (std::size_t at; (at = screen.find(kPondHeader, frames_counted)) != std::string::npos;)
                frames_counted = at + 1, pond_frames.push_back(Clock::now());
        }
        return seen();
    }
    // The game's wait status once it has ended, or -1 when it is still running after ms.
    int status_within(int ms) {
        int status = 0;
        for (const auto deadline = Clock::now() + milliseconds(ms); Clock::now() < deadline; read(10))
            if (waitpid(pid, &status, WNOHANG) == pid) return status;
        return -1;
    }
    bool modes_restored() const {
        termios now{};
        tcgetattr(slave, &now);
        return now.c_iflag == modes_before.c_iflag && now.c_oflag == modes_before.c_oflag &&
               now.c_lflag == modes_before.c_lflag && now.c_cflag == modes_before.c_cflag &&
               std::memcmp(now.c_cc, modes_before.c_cc, sizeof now.c_cc) == 0;
    }
};

}  // namespace

TEST(Terminal, ARoundFromTheTitleToADeclinedReplay) {
    TerminalGame game;
    ASSERT_TRUE(game.read(3000, "Press any key to start playing!"));
    EXPECT_FALSE(game.modes_restored()) << "keys would need Enter or be echoed";

    game.type("x");  // one key, no Enter: the title stops, the key is not echoed
    game.read(500);
    const std::size_t stopped = game.screen.size();
    game.read(400);
    EXPECT_EQ(game.screen.size(), stopped) << "the title kept running";
    EXPECT_EQ(game.screen.find('x'), std::string::npos);
    EXPECT_TRUE(game.modes_restored()) << "the key's line is read as ordinary input";

    game.type("\r");
    game.read(2000);
    ASSERT_GE(game.pond_frames.size(), 4u);
    for (std::size_t i = 1; i < game.pond_frames.size(); ++i) {
        EXPECT_GE(game.pond_frames[i] - game.pond_frames[i - 1], milliseconds(370));
        EXPECT_LE(game.pond_frames[i] - game.pond_frames[i - 1], milliseconds(900));
    }
    EXPECT_NE(game.screen.find("\033[31;1mF \033[0m", stopped), std::string::npos);

    const std::size_t watched = game.screen.size();
    game.type("\r");  // Enter alone covers the pond and brings the prompt: it is not lost
    ASSERT_TRUE(game.read(1500, "your next move closely\r\nEnter column number: ", watched));
    game.type("3 4\r");
    ASSERT_TRUE(game.read(1000, "Enter row number: ", watched));
    const auto cast = Clock::now();
    ASSERT_TRUE(game.read(3000, "\r\nEnter Y to play again", watched));
    EXPECT_GE(Clock::now() - cast, milliseconds(950));
    const std::size_t outcome = game.screen.find("Enter row number: ", watched) + 18;
    EXPECT_GT(game.screen.find("\r\nEnter Y", outcome) - outcome, 50u) << "no outcome message";

    game.type("n\r");
    const int status = game.status_within(2000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(game.modes_restored());
}

TEST(Terminal, CtrlCWhileWatchingEndsTheGameAndRestoresTheTerminal) {
    TerminalGame game;
    ASSERT_TRUE(game.read(3000, "Press any key"));
    game.type("\r");
    ASSERT_TRUE(game.read(2000, kPondHeader));
    game.type("\003");
    const int status = game.status_within(1000);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_TRUE(game.modes_restored());
}

TEST(Terminal, InputFromAPipeOrFromNothingPlaysThroughAndExitsCleanly) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string session = "\n\n3 4\ny\n\n0 0\nn\n";
    ASSERT_EQ(write(fds[1], session.data(), session.size()), static_cast<ssize_t>(session.size()));
    close(fds[1]);
    const int devnull = open("/dev/null", O_RDWR);
    for (int input : {fds[0], devnull}) {
        const pid_t pid = start_game(input, devnull);
        int status = -1;
        for (int waited = 0; waited < 800 && waitpid(pid, &status, WNOHANG) == 0; ++waited) usleep(10000);
        if (!WIFEXITED(status)) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    close(fds[0]), close(devnull);
}
