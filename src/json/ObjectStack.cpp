#include "json/ObjectStack.h"

#include <utility>

namespace json::detail {

namespace {

    // Stacks of up to this many entries (1.3 MB) are kept for the next decode.
    constexpr std::size_t kLargestSpare = 65536;

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
    if (block.capacity > kLargestSpare || block.capacity <= t_spare.block.capacity) {
        block.free();
        return;
    }
    t_spare.block.free();
    t_spare.block = block;
}

} // namespace json::detail
