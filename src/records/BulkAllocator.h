#pragma once
// An allocator for the large arrays a long test loads at once (its rows).
//
// A fresh array of tens of megabytes is filled page by page, and every first touch of a 4 KB page is a page
// fault: on a 600,000-point test those faults can cost a large part of the read itself. Arrays of 2 MB and
// more are therefore mapped on their own with all their pages made at once (MAP_POPULATE), and given back
// to the system when freed. Transparent huge pages are not asked for: in a freshly started program the
// kernel may have to compact memory to find them, which took several times longer than the 4 KB pages.
// Smaller arrays come from the usual heap.
#include <cstddef>
#include <memory>
#include <new>

namespace bulk {

inline constexpr std::size_t MinBytes = std::size_t(2) << 20;

// A mapping of at least bytes (rounded up to whole pages), every page present; throws std::bad_alloc.
void* map(std::size_t bytes);
// Gives back a mapping of map(bytes).
void unmap(void* p, std::size_t bytes) noexcept;

template <class T>
struct Allocator {
    using value_type = T;

    Allocator() noexcept = default;
    template <class U>
    Allocator(const Allocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t n)
    {
        if (n > std::size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
        if (n * sizeof(T) < MinBytes) return std::allocator<T>().allocate(n);
        return static_cast<T*>(map(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept
    {
        if (n * sizeof(T) < MinBytes)
            std::allocator<T>().deallocate(p, n);
        else
            unmap(p, n * sizeof(T));
    }

    template <class U>
    bool operator==(const Allocator<U>&) const noexcept
    {
        return true;
    }
};

} // namespace bulk
