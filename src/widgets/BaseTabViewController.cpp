#include "widgets/BaseTabViewController.h"

#include "platform/foundation/RunLoop.h"

namespace hestio {

platform::Date BaseTabViewController::lastRefreshedDate()
{
    if (!m_lastRefreshedDate) {
        m_lastRefreshedDate = platform::RunLoop::current().clock().now();
        updateTimeStampLabel();
    }
    return *m_lastRefreshedDate;
}

bool BaseTabViewController::lastRefreshIsStale()
{
    platform::Date reference = lastRefreshedDate();
    double elapsed = platform::RunLoop::current().clock().now().timeIntervalSince(reference);
    return elapsed / 60 > 5;
}

}
