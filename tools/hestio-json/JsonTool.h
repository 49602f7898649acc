#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace hestio {

/// `hestio-json decode|encode ...`: returns the exit status; the value goes to
/// `out`, one error line to `err`.
[[nodiscard]] int runJsonTool(
    const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace hestio
