// hestio-fault-proxy: a TLS proxy for end-to-end tests that forwards to
// hestio-hub and spoils chosen requests the way a broken network or service
// would.

#include "FaultProxy.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

using namespace hestio::faultproxy;

namespace {

const char* usage = R"(Usage: hestio-fault-proxy --upstream HOST:PORT --certificate PEM --key PEM [options]

Listens on 127.0.0.1 and forwards every request to the service at HOST:PORT
(over TLS). The fault applies to the requests whose text "METHOD TARGET BODY"
matches --match, the first --count of them; every other request passes.

  --listen PORT              port to listen on (default 0: any free one)
  --fault MODE               pass, invalid-json, truncated, html-error, empty,
                             stall, drop, huge, nested, wrong-certificate,
                             delay (forwards after a wait, see below),
                             rewrite (forwards, and changes numbers in the
                             reply as --rewrite says)
  --match REGEX              which requests (default: every one)
  --count N                  how many matching requests (default 1; 0: all);
                             for wrong-certificate, how many connections
  --every N                  of the matching requests, spoil the 1st, the
                             (N+1)th, the (2N+1)th… (default 1: each)
  --stall-seconds S          how long a stall lasts (default 35)
  --delay-seconds S[,S...]   how long each spoiled request waits before its
                             fault (a delay: before it is forwarded); the nth
                             waits the nth value, the list repeating, so
                             "5,2" answers the second before the first
                             (default: no wait; 3 for delay). A request whose
                             client hangs up meanwhile is not forwarded.
  --rewrite KEY=TEXT         for rewrite: the number value of every member
                             KEY of the reply, at any depth, is replaced by
                             TEXT as written ("powerDraw=1e12"; "1e999" is
                             past any double); may be given again for other
                             keys. Logs how many values each reply had.
  --log-bodies 1             show each request's body on its line
  --log-times 1              begin each line with the seconds since the
                             start, as "[12.345] "
  --at-handshake 1           delay, drop and stall strike connections before
                             their TLS handshake instead of requests, matched
                             as the text "TLS handshake" (a certificate probe
                             sends no request)
  --huge-bytes N             size of a huge reply (default 50000000)
  --nesting N                depth of nested JSON (default 100000)
  --other-certificate PEM, --other-key PEM
                             the identity shown by wrong-certificate

Prints "hestio-fault-proxy listening on https://127.0.0.1:PORT" once ready
and one line per request.
)";

bool parse(const std::vector<std::string>& arguments, ProxyOptions& options, std::string& error)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (i + 1 >= arguments.size()) {
            error = name + " needs a value";
            return false;
        }
        const std::string& value = arguments[++i];
        try {
            if (name == "--listen") {
                options.listenPort = std::stoi(value);
            } else if (name == "--upstream") {
                auto colon = value.rfind(':');
                if (colon == std::string::npos) {
                    error = "--upstream wants HOST:PORT";
                    return false;
                }
                options.upstreamHost = value.substr(0, colon);
                options.upstreamPort = std::stoi(value.substr(colon + 1));
            } else if (name == "--certificate") {
                options.certificate = value;
            } else if (name == "--key") {
                options.privateKey = value;
            } else if (name == "--other-certificate") {
                options.otherCertificate = value;
            } else if (name == "--other-key") {
                options.otherPrivateKey = value;
            } else if (name == "--fault") {
                auto fault = faultNamed(value);
                if (!fault) {
                    error = "unknown fault " + value;
                    return false;
                }
                options.fault = *fault;
            } else if (name == "--match") {
                options.pattern = value;
            } else if (name == "--count") {
                options.count = static_cast<unsigned>(std::stoul(value));
            } else if (name == "--every") {
                options.every = static_cast<unsigned>(std::stoul(value));
            } else if (name == "--stall-seconds") {
                options.stallSeconds = std::stod(value);
            } else if (name == "--delay-seconds") {
                auto delays = DelaySchedule::parse(value);
                if (!delays) {
                    error = "--delay-seconds wants S[,S...]: " + value;
                    return false;
                }
                options.delaySeconds = std::move(*delays);
            } else if (name == "--rewrite") {
                auto rewrite = NumberRewrite::parse(value);
                if (!rewrite) {
                    error = "--rewrite wants KEY=TEXT: " + value;
                    return false;
                }
                options.rewrites.push_back(std::move(*rewrite));
            } else if (name == "--log-bodies") {
                options.logBodies = value == "1";
            } else if (name == "--log-times") {
                options.logTimes = value == "1";
            } else if (name == "--at-handshake") {
                options.atHandshake = value == "1";
            } else if (name == "--huge-bytes") {
                options.hugeBytes = std::stoull(value);
            } else if (name == "--nesting") {
                options.nestingDepth = std::stoull(value);
            } else {
                error = "unknown option " + name;
                return false;
            }
        } catch (const std::exception&) {
            error = "bad value for " + name + ": " + value;
            return false;
        }
    }
    if (options.upstreamPort <= 0 || options.certificate.empty() || options.privateKey.empty()) {
        error = "--upstream, --certificate and --key are needed";
        return false;
    }
    if (options.fault == Fault::Rewrite && options.rewrites.empty()) {
        error = "the rewrite fault needs --rewrite KEY=TEXT";
        return false;
    }
    if (options.atHandshake && options.fault != Fault::Delay && options.fault != Fault::Drop
        && options.fault != Fault::Stall) {
        error = "--at-handshake works with delay, drop and stall";
        return false;
    }
    return true;
}

}

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::cout << usage;
        return 0;
    }
    ProxyOptions options;
    std::string error;
    if (!parse(arguments, options, error)) {
        std::cerr << "hestio-fault-proxy: " << error << "\n" << usage;
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    try {
        FaultProxy proxy(options);
        int port = proxy.bind();
        if (port < 0)
            return 1;
        std::cout << "hestio-fault-proxy listening on https://127.0.0.1:" << port << std::endl;
        proxy.run();
    } catch (const std::regex_error&) {
        std::cerr << "hestio-fault-proxy: --match is not a regular expression" << std::endl;
        return 2;
    }
    return 0;
}
