#pragma once

#include "widgets/RefreshTableViewController.h"

#include <optional>

namespace hestio {

/// The pull-to-refresh list of a tab, with the reference time of its
/// five-minute automatic refresh.
class BaseTabViewController : public RefreshTableViewController {
public:
    /// Seconds after which an appearing list downloads again.
    static constexpr double refreshAfterSeconds = 5 * 60;

    using RefreshTableViewController::RefreshTableViewController;

    /// The stored reference time; the first reading stores the current
    /// instant.
    [[nodiscard]] platform::Date lastRefreshedDate();
    void clearLastRefreshedDate() { m_lastRefreshedDate.reset(); }
    /// More than five minutes since lastRefreshedDate().
    [[nodiscard]] bool lastRefreshIsStale();

private:
    std::optional<platform::Date> m_lastRefreshedDate;
};

}
