#pragma once

#include <cstddef>

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
void* takeMappedBlock(std::size_t bytes) noexcept;
/// Gives back a block from `takeMappedBlock`, with the same size: kept for
/// the next blocks up to a few megabytes, else returned to the system.
void giveBackMappedBlock(void* memory, std::size_t bytes) noexcept;

/// Fresh memory as `takeMappedBlock` maps it, and its return to the system.
void* mapHugePages(std::size_t bytes) noexcept;
void unmapHugePages(void* memory, std::size_t bytes) noexcept;

/// Returns every kept block to the system.
void releaseKeptMappedBlocks() noexcept;
/// Bytes of blocks kept for reuse (for tests).
std::size_t keptMappedBytes() noexcept;

} // namespace json::detail
