#pragma once

#include <cstddef>
#include <cstdint>

namespace json::detail {

/// Memory for the decoder's big blocks straight from the system. A page the
/// process touches for the first time costs a fault, and faults are dear: on
/// our build machine's virtual machine a 4 KB first touch takes about 13 µs
/// of CPU, 60 to 200 times the cost of writing the page once it is there,
/// so a decode into fresh memory (about 40 bytes per element of a flat
/// array) ran 4 to 9 times slower than one into memory it had used before.
/// Blocks of whole 2 MB pages are advised for huge pages: one fault per
/// 2 MB, about 0.25 µs per 4 KB when the system has huge pages free
/// (`bench_json --what pages`). Blocks given back are kept a while for the
/// next ones.
constexpr std::size_t kHugePageBytes = std::size_t { 2 } << 20;

/// The size to map for `bytes`: whole huge pages from one huge page up,
/// whole 64 KB below.
constexpr std::size_t mappedSize(std::size_t bytes) noexcept
{
    const std::size_t unit = bytes >= kHugePageBytes ? kHugePageBytes : std::size_t { 64 } << 10;
    return (bytes + unit - 1) & ~(unit - 1);
}

/// `bytes` (a `mappedSize`) aligned to a huge page: a block given back
/// lately that fits (holding what it held), else fresh zeroed memory; null
/// when the system refuses it. Blocks of whole huge pages are advised to be
/// backed by huge pages where the system allows.
/// With `populate`, fresh memory comes with its pages in place (see
/// `mapHugePages`), for a block that will be written whole.
void* takeMappedBlock(std::size_t bytes, bool populate = false) noexcept;
/// Gives back a block from `takeMappedBlock`, with the same size: kept for
/// the next blocks up to a few megabytes, else returned to the system.
void giveBackMappedBlock(void* memory, std::size_t bytes) noexcept;

/// Fresh memory as `takeMappedBlock` maps it, and its return to the system.
/// With `populate` the pages are put in place by one call per 2 MB rather
/// than one fault per page, and huge pages are asked for only while the
/// system gives them cheaply: when it has none free it compacts memory to
/// make them, and a huge page then costs several times what its 512 small
/// pages would, so fresh blocks take small pages for a while (those
/// touched page by page too).
void* mapHugePages(std::size_t bytes, bool populate = false) noexcept;
/// Fresh memory aligned as `mapHugePages` aligns it, always in small pages
/// and none of them in place: each page costs memory once it is written.
void* mapSmallPages(std::size_t bytes) noexcept;
/// Puts the pages from `begin` to `end` (of one mapped block, rounded out
/// to whole pages) in place ahead of their first writes.
void populatePages(void* begin, void* end) noexcept;
void unmapHugePages(void* memory, std::size_t bytes) noexcept;

/// Gives back the pages that lie whole between `begin` and `end`, in a
/// mapped block: they read as zeros afterwards and cost no memory until
/// written again.
void discardPages(const void* begin, const void* end) noexcept;

/// Returns every kept block to the system; the bytes returned. With
/// `ifActivity`, only while `decoderMemoryActivity` still equals it.
std::size_t releaseKeptMappedBlocks(const std::uint64_t* ifActivity = nullptr) noexcept;

/// Counts each block or slab the decoder's memory takes or gives back (under
/// the lock of the memory it changes), so that a release of kept memory can
/// tell that nothing happened since it looked.
std::uint64_t decoderMemoryActivity() noexcept;
void noteDecoderMemoryActivity() noexcept;
/// Bytes of blocks kept for reuse (for tests).
std::size_t keptMappedBytes() noexcept;

} // namespace json::detail
