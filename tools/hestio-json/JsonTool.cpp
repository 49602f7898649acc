#include "JsonTool.h"

#include "platform/foundation/Result.h"
#include "json/JSON.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string_view>

namespace hestio {

namespace {

    constexpr const char* kUsage = "usage: hestio-json decode [--options N] [--mutable] FILE|-\n"
                                   "       hestio-json encode [--pretty] [--escape-slash] [--escape-non-ascii] FILE|-\n"
                                   "       hestio-json --version\n";

    platform::Result<std::string> readInput(const std::string& path, std::istream& in)
    {
        if (path == "-") {
            std::string bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char> {});
            if (in.bad())
                return platform::Error("cannot read standard input");
            return bytes;
        }
        auto cannotRead
            = [&](int error) { return platform::Error("cannot read " + path + ": " + std::strerror(error)); };
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
        if (!file)
            return cannotRead(errno);
        // A folder opens like a file and then reads as nothing: say what it is.
        struct stat status { };
        if (::fstat(::fileno(file.get()), &status) == 0 && S_ISDIR(status.st_mode))
            return cannotRead(EISDIR);
        std::string bytes;
        char chunk[65536];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
            bytes.append(chunk, got);
        if (std::ferror(file.get()))
            return cannotRead(errno ? errno : EIO);
        return bytes;
    }

    void printError(const json::Error& error, std::ostream& err)
    {
        err << "error: " << error.description << " (index " << error.atIndex.value_or(0) << ", line "
            << error.lineNumber.value_or(0) << ")\n";
    }

    std::optional<unsigned> parseOptions(const std::string& text)
    {
        if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        return static_cast<unsigned>(std::stoul(text));
    }

    bool isHelp(const std::string& argument)
    {
        return argument == "--help" || argument == "-h";
    }

    // The value, or the usage asked for, goes out whole or the run fails:
    // a full disk or a closed pipe must not pass for success.
    int writeOut(std::ostream& out, std::ostream& err, std::string_view text)
    {
        errno = 0;
        out << text;
        out.flush();
        if (out)
            return 0;
        const int error = errno;
        err << "error: cannot write output" << (error ? std::string(": ") + std::strerror(error) : std::string())
            << "\n";
        return 1;
    }

} // namespace

int runJsonTool(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err)
{
    if (!arguments.empty() && isHelp(arguments[0]))
        return writeOut(out, err, kUsage);
    if (!arguments.empty() && arguments[0] == "--version")
        return writeOut(out, err, std::string("hestio-json ") + HESTIO_VERSION + "\n");
    if (arguments.empty() || (arguments[0] != "decode" && arguments[0] != "encode")) {
        // Say which word was not understood, not only how it should look.
        if (!arguments.empty())
            err << "error: unknown " << (arguments[0].rfind("-", 0) == 0 ? "option " : "command ") << arguments[0]
                << "\n";
        err << kUsage;
        return 2;
    }
    for (std::size_t i = 1; i < arguments.size(); ++i)
        if (isHelp(arguments[i]))
            return writeOut(out, err, kUsage);
    const bool decoding = arguments[0] == "decode";
    unsigned parseOptions = json::ParseOptionStrict;
    unsigned serializeOptions = decoding ? unsigned(json::SerializeOptionPretty) : 0u;
    bool isMutable = false;
    std::optional<std::string> path;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (decoding && argument == "--options" && i + 1 < arguments.size()) {
            auto options = hestio::parseOptions(arguments[++i]);
            if (!options || *options > json::ParseOptionValidFlags) {
                err << "error: Invalid parse options.\n";
                return 2;
            }
            parseOptions = *options;
        } else if (decoding && argument == "--mutable") {
            isMutable = true;
        } else if (!decoding && argument == "--pretty") {
            serializeOptions |= json::SerializeOptionPretty;
        } else if (!decoding && argument == "--escape-slash") {
            serializeOptions |= json::SerializeOptionEscapeSlash;
        } else if (!decoding && argument == "--escape-non-ascii") {
            serializeOptions |= json::SerializeOptionEscapeNonAscii;
        } else if (!path && (argument == "-" || argument.rfind("-", 0) != 0)) {
            path = argument;
        } else {
            if (argument == "--options" && decoding)
                err << "error: --options needs a number\n";
            else if (argument.rfind("-", 0) == 0 && argument != "-")
                err << "error: unknown option " << argument << " for " << arguments[0] << "\n";
            else
                err << "error: only one FILE, not also " << argument << "\n";
            err << kUsage;
            return 2;
        }
    }
    if (!path) {
        err << kUsage;
        return 2;
    }
    platform::Result<std::string> input = readInput(*path, in);
    if (!input) {
        err << "error: " << input.error().message() << "\n";
        return 1;
    }

    json::Error error;
    json::Decoder decoder(parseOptions);
    json::Value value
        = isMutable ? decoder.mutableObjectWithData(*input, &error) : decoder.objectWithData(*input, &error);
    if (!value) {
        printError(error, err);
        return 1;
    }
    std::optional<std::string> text = json::JSONDataWithOptions(value, serializeOptions, &error);
    if (!text) {
        err << "error: " << error.description << "\n";
        return 1;
    }
    text->push_back('\n');
    return writeOut(out, err, *text);
}

} // namespace hestio
