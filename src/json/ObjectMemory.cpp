#include "json/ObjectMemory.h"

#include "json/HugePages.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <vector>

namespace json::detail {

namespace {

    constexpr std::size_t kGranule = 16;
    constexpr std::size_t kClasses = 8; // 16 to 128 bytes
    constexpr std::size_t kSlabBytes = 64 * 1024;

    struct FreeNode {
        FreeNode* next;
    };

    // Nodes on the free lists are poisoned in sanitizer builds: their link is
    // opened only while it is read or written.
    FreeNode* nextOf(FreeNode* node) noexcept
    {
        unpoisonMemory(node, sizeof(FreeNode));
        FreeNode* next = node->next;
        poisonMemory(node, sizeof(FreeNode));
        return next;
    }

    // The leak checker does not look for pointers in poisoned memory, where
    // the free-list links lie in sanitizer builds: the slabs, kept for the
    // life of the process, are listed here so that they are not reported.
    void keepReachable([[maybe_unused]] void* slab)
    {
#if HESTIO_JSON_ASAN
        static auto* mutex = new std::mutex;
        static auto* slabs = new std::vector<void*>;
        std::lock_guard<std::mutex> lock(*mutex);
        slabs->push_back(slab);
#endif
    }

    struct SharedPool {
        std::mutex mutex;
        FreeNode* heads[kClasses + 1] = {};
    };

    // Never destroyed: objects may be freed by static destructors at exit.
    SharedPool& sharedPool()
    {
        static SharedPool* pool = new SharedPool;
        return *pool;
    }

    void pushAll(SharedPool& pool, std::size_t sizeClass, FreeNode* head)
    {
        if (!head)
            return;
        FreeNode* tail = head;
        while (FreeNode* next = nextOf(tail))
            tail = next;
        unpoisonMemory(tail, sizeof(FreeNode));
        tail->next = pool.heads[sizeClass];
        poisonMemory(tail, sizeof(FreeNode));
        pool.heads[sizeClass] = head;
    }

    struct ThreadLists {
        FreeNode* heads[kClasses + 1] = {};
        ~ThreadLists();
    };

    thread_local bool t_listsAlive = false;
    thread_local ThreadLists t_lists;

    ThreadLists::~ThreadLists()
    {
        t_listsAlive = false;
        SharedPool& pool = sharedPool();
        std::lock_guard<std::mutex> lock(pool.mutex);
        for (std::size_t c = 1; c <= kClasses; ++c)
            pushAll(pool, c, heads[c]);
    }

    FreeNode* refill(std::size_t sizeClass)
    {
        SharedPool& pool = sharedPool();
        {
            std::lock_guard<std::mutex> lock(pool.mutex);
            if (FreeNode* shared = pool.heads[sizeClass]) {
                pool.heads[sizeClass] = nullptr;
                return shared;
            }
        }
        const std::size_t size = sizeClass * kGranule;
        char* slab = static_cast<char*>(std::malloc(kSlabBytes));
        if (!slab)
            throw std::bad_alloc();
        FreeNode* head = nullptr;
        for (std::size_t offset = kSlabBytes / size * size; offset >= size; offset -= size) {
            auto* node = reinterpret_cast<FreeNode*>(slab + offset - size);
            node->next = head;
            head = node;
        }
        poisonMemory(slab, kSlabBytes);
        keepReachable(slab);
        return head;
    }

