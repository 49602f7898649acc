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
/// `sizeClass` records where the memory came from; pass it back to free.
void* allocateObject(std::size_t bytes, std::uint8_t& sizeClass);
void freeObject(void* memory, std::uint8_t sizeClass) noexcept;

} // namespace json::detail
