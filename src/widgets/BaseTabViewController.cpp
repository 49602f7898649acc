#include "widgets/BaseTabViewController.h"

#include "platform/foundation/RunLoop.h"

namespace hestio {

platform::Date BaseTabViewController::lastRefreshedDate()
{
    // Only the clock of the automatic refresh starts here; "Last updated"
    // is written when a download has been shown, not before one succeeded.
    if (!m_lastRefreshedDate)
        m_lastRefreshedDate = platform::RunLoop::current().clock().now();
    return *m_lastRefreshedDate;
}

bool BaseTabViewController::lastRefreshIsStale()
{
    platform::Date reference = lastRefreshedDate();
    double elapsed = platform::RunLoop::current().clock().now().timeIntervalSince(reference);
    return elapsed / 60 > 5;
}

}
