#include "json/ObjectMemory.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
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
    // While a decode still fills a slab its count holds this bias and no
    // release can bring it to zero; sealing takes off the bias less the
    // objects made, which leaves exactly the live ones.
    constexpr std::uint32_t kFillingBias = 1u << 30;
    // Empty slabs kept for the next decodes (8 MB); beyond that they are freed.
    constexpr std::size_t kPooledSlabs = 256;

    struct SlabPool {
        std::mutex mutex;
        ArenaSlab* head = nullptr;
        std::size_t count = 0;
    };

    SlabPool& slabPool()
    {
        static SlabPool* pool = new SlabPool; // never destroyed, as the shared pool above
        return *pool;
    }

    std::atomic<std::size_t> g_liveSlabs { 0 };
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

    ArenaSlab* takeSlab()
    {
        ArenaSlab* slab = nullptr;
        SlabPool& pool = slabPool();
        {
            std::lock_guard<std::mutex> lock(pool.mutex);
            if (pool.head) {
                slab = pool.head;
                pool.head = slab->nextFree;
                --pool.count;
            }
        }
        if (!slab) {
            // Slabs are aligned to their size so that an object finds its slab from its address.
            void* memory = std::aligned_alloc(kArenaSlabBytes, kArenaSlabBytes);
            if (!memory)
                throw std::bad_alloc();
            slab = new (memory) ArenaSlab;
        }
        resetSlab(slab, kFillingBias + kDecodeHold, false);
        // Sanitizer builds: nothing past the header is in use until made.
        poisonMemory(reinterpret_cast<char*>(slab) + kArenaHeaderBytes, kArenaSlabBytes - kArenaHeaderBytes);
        g_liveSlabs.fetch_add(1, std::memory_order_relaxed);
        return slab;
    }

    void freeSlab(ArenaSlab* slab) noexcept
    {
        slab->~ArenaSlab();
        std::free(slab);
    }

    // Puts `count` slabs linked through nextFree, `first` to `last`, in the
    // pool, or frees them when the pool would hold more than it keeps.
    void poolSlabs(ArenaSlab* first, ArenaSlab* last, std::size_t count) noexcept
    {
        // Sanitizer builds: the objects of a pooled slab are gone, also those
        // of a tree given back whole without releasing them one by one.
        if (HESTIO_JSON_ASAN)
            for (ArenaSlab* slab = first; slab; slab = slab == last ? nullptr : slab->nextFree)
                poisonMemory(reinterpret_cast<char*>(slab) + kArenaHeaderBytes, kArenaSlabBytes - kArenaHeaderBytes);
        SlabPool& pool = slabPool();
        {
            std::lock_guard<std::mutex> lock(pool.mutex);
            if (pool.count + count <= kPooledSlabs) {
                last->nextFree = pool.head;
                pool.head = first;
                pool.count += count;
                return;
            }
        }
        for (ArenaSlab* slab = first; slab;) {
            ArenaSlab* next = slab == last ? nullptr : slab->nextFree;
            freeSlab(slab);
            slab = next;
        }
    }

    void giveBackSlab(ArenaSlab* slab) noexcept
    {
        g_liveSlabs.fetch_sub(1, std::memory_order_relaxed);
        if (slab->large)
            freeSlab(slab);
        else
            poolSlabs(slab, slab, 1);
    }

    // Gives back a decode's slabs, newest first, with one lock of the pool.
    void giveBackAll(ArenaSlab* newest) noexcept
    {
        ArenaSlab* pooled = nullptr;
        ArenaSlab* lastPooled = nullptr;
        std::size_t count = 0;
        std::size_t slabs = 0;
        for (ArenaSlab* slab = newest; slab;) {
            ArenaSlab* previous = slab->previousOfDecode;
            ++slabs;
            if (slab->large) {
                freeSlab(slab);
            } else {
                slab->nextFree = pooled;
                pooled = slab;
                if (!lastPooled)
                    lastPooled = slab;
                ++count;
            }
            slab = previous;
        }
        g_liveSlabs.fetch_sub(slabs, std::memory_order_relaxed);
        if (pooled)
            poolSlabs(pooled, lastPooled, count);
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
            ArenaSlab* slab = takeSlab();
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
    void* allocateLarge(ArenaState& arena, std::size_t bytes)
    {
        void* memory = nullptr;
        if (posix_memalign(&memory, kArenaSlabBytes, kArenaHeaderBytes + kArenaObjectPrefix + bytes) != 0)
            throw std::bad_alloc();
        auto* slab = new (memory) ArenaSlab;
        resetSlab(slab, 1 + kDecodeHold, true);
        slab->previousOfDecode = arena.newest;
        arena.newest = slab;
        g_liveSlabs.fetch_add(1, std::memory_order_relaxed);
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
    if (!m_previous)
        t_arena.active = this;
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
