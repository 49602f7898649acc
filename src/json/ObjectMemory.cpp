#include "json/ObjectMemory.h"

#include <cstdlib>
#include <mutex>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define HESTIO_JSON_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HESTIO_JSON_POOL 0
#endif
#endif
#ifndef HESTIO_JSON_POOL
#define HESTIO_JSON_POOL 1
#endif

namespace json::detail {

#if HESTIO_JSON_POOL
namespace {

    constexpr std::size_t kGranule = 16;
    constexpr std::size_t kClasses = 8; // 16 to 128 bytes
    constexpr std::size_t kSlabBytes = 64 * 1024;

    struct FreeNode {
        FreeNode* next;
    };

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
        while (tail->next)
            tail = tail->next;
        tail->next = pool.heads[sizeClass];
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
#endif

void* allocateObject(std::size_t bytes, std::uint8_t& sizeClass)
{
#if HESTIO_JSON_POOL
    if (bytes <= kGranule * kClasses) {
        if (ThreadLists* lists = threadLists()) {
            const std::size_t c = (bytes + kGranule - 1) / kGranule;
            FreeNode*& head = lists->heads[c];
            if (!head)
                head = refill(c);
            FreeNode* node = head;
            head = node->next;
            // The next allocation reads that node's link: start fetching it now.
            __builtin_prefetch(head);
            sizeClass = static_cast<std::uint8_t>(c);
            return node;
        }
    }
#endif
    sizeClass = 0;
    void* memory = std::malloc(bytes);
    if (!memory)
        throw std::bad_alloc();
    return memory;
}

void freeObject(void* memory, [[maybe_unused]] std::uint8_t sizeClass) noexcept
{
#if HESTIO_JSON_POOL
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
        return;
    }
#endif
    std::free(memory);
}

} // namespace json::detail
