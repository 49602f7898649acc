#pragma once

#include "Faults.h"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace hestio::faultproxy {

struct ProxyOptions {
    int listenPort { 0 };
    std::string upstreamHost { "127.0.0.1" };
    int upstreamPort { 0 };
    /// The identity shown to the client: normally the service's own, so the
    /// client's pin still matches.
    std::filesystem::path certificate;
    std::filesystem::path privateKey;
    /// Shown instead on the connections spoiled by Fault::WrongCertificate.
    std::filesystem::path otherCertificate;
    std::filesystem::path otherPrivateKey;
    Fault fault { Fault::Pass };
    std::string pattern { "." };
    unsigned count { 1 };
    unsigned every { 1 };
    double stallSeconds { 35 };
    /// How long each spoiled request waits before its fault (see
    /// DelaySchedule); empty: no wait, except that a delay waits 3 s.
    std::vector<double> delaySeconds;
    /// What the rewrite fault changes in the service's replies.
    std::vector<NumberRewrite> rewrites;
    /// Adds each request's body to its log line.
    bool logBodies { false };
    /// Begins each log line with the seconds since the proxy started
    /// ("[12.345] "), for checks of when requests arrived.
    bool logTimes { false };
    /// The fault (delay, drop or stall only) strikes connections before
    /// their TLS handshake instead of requests, matched as the text "TLS
    /// handshake": a client that only looks at the certificate, as the
    /// app's choice of service does, sends no request at all.
    bool atHandshake { false };
    std::size_t hugeBytes { 50'000'000 };
    std::size_t nestingDepth { 100'000 };
};

/// A TLS proxy on 127.0.0.1 that forwards each request to the upstream
/// service over TLS (not checking its certificate: it is our own test
/// service) and answers with one response per connection. Requests chosen by
/// the options get the fault instead. Each request is logged on standard
/// output as "fault-proxy: METHOD TARGET -> pass|FAULT".
class FaultProxy {
public:
    explicit FaultProxy(ProxyOptions options);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    /// Binds the port; the port bound, or -1 (with a message on standard
    /// error) when the port or the identities cannot be had.
    int bind();
    /// Accepts connections until stop(); each is served on its own thread.
    void run();
    void stop();

private:
    struct Tls;
    void serve(int socket);
    /// Applies the fault to a connection not yet shaken hands with, when
    /// the options say so; whether the connection goes on.
    bool spoilHandshake(int socket);
    /// Waits `seconds` unless the client hangs up first; whether it is still
    /// there.
    bool clientWaits(int socket, double seconds, bool handshakePending = false) const;
    ProxyOptions m_options;
    std::unique_ptr<Tls> m_tls;
    FaultSelector m_selector;
    DelaySchedule m_delays;
    int m_listening { -1 };
    std::atomic<bool> m_stopping { false };
};

}
