#pragma once

#include <cstddef>
#include <string>

namespace hestio::bench {

/// A flat array of `n` integers 0 to n - 1, or an object of `n` pairs
/// "k<i>": <i>.
std::string flatDocument(bool object, std::size_t n);

/// `bench_json --what memory`: each library decodes one flat array of
/// `elements` integers in a fresh process of its own (this program run
/// again), which reports its peak resident memory and the user and system
/// time of its first decode beside the rate of a decode into memory used
/// before.
int measureMemory(const char* self, std::size_t elements);
/// The fresh process's part: `contender` ("hestio" or a peer) decodes once.
int memoryChild(const std::string& contender, std::size_t elements);

} // namespace hestio::bench
