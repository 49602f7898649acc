#include "json/ObjectStack.h"

#include <utility>

namespace json::detail {

namespace {

    struct SpareStackBlock {
        StackBlock block;
        ~SpareStackBlock() { block.free(); }
    };

    thread_local SpareStackBlock t_spare;

} // namespace

StackBlock takeSpareStackBlock(std::size_t count) noexcept
{
    if (t_spare.block.capacity < count)
        return {};
    return std::exchange(t_spare.block, StackBlock {});
}

void keepSpareStackBlock(StackBlock block) noexcept
{
    if (block.mappedBytes || block.capacity > ObjectStack::kLargestSpare || block.capacity <= t_spare.block.capacity) {
        block.free();
        return;
    }
    t_spare.block.free();
    t_spare.block = block;
}

std::size_t releaseSpareStackBlock() noexcept
{
    const std::size_t bytes = t_spare.block.capacity * (2 * sizeof(Object*) + sizeof(std::uint32_t));
    t_spare.block.free();
    return bytes;
}

StackBlock mapStackBlock(std::size_t capacity) noexcept
{
    // Objects, keys, then key hashes: the pointers stay aligned.
    const std::size_t bytes = mappedSize(capacity * (2 * sizeof(Object*) + sizeof(std::uint32_t)));
    void* memory = takeMappedBlock(bytes);
    if (!memory)
        return {};
    auto* objects = static_cast<Object**>(memory);
    return { objects, objects + capacity, reinterpret_cast<std::uint32_t*>(objects + 2 * capacity), capacity, bytes };
}

} // namespace json::detail