    // This thread's lists, made on first use; null once they were handed back at thread exit.
    ThreadLists* threadLists()
    {
        static thread_local bool started = false;
        if (!t_listsAlive) {
            if (started)
                return nullptr;
            started = true;
            t_listsAlive = true;
        }
        return &t_lists;
    }

} // namespace

struct SlabChunk;

struct ArenaSlab {
    std::atomic<std::uint32_t> live;
    /// An object of the slab gained a reference from outside its tree.
    std::atomic<bool> heldOutside;
    /// A slab made for one object too large for an ordinary slab: freed, not pooled.
    bool large;
    ArenaSlab* nextFree;
    /// The slab the same decode took before this one.
    ArenaSlab* previousOfDecode;
    /// On the slab of a tree's root while the tree may be released whole:
    /// the root, and the newest slab of its decode.
    std::atomic<Object*> treeRoot;
    ArenaSlab* newestOfTree;
    /// An ordinary slab's chunk, from which it was carved.
    SlabChunk* chunk;
    /// A large slab's size when it is a mapped block; 0 when it came from the heap.
    std::size_t mappedBytes;
};

// Plain data: no construction or destruction at thread start or exit.
thread_local constinit ArenaState t_arena {};
thread_local constinit ReleaseBatch t_batch {};
thread_local constinit GatheredRelease t_gathered[kGatheredSlots] {};

void handOverGathered(GatheredRelease& gathered) noexcept
{
    Object* object = gathered.object;
    const std::uint32_t count = gathered.count;
    gathered = {};
    if (object->refs.fetch_sub(count, std::memory_order_acq_rel) == count)
        destroy(object);
}

namespace {

    // The slab's count lives in its first cache line; objects start after it.
    constexpr std::size_t kArenaHeaderBytes = 64;
    static_assert(sizeof(ArenaSlab) <= kArenaHeaderBytes);
    // While a decode still fills a slab its count holds this bias and no
    // release can bring it to zero; sealing takes off the bias less the
    // objects made, which leaves exactly the live ones.
    constexpr std::uint32_t kFillingBias = 1u << 30;
    // Slabs are carved from chunks of one huge page (64 slabs): a decode of
    // many slabs then takes its fresh memory a huge page at a time, one
    // fault per 2 MB instead of one per 4 KB (json/HugePages.h). Builds with
    // AddressSanitizer take the chunks from the heap, where the leak checker
    // sees the pointers the objects hold.
    constexpr std::size_t kChunkBytes = kHugePageBytes;
    constexpr std::uint32_t kSlabsPerChunk = kChunkBytes / kArenaSlabBytes;
    // A decode's first chunk's worth of slabs comes from chunks whose pages
    // are put in place a slab at a time, as it is carved: a reply of a
    // megabyte or two (a week of minute samples) then holds the slabs it
    // fills, not whole huge pages. Only a decode that has taken this many
    // slabs already makes chunks put in place whole.
    constexpr std::uint32_t kSlabsBeforeWholeChunks = kSlabsPerChunk;
    // Chunks none of whose slabs is in use kept for the next decodes (8 MB);
    // beyond that they go back to the system.
    constexpr std::size_t kKeptEmptyChunks = 4;

} // namespace

struct SlabChunk {
    char* memory;
    /// Neighbours in the pool's list of chunks that can give a slab.
    SlabChunk* previous;
    SlabChunk* next;
    bool listed;
    /// Slabs given back to the chunk, for reuse.
    ArenaSlab* freeSlabs;
    std::uint32_t freeCount;
    /// Slabs taken from the chunk's fresh memory so far.
    std::uint32_t carved;
    /// Its pages are put in place a slab at a time as it is carved (else
    /// all at once when it was made).
    bool bySlab;

    /// The pages of its free slabs and uncarved memory are given back
    /// (discardFreeSlabPages); cleared when a slab comes back.
    bool discarded = false;

    bool isEmpty() const noexcept { return freeCount == carved; }
    bool canGive() const noexcept { return freeSlabs || carved < kSlabsPerChunk; }
};

namespace {

    struct SlabPool {
        std::mutex mutex;
        /// Chunks that can give a slab, those given one back last first.
        SlabChunk* withRoom = nullptr;
        std::size_t emptyChunks = 0;

        void link(SlabChunk* chunk) noexcept
        {
            chunk->previous = nullptr;
            chunk->next = withRoom;
            if (withRoom)
                withRoom->previous = chunk;
            withRoom = chunk;
            chunk->listed = true;
        }
        void unlink(SlabChunk* chunk) noexcept
        {
            if (chunk->previous)
                chunk->previous->next = chunk->next;
            else
                withRoom = chunk->next;
            if (chunk->next)
                chunk->next->previous = chunk->previous;
            chunk->previous = chunk->next = nullptr;
            chunk->listed = false;
        }

