// The memory a decoded document takes and what its first decode in a fresh
// process costs: peak resident memory (the input text included, the same
// for every library), and the user and system CPU time of the first decode,
// where the kernel hands out every page the decode touches for the first
// time. Each library runs in a process of its own so that none inherits
// memory another one left.
#include "MemoryBench.h"

#include "json/JSON.h"

#if HESTIO_BENCH_RAPIDJSON
#include <rapidjson/document.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace hestio::bench {

namespace {

    struct Times {
        double user;
        double system;
    };

    Times processTimes()
    {
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
        return { seconds(usage.ru_utime), seconds(usage.ru_stime) };
    }

    double peakMegabytes()
    {
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        return static_cast<double>(usage.ru_maxrss) / 1024.0;
    }

    // Resident memory now, from the kernel's account of the process.
    double residentMegabytes()
    {
        std::ifstream statm("/proc/self/statm");
        long pages = 0;
        long resident = 0;
        statm >> pages >> resident;
        return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
    }

    volatile std::size_t g_memorySink;

    // One decode with its release; what `decodeOnce` holds until `release`.
    struct Decoding {
        virtual ~Decoding() = default;
        virtual bool decode(const std::string& text) = 0;
        virtual void release() = 0;
    };

    struct OurDecoding : Decoding {
        json::Value value;
        bool decode(const std::string& text) override
        {
            value = json::objectFromJSONData(text);
            g_memorySink = value.count();
            return value.isArray();
        }
        void release() override { value = json::Value(); }
    };

#if HESTIO_BENCH_RAPIDJSON
    struct RapidDecoding : Decoding {
        std::unique_ptr<rapidjson::Document> document;
        bool decode(const std::string& text) override
        {
            document = std::make_unique<rapidjson::Document>();
            document->Parse(text.data(), text.size());
            g_memorySink = document->IsArray() ? document->Size() : 0;
            return document->IsArray();
        }
        void release() override { document.reset(); }
    };
#endif

} // namespace

int memoryChild(const std::string& contender, std::size_t elements)
{
    std::unique_ptr<Decoding> decoding;
    if (contender == "hestio")
        decoding = std::make_unique<OurDecoding>();
#if HESTIO_BENCH_RAPIDJSON
    if (contender == "rapidjson")
        decoding = std::make_unique<RapidDecoding>();
#endif
    if (!decoding)
        return 2;
    const std::string text = flatDocument(false, elements);
    const double before = peakMegabytes();
    const Times start = processTimes();
    if (!decoding->decode(text))
        return 1;
    const Times first = processTimes();
    const double peak = peakMegabytes();
    // Nothing is held now: the memory kept for the next decode goes back
    // by itself once decoding has been quiet for a second.
    decoding->release();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const double afterRelease = residentMegabytes();
    // Decodes into memory the process has used before: the warm rate.
    constexpr int kWarmDecodes = 3;
    double warm = 1e9;
    for (int i = 0; i < kWarmDecodes; ++i) {
        const Times t0 = processTimes();
        decoding->decode(text);
        const Times t1 = processTimes();
        decoding->release();
        warm = std::min(warm, t1.user + t1.system - t0.user - t0.system);
    }
    const double firstSeconds = first.user + first.system - start.user - start.system;
    const double megabytes = static_cast<double>(text.size()) / 1e6;
    std::printf("%-10s %10.1f %10.1f %10.1f %9.3f %9.3f %9.0f %9.0f %9.2f\n", contender.c_str(), peak, peak - before,
        afterRelease, first.user - start.user, first.system - start.system, megabytes / firstSeconds, megabytes / warm,
        warm / firstSeconds);
    return 0;
}

int measureMemory(const char* self, std::size_t elements)
{
    std::printf("\nFlat array of %zu integers, each library in a fresh process (MB: peak resident, the input text "
                "included; less the text; resident 1.5 s after the release)\n",
        elements);
    std::printf("%-10s %10s %10s %10s %9s %9s %9s %9s %9s\n", "", "peak MB", "- text", "idle MB", "1st user", "1st sys",
        "1st MB/s", "warm MB/s", "1st/warm");
    std::fflush(stdout);
    std::vector<std::string> contenders = { "hestio" };
#if HESTIO_BENCH_RAPIDJSON
    contenders.push_back("rapidjson");
#endif
    const std::string count = std::to_string(elements);
    for (const std::string& contender : contenders) {
        const pid_t child = fork();
        if (child == 0) {
            execl(self, self, "--what", "memory-child", "--contender", contender.c_str(), "--elements", count.c_str(),
                static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            std::fprintf(stderr, "bench_json: the %s process failed\n", contender.c_str());
    }
    return 0;
}

} // namespace hestio::bench
