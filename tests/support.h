// Streams in memory for feeding the game input and catching what it prints,
// and the script for the console that unit tests link instead of the real one.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#ifndef _WIN32

struct MemoryOutput {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&data, &size);
    ~MemoryOutput() { std::fclose(stream), std::free(data); }
    std::string text() { return std::fflush(stream), std::string(data, size); }
};

struct MemoryInput {
    std::string bytes;
    // fmemopen refuses an empty buffer on some C libraries; /dev/null is empty too.
    std::FILE* stream =
        bytes.empty() ? std::fopen("/dev/null", "r") : fmemopen(bytes.data(), bytes.size(), "r");
    ~MemoryInput() { std::fclose(stream); }
};

#else  // No memory streams on Windows: temporary files stand in for them.

struct MemoryOutput {
    std::FILE* stream = std::tmpfile();
    ~MemoryOutput() { std::fclose(stream); }
    std::string text() {
        std::string all(static_cast<std::size_t>(std::ftell(stream)), '\0');
        std::rewind(stream);
        all.resize(std::fread(all.data(), 1, all.size(), stream));
        return all;
    }
};

struct MemoryInput {
    std::string bytes;
    std::FILE* stream = std::tmpfile();
    explicit MemoryInput(std::string text) : bytes(std::move(text)) {
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
        std::rewind(stream);
    }
    ~MemoryInput() { std::fclose(stream); }
};

#endif

// Key tests are answered from `key_answers` (a key is pending once it runs
// out); key tests and sleeps leave a mark in `trace`, so a test sees where
// in the output they happened.
namespace fake_console {
extern std::deque<bool> key_answers;
extern std::FILE* trace;
}  // namespace fake_console
