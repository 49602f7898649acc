// Memory the decoder keeps between decodes goes back to the system once
// decoding has been quiet a while. A decode of a large reply keeps up to
// 8 MB of empty slab chunks and 16 MB of mapped blocks for the next one, so
// that a run of decodes does not take fresh pages each time; an app that
// decodes a few replies and then waits would otherwise hold that memory for
// as long as it waits. This holds also while some decoded values are kept
// (an app keeps its lists): those values' slabs stay, the rest goes.
#include "json/Decoder.h"
#include "json/HugePages.h"
#include "json/ObjectMemory.h"
#include "json/ObjectStack.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace json {

namespace detail {

    namespace {

        /// How long no slab or block must be taken or given back before the
        /// kept memory goes.
        constexpr std::chrono::milliseconds kQuietTime { 1000 };

        std::int64_t nowNanoseconds() noexcept
        {
            return std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::chrono::steady_clock::now().time_since_epoch())
                .count();
        }

        // A thread of its own waits out the quiet time: the moment memory
        // could go is when nothing happens, so nothing else would call.
        struct Keeper {
            std::mutex mutex;
            std::condition_variable wake;
        };

        Keeper& keeper()
        {
            static Keeper* kept = new Keeper; // never destroyed: the thread outlives static destruction
            return *kept;
        }

        /// When memory was last given back to be kept; 0 before any was.
        std::atomic<std::int64_t> g_keptSince { 0 };
        std::atomic<bool> g_keeperStarted { false };
        std::atomic<bool> g_keeperAsleep { false };

        void releaseWhenQuiet()
        {
            Keeper& k = keeper();
            std::unique_lock<std::mutex> lock(k.mutex);
            std::int64_t handled = 0;
            for (;;) {
                const std::int64_t since = g_keptSince.load();
                if (since == handled) {
                    g_keeperAsleep.store(true);
                    k.wake.wait(lock, [&] { return g_keptSince.load() != handled; });
                    g_keeperAsleep.store(false);
                    continue;
                }
                // Quiet means no block or slab taken or given back for the
                // whole time; any is a decode, which starts it again.
                std::uint64_t activity = decoderMemoryActivity();
                const auto deadline = std::chrono::steady_clock::now() + kQuietTime;
                while (std::chrono::steady_clock::now() < deadline)
                    k.wake.wait_until(lock, deadline);
                if (decoderMemoryActivity() != activity || g_keptSince.load() != since)
                    continue;
                handled = since;
                lock.unlock();
                // Each gives back nothing if a decode took or gave memory meanwhile.
                releaseEmptyChunks(&activity);
                discardFreeSlabPages(&activity);
                releaseKeptMappedBlocks(&activity);
                lock.lock();
            }
        }

    } // namespace

    void noteMemoryKept() noexcept
    {
        g_keptSince.store(nowNanoseconds());
        if (!g_keeperStarted.load(std::memory_order_relaxed) && !g_keeperStarted.exchange(true)) {
            try {
                std::thread(releaseWhenQuiet).detach();
            } catch (...) {
                // Without the thread the memory stays kept, as it did before.
            }
        } else if (g_keeperAsleep.load()) {
            // Only when the lock is free: a keeper holding it is awake and
            // reads the time again before it sleeps, and never waiting here
            // keeps a process forked while the keeper held it from hanging.
            std::unique_lock<std::mutex> lock(keeper().mutex, std::try_to_lock);
            if (lock.owns_lock())
                keeper().wake.notify_one();
        }
    }

} // namespace detail

std::size_t releaseIdleDecoderMemory() noexcept
{
    // Chunks that still hold a live slab are not empty: only their free
    // slabs' pages go.
    const std::size_t bytes
        = detail::releaseSpareStackBlock() + detail::releaseEmptyChunks() + detail::discardFreeSlabPages();
    return bytes + detail::releaseKeptMappedBlocks();
}

} // namespace json
