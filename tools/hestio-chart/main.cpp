// hestio-chart: draws a day graph the way the graph screens do, into a PNG,
// and writes the week ending with that day as the screens export it, as CSV.

#include "DayGraph.h"

#include "graphs/GraphCsv.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/TimeZone.h"
#include "json/JSON.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <string>

using namespace hestio;

namespace {

const char* const usage = R"(usage: hestio-chart render --samples FILE --day YYYY-MM-DD --out FILE.png [options]
       hestio-chart render --samples FILE --day YYYY-MM-DD --csv FILE.csv [options]
       hestio-chart --version
  --plot line|bar        line with a green area (default) or hourly bars
  --samples FILE         a JSON array of sample objects
  --time-key KEY         milliseconds since 1970 (default "timestamp", "from" for bars)
  --value-key KEY        the plotted value (default "powerDraw", "energyConsumed" for bars)
  --day YYYY-MM-DD       the day shown, midnight to midnight in the zone
  --zone NAME            time zone (default UTC)
  --size WxH             in points (default 320x367)
  --scale N              pixels per point (default 2)
  --zoom LOCATION,LENGTH seconds within the day
  --select INDEX         marks that sample
  --out FILE.png         the picture of the day
  --csv FILE.csv         the seven days ending with the day, as the graph
                         screens export them: "time,value,unit", ISO 8601
                         times in the zone, empty values where data is
                         missing (more than 10 minutes, or 5 usual intervals,
                         without a sample; for bars, an hour without one)
  --unit TEXT            the CSV's unit (default "W", "kWh" for bars)
)";

int fail(const std::string& message)
{
    std::cerr << "hestio-chart: " << message << "\n";
    return 1;
}

/// A command line that cannot be read: exit status 2, as the manual page says.
int usageError(const std::string& message)
{
    fail(message);
    return 2;
}

bool parseNumber(const std::string& text, double& out)
{
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && std::isfinite(out);
}

/// What the CSV file holds, besides the samples.
struct CsvRequest {
    std::string path;
    CsvSeries series;
    std::vector<CsvSample> samples;
};

/// Writes the whole text or nothing: a partly written file is removed.
int writeCsv(const CsvRequest& csv, const platform::DateComponents& day, const platform::TimeZone& zone)
{
    platform::Calendar calendar(zone);
    CsvRange week = weekEndingWithDay(calendar.date({ day.year, day.month, day.day, 12, 0, 0, 0 }), zone);
    std::string text = graphCsv(csv.samples, csv.series, week);
    std::FILE* file = std::fopen(csv.path.c_str(), "wb");
    int error = file ? 0 : errno;
    if (file) {
        if (std::fwrite(text.data(), 1, text.size(), file) != text.size())
            error = errno ? errno : EIO;
        if (std::fclose(file) != 0 && !error)
            error = errno;
        if (error)
            std::remove(csv.path.c_str());
    }
    if (error)
        return fail("cannot write " + csv.path + ": " + std::strerror(error));
    return 0;
}

int render(std::vector<chart::DaySample> samples, chart::DayGraphOptions options, const std::string& select,
    double pixelsPerPoint, const std::string& out)
{
    if (out.empty())
        return 0;
    if (!select.empty()) {
        double index;
        if (!parseNumber(select, index) || index < 0 || index != std::floor(index) || index >= samples.size())
            return fail("--select must be the index of a sample, from 0 to " + std::to_string(samples.size()) + " - 1");
        options.selectedIndex = static_cast<std::size_t>(index);
    }
    chart::DayGraph graph(std::move(samples), options);
    auto image = graph.graph()->imageOfGraph(pixelsPerPoint);
    if (!image->writePng(out))
        return fail("cannot write " + out);
    return 0;
}

int renderTextSamples(const std::string& text, const chart::DayGraphOptions& options, const std::string& select,
    double pixelsPerPoint, const std::string& out, std::vector<CsvSample>& csvSamples)
{
    std::vector<chart::DaySample> samples;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        std::istringstream fields(line);
        std::string time, value;
        fields >> time >> value;
        double milliseconds, v = std::nan("");
        if (!parseNumber(time, milliseconds) || (!value.empty() && value != "-" && !parseNumber(value, v)))
            return fail("line " + std::to_string(number) + ": expected \"milliseconds value\"");
        samples.push_back({ std::floor(milliseconds / 1000) - options.midnight.timeIntervalSince1970(), v });
        bool hasValue = !value.empty() && value != "-";
        csvSamples.push_back({ static_cast<std::int64_t>(std::floor(milliseconds / 1000)),
            hasValue ? csvValueOf(json::Value::string(value)) : CsvValue {} });
    }
    return render(std::move(samples), options, select, pixelsPerPoint, out);
}

bool isHelp(const std::string& argument)
{
    return argument == "--help" || argument == "-h";
}