        /// A slab of the first chunk with room; null when no chunk has one.
        ArenaSlab* take() noexcept
        {
            SlabChunk* chunk = withRoom;
            if (!chunk)
                return nullptr;
            if (chunk->isEmpty())
                --emptyChunks;
            ArenaSlab* slab;
            if (chunk->freeSlabs) {
                slab = chunk->freeSlabs;
                chunk->freeSlabs = slab->nextFree;
                --chunk->freeCount;
            } else {
                char* memory = chunk->memory + chunk->carved++ * kArenaSlabBytes;
                if (chunk->bySlab)
                    populatePages(memory, memory + kArenaSlabBytes);
                slab = new (memory) ArenaSlab;
                slab->chunk = chunk;
            }
            if (!chunk->canGive())
                unlink(chunk);
            return slab;
        }

        /// Unlinks every empty chunk (empty ones always have room, so all
        /// are listed) and returns them linked through `next`.
        /// Takes the lock itself; with `ifActivity`, takes nothing unless
        /// `decoderMemoryActivity` still equals it.
        SlabChunk* takeEmptyChunks(const std::uint64_t* ifActivity) noexcept
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (ifActivity && *ifActivity != decoderMemoryActivity())
                return nullptr;
            SlabChunk* released = nullptr;
            for (SlabChunk* chunk = withRoom; chunk;) {
                SlabChunk* next = chunk->next;
                if (chunk->isEmpty()) {
                    unlink(chunk);
                    chunk->next = released;
                    released = chunk;
                }
                chunk = next;
            }
            emptyChunks = 0;
            return released;
        }

        /// Puts a slab back in its chunk. A chunk left empty beyond the
        /// ones kept is unlinked and added to `released`, to be given back
        /// to the system once the lock is gone.
        void giveBack(ArenaSlab* slab, SlabChunk*& released) noexcept
        {
            SlabChunk* chunk = slab->chunk;
            chunk->discarded = false;
            slab->nextFree = chunk->freeSlabs;
            chunk->freeSlabs = slab;
            ++chunk->freeCount;
            if (!chunk->listed)
                link(chunk);
            if (!chunk->isEmpty())
                return;
            if (emptyChunks < kKeptEmptyChunks) {
                ++emptyChunks;
                return;
            }
            unlink(chunk);
            chunk->next = released;
            released = chunk;
        }
    };

    SlabPool& slabPool()
    {
        static SlabPool* pool = new SlabPool; // never destroyed, as the shared pool above
        return *pool;
    }

    SlabChunk* makeChunk(bool bySlab)
    {
#if HESTIO_JSON_ASAN
        bySlab = false;
        void* memory = std::aligned_alloc(kChunkBytes, kChunkBytes);
#else
        void* memory = bySlab ? mapSmallPages(kChunkBytes) : mapHugePages(kChunkBytes, true);
#endif
        if (!memory)
            throw std::bad_alloc();
        return new SlabChunk { static_cast<char*>(memory), nullptr, nullptr, false, nullptr, 0, 0, bySlab };
    }

    void freeChunks(SlabChunk* chunk) noexcept
    {
        while (chunk) {
            SlabChunk* next = chunk->next;
#if HESTIO_JSON_ASAN
            std::free(chunk->memory);
#else
            unmapHugePages(chunk->memory, kChunkBytes);
#endif
            delete chunk;
            chunk = next;
        }
    }

    std::atomic<std::size_t> g_liveSlabs { 0 };

    void noteSlabsTaken(std::size_t n) noexcept
    {
        g_liveSlabs.fetch_add(n, std::memory_order_relaxed);
    }

    void noteSlabsGivenBack(std::size_t n) noexcept
    {
        g_liveSlabs.fetch_sub(n, std::memory_order_acq_rel);
        noteMemoryKept();
    }
    std::atomic<std::size_t> g_wholeReleases { 0 };

