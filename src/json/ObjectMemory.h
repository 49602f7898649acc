#pragma once

#include "json/Value.h"

#include <cstddef>
#include <cstdint>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define HESTIO_JSON_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HESTIO_JSON_ASAN 1
#endif
#endif
#ifndef HESTIO_JSON_ASAN
#define HESTIO_JSON_ASAN 0
#endif
#if HESTIO_JSON_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace json::detail {

#if HESTIO_JSON_ASAN
/// In sanitizer builds an arena object is preceded by a poisoned word that
/// holds its size: the size to poison when it is released, and a gap that
/// catches a write running off the object before.
constexpr std::size_t kArenaObjectPrefix = 8;
inline void poisonMemory(const void* memory, std::size_t bytes) noexcept
{
    ASAN_POISON_MEMORY_REGION(memory, bytes);
}
inline void unpoisonMemory(const void* memory, std::size_t bytes) noexcept
{
    ASAN_UNPOISON_MEMORY_REGION(memory, bytes);
}
/// Records the size of an arena object just made and opens its bytes.
inline void noteArenaObjectMade(char* memory, std::size_t bytes) noexcept
{
    char* prefix = memory - kArenaObjectPrefix;
    unpoisonMemory(prefix, kArenaObjectPrefix);
    *reinterpret_cast<std::size_t*>(prefix) = bytes;
    poisonMemory(prefix, kArenaObjectPrefix);
    unpoisonMemory(memory, bytes);
}
/// Closes the bytes of a released arena object.
inline void noteArenaObjectReleased(void* memory) noexcept
{
    char* prefix = static_cast<char*>(memory) - kArenaObjectPrefix;
    unpoisonMemory(prefix, kArenaObjectPrefix);
    const std::size_t bytes = *reinterpret_cast<std::size_t*>(prefix);
    poisonMemory(prefix, kArenaObjectPrefix + bytes);
}
#else
constexpr std::size_t kArenaObjectPrefix = 0;
inline void poisonMemory(const void*, std::size_t) noexcept
{
}
inline void unpoisonMemory(const void*, std::size_t) noexcept
{
}
inline void noteArenaObjectMade(char*, std::size_t) noexcept
{
}
inline void noteArenaObjectReleased(void*) noexcept
{
}
#endif

/// Memory for value objects. Decoding makes many small objects and a
/// document's release frees them all, so objects of up to 128 bytes come
/// from per-thread free lists carved from 64 KB slabs instead of the general
/// heap. Freed objects return to the freeing thread's lists (a thread's lists
/// go to a shared pool when it ends); slabs are kept for reuse.
///
/// Builds with AddressSanitizer keep all of this and tell the sanitizer
/// which bytes are in use: memory on a free list, the unused rest of a slab
/// and every object released in an arena slab are poisoned, so a use after
/// release is reported even while the slab around it lives on.
///
/// A decode of a larger document takes its objects from a decode arena
/// instead (see `DecodeArena`).
///
/// `sizeClass` records where the memory came from; pass it back to free.
void* allocateObject(std::size_t bytes, std::uint8_t& sizeClass);
/// allocateObject for an object that its maker writes a part at a time
/// (see `populatePages`): a large one's fresh pages are not put in place
/// ahead, so that they come as they are written.
void* allocateObjectUnpopulated(std::size_t bytes, std::uint8_t& sizeClass);
void freeObject(void* memory, std::uint8_t sizeClass) noexcept;

class DecodeArena;
struct ArenaSlab;

/// The slab a decode is filling on this thread: the next object goes at
/// `cursor`. Both are null when no slab is being filled.
struct ArenaState {
    DecodeArena* active;
    ArenaSlab* slab;
    char* cursor;
    char* end;
    std::uint32_t made;
    /// The last slab the decode took; each slab links to the one before.
    ArenaSlab* newest;
    /// Ordinary slabs the decode took so far.
    std::uint32_t slabsTaken;
};
extern thread_local constinit ArenaState t_arena;
/// Larger objects (long arrays, big tables) get a slab of their own size:
/// one of them would leave most of a shared slab unused.
constexpr std::size_t kLargestArenaObject = 4096;

