// The history's packed sample blocks, as read back from the database: any
// bytes must read without crashing, what reads must pack again to the same
// samples, and a sample put in any order must land in its place.
#include "SampleBlock.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace hestio::sim;

namespace {
[[noreturn]] void failCheck(const char* what)
{
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr int64_t kStart = 1796169600000;
    constexpr int64_t kStep = 5000;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    SampleBlock block = SampleBlock::decode(kStart, kStep, bytes);
    auto samples = block.samples();
    if (block.bytes().size() > bytes.size())
        failCheck("a block read longer than its bytes");
    for (size_t i = 1; i < samples.size(); ++i) {
        if (samples[i].atMs <= samples[i - 1].atMs)
            failCheck("samples out of order");
    }
    if (SampleBlock::decode(kStart, kStep, block.bytes()).samples() != samples)
        failCheck("a block that does not read back the same");
    // A sample put somewhere among them, from the first bytes.
    if (size >= 3) {
        StoredSample extra { kStart + static_cast<int64_t>(data[0]) * kStep + data[1],
            static_cast<int64_t>(data[2]) - 128, std::nullopt };
        block.put(extra);
        auto after = block.samples();
        bool found = false;
        for (const auto& sample : after)
            found = found
                || (sample.atMs == kStart + static_cast<int64_t>(data[0]) * kStep
                    && sample.milliwatts == extra.milliwatts);
        if (!found || SampleBlock::decode(kStart, kStep, block.bytes()).samples() != after)
            failCheck("a sample put that is not where it belongs");
    }
    return 0;
}
