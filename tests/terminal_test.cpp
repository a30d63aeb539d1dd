// The finished game, played through a pseudo-terminal as a player would.
#include "terminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

// What each phase of a round waits for, and the keys that lead on to the next.
enum Phase { kTitle, kWatching, kColumnPrompt, kRowPrompt, kPause, kReplayPrompt };
const struct {
    const char* name;
    const char* keys;
    const char* shows;
} kPhases[] = {
    {"title", "", "Press any key to start playing!"},
    {"watching", "\r", kPondHeader.c_str()},
    {"column prompt", "\r", "Enter column number: "},
    {"row prompt", "3\r", "Enter row number: "},
    {"pause", "4\r", "our"},  // every outcome mentions your dad
    {"replay prompt", "", "Enter Y to play again"},
};

bool reach(TerminalGame& game, int phase) {
    for (int step = 0; step <= phase; ++step) {
        const std::size_t from = game.screen.size();
        game.type(kPhases[step].keys);
        if (!game.read(3000, kPhases[step].shows, from)) return false;
    }
    return true;
}

// Which squares show a fish in the last pond frame watched before the covered
// pond at `covered`, indexed row * 10 + column.
std::vector<bool> fish_last_seen(const std::string& screen, std::size_t covered) {
    const std::size_t covered_header = screen.rfind(kPondHeader, covered);
    std::size_t line = screen.find('\n', screen.rfind(kPondHeader, covered_header - 1));
    std::vector<bool> fish(100);
    for (int row = 0; row < 10; ++row, line = screen.find('\n', line + 1)) {
        for (int col = 0; col < 10; ++col) fish[row * 10 + col] = screen[line + 3 + 13 * col + 7] == 'F';
    }
    return fish;
}

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
    ASSERT_TRUE(game.ended_within(2000));
    EXPECT_EQ(game.exit_code, 0);
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
        const pid_t pid = fork();
        if (pid == 0) exec_game(input, devnull, devnull);
        int status = -1;
        for (int waited = 0; waited < 800 && waitpid(pid, &status, WNOHANG) == 0; ++waited) usleep(10000);
        if (!WIFEXITED(status)) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    close(fds[0]), close(devnull);
}

// Every way a game can be cut short, in every phase: it ends at once, with
// the status a shell expects, and leaves the terminal as it found it.
TEST(Terminal, EveryFaultInEveryPhaseEndsTheGameAndRestoresTheTerminal) {
    constexpr int kAnyStatus = -1;
    const struct {
        const char* name;
        Wiring wiring;
        std::function<void(TerminalGame&)> strike;
        int exit_code;
    } faults[] = {
        {"Ctrl-C", {}, [](TerminalGame& g) { g.type("\003"); }, 128 + SIGINT},
        {"SIGTERM", {}, [](TerminalGame& g) { kill(g.game, SIGTERM); }, 128 + SIGTERM},
        {"SIGHUP", {}, [](TerminalGame& g) { kill(g.game, SIGHUP); }, 128 + SIGHUP},
        {"SIGQUIT", {}, [](TerminalGame& g) { kill(g.game, SIGQUIT); }, 128 + SIGQUIT},
        // In the title and the watching phase the first Ctrl-D is just a key.
        {"end of input",
         {},
         [](TerminalGame& g) {
             for (int i = 0; i < 3 && !g.ended_within(0); ++i) g.type("\004"), g.ended_within(450);
         },
         0},
        {"terminal hung up",
         {},
         [](TerminalGame& g) { close(g.master), g.master = g.keys_fd = g.screen_fd = -1; },
         kAnyStatus},
        {"screen reader gone",
         {false, true},
         [](TerminalGame& g) { close(g.screen_fd), g.screen_fd = -1, g.type("5 5\r"); },
         128 + SIGPIPE},
    };
    for (const auto& fault : faults) {
        for (int phase = kTitle; phase <= kReplayPrompt; ++phase) {
            SCOPED_TRACE(std::string(fault.name) + " in the " + kPhases[phase].name);
            TerminalGame game(fault.wiring);
            ASSERT_TRUE(reach(game, phase));
            const auto struck = Clock::now();
            fault.strike(game);
            ASSERT_TRUE(game.ended_within(1500));
            const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - struck).count();
            std::printf("%-18s %-13s -> exit %3d after %4lld ms\n", fault.name, kPhases[phase].name,
                        game.exit_code, static_cast<long long>(took));
            if (fault.exit_code != kAnyStatus) {
                EXPECT_EQ(game.exit_code, fault.exit_code);
            }
            if (game.master >= 0) {
                EXPECT_TRUE(game.modes_restored());
            }
        }
    }
}

TEST(Terminal, CtrlZLeavesASaneTerminalAndFgCarriesOn) {
    for (int phase : {kWatching, kColumnPrompt}) {
        SCOPED_TRACE(kPhases[phase].name);
        TerminalGame game;
        ASSERT_TRUE(reach(game, phase));
        game.type("\032");
        for (int i = 0; i < 100 && !game.stopped(); ++i) game.read(10);
        ASSERT_TRUE(game.stopped());
        EXPECT_TRUE(game.modes_restored());

        kill(game.game, SIGCONT);
        const std::size_t resumed = game.screen.size();
        if (phase == kWatching) {
            EXPECT_TRUE(game.read(1000, kPondHeader, resumed));
            EXPECT_FALSE(game.modes_restored()) << "key mode was not set again";
        } else {
            game.type("3 4\r");
            EXPECT_TRUE(game.read(2500, "Enter Y to play again", resumed));
        }
        kill(game.game, SIGTERM);
        ASSERT_TRUE(game.ended_within(1000));
        EXPECT_TRUE(game.modes_restored());
    }
}

// Reads the fish off the last frame watched, casts onto one, then onto water,
// then onto a fish again: the game under valgrind must stay free of errors.
TEST(Terminal, CatchesAndAGameOverRunCleanUnderValgrind) {
    const char* const valgrind = "/usr/bin/valgrind";
    if (access(valgrind, X_OK) != 0) GTEST_SKIP() << "valgrind is not installed";
    TerminalGame game(
        {true, true, {valgrind, "-q", "--error-exitcode=1", "--leak-check=full", REEDMERE_BINARY}});
    ASSERT_TRUE(game.read(20000, "Press any key to start playing!"));
    game.type("\n");
    for (int round_number = 1; round_number <= 3; ++round_number) {
        const bool onto_fish = round_number != 2;
        const std::size_t round = game.screen.size();
        ASSERT_TRUE(game.read(5000, kPondHeader, round));
        game.read(300);
        game.type("\n");
        ASSERT_TRUE(game.read(5000, "Enter column number: ", round));
        const std::vector<bool> fish = fish_last_seen(game.screen, game.screen.size());
        const int square = static_cast<int>(std::find(fish.begin(), fish.end(), onto_fish) - fish.begin());
        ASSERT_LT(square, 100);
        game.type(std::to_string(square % 10 + 1) + " " + std::to_string(square / 10 + 1) + "\n");
        ASSERT_TRUE(game.read(5000, "Enter Y to play again\n", round));
        const bool game_over = game.screen.find("You really screwed up", round) != std::string::npos;
        EXPECT_EQ(game_over, !onto_fish) << game.screen.substr(game.screen.rfind("Enter column"));
        game.type(round_number < 3 ? "y\n" : "n\n");
    }
    ASSERT_TRUE(game.ended_within(10000));
    EXPECT_EQ(game.exit_code, 0);
}