/// The next bytes of the slab that a decode is filling, or null when no
/// slab is being filled, it has no room left or the object is too large
/// for a shared slab.
inline void* allocateInSlab(std::size_t bytes, std::uint8_t& sizeClass) noexcept
{
    ArenaState& arena = t_arena;
    const std::size_t rounded = kArenaObjectPrefix + ((bytes + 7) & ~std::size_t { 7 });
    if (static_cast<std::size_t>(arena.end - arena.cursor) >= rounded && bytes <= kLargestArenaObject) {
        char* memory = arena.cursor + kArenaObjectPrefix;
        arena.cursor += rounded;
        ++arena.made;
        sizeClass = kArenaClass;
        noteArenaObjectMade(memory, bytes);
        return memory;
    }
    return nullptr;
}

/// allocateObject with its usual case inline: the next bytes of the slab
/// that a decode is filling.
inline void* allocateObjectInline(std::size_t bytes, std::uint8_t& sizeClass)
{
    if (void* memory = allocateInSlab(bytes, sizeClass))
        return memory;
    return allocateObject(bytes, sizeClass);
}

/// Frees of arena objects inside a ReleaseScope, counted for one slab at a time.
struct ReleaseBatch {
    unsigned depth;
    ArenaSlab* slab;
    std::uint32_t pending;
};
extern thread_local constinit ReleaseBatch t_batch;
constexpr std::size_t kArenaSlabBytes = 32 * 1024;

/// The slab an arena object lies in: slabs are aligned to their size.
inline ArenaSlab* slabOf(const void* memory) noexcept
{
    return reinterpret_cast<ArenaSlab*>(reinterpret_cast<std::uintptr_t>(memory) & ~(kArenaSlabBytes - 1));
}

/// freeObject with its usual case inline: an arena object of the slab whose
/// frees the release scope is counting.
inline void freeObjectInline(void* memory, std::uint8_t sizeClass) noexcept
{
    if (sizeClass == kArenaClass) {
        ReleaseBatch& batch = t_batch;
        if (batch.depth && batch.slab == slabOf(memory)) {
            noteArenaObjectReleased(memory);
            ++batch.pending;
            return;
        }
    }
    freeObject(memory, sizeClass);
}

/// Releases of shared strings inside a ReleaseScope are gathered here, a
/// few slots by address, and handed to each string as one subtraction when
/// the outermost scope ends or its slot is wanted: the keys that every
/// record of a reply shares then cost one atomic operation per reply rather
/// than one per record. A gathered release keeps the count above zero, so
/// the string lives until it is handed over.
struct GatheredRelease {
    Object* object;
    std::uint32_t count;
};
constexpr std::size_t kGatheredSlots = 32;
extern thread_local constinit GatheredRelease t_gathered[kGatheredSlots];
/// Hands one gathered release over and empties its slot.
void handOverGathered(GatheredRelease& gathered) noexcept;

/// The header of an object just made: one reference, its kind, and the
/// size class its memory came with (0 for memory from `new`).
inline void setUpHeader(Object* object, Kind kind, std::uint8_t sizeClass) noexcept
{
    new (&object->refs) std::atomic<std::uint32_t>(1);
    object->kind = kind;
    object->immortal = false;
    object->sizeClass = sizeClass;
}

/// A number object holding `bits` (its value's eight bytes), with one
/// reference; inline, for every number a decode meets first.
inline NumberObject* makeNumber(Kind kind, std::uint64_t bits)
{
    std::uint8_t sizeClass;
    auto* n = static_cast<NumberObject*>(allocateObjectInline(sizeof(NumberObject), sizeClass));
    setUpHeader(n, kind, sizeClass);
    n->u = bits;
    return n;
}

/// release for a container letting go of its elements: strings and numbers
/// are freed here without going through `destroy`.
inline void releaseElement(Object* object) noexcept
{
    if (object->immortal)
        return;
    if (object->refs.load(std::memory_order_acquire) != 1) {
        if (object->kind == Kind::String && t_batch.depth) {
            GatheredRelease& gathered
                = t_gathered[(reinterpret_cast<std::uintptr_t>(object) >> 3) & (kGatheredSlots - 1)];
            if (gathered.object != object) {
                if (gathered.object)
                    handOverGathered(gathered);
                gathered.object = object;
            }
            ++gathered.count;
            return;
        }
        if (object->refs.fetch_sub(1, std::memory_order_acq_rel) != 1)
            return;
    }
    // Booleans and null are immortal: the kinds up to Double are the plain ones.
    static_assert(Kind::String < Kind::Double && Kind::Integer < Kind::Double && Kind::Unsigned < Kind::Double
        && Kind::Double < Kind::Boolean && Kind::Double < Kind::Array);
    if (object->kind <= Kind::Double)
        freeObjectInline(object, object->sizeClass);
    else
        destroy(object);
}

