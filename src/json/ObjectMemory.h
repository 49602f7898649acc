#pragma once

#include <cstddef>
#include <cstdint>

namespace json::detail {

/// Memory for value objects. Decoding makes many small objects and a
/// document's release frees them all, so objects of up to 128 bytes come
/// from per-thread free lists carved from 64 KB slabs instead of the general
/// heap. Freed objects return to the freeing thread's lists (a thread's lists
/// go to a shared pool when it ends); slabs are kept for reuse. Builds with
/// AddressSanitizer use the general heap so that every misuse is seen.
///
/// A decode of a larger document takes its objects from a decode arena
/// instead (see `DecodeArena`).
///
/// `sizeClass` records where the memory came from; pass it back to free.
void* allocateObject(std::size_t bytes, std::uint8_t& sizeClass);
void freeObject(void* memory, std::uint8_t sizeClass) noexcept;

/// While one lives on a thread, the objects that thread allocates come one
/// after the other from 32 KB arena slabs of their own, so that a decoded
/// tree lies in memory in document order (building it, walking it and
/// releasing it touch memory in sequence) and costs no free-list traffic.
/// Each slab counts its live objects and goes back to a shared pool when the
/// last of them is released, on whatever thread that happens. Objects keep
/// their own reference counts; the slab only decides when its memory can be
/// reused, so any part of a tree may outlive the rest.
class DecodeArena {
public:
    DecodeArena() noexcept;
    /// Seals the current slab: from here on only releases change its count.
    ~DecodeArena();
    DecodeArena(const DecodeArena&) = delete;
    DecodeArena& operator=(const DecodeArena&) = delete;

    /// Documents shorter than this decode into the free lists: a small reply
    /// would otherwise hold a whole slab for as long as any part of it lives.
    static constexpr std::size_t kMinimumInput = 4096;

private:
    [[maybe_unused]] DecodeArena* m_previous;
};

/// Releases of arena objects within a scope are counted per slab and handed
/// to the slabs when the outermost scope ends, one atomic operation per run
/// of objects from the same slab instead of one per object. Containers open
/// one while they release their elements.
class ReleaseScope {
public:
    ReleaseScope() noexcept;
    ~ReleaseScope();
    ReleaseScope(const ReleaseScope&) = delete;
    ReleaseScope& operator=(const ReleaseScope&) = delete;
};

/// Arena slabs currently holding live objects (for tests).
std::size_t liveArenaSlabs() noexcept;

} // namespace json::detail
