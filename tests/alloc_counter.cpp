// Preloaded into the game to count its heap allocations. The count lives in
// the file named by REEDMERE_ALLOC_COUNT, mapped shared, so the measuring side
// can read it at any moment of the session.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);

namespace {

std::atomic<long>* count = nullptr;

__attribute__((constructor)) void map_count() {
    const char* path = std::getenv("REEDMERE_ALLOC_COUNT");
    const int fd = path != nullptr ? open(path, O_RDWR) : -1;
    if (fd < 0) return;
    void* shared = mmap(nullptr, sizeof(std::atomic<long>), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (shared != MAP_FAILED) count = static_cast<std::atomic<long>*>(shared);
}

void counted() {
    if (count != nullptr) count->fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

extern "C" void* malloc(std::size_t size) { return counted(), __libc_malloc(size); }
extern "C" void* calloc(std::size_t n, std::size_t size) { return counted(), __libc_calloc(n, size); }
extern "C" void* realloc(void* p, std::size_t size) { return counted(), __libc_realloc(p, size); }