/// While one lives on a thread, the objects that thread allocates come one
/// after the other from 32 KB arena slabs of their own, so that a decoded
/// tree lies in memory in document order (building it, walking it and
/// releasing it touch memory in sequence) and costs no free-list traffic.
/// An object too large for a slab gets a slab of its own size. Each slab
/// counts its live objects and goes back to a shared pool when the last of
/// them is released, on whatever thread that happens. Objects keep their
/// own reference counts; the slab only decides when its memory can be
/// reused, so any part of a tree may outlive the rest.
///
/// A tree kept whole (`keepWhole`) goes further: while no object of it but
/// the root has gained a reference from outside the tree, releasing the
/// root gives all the decode's slabs back at once, reading none of the
/// objects. The decode holds each of its slabs until then, so that none
/// goes back early. A reference taken to any other object of the tree
/// (`noteHeldOutsideTree`, from `retain`) marks its slab, and the root's
/// release then goes object by object as usual.
class DecodeArena {
public:
    DecodeArena() noexcept;
    /// Seals the current slab: from here on only releases change its count.
    ~DecodeArena();
    DecodeArena(const DecodeArena&) = delete;
    DecodeArena& operator=(const DecodeArena&) = delete;

    /// Lets the tree under `root` be released whole. Only for a container
    /// that the decode made last and that holds nothing made elsewhere:
    /// a decode for one call, whose cache keeps nothing, and immutable, so
    /// that nothing from outside can be put into the tree later.
    void keepWhole(Object* root) noexcept;

    /// Documents shorter than this decode into the free lists: a small reply
    /// would otherwise hold a whole slab for as long as any part of it lives.
    static constexpr std::size_t kMinimumInput = 4096;

private:
    [[maybe_unused]] DecodeArena* m_previous;
    [[maybe_unused]] Object* m_wholeRoot { nullptr };
};

/// When `object` is the root of a tree kept whole, takes that role from it
/// and returns its slab; null otherwise.
ArenaSlab* takeWholeTree(Object* object) noexcept;
/// Gives back every slab of the tree when no part of it is held from
/// outside, and says whether it did; otherwise the caller releases the tree
/// object by object and then calls `endWholeTree`.
bool releaseTreeWhole(ArenaSlab* rootSlab) noexcept;
void endWholeTree(ArenaSlab* rootSlab) noexcept;
/// Trees released whole so far (for tests).
std::size_t treesReleasedWhole() noexcept;

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

/// Memory kept for the next decodes and holding nothing now: empty chunks
/// of arena slabs and mapped blocks given back (IdleMemory.cpp gives it to
/// the system once decoding has been quiet a while).
std::size_t keptDecoderBytes() noexcept;
/// Returns the empty chunks to the system; the bytes returned. With
/// `ifActivity`, only while `decoderMemoryActivity` still equals it.
std::size_t releaseEmptyChunks(const std::uint64_t* ifActivity = nullptr) noexcept;
/// Returns to the system the pages of the free slabs in chunks that still
/// hold live ones (all but each slab's first page, which holds its link) and
/// the chunks' memory not carved into slabs yet: a chunk kept for one small
/// value held for long then holds a few pages, not its 2 MB. The bytes given
/// back; with `ifActivity` as above.
std::size_t discardFreeSlabPages(const std::uint64_t* ifActivity = nullptr) noexcept;
/// The bytes of the slab chunk holding arena object `object` that are
/// resident now (for tests).
std::size_t residentBytesOfChunk(const void* object) noexcept;
/// Called when slabs or mapped blocks were given back and are kept: once
/// decoding has been quiet a while, what is kept goes back to the system.
void noteMemoryKept() noexcept;

} // namespace json::detail
