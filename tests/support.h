// Streams in memory for feeding the game input and catching what it prints.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

struct MemoryOutput {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&data, &size);

    MemoryOutput() = default;
    MemoryOutput(const MemoryOutput&) = delete;
    MemoryOutput& operator=(const MemoryOutput&) = delete;
    ~MemoryOutput() {
        std::fclose(stream);
        std::free(data);
    }
    std::string text() {
        std::fflush(stream);
        return std::string(data, size);
    }
};

struct MemoryInput {
    std::string bytes;
    std::FILE* stream;

    explicit MemoryInput(std::string text) : bytes(std::move(text)) {
        // fmemopen refuses an empty buffer on some C libraries; /dev/null is empty too.
        stream = bytes.empty() ? std::fopen("/dev/null", "r")
                               : fmemopen(bytes.data(), bytes.size(), "r");
    }
    MemoryInput(const MemoryInput&) = delete;
    MemoryInput& operator=(const MemoryInput&) = delete;
    ~MemoryInput() { std::fclose(stream); }
};

// The console that unit tests link instead of the real one: key tests are
// answered from a script and sleeps return at once, each leaving a mark in
// `trace` so a test can see where in the output they happened.
namespace fake_console {
extern std::deque<bool> key_answers;  // once empty, a key is pending
extern std::FILE* trace;
void reset(std::FILE* trace_to, std::deque<bool> answers = {});
}  // namespace fake_console
