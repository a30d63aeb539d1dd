// What the game costs while it runs: heap allocations after start-up, writes
// per pond frame, processor time while the player watches, peak memory.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <sstream>

#include "terminal.h"

namespace {

// A field of /proc/<pid>/<file>, the number after `key`.
long long proc_number(pid_t pid, const char* file, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    for (std::string word; in >> word;) {
        if (word == key) return in >> word, std::atoll(word.c_str());
    }
    return -1;
}

// User plus system time, in clock ticks (fields 14 and 15 of /proc/<pid>/stat).
long long cpu_ticks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 13; ++i) fields >> field;
    fields >> utime >> stime;
    return utime + stime;
}

}  // namespace

TEST(Budget, NoAllocationsOneWritePerFrameAndAnIdleProcessorWhileWatching) {
    char count_path[] = "/tmp/reedmere-allocs-XXXXXX";
    const int fd = mkstemp(count_path);
    ASSERT_EQ(ftruncate(fd, sizeof(std::atomic<long>)), 0);
    auto* allocations = static_cast<std::atomic<long>*>(
        mmap(nullptr, sizeof(std::atomic<long>), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    setenv("REEDMERE_ALLOC_COUNT", count_path, 1);
    setenv("LD_PRELOAD", REEDMERE_ALLOC_COUNTER, 1);
    TerminalGame game;
    unsetenv("LD_PRELOAD");

    ASSERT_TRUE(game.read(3000, "Press any key to start playing!"));
    std::ifstream maps("/proc/" + std::to_string(game.game) + "/maps");
    ASSERT_NE(std::string(std::istreambuf_iterator<char>(maps), {}).find(REEDMERE_ALLOC_COUNTER),
              std::string::npos)
        << "the allocation counter is not loaded";
    const long at_start_up = allocations->load();
    game.type("\r");
    ASSERT_TRUE(game.read(2000, kPondHeader));
    game.read(500);

    const std::size_t frames_before = game.pond_frames.size();
    const long long writes_before = proc_number(game.game, "io", "syscw:");
    const long long ticks_before = cpu_ticks(game.game);
    constexpr int watch_seconds = 20;
    game.read(watch_seconds * 1000);
    const double frames = static_cast<double>(game.pond_frames.size() - frames_before);
    const double writes_per_frame = (proc_number(game.game, "io", "syscw:") - writes_before) / frames;
    const double cpu_percent =
        100.0 * (cpu_ticks(game.game) - ticks_before) / sysconf(_SC_CLK_TCK) / watch_seconds;

    game.type("\r");
    ASSERT_TRUE(game.read(2000, "Enter column number: "));
    game.type("5 5\r");
    ASSERT_TRUE(game.read(3000, "Enter Y to play again"));
    const long long peak_kib = proc_number(game.game, "status", "VmHWM:");
    const long after_round = allocations->load();
    game.type("n\r");
    ASSERT_TRUE(game.ended_within(2000));

    std::printf("heap allocations: %ld at start-up, %ld after\n", at_start_up, after_round - at_start_up);
    std::printf("writes per pond frame: %.2f over %.0f frames\n", writes_per_frame, frames);
    std::printf("processor while watching: %.2f%% of one core over %d s\n", cpu_percent, watch_seconds);
    std::printf("peak resident memory: %lld KiB\n", peak_kib);
    EXPECT_EQ(after_round, at_start_up);
    EXPECT_GE(frames, watch_seconds * 2.0);
    EXPECT_LE(writes_per_frame, 1.0);
    EXPECT_LT(cpu_percent, 1.0);
    munmap(allocations, sizeof(std::atomic<long>));
    close(fd), unlink(count_path);
}
