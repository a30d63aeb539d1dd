#include "console/console.h"
#include "support.h"

std::deque<bool> fake_console::key_answers;
std::FILE* fake_console::trace = nullptr;

namespace reedmere::console {

void start() {}

bool key_pending() {
    const bool pending = fake_console::key_answers.empty() || fake_console::key_answers.front();
    if (!fake_console::key_answers.empty()) fake_console::key_answers.pop_front();
    std::fputs(pending ? "<key>" : "<no key>", fake_console::trace);
    return pending;
}

void sleep_ms(int ms) { std::fprintf(fake_console::trace, "<sleep %d>", ms); }

void input_ended() {}

}  // namespace reedmere::console
