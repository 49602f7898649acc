#include "SignInThrottle.h"

#include <algorithm>
#include <utility>

namespace hestio::sim {

namespace {
    /// Failures kept per address: past the limits only their count matters,
    /// and it saturates at the longest wait long before this.
    constexpr size_t kMaxFailuresKept = 64;
    /// Past this many addresses, the forgotten ones are swept out.
    constexpr size_t kSweepAbove = 4096;
}

SignInThrottle::SignInThrottle(std::function<int64_t()> now, ThrottleRules rules)
    : m_now(std::move(now))
    , m_rules(rules)
{
}

void SignInThrottle::forgetOld(Record& record, int64_t nowMs) const
{
    while (!record.failures.empty() && record.failures.front().atMs <= nowMs - m_rules.windowMs)
        record.failures.pop_front();
}

SignInThrottle::Refusal SignInThrottle::check(const std::string& address)
{
    int64_t nowMs = m_now();
    std::lock_guard lock(m_mutex);
    auto found = m_records.find(address);
    if (found == m_records.end() || found->second.waitUntilMs <= nowMs)
        return {};
    Record& record = found->second;
    return Refusal { record.waitUntilMs - nowMs, !std::exchange(record.refusalLogged, true) };
}

int64_t SignInThrottle::failed(const std::string& address, const std::string& name)
{
    int64_t nowMs = m_now();
    std::lock_guard lock(m_mutex);
    if (m_records.size() > kSweepAbove)
        sweep(nowMs);
    Record& record = m_records[address];
    forgetOld(record, nowMs);
    if (record.failures.size() >= kMaxFailuresKept)
        record.failures.pop_front();
    record.failures.push_back(Failure { nowMs, name });
    long forName = std::count_if(
        record.failures.begin(), record.failures.end(), [&name](const Failure& f) { return f.name == name; });
    long beyond = std::max(
        forName - m_rules.failuresPerName, static_cast<long>(record.failures.size()) - m_rules.failuresPerAddress);
    if (beyond < 0)
        return 0;
    int64_t wait = m_rules.firstWaitMs;
    for (long i = 0; i < beyond && wait < m_rules.longestWaitMs; ++i)
        wait *= 2;
    wait = std::min(wait, m_rules.longestWaitMs);
    record.waitUntilMs = std::max(record.waitUntilMs, nowMs + wait);
    record.refusalLogged = false;
    return wait;
}

void SignInThrottle::succeeded(const std::string& address, const std::string& name)
{
    std::lock_guard lock(m_mutex);
    auto found = m_records.find(address);
    if (found == m_records.end())
        return;
    auto& failures = found->second.failures;
    failures.erase(
        std::remove_if(failures.begin(), failures.end(), [&name](const Failure& f) { return f.name == name; }),
        failures.end());
    if (failures.empty() && found->second.waitUntilMs <= m_now())
        m_records.erase(found);
}

void SignInThrottle::sweep(int64_t nowMs)
{
    for (auto it = m_records.begin(); it != m_records.end();) {
        forgetOld(it->second, nowMs);
        if (it->second.failures.empty() && it->second.waitUntilMs <= nowMs)
            it = m_records.erase(it);
        else
            ++it;
    }
}

size_t SignInThrottle::addressesKept() const
{
    std::lock_guard lock(m_mutex);
    return m_records.size();
}

}
