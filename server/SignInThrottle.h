#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace hestio::sim {

/// When sign-ins from one address are refused unchecked after failures.
struct ThrottleRules {
    /// Failures for one name from one address, and for any names, within the
    /// window, at which the address starts waiting.
    int failuresPerName { 5 };
    int failuresPerAddress { 20 };
    int64_t windowMs { 15 * 60'000 };
    /// The first wait; each further failure doubles it, up to the longest.
    int64_t firstWaitMs { 1'000 };
    int64_t longestWaitMs { 15 * 60'000 };
};

/// Slows password guessing down per client address, on the service's clock.
/// A failure in the window counts while it is younger than the window: one
/// exactly 15 minutes old no longer does. Once an address reaches a limit,
/// its sign-ins are refused for firstWaitMs from its last failure, doubled
/// for each failure beyond the limit; a wait, once begun, runs its time.
/// A success forgets that name's failures at that address. Other addresses
/// are never affected. Safe to call from several threads.
class SignInThrottle {
public:
    SignInThrottle(std::function<int64_t()> now, ThrottleRules rules = {});

    struct Refusal {
        /// Milliseconds the address still waits; 0 when it may try now.
        int64_t waitMs { 0 };
        /// True for the first refusal of a wait (worth a log line).
        bool first { false };
    };
    /// Whether a sign-in from `address` is refused before its password is looked at.
    [[nodiscard]] Refusal check(const std::string& address);

    /// Records a failed sign-in; returns the wait it starts (0 for none).
    int64_t failed(const std::string& address, const std::string& name);
    void succeeded(const std::string& address, const std::string& name);

    /// Addresses with something remembered (for tests of the memory bound).
    [[nodiscard]] size_t addressesKept() const;

private:
    struct Failure {
        int64_t atMs;
        std::string name;
    };
    struct Record {
        std::deque<Failure> failures;
        int64_t waitUntilMs { 0 };
        bool refusalLogged { false };
    };
    void forgetOld(Record& record, int64_t nowMs) const;
    void sweep(int64_t nowMs);

    std::function<int64_t()> m_now;
    ThrottleRules m_rules;
    mutable std::mutex m_mutex;
    std::map<std::string, Record> m_records;
};

}
