#include "JsonTool.h"

#include "json/JSON.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

namespace hestio {

namespace {

    constexpr const char* kUsage
        = "usage: hestio-json decode [--options N] [--mutable] FILE|-\n"
          "       hestio-json encode [--pretty] [--escape-slash] [--escape-non-ascii] FILE|-\n";

    std::optional<std::string> readInput(const std::string& path, std::istream& in, std::ostream& err)
    {
        if (path == "-")
            return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            err << "error: cannot read " << path << ": " << std::strerror(errno) << "\n";
            return std::nullopt;
        }
        std::ostringstream bytes;
        bytes << file.rdbuf();
        if (file.bad()) {
            err << "error: cannot read " << path << "\n";
            return std::nullopt;
        }
        return bytes.str();
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

} // namespace

int runJsonTool(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err)
{
    if (arguments.empty() || (arguments[0] != "decode" && arguments[0] != "encode")) {
        err << kUsage;
        return 2;
    }
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
            err << kUsage;
            return 2;
        }
    }
    if (!path) {
        err << kUsage;
        return 2;
    }
    std::optional<std::string> input = readInput(*path, in, err);
    if (!input)
        return 1;

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
    out << *text << "\n";
    return 0;
}

} // namespace hestio
