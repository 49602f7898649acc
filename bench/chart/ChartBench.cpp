// Times the drawing of one frame of the power-draw day graph (line, gradient
// area, axes, labels, grid) at 320 × 367 points, scale 2, and PNG encoding
// separately; shows the pixel difference between the drawing that reduces
// dense points per pixel column and the full drawing.
//
// usage: bench_chart SAMPLES.txt [OUT.png [REFERENCE.png]]   (lines "milliseconds value";
//        the frame is compared with the reference, e.g. one written before a change)
//        bench_chart --frames N [--line-anew] SAMPLES.txt   draws three frames to warm up,
//        then N frames in drawFrames() alone (with --line-anew the line prepared
//        and covered anew each frame, as when its data or range changes), for an
//        instruction count:
//        valgrind --tool=callgrind --toggle-collect='*drawFrames*' ...

#include "DayGraph.h"

#include "charting/ScatterPlot.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

using namespace hestio;
using Clock = std::chrono::steady_clock;

namespace {

/// Pixels that differ at all, and the largest difference of a channel (of 255).
std::pair<long, int> difference(const platform::Image& a, const platform::Image& b)
{
    long differing = 0;
    int largest = 0;
    for (int y = 0; y < a.pixelHeight(); ++y)
        for (int x = 0; x < a.pixelWidth(); ++x) {
            auto p = a.pixelAt(x, y), q = b.pixelAt(x, y);
            int d = static_cast<int>(std::lround(255
                * std::max({ std::abs(p.red - q.red), std::abs(p.green - q.green), std::abs(p.blue - q.blue),
                    std::abs(p.alpha - q.alpha) })));
            largest = std::max(largest, d);
            differing += d > 0;
        }
    return { differing, largest };
}

std::vector<chart::DaySample> readSamples(const std::string& path, double midnight)
{
    std::vector<chart::DaySample> samples;
    std::ifstream in(path);
    double ms, value;
    while (in >> ms >> value)
        samples.push_back({ std::floor(ms / 1000) - midnight, value });
    return samples;
}

struct Timing {
    double meanMs, minMs, cpuMs;
    int frames;
};

/// This thread's processor time: the figure that other work on a shared
/// machine disturbs least.
double threadCpuMs()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

template<typename Work> Timing measure(Work work)
{
    for (int i = 0; i < 3; ++i)
        work();
    std::vector<double> times;
    double cpuStart = threadCpuMs();
    auto start = Clock::now();
    while (times.size() < 20 || (Clock::now() - start < std::chrono::seconds(2) && times.size() < 2000)) {
        auto t0 = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    double cpu = (threadCpuMs() - cpuStart) / times.size();
    double sum = 0;
    for (double t : times)
        sum += t;
    return { sum / times.size(), *std::min_element(times.begin(), times.end()), cpu, static_cast<int>(times.size()) };
}

/// The frames an instruction count covers, kept out of line so that a
/// profiler can collect this function alone.
[[gnu::noinline]] void drawFrames(chart::Graph& graph, platform::Context& context, int frames)
{
    for (int i = 0; i < frames; ++i)
        graph.layoutAndRenderInContext(context);
}

}

int main(int argc, char** argv)
{
    int countedFrames = -1;
    bool lineAnew = false;
    while (argc >= 2 && argv[1][0] == '-') {
        if (argc >= 3 && std::string(argv[1]) == "--frames") {
            countedFrames = std::max(0, std::atoi(argv[2]));
            argv += 2;
            argc -= 2;
        } else if (std::string(argv[1]) == "--line-anew") {
            lineAnew = true;
            argv += 1;
            argc -= 1;
        } else {
            break;
        }
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_chart [--frames N [--line-anew]] SAMPLES.txt [OUT.png [REFERENCE.png]]\n");
        return 2;
    }
    const double midnight = 1354752000; // 2012-12-06 00:00 UTC, the samples' day
    auto samples = readSamples(argv[1], midnight);
    chart::DayGraphOptions options;
    options.midnight = platform::Date(midnight);
    chart::DayGraph day(samples, options);
    auto graph = day.graph();
    auto image = platform::Image::create(graph->bounds().size, 2);
    auto context = platform::Context::forImage(*image);
    context->flipY(graph->bounds().height());

    auto main = std::dynamic_pointer_cast<chart::ScatterPlot>(graph->plotWithIdentifier("Main Plot"));
    if (countedFrames >= 0) {
        main->preparesOnlyPointsInView = !lineAnew;
        for (int i = 0; i < 3; ++i)
            graph->layoutAndRenderInContext(*context);
        std::printf("hestio      %6zu samples  drawing %d frames\n", samples.size(), countedFrames);
        drawFrames(*graph, *context, countedFrames);
        return 0;
    }
    auto frame = [&] { graph->layoutAndRenderInContext(*context); };
    Timing drawing = measure(frame);
    Timing png = measure([&] { (void)image->pngData(); });
    std::printf("hestio      %6zu samples  draw %7.2f ms/frame (min %.2f, cpu %.2f, %d frames)  png %.2f ms\n",
        samples.size(), drawing.meanMs, drawing.minMs, drawing.cpuMs, drawing.frames, png.meanMs);
    // What a frame costs when the line cannot be kept (its data, range or
    // place changed): every record prepared and covered again.
    main->preparesOnlyPointsInView = false;
    Timing anewLine = measure(frame);
    main->preparesOnlyPointsInView = true;
    std::printf("hestio      %6zu samples  line prepared anew each frame: %.2f ms/frame (min %.2f, cpu %.2f)\n",
        samples.size(), anewLine.meanMs, anewLine.minMs, anewLine.cpuMs);

    // The same frame without the per-column reduction, and how many pixels differ.
    auto full = platform::Image::create(graph->bounds().size, 2);
    auto fullContext = platform::Context::forImage(*full);
    fullContext->flipY(graph->bounds().height());
    main->reducesPointsPerPixelColumn = false; // and so every record prepared, every frame
    Timing unreduced = measure([&] { graph->layoutAndRenderInContext(*fullContext); });
    main->reducesPointsPerPixelColumn = true;
    auto reduced = platform::Image::create(graph->bounds().size, 2);
    auto reducedContext = platform::Context::forImage(*reduced);
    reducedContext->flipY(graph->bounds().height());
    graph->layoutAndRenderInContext(*reducedContext);
    auto [differing, largest] = difference(*full, *reduced);
    long total = static_cast<long>(full->pixelWidth()) * full->pixelHeight();
    std::printf("hestio      %6zu samples  every point drawn: %.2f ms/frame (cpu %.2f); reduced vs every point: %ld of "
                "%ld pixels differ, largest channel difference %d/255\n",
        samples.size(), unreduced.meanMs, unreduced.cpuMs, differing, total, largest);

    // The timed frame (layers, the line's prepared points and coverage kept
    // from frame to frame) against the same frame drawn with nothing kept
    // and every record prepared, and against a reference picture.
    graph->setKeepsBackground(false);
    main->preparesOnlyPointsInView = false;
    auto anew = platform::Image::create(graph->bounds().size, 2);
    auto anewContext = platform::Context::forImage(*anew);
    anewContext->flipY(graph->bounds().height());
    graph->layoutAndRenderInContext(*anewContext);
    graph->setKeepsBackground(true);
    main->preparesOnlyPointsInView = true;
    auto [keptDiffering, keptLargest] = difference(*image, *anew);
    std::printf("hestio      %6zu samples  kept layers vs drawn anew: %ld of %ld pixels differ, largest channel "
                "difference %d/255\n",
        samples.size(), keptDiffering, total, keptLargest);
    if (argc > 3) {
        auto reference = platform::Image::fromPngFile(argv[3]);
        if (!reference || reference->pixelWidth() != image->pixelWidth()
            || reference->pixelHeight() != image->pixelHeight()) {
            std::fprintf(stderr, "no reference picture of the frame's size at %s\n", argv[3]);
            return 1;
        }
        auto [refDiffering, refLargest] = difference(*image, *reference);
        std::printf("hestio      %6zu samples  frame vs %s: %ld of %ld pixels differ, largest channel difference "
                    "%d/255\n",
            samples.size(), argv[3], refDiffering, total, refLargest);
    }
    if (argc > 2 && !image->writePng(argv[2])) {
        std::fprintf(stderr, "could not write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