int printUsage()
{
    std::cout << usage;
    std::cout.flush();
    if (!std::cout)
        return fail("cannot write the usage to standard output");
    return 0;
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static const int days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// The samples file's text, or an error line that says why it cannot be read.
platform::Result<std::string> readSamples(const std::string& path)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    struct stat status { };
    int error = 0;
    if (!file)
        error = errno;
    else if (::fstat(::fileno(file.get()), &status) == 0 && S_ISDIR(status.st_mode))
        error = EISDIR; // a folder opens, then reads as nothing
    std::string text;
    if (!error) {
        char chunk[65536];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
            text.append(chunk, got);
        if (std::ferror(file.get()))
            error = errno ? errno : EIO;
    }
    if (error)
        return platform::Error("cannot read " + path + ": " + std::strerror(error));
    return text;
}

const char* kindName(const json::Value& value)
{
    switch (value.kind()) {
    case json::Kind::String:
        return "a string";
    case json::Kind::Integer:
    case json::Kind::Unsigned:
    case json::Kind::Double:
        return "a number";
    case json::Kind::Boolean:
        return "a boolean";
    case json::Kind::Null:
        return "null";
    case json::Kind::Array:
        return "an array";
    case json::Kind::Dictionary:
        return "an object";
    default:
        return "a value";
    }
}

/// The command line's options, as given.
struct Arguments {
    std::string plot = "line", samplesPath, timeKey, valueKey, day, zoneName = "UTC", out, csvPath, unit;
    bool unitGiven = false;
    std::string size = "320x367", scale = "2", zoom, select;
};

/// Reads the options after "render". 0, or the failure's exit status.
int parseArguments(int argc, char** argv, Arguments& args)
{
    static const std::set<std::string> known { "--plot", "--samples", "--time-key", "--value-key", "--day", "--zone",
        "--size", "--scale", "--zoom", "--select", "--out", "--csv", "--unit" };
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (!known.contains(arg))
            return usageError("unknown option " + arg + "\n" + usage);
        if (i + 1 >= argc)
            return usageError("missing value after " + arg);
        std::string value = argv[++i];
        if (arg == "--plot")
            args.plot = value;
        else if (arg == "--samples")
            args.samplesPath = value;
        else if (arg == "--time-key")
            args.timeKey = value;
        else if (arg == "--value-key")
            args.valueKey = value;
        else if (arg == "--day")
            args.day = value;
        else if (arg == "--zone")
            args.zoneName = value;
        else if (arg == "--size")
            args.size = value;
        else if (arg == "--scale")
            args.scale = value;
        else if (arg == "--zoom")
            args.zoom = value;
        else if (arg == "--select")
            args.select = value;
        else if (arg == "--out")
            args.out = value;
        else if (arg == "--csv")
            args.csvPath = value;
        else {
            args.unit = value;
            args.unitGiven = true;
        }
    }
    if (args.plot != "line" && args.plot != "bar")
        return fail("--plot must be line or bar");
    if (args.samplesPath.empty() || args.day.empty() || (args.out.empty() && args.csvPath.empty()))
        return fail(std::string("--samples, --day and --out or --csv are required\n") + usage);
    return 0;
}

/// Reads --day as a day of the calendar. 0, or the failure's exit status.
int parseDay(const std::string& day, int& year, int& month, int& dayOfMonth)
{
    char trailing;
    if (std::sscanf(day.c_str(), "%4d-%2d-%2d%c", &year, &month, &dayOfMonth, &trailing) != 3 || day.size() != 10
        || year < 1 || month < 1 || month > 12 || dayOfMonth < 1)
        return fail("--day must be YYYY-MM-DD");
    if (dayOfMonth > daysInMonth(year, month))
        return fail("--day " + day + " is not a day of the calendar: " + std::to_string(year) + "-"
            + (month < 10 ? "0" : "") + std::to_string(month) + " has " + std::to_string(daysInMonth(year, month))
            + " days");
    return 0;
}

/// Reads --size, --scale and --zoom into the options. 0, or the failure's
/// exit status.
int parseGeometry(const Arguments& args, chart::DayGraphOptions& options, double& pixelsPerPoint)
{
    const std::string& size = args.size;
    const std::string& scale = args.scale;
    const std::string& zoom = args.zoom;
    double width, height;
    auto x = size.find('x');
    if (x == std::string::npos || !parseNumber(size.substr(0, x), width) || !parseNumber(size.substr(x + 1), height)
        || width < 50 || height < 50 || width > 4000 || height > 4000)
        return fail("--size must be WxH in points, each from 50 to 4000");
    options.size = { width, height };
    if (!parseNumber(scale, pixelsPerPoint) || pixelsPerPoint <= 0 || pixelsPerPoint > 8)
        return fail("--scale must be a number above 0 and at most 8");
    if (!zoom.empty()) {
        auto comma = zoom.find(',');
        double location, length;
        if (comma == std::string::npos || !parseNumber(zoom.substr(0, comma), location)
            || !parseNumber(zoom.substr(comma + 1), length) || length <= 0)
            return fail("--zoom must be LOCATION,LENGTH in seconds with a positive length");
        options.zoom = chart::PlotRange(chart::Decimal::fromDouble(location), chart::Decimal::fromDouble(length));
    }
    return 0;
}

