// Decode and encode throughput (MB/s, median of rounds) of the codec beside
// the peer libraries that are installed, on the standard files and on this
// app's own replies. The libraries take turns inside every round, so a busy
// machine slows them alike and the ratios stay comparable. Time is the
// process's CPU time, so other work on a shared machine does not count.
//
//   bench_json [--rounds N] [--data DIR] [--only NAME] [--what decode|encode|sizes|pages|memory]
//              [--contender NAME] [--size-rounds N] [--elements N]
//
// "sizes" decodes flat arrays and objects of 100 k, 1 M and 10 M elements
// with our decoder alone: MB/s should stay flat as the count grows (the
// decode is linear in the length of a container), with the page faults of a
// decode. "pages" measures what a fault on fresh memory costs. "memory" runs
// each library in a fresh process over a flat array of --elements integers
// (8 M) for its peak resident memory and its first decode (MemoryBench.cpp).
#include "AppCorpus.h"
#include "MemoryBench.h"

#include "json/HugePages.h"
#include "json/JSON.h"

#if HESTIO_BENCH_RAPIDJSON
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#endif
#if HESTIO_BENCH_NLOHMANN
#include <nlohmann/json.hpp>
#endif
#if HESTIO_BENCH_SIMDJSON
#include <simdjson.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <sys/resource.h>

