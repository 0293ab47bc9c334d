#include "records/BulkAllocator.h"

#include <sys/mman.h>
#include <unistd.h>

namespace bulk {
namespace {

std::size_t pageRounded(std::size_t bytes)
{
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

} // namespace

void* map(std::size_t bytes)
{
    const std::size_t length = pageRounded(bytes);
    if (length < bytes) throw std::bad_alloc();
    // Every page made at once by the kernel, in one call, not one fault per first touch.
    void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    return p;
}

void unmap(void* p, std::size_t bytes) noexcept
{
    if (p) munmap(p, pageRounded(bytes));
}

} // namespace bulk