    // A decode holds each slab it takes, one count, until it ends or, for a
    // tree kept whole, until the tree's root is released.
    constexpr std::uint32_t kDecodeHold = 1;

    void resetSlab(ArenaSlab* slab, std::uint32_t live, bool large) noexcept
    {
        slab->live.store(live, std::memory_order_relaxed);
        slab->heldOutside.store(false, std::memory_order_relaxed);
        slab->large = large;
        slab->nextFree = nullptr;
        slab->previousOfDecode = nullptr;
        slab->treeRoot.store(nullptr, std::memory_order_relaxed);
        slab->newestOfTree = nullptr;
    }

    // A slab for a decode that has taken `taken` slabs before it.
    ArenaSlab* takeSlab(std::uint32_t taken)
    {
        SlabPool& pool = slabPool();
        ArenaSlab* slab = nullptr;
        {
            std::lock_guard<std::mutex> lock(pool.mutex);
            slab = pool.take();
            noteDecoderMemoryActivity();
        }
        if (!slab) {
            SlabChunk* chunk = makeChunk(taken < kSlabsBeforeWholeChunks);
            std::lock_guard<std::mutex> lock(pool.mutex);
            pool.link(chunk);
            ++pool.emptyChunks;
            slab = pool.take();
        }
        resetSlab(slab, kFillingBias + kDecodeHold, false);
        // Sanitizer builds: nothing past the header is in use until made.
        poisonMemory(reinterpret_cast<char*>(slab) + kArenaHeaderBytes, kArenaSlabBytes - kArenaHeaderBytes);
        noteSlabsTaken(1);
        return slab;
    }

    void freeLargeSlab(ArenaSlab* slab) noexcept
    {
        const std::size_t mappedBytes = slab->mappedBytes;
        slab->~ArenaSlab();
        if (mappedBytes)
            giveBackMappedBlock(slab, mappedBytes);
        else
            std::free(slab);
    }

    // Puts the slabs linked through nextFree from `first` back in their
    // chunks, with one lock of the pool.
    void poolSlabs(ArenaSlab* first) noexcept
    {
        // Sanitizer builds: the objects of a pooled slab are gone, also those
        // of a tree given back whole without releasing them one by one.
        if (HESTIO_JSON_ASAN)
            for (ArenaSlab* slab = first; slab; slab = slab->nextFree)
                poisonMemory(reinterpret_cast<char*>(slab) + kArenaHeaderBytes, kArenaSlabBytes - kArenaHeaderBytes);
        SlabPool& pool = slabPool();
        SlabChunk* released = nullptr;
        {
            std::lock_guard<std::mutex> lock(pool.mutex);
            noteDecoderMemoryActivity();
            for (ArenaSlab* slab = first; slab;) {
                ArenaSlab* next = slab->nextFree;
                pool.giveBack(slab, released);
                slab = next;
            }
        }
        freeChunks(released);
    }

    void giveBackSlab(ArenaSlab* slab) noexcept
    {
        if (slab->large) {
            freeLargeSlab(slab);
        } else {
            slab->nextFree = nullptr;
            poolSlabs(slab);
        }
        noteSlabsGivenBack(1);
    }

    // Gives back a decode's slabs, newest first, with one lock of the pool.
    void giveBackAll(ArenaSlab* newest) noexcept
    {
        ArenaSlab* pooled = nullptr;
        std::size_t slabs = 0;
        for (ArenaSlab* slab = newest; slab;) {
            ArenaSlab* previous = slab->previousOfDecode;
            ++slabs;
            if (slab->large) {
                freeLargeSlab(slab);
            } else {
                slab->nextFree = pooled;
                pooled = slab;
            }
            slab = previous;
        }
        if (pooled)
            poolSlabs(pooled);
        if (slabs)
            noteSlabsGivenBack(slabs);
    }

    // `n` objects of the slab are gone; the last one out returns the slab.
    void dropObjects(ArenaSlab* slab, std::uint32_t n) noexcept
    {
        if (slab->live.fetch_sub(n, std::memory_order_acq_rel) == n)
            giveBackSlab(slab);
    }

