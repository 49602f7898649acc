#include "json/HugePages.h"
#include "json/ObjectMemory.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <sys/mman.h>

namespace json::detail {

namespace {

    // Blocks kept for reuse: the last few given back, up to 16 MB in all.
    // A decode of a few hundred thousand elements then finds its array,
    // its dictionary's table or its stack where the decode before left
    // them; larger ones map fresh huge pages.
    constexpr std::size_t kKeptBlocks = 8;
    constexpr std::size_t kKeptBytes = std::size_t { 16 } << 20;

    struct KeptBlock {
        void* memory;
        std::size_t bytes;
    };

    struct KeptBlocks {
        std::mutex mutex;
        /// Oldest first.
        KeptBlock blocks[kKeptBlocks] {};
        std::size_t count = 0;
        std::size_t bytes = 0;

        void remove(std::size_t i) noexcept
        {
            bytes -= blocks[i].bytes;
            for (std::size_t j = i + 1; j < count; ++j)
                blocks[j - 1] = blocks[j];
            --count;
        }
    };

    std::atomic<std::uint64_t> g_activity { 0 };

    KeptBlocks& keptBlocks()
    {
        static KeptBlocks* kept = new KeptBlocks; // never destroyed: blocks may come back at exit
        return *kept;
    }

} // namespace

namespace {

#ifndef MADV_POPULATE_WRITE
    constexpr int MADV_POPULATE_WRITE = 23;
#endif
    // Populating one huge page that the system had free takes about 0.3 ms
    // on our build machine (clearing it); one it first had to compact for,
    // several milliseconds. Beyond this, huge pages are dearer than small.
    constexpr auto kDearHugePage = std::chrono::microseconds(1500);
    // Fresh blocks that take small pages after a dear huge page.
    constexpr int kSmallPageBlocks = 64;
    std::atomic<int> g_smallPageBlocks { 0 };

    std::chrono::nanoseconds threadCpuTime() noexcept
    {
        timespec now {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
    }

    bool hugePagesAreCheap() noexcept
    {
        int left = g_smallPageBlocks.load(std::memory_order_relaxed);
        while (left > 0 && !g_smallPageBlocks.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) { }
        return left <= 0;
    }

    // Populates a fresh block: the first huge page on its own and timed,
    // the rest in one call, as small pages when that one was dear.
    void populateFresh(char* memory, std::size_t bytes, bool huge) noexcept
    {
        std::size_t first = huge ? kHugePageBytes : 0;
        if (huge) {
            // The thread's CPU time, not the wall clock: on a busy machine
            // the wall clock also counts the time others ran meanwhile.
            const auto start = threadCpuTime();
            madvise(memory, first, MADV_POPULATE_WRITE);
            if (threadCpuTime() - start > kDearHugePage) {
                g_smallPageBlocks.store(kSmallPageBlocks, std::memory_order_relaxed);
                if (bytes > first)
                    madvise(memory + first, bytes - first, MADV_NOHUGEPAGE);
            }
        }
        if (bytes > first)
            madvise(memory + first, bytes - first, MADV_POPULATE_WRITE);
    }

} // namespace

void populatePages(void* begin, void* end) noexcept
{
    constexpr std::uintptr_t kPage = 4096;
    const std::uintptr_t from = reinterpret_cast<std::uintptr_t>(begin) & ~(kPage - 1);
    const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(end) + kPage - 1) & ~(kPage - 1);
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
}

namespace {

