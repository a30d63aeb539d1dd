#include "console/console.h"
#include "support.h"

namespace fake_console {
std::deque<bool> key_answers;
std::FILE* trace = nullptr;

void reset(std::FILE* trace_to, std::deque<bool> answers) {
    trace = trace_to;
    key_answers = std::move(answers);
}
}  // namespace fake_console

namespace reedmere::console {

void start() {}

bool key_pending() {
    bool pending = true;
    if (!fake_console::key_answers.empty()) {
        pending = fake_console::key_answers.front();
        fake_console::key_answers.pop_front();
    }
    if (fake_console::trace != nullptr) std::fputs(pending ? "<key>" : "<no key>", fake_console::trace);
    return pending;
}

void sleep_ms(int ms) {
    if (fake_console::trace != nullptr) std::fprintf(fake_console::trace, "<sleep %d>", ms);
}

}  // namespace reedmere::console