    void sealSlab(ArenaState& arena) noexcept
    {
        if (arena.slab)
            dropObjects(arena.slab, kFillingBias - arena.made);
        arena.slab = nullptr;
        arena.cursor = arena.end = nullptr;
        arena.made = 0;
    }

    void* allocateInArena(ArenaState& arena, std::size_t bytes)
    {
        const std::size_t rounded = kArenaObjectPrefix + ((bytes + 7) & ~std::size_t { 7 });
        if (static_cast<std::size_t>(arena.end - arena.cursor) < rounded) {
            sealSlab(arena);
            ArenaSlab* slab = takeSlab(arena.slabsTaken++);
            slab->previousOfDecode = arena.newest;
            arena.newest = slab;
            arena.slab = slab;
            arena.cursor = reinterpret_cast<char*>(slab) + kArenaHeaderBytes;
            arena.end = reinterpret_cast<char*>(slab) + kArenaSlabBytes;
        }
        char* memory = arena.cursor + kArenaObjectPrefix;
        arena.cursor += rounded;
        ++arena.made;
        noteArenaObjectMade(memory, bytes);
        return memory;
    }

    // An object larger than a slab's room gets a slab of its own, so that
    // it too finds its slab from its address and is given back with its tree.
    // From 128 KB up (a long array, a large dictionary's table) it is a block
    // mapped for it, in whole huge pages from 2 MB up, and kept for the next
    // such object when given back (json/HugePages.h): the heap would hand
    // blocks of that size back to the system, and every decode would fault
    // its pages in again.
    constexpr std::size_t kSmallestMappedSlab = 128 * 1024;

    void* allocateLarge(ArenaState& arena, std::size_t bytes, bool populate = true)
    {
        const std::size_t total = kArenaHeaderBytes + kArenaObjectPrefix + bytes;
        void* memory = nullptr;
        std::size_t mappedBytes = 0;
        if (!HESTIO_JSON_ASAN && total >= kSmallestMappedSlab) {
            mappedBytes = mappedSize(total);
            memory = takeMappedBlock(mappedBytes, populate);
            if (!memory)
                throw std::bad_alloc();
        } else if (posix_memalign(&memory, kArenaSlabBytes, total) != 0) {
            throw std::bad_alloc();
        }
        auto* slab = new (memory) ArenaSlab;
        resetSlab(slab, 1 + kDecodeHold, true);
        slab->chunk = nullptr;
        slab->mappedBytes = mappedBytes;
        slab->previousOfDecode = arena.newest;
        arena.newest = slab;
        noteSlabsTaken(1);
        char* object = reinterpret_cast<char*>(slab) + kArenaHeaderBytes + kArenaObjectPrefix;
        noteArenaObjectMade(object, bytes);
        return object;
    }

    void dropDecodeHolds(ArenaSlab* newest) noexcept
    {
        for (ArenaSlab* slab = newest; slab;) {
            ArenaSlab* previous = slab->previousOfDecode;
            dropObjects(slab, kDecodeHold);
            slab = previous;
        }
    }

    bool isOfDecode(const ArenaSlab* slab, const ArenaSlab* newest) noexcept
    {
        for (const ArenaSlab* s = newest; s; s = s->previousOfDecode)
            if (s == slab)
                return true;
        return false;
    }

    void flushBatch(ReleaseBatch& batch) noexcept
    {
        if (batch.slab)
            dropObjects(batch.slab, batch.pending);
        batch.slab = nullptr;
        batch.pending = 0;
    }

} // namespace

DecodeArena::DecodeArena() noexcept
    : m_previous(t_arena.active)
{
    // A decode inside a decode (none exists today) would share the outer arena.
    if (!m_previous) {
        t_arena.active = this;
        t_arena.slabsTaken = 0;
    }
}

DecodeArena::~DecodeArena()
{
    if (m_previous)
        return;
    sealSlab(t_arena);
    ArenaSlab* newest = t_arena.newest;
    t_arena.newest = nullptr;
    t_arena.active = nullptr;
    if (m_wholeRoot) {
        ArenaSlab* rootSlab = slabOf(m_wholeRoot);
        rootSlab->newestOfTree = newest;
        rootSlab->treeRoot.store(m_wholeRoot, std::memory_order_relaxed);
    } else {
        dropDecodeHolds(newest);
    }
}

