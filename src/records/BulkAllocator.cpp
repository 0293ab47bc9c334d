#include "records/BulkAllocator.h"

#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace bulk {
namespace {

constexpr std::size_t HugePage = std::size_t(2) << 20;

std::size_t pageRounded(std::size_t bytes)
{
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

} // namespace

void* map(std::size_t bytes)
{
    const std::size_t length = pageRounded(bytes);
    if (length < bytes || length + HugePage < length) throw std::bad_alloc();
    // Mapped with one huge page to spare, then trimmed to a 2 MB aligned start.
    void* raw = mmap(nullptr, length + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + HugePage - 1) & ~std::uintptr_t(HugePage - 1);
    if (aligned > start) munmap(raw, aligned - start);
    const std::uintptr_t end = aligned + length;
    const std::uintptr_t rawEnd = start + length + HugePage;
    if (rawEnd > end) munmap(reinterpret_cast<void*>(end), rawEnd - end);
    // Only a hint: a kernel without transparent huge pages refuses it and the mapping stays as it is.
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void unmap(void* p, std::size_t bytes) noexcept
{
    if (p) munmap(p, pageRounded(bytes));
}

} // namespace bulk