    // One huge page more than asked, so that an aligned block lies inside;
    // the rest on either side goes back at once.
    std::uintptr_t mapAligned(std::size_t bytes) noexcept
    {
        const std::size_t mapped = bytes + kHugePageBytes;
        void* memory = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED)
            return 0;
        const auto start = reinterpret_cast<std::uintptr_t>(memory);
        const std::uintptr_t aligned = (start + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
        if (aligned > start)
            munmap(memory, aligned - start);
        const std::uintptr_t tail = aligned + bytes;
        if (start + mapped > tail)
            munmap(reinterpret_cast<void*>(tail), start + mapped - tail);
        return aligned;
    }

} // namespace

void* mapSmallPages(std::size_t bytes) noexcept
{
    const std::uintptr_t aligned = mapAligned(bytes);
    if (!aligned)
        return nullptr;
    // Where the system gives huge pages unasked, the first write would
    // otherwise make 2 MB resident.
    madvise(reinterpret_cast<void*>(aligned), bytes, MADV_NOHUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void* mapHugePages(std::size_t bytes, bool populate) noexcept
{
    const std::uintptr_t aligned = mapAligned(bytes);
    if (!aligned)
        return nullptr;
    // Without huge pages (not configured, or none free) the memory still
    // works, page by page.
    // A block touched page by page takes huge pages unless one was dear lately.
    const bool huge = bytes >= kHugePageBytes
        && (populate ? hugePagesAreCheap() : g_smallPageBlocks.load(std::memory_order_relaxed) <= 0);
    if (huge)
        madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
    if (populate)
        populateFresh(reinterpret_cast<char*>(aligned), bytes, huge);
    return reinterpret_cast<void*>(aligned);
}

void unmapHugePages(void* memory, std::size_t bytes) noexcept
{
    munmap(memory, bytes);
}

void discardPages(const void* begin, const void* end) noexcept
{
    constexpr std::uintptr_t kPage = 4096;
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(begin) + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t to = reinterpret_cast<std::uintptr_t>(end) & ~(kPage - 1);
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

void* takeMappedBlock(std::size_t bytes, bool populate) noexcept
{
    KeptBlocks& kept = keptBlocks();
    KeptBlock found {};
    {
        std::lock_guard<std::mutex> lock(kept.mutex);
        // The smallest kept block that holds the request and is at most twice
        // its size; of equal ones the newest, whose pages are likelier cached.
        std::size_t best = kept.count;
        for (std::size_t i = 0; i < kept.count; ++i) {
            const std::size_t size = kept.blocks[i].bytes;
            if (size >= bytes && size / 2 <= bytes && (best == kept.count || size <= kept.blocks[best].bytes))
                best = i;
        }
        if (best < kept.count) {
            found = kept.blocks[best];
            kept.remove(best);
        }
        noteDecoderMemoryActivity();
    }
    if (!found.memory)
        return mapHugePages(bytes, populate);
    // The rest of a larger block goes back to the system.
    if (found.bytes > bytes)
        unmapHugePages(static_cast<char*>(found.memory) + bytes, found.bytes - bytes);
    return found.memory;
}

void giveBackMappedBlock(void* memory, std::size_t bytes) noexcept
{
    KeptBlock evicted[kKeptBlocks];
    std::size_t evictedCount = 0;
    if (bytes <= kKeptBytes) {
        KeptBlocks& kept = keptBlocks();
        std::lock_guard<std::mutex> lock(kept.mutex);
        while (kept.count == kKeptBlocks || kept.bytes + bytes > kKeptBytes) {
            evicted[evictedCount++] = kept.blocks[0];
            kept.remove(0);
        }
        kept.blocks[kept.count++] = { memory, bytes };
        kept.bytes += bytes;
        memory = nullptr;
        noteDecoderMemoryActivity();
    }
    if (memory)
        unmapHugePages(memory, bytes);
    else
        noteMemoryKept();
    for (std::size_t i = 0; i < evictedCount; ++i)
        unmapHugePages(evicted[i].memory, evicted[i].bytes);
}

std::size_t releaseKeptMappedBlocks(const std::uint64_t* ifActivity) noexcept
{
    KeptBlocks& kept = keptBlocks();
    KeptBlock released[kKeptBlocks];
    std::size_t count = 0;
    std::size_t bytes = 0;
    {
        std::lock_guard<std::mutex> lock(kept.mutex);
        if (ifActivity && *ifActivity != decoderMemoryActivity())
            return 0;
        while (kept.count) {
            released[count++] = kept.blocks[0];
            kept.remove(0);
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        unmapHugePages(released[i].memory, released[i].bytes);
        bytes += released[i].bytes;
    }
    return bytes;
}

std::uint64_t decoderMemoryActivity() noexcept
{
    return g_activity.load(std::memory_order_relaxed);
}

void noteDecoderMemoryActivity() noexcept
{
    g_activity.fetch_add(1, std::memory_order_relaxed);
}

std::size_t keptMappedBytes() noexcept
{
    KeptBlocks& kept = keptBlocks();
    std::lock_guard<std::mutex> lock(kept.mutex);
    return kept.bytes;
}

} // namespace json::detail
