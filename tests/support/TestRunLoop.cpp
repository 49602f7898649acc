#include "support/TestRunLoop.h"

namespace hestio::test {

TestRunLoop::TestRunLoop(platform::Date start)
    : m_clock(start)
{
}

}
