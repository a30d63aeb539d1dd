// Streams in memory for feeding the game input and catching what it prints,
// and the script for the console that unit tests link instead of the real one.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

struct MemoryOutput {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&data, &size);
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
    // fmemopen refuses an empty buffer on some C libraries; /dev/null is empty too.
    std::FILE* stream =
        bytes.empty() ? std::fopen("/dev/null", "r") : fmemopen(bytes.data(), bytes.size(), "r");
    ~MemoryInput() { std::fclose(stream); }
};

// Key tests are answered from `key_answers` (a key is pending once it runs
// out); key tests and sleeps leave a mark in `trace`, so a test sees where
// in the output they happened.
namespace fake_console {
extern std::deque<bool> key_answers;
extern std::FILE* trace;
}  // namespace fake_console
