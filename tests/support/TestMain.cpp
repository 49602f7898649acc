#include <gmock/gmock.h>

#include <cstdlib>

// The one main() of every test program. The zone and locale are fixed here
// too, so that a test program run by hand behaves as it does under CTest.
int main(int argc, char** argv)
{
    setenv("TZ", "UTC", 0);
    setenv("LC_ALL", "C.UTF-8", 0);
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
