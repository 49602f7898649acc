#pragma once

#include <string>
#include <utility>
#include <vector>

namespace hestio::bench {

/// Replies of the kind this app receives, written by the codec's own
/// serializer as the embedded service writes them: a week of one-minute
/// power-draw statuses, a device list of 60 devices with actions and
/// suggestions, and a week of one-minute battery statuses. Deterministic.
std::vector<std::pair<std::string, std::string>> makeAppCorpus();

} // namespace hestio::bench