void DecodeArena::keepWhole(Object* root) noexcept
{
    if (!m_previous && root && root->sizeClass == kArenaClass
        && (root->kind == Kind::Array || root->kind == Kind::Dictionary))
        m_wholeRoot = root;
}

void noteHeldOutsideTree(Object* object) noexcept
{
    ArenaSlab* slab = slabOf(object);
    // Copies of a root share no part of its tree.
    if (slab->treeRoot.load(std::memory_order_relaxed) == object)
        return;
    if (!slab->heldOutside.load(std::memory_order_relaxed))
        slab->heldOutside.store(true, std::memory_order_relaxed);
}

ArenaSlab* takeWholeTree(Object* object) noexcept
{
    ArenaSlab* slab = slabOf(object);
    if (slab->treeRoot.load(std::memory_order_relaxed) != object)
        return nullptr;
    slab->treeRoot.store(nullptr, std::memory_order_relaxed);
    return slab;
}

bool releaseTreeWhole(ArenaSlab* rootSlab) noexcept
{
    // The marks of references taken on other threads are seen here: those
    // threads held the root meanwhile, and its count's last decrement
    // synchronizes with their releases of it.
    ArenaSlab* newest = rootSlab->newestOfTree;
    for (const ArenaSlab* slab = newest; slab; slab = slab->previousOfDecode)
        if (slab->heldOutside.load(std::memory_order_relaxed))
            return false;
    // Frees counted for these slabs by an enclosing release have nothing
    // left to count once the slabs are gone.
    ReleaseBatch& batch = t_batch;
    if (batch.depth) {
        if (batch.slab && isOfDecode(batch.slab, newest)) {
            batch.slab = nullptr;
            batch.pending = 0;
        }
        for (GatheredRelease& gathered : t_gathered)
            if (gathered.object && gathered.object->sizeClass == kArenaClass
                && isOfDecode(slabOf(gathered.object), newest))
                gathered = {};
    }
    giveBackAll(newest);
    g_wholeReleases.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void endWholeTree(ArenaSlab* rootSlab) noexcept
{
    dropDecodeHolds(rootSlab->newestOfTree);
}

std::size_t treesReleasedWhole() noexcept
{
    return g_wholeReleases.load(std::memory_order_relaxed);
}

ReleaseScope::ReleaseScope() noexcept
{
    ++t_batch.depth;
}

ReleaseScope::~ReleaseScope()
{
    if (t_batch.depth == 1) {
        // Still inside the scope while the gathered releases are handed
        // over: a string they destroy frees into the batch below.
        for (GatheredRelease& gathered : t_gathered)
            if (gathered.object)
                handOverGathered(gathered);
        flushBatch(t_batch);
    }
    --t_batch.depth;
}

std::size_t liveArenaSlabs() noexcept
{
    return g_liveSlabs.load(std::memory_order_relaxed);
}

std::size_t keptDecoderBytes() noexcept
{
    SlabPool& pool = slabPool();
    std::size_t chunks;
    {
        std::lock_guard<std::mutex> lock(pool.mutex);
        chunks = pool.emptyChunks;
    }
    return chunks * kChunkBytes + keptMappedBytes();
}

std::size_t releaseEmptyChunks(const std::uint64_t* ifActivity) noexcept
{
    SlabPool& pool = slabPool();
    SlabChunk* released = pool.takeEmptyChunks(ifActivity);
    std::size_t bytes = 0;
    for (SlabChunk* chunk = released; chunk; chunk = chunk->next)
        bytes += kChunkBytes;
    freeChunks(released);
    return bytes;
}

std::size_t discardFreeSlabPages(const std::uint64_t* ifActivity) noexcept
{
    // Sanitizer builds take the chunks from the heap; they keep them whole.
    if (HESTIO_JSON_ASAN)
        return 0;
    constexpr std::size_t kPage = 4096;
    SlabPool& pool = slabPool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    if (ifActivity && *ifActivity != decoderMemoryActivity())
        return 0;
    std::size_t bytes = 0;
    // Chunks with a free slab or uncarved memory are the listed ones; the
    // empty ones are kept whole for the next decode, or released whole.
    for (SlabChunk* chunk = pool.withRoom; chunk; chunk = chunk->next) {
        if (chunk->isEmpty() || chunk->discarded)
            continue;
        for (ArenaSlab* slab = chunk->freeSlabs; slab; slab = slab->nextFree) {
            char* start = reinterpret_cast<char*>(slab);
            discardPages(start + kPage, start + kArenaSlabBytes);
            bytes += kArenaSlabBytes - kPage;
        }
        // Memory of a chunk put in place a slab at a time is not in place
        // until carved.
        if (!chunk->bySlab) {
            discardPages(chunk->memory + chunk->carved * kArenaSlabBytes, chunk->memory + kChunkBytes);
            bytes += (kSlabsPerChunk - chunk->carved) * kArenaSlabBytes;
        }
        chunk->discarded = true;
    }
    return bytes;
}

std::size_t residentBytesOfChunk(const void* object) noexcept
{
    const SlabChunk* chunk = slabOf(object)->chunk;
    constexpr std::size_t kPage = 4096;
    unsigned char resident[kChunkBytes / kPage];
    if (!chunk || mincore(chunk->memory, kChunkBytes, resident) != 0)
        return 0;
    std::size_t bytes = 0;
    for (unsigned char page : resident)
        bytes += (page & 1) ? kPage : 0;
    return bytes;
}

void* allocateObject(std::size_t bytes, std::uint8_t& sizeClass)
{
    if (t_arena.active) {
        sizeClass = kArenaClass;
        return bytes <= kLargestArenaObject ? allocateInArena(t_arena, bytes) : allocateLarge(t_arena, bytes);
    }
    if (bytes <= kGranule * kClasses) {
        if (ThreadLists* lists = threadLists()) {
            const std::size_t c = (bytes + kGranule - 1) / kGranule;
            FreeNode*& head = lists->heads[c];
            if (!head)
                head = refill(c);
            FreeNode* node = head;
            head = nextOf(node);
            // The next allocation reads that node's link: start fetching it now.
            __builtin_prefetch(head);
            sizeClass = static_cast<std::uint8_t>(c);
            unpoisonMemory(node, bytes);
            return node;
        }
    }
    sizeClass = 0;
    void* memory = std::malloc(bytes);
    if (!memory)
        throw std::bad_alloc();
    return memory;
}

void* allocateObjectUnpopulated(std::size_t bytes, std::uint8_t& sizeClass)
{
    if (t_arena.active && bytes > kLargestArenaObject) {
        sizeClass = kArenaClass;
        return allocateLarge(t_arena, bytes, false);
    }
    return allocateObject(bytes, sizeClass);
}

void freeObject(void* memory, std::uint8_t sizeClass) noexcept
{
    if (sizeClass == kArenaClass) {
        noteArenaObjectReleased(memory);
        ArenaSlab* slab = slabOf(memory);
        ReleaseBatch& batch = t_batch;
        if (!batch.depth) {
            dropObjects(slab, 1);
        } else if (batch.slab == slab) {
            ++batch.pending;
        } else {
            flushBatch(batch);
            batch.slab = slab;
            batch.pending = 1;
        }
        return;
    }
    if (sizeClass) {
        auto* node = static_cast<FreeNode*>(memory);
        if (ThreadLists* lists = threadLists()) {
            node->next = lists->heads[sizeClass];
            lists->heads[sizeClass] = node;
        } else {
            SharedPool& pool = sharedPool();
            std::lock_guard<std::mutex> lock(pool.mutex);
            node->next = pool.heads[sizeClass];
            pool.heads[sizeClass] = node;
        }
        poisonMemory(node, sizeClass * kGranule);
        return;
    }
    std::free(memory);
}

} // namespace json::detail