namespace {

struct Contender {
    std::string name;
    std::function<void()> run;
};

struct Document {
    std::string name;
    std::string text;
    bool isAppReply;
};

volatile std::size_t g_sink;
// Runs per round when given (--iterations): instruction counts under
// callgrind then do not depend on how long a first run took.
int g_fixedIterations = 0;

double cpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double secondsFor(const std::function<void()>& run, int iterations)
{
    double start = cpuSeconds();
    for (int i = 0; i < iterations; ++i)
        run();
    return (cpuSeconds() - start) / iterations;
}

// Median MB/s per contender; every round runs each contender once, in turn.
std::map<std::string, double> measure(const std::vector<Contender>& contenders, std::size_t bytes, int rounds)
{
    std::map<std::string, int> iterations;
    for (const auto& c : contenders) {
        c.run(); // warm up
        double once = secondsFor(c.run, 1);
        iterations[c.name]
            = g_fixedIterations > 0 ? g_fixedIterations : std::max(1, static_cast<int>(0.02 / std::max(once, 1e-7)));
    }
    std::map<std::string, std::vector<double>> samples;
    for (int r = 0; r < rounds; ++r)
        for (const auto& c : contenders)
            samples[c.name].push_back(bytes / secondsFor(c.run, iterations[c.name]) / 1e6);
    std::map<std::string, double> medians;
    for (auto& [name, values] : samples) {
        std::sort(values.begin(), values.end());
        medians[name] = values[values.size() / 2];
    }
    return medians;
}

std::vector<Contender> decoders(const std::string& text)
{
    std::vector<Contender> list;
    list.push_back({ "hestio", [&text] {
                        json::Value value = json::objectFromJSONData(text);
                        g_sink = value.count();
                    } });
#if HESTIO_BENCH_RAPIDJSON
    list.push_back({ "rapidjson", [&text] {
                        rapidjson::Document document;
                        document.Parse(text.data(), text.size());
                        g_sink = document.IsObject() ? document.MemberCount() : document.Size();
                    } });
#endif
#if HESTIO_BENCH_SIMDJSON
    auto padded = std::make_shared<simdjson::padded_string>(text);
    auto parser = std::make_shared<simdjson::dom::parser>();
    list.push_back({ "simdjson", [padded, parser] {
                        simdjson::dom::element element;
                        g_sink = parser->parse(*padded).get(element) == simdjson::SUCCESS;
                    } });
#endif
#if HESTIO_BENCH_NLOHMANN
    list.push_back({ "nlohmann", [&text] {
                        auto value = nlohmann::json::parse(text);
                        g_sink = value.size();
                    } });
#endif
    return list;
}

std::vector<Contender> encoders(const std::string& text)
{
    std::vector<Contender> list;
    auto value = std::make_shared<json::Value>(json::objectFromJSONData(text));
    list.push_back({ "hestio", [value] { g_sink = json::JSONData(*value)->size(); } });
#if HESTIO_BENCH_RAPIDJSON
    auto document = std::make_shared<rapidjson::Document>();
    document->Parse(text.data(), text.size());
    list.push_back({ "rapidjson", [document] {
                        rapidjson::StringBuffer buffer;
                        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
                        document->Accept(writer);
                        g_sink = buffer.GetSize();
                    } });
#endif
#if HESTIO_BENCH_SIMDJSON
    auto padded = std::make_shared<simdjson::padded_string>(text);
    auto parser = std::make_shared<simdjson::dom::parser>();
    auto element = std::make_shared<simdjson::dom::element>();
    if (parser->parse(*padded).get(*element) == simdjson::SUCCESS)
        list.push_back({ "simdjson", [parser, element] { g_sink = simdjson::to_string(*element).size(); } });
#endif
#if HESTIO_BENCH_NLOHMANN
    auto parsed = std::make_shared<nlohmann::json>(nlohmann::json::parse(text));
    list.push_back({ "nlohmann", [parsed] { g_sink = parsed->dump().size(); } });
#endif
    return list;
}

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void printRow(const std::string& what, const std::string& name, const std::map<std::string, double>& mbps)
{
    std::printf("%-7s %-20s", what.c_str(), name.c_str());
    for (const char* peer : { "hestio", "rapidjson", "simdjson", "nlohmann" }) {
        auto found = mbps.find(peer);
        if (found == mbps.end())
            std::printf(" %10s", "-");
        else
            std::printf(" %10.0f", found->second);
    }
    if (!mbps.count("hestio")) {
        std::printf("\n");
        return;
    }
    double ours = mbps.at("hestio");
    for (const char* peer : { "rapidjson", "simdjson", "nlohmann" }) {
        auto found = mbps.find(peer);
        if (found == mbps.end())
            std::printf(" %9s", "-");
        else
            std::printf(" %8.2fx", ours / found->second);
    }
    std::printf("\n");
    std::fflush(stdout);
}

// Page faults of the process so far (minor and major).
long pageFaults()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// Decode MB/s of flat containers by element count, each against the 100 k
// row of its kind, and the page faults of a decode after the measured ones
// (a fault on fresh memory costs far more than the writes it lets through).
void measureSizes(int rounds)
{
    std::printf("\n%-7s %-20s %10s %12s %14s\n", "", "MB/s (median)", "hestio", "/100k row", "faults/decode");
    for (bool object : { false, true }) {
        double first = 0;
        for (std::size_t n : { std::size_t { 100'000 }, std::size_t { 1'000'000 }, std::size_t { 10'000'000 } }) {
            const std::string text = hestio::bench::flatDocument(object, n);
            auto contenders = decoders(text);
            contenders.resize(1); // ours alone: the peers are not the point here
            const double mbps = measure(contenders, text.size(), rounds).at("hestio");
            const long faultsBefore = pageFaults();
            constexpr int kFaultDecodes = 3;
            for (int i = 0; i < kFaultDecodes; ++i)
                contenders[0].run();
            const long faults = (pageFaults() - faultsBefore) / kFaultDecodes;
            if (!first)
                first = mbps;
            const std::string name = std::string(object ? "object " : "array ")
                + (n >= 1'000'000 ? std::to_string(n / 1'000'000) + "M" : std::to_string(n / 1000) + "k") + " ("
                + std::to_string(text.size() / (1024 * 1024)) + "M)";
            std::printf("%-7s %-20s %10.0f %11.2fx %14ld\n", "decode", name.c_str(), mbps, mbps / first, faults);
            std::fflush(stdout);
        }
    }
}

// CPU time per 4 KB page of touching a fresh 256 MB mapping once per page,
// of writing it all again, and of touching one advised for huge pages: what
// a decode into fresh memory pays per page beside what it pays for the data.
void measurePages()
{
    constexpr std::size_t kBytes = std::size_t { 256 } << 20;
    constexpr std::size_t kPage = 4096;
    const double pages = static_cast<double>(kBytes / kPage);
    std::printf("\n%-46s %12s\n", "CPU time per 4 KB page", "microseconds");
    // Huge pages twice: the system may have to compact memory for the
    // first ones; the second mapping gets those the first gave back.
    const char* names[]
        = { "first touch, 4 KB pages", "first touch, 2 MB pages", "first touch, 2 MB pages given back just before" };
    for (int round = 0; round < 3; ++round) {
        void* memory = json::detail::mapHugePages(kBytes);
        if (!memory)
            return;
        auto* bytes = static_cast<char*>(memory);
        if (round == 0)
            madvise(memory, kBytes, MADV_NOHUGEPAGE);
        double start = cpuSeconds();
        for (std::size_t i = 0; i < kBytes; i += kPage)
            bytes[i] = 1;
        const double first = cpuSeconds() - start;
        start = cpuSeconds();
        std::memset(bytes, 2, kBytes);
        const double again = cpuSeconds() - start;
        json::detail::unmapHugePages(memory, kBytes);
        std::printf("%-46s %12.3f\n", names[round], first * 1e6 / pages);
        if (round == 0)
            std::printf("%-46s %12.3f\n", "writing the page again", again * 1e6 / pages);
    }
}

} // namespace

namespace hestio::bench {

// A flat array of n integers, or an object of n pairs "k<i>": <i>.
std::string flatDocument(bool object, std::size_t n)
{
    std::string text;
    text.reserve(n * (object ? 20 : 9) + 2);
    text += object ? '{' : '[';
    char number[24];
    for (std::size_t i = 0; i < n; ++i) {
        if (i)
            text += ',';
        int length = std::snprintf(number, sizeof number, "%zu", i);
        if (object) {
            text += "\"k";
            text.append(number, static_cast<std::size_t>(length));
            text += "\":";
        }
        text.append(number, static_cast<std::size_t>(length));
    }
    text += object ? '}' : ']';
    return text;
}

} // namespace hestio::bench

int main(int argc, char** argv)
{
    int rounds = 15;
    int sizeRounds = 5;
    std::size_t elements = 8'000'000;
    std::string dataFolder = HESTIO_BENCH_DATA;
    // For profiling one library on one document: --only NAME keeps the
    // documents whose name contains NAME, --contender the one library.
    std::string only;
    std::string onlyWhat;
    std::string onlyContender;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--data") == 0)
            dataFolder = argv[i + 1];
        else if (std::strcmp(argv[i], "--only") == 0)
            only = argv[i + 1];
        else if (std::strcmp(argv[i], "--what") == 0)
            onlyWhat = argv[i + 1];
        else if (std::strcmp(argv[i], "--contender") == 0)
            onlyContender = argv[i + 1];
        else if (std::strcmp(argv[i], "--size-rounds") == 0)
            sizeRounds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--iterations") == 0)
            g_fixedIterations = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--elements") == 0)
            elements = static_cast<std::size_t>(std::max(1L, std::atol(argv[i + 1])));
    }
    if (onlyWhat == "memory")
        return hestio::bench::measureMemory(argv[0], elements);
    if (onlyWhat == "memory-child")
        return hestio::bench::memoryChild(onlyContender, elements);
    if (onlyWhat == "sizes") {
        measureSizes(sizeRounds);
        return 0;
    }
    if (onlyWhat == "pages") {
        measurePages();
        return 0;
    }

    std::vector<Document> documents;
    for (const char* file : { "twitter.json", "citm_catalog.json", "canada.json" }) {
        std::string text = readFile(dataFolder + "/" + file);
        if (text.empty())
            std::fprintf(stderr, "bench_json: %s/%s not found, skipped\n", dataFolder.c_str(), file);
        else
            documents.push_back({ file, std::move(text), false });
    }
    for (auto& [name, text] : hestio::bench::makeAppCorpus())
        documents.push_back({ name, std::move(text), true });

    std::printf("%-7s %-20s %10s %10s %10s %10s %9s %9s %9s\n", "", "MB/s (median)", "hestio", "rapidjson", "simdjson",
        "nlohmann", "/rapid", "/simd", "/nlohmann");
    for (const char* what : { "decode", "encode" }) {
        if (!onlyWhat.empty() && onlyWhat != what)
            continue;
        std::map<std::string, double> appSeconds;
        std::size_t appBytes = 0;
        for (const auto& document : documents) {
            if (document.name.find(only) == std::string::npos)
                continue;
            auto contenders = std::string(what) == "decode" ? decoders(document.text) : encoders(document.text);
            if (!onlyContender.empty())
                std::erase_if(contenders, [&](const Contender& c) { return c.name != onlyContender; });
            auto mbps = measure(contenders, document.text.size(), rounds);
            printRow(what, document.name + " (" + std::to_string(document.text.size() / 1024) + "K)", mbps);
            if (document.isAppReply) {
                appBytes += document.text.size();
                for (const auto& [name, rate] : mbps)
                    appSeconds[name] += document.text.size() / (rate * 1e6);
            }
        }
        if (appBytes == 0)
            continue;
        std::map<std::string, double> appRate;
        for (const auto& [name, seconds] : appSeconds)
            appRate[name] = appBytes / seconds / 1e6;
        printRow(what, "app corpus (all)", appRate);
    }
    if (onlyWhat.empty() && only.empty()) {
        measureSizes(sizeRounds);
        std::fflush(stdout);
        hestio::bench::measureMemory(argv[0], elements);
    }
    return 0;
}