/// Samples given as a JSON array of records: draws them and keeps them for
/// the CSV.
int renderJsonSamples(const std::string& text, const Arguments& args, const chart::DayGraphOptions& options,
    double pixelsPerPoint, std::vector<CsvSample>& csvSamples)
{
    const std::string& samplesPath = args.samplesPath;
    const std::string& timeKey = args.timeKey;
    const std::string& valueKey = args.valueKey;
    json::Error error;
    json::Decoder decoder;
    json::Value samples = decoder.objectWithData(text, &error);
    if (!samples) {
        std::string where = error.atIndex ? " at index " + std::to_string(*error.atIndex) : "";
        if (error.lineNumber)
            where += ", line " + std::to_string(*error.lineNumber);
        return fail(samplesPath + ": " + error.description + where);
    }
    const std::string notRecords = samplesPath + ": not a JSON array of sample records (objects): ";
    if (!samples.isArray())
        return fail(notRecords + "the top level is " + kindName(samples));
    std::vector<chart::DaySample> daySamples;
    for (std::size_t i = 0; i < samples.count(); ++i) {
        const json::Value& sample = samples[i];
        if (!sample.isDictionary())
            return fail(notRecords + "element " + std::to_string(i) + " is " + kindName(sample));
        const json::Value& time = sample[timeKey];
        if (!time.isNumber())
            return fail(samplesPath + ": element " + std::to_string(i) + " has no number under \"" + timeKey + "\"");
        // Milliseconds divided by 1000 in integer arithmetic, as the screens do.
        double seconds = static_cast<double>(time.integerValue() / 1000);
        const json::Value& value = sample[valueKey];
        daySamples.push_back({ seconds - options.midnight.timeIntervalSince1970(),
            value.isNumber() ? value.doubleValue() : std::nan("") });
        csvSamples.push_back({ time.integerValue() / 1000, csvValueOf(value) });
    }
    return render(std::move(daySamples), options, args.select, pixelsPerPoint, args.out);
}

}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (isHelp(argv[i]))
            return printUsage();
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::cout << "hestio-chart " << HESTIO_VERSION << "\n";
        return std::cout.flush() ? 0 : fail("cannot write the version to standard output");
    }
    if (argc < 2 || std::string(argv[1]) != "render") {
        // Say which word was not understood, not only how it should look.
        if (argc >= 2)
            std::cerr << "hestio-chart: unknown " << (argv[1][0] == '-' ? "option " : "command ") << argv[1] << "\n";
        std::cerr << usage;
        return 2;
    }
    Arguments args;
    if (int status = parseArguments(argc, argv, args); status != 0)
        return status;
    bool bars = args.plot == "bar";
    if (args.timeKey.empty())
        args.timeKey = bars ? "from" : "timestamp";
    if (args.valueKey.empty())
        args.valueKey = bars ? "energyConsumed" : "powerDraw";
    if (!args.unitGiven)
        args.unit = bars ? "kWh" : "W";
    CsvRequest csv { args.csvPath, { args.unit, bars ? CsvGaps::EmptyHours : CsvGaps::BetweenSamples }, {} };

    chart::DayGraphOptions options;
    options.kind = bars ? chart::DayGraphOptions::Kind::Bar : chart::DayGraphOptions::Kind::Line;
    options.valueTitle = bars ? "kWh" : "Watts";
    auto zone = platform::TimeZone::named(args.zoneName);
    if (!zone)
        return fail("unknown time zone \"" + args.zoneName + "\"");
    options.zone = *zone;
    int year, month, dayOfMonth;
    if (int status = parseDay(args.day, year, month, dayOfMonth); status != 0)
        return status;
    platform::Calendar calendar(*zone);
    options.midnight = calendar.startOfDay(calendar.date({ year, month, dayOfMonth, 12, 0, 0, 0 }));
    double pixelsPerPoint;
    if (int status = parseGeometry(args, options, pixelsPerPoint); status != 0)
        return status;

    platform::Result<std::string> contents = readSamples(args.samplesPath);
    if (!contents)
        return fail(contents.error().message());
    const std::string& text = *contents;
    auto firstChar = text.find_first_not_of(" \t\r\n");
    auto finish = [&](int status) {
        if (status != 0 || csv.path.empty())
            return status;
        return writeCsv(csv, { year, month, dayOfMonth }, *zone);
    };
    if (firstChar != std::string::npos && text[firstChar] != '[' && text[firstChar] != '{') {
        // Plain text: one sample a line, "milliseconds value" ("-" or nothing: no value).
        return finish(renderTextSamples(text, options, args.select, pixelsPerPoint, args.out, csv.samples));
    }
    return finish(renderJsonSamples(text, args, options, pixelsPerPoint, csv.samples));
}
