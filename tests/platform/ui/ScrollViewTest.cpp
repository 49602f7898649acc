#include "UiTestSupport.h"

#include "platform/ui/ScrollView.h"

#include <gtest/gtest.h>

using namespace hestio::platform;
using hestio::test::UiFixture;

namespace {

class Recorder : public ScrollViewDelegate {
public:
    std::vector<std::string> calls;
    std::vector<double> offsets;
    std::function<void(ScrollView&)> onEndDragging;
    void scrollViewWillBeginDragging(ScrollView& s) override { calls.push_back("begin " + y(s)); }
    void scrollViewDidScroll(ScrollView& s) override { offsets.push_back(s.contentOffset().y); }
    void scrollViewDidEndDragging(ScrollView& s, bool decelerate) override
    {
        calls.push_back("end " + y(s) + (decelerate ? " decelerating" : ""));
        if (onEndDragging)
            onEndDragging(s);
    }
    void scrollViewDidEndDecelerating(ScrollView& s) override { calls.push_back("settled " + y(s)); }
    static std::string y(ScrollView& s) { return std::to_string(static_cast<int>(s.contentOffset().y)); }
};

struct ScrollFixture : UiFixture {
    Recorder recorder;
    std::shared_ptr<ScrollView> scroll { ScrollView::create({ 0, 20, 320, 400 }) };
    ScrollFixture()
    {
        scroll->setContentSize({ 320, 1000 });
        scroll->setDelegate(&recorder);
        window->addSubview(scroll);
    }
};

}

TEST(ScrollView, DraggingReportsEveryOffsetAndFollowsTheFinger)
{
    ScrollFixture f;
    f.fingers.drag({ 160, 300 }, { 160, 200 }, 5, 0.25);
    EXPECT_EQ(f.scroll->contentOffset().y, 100);
    EXPECT_EQ(f.recorder.calls, (std::vector<std::string> { "begin 0", "end 100" }));
    ASSERT_FALSE(f.recorder.offsets.empty());
    EXPECT_EQ(f.recorder.offsets.back(), 100);
    EXPECT_TRUE(std::is_sorted(f.recorder.offsets.begin(), f.recorder.offsets.end()));
    EXPECT_FALSE(f.scroll->isDragging());
}

TEST(ScrollView, APullPastTheTopReachesMinusSixtyAndSpringsBack)
{
    ScrollFixture f;
    f.fingers.drag({ 160, 100 }, { 160, 160 }, 6, 0.3, false);
    EXPECT_EQ(f.scroll->contentOffset().y, -60);
    EXPECT_TRUE(f.scroll->isDragging());
    f.fingers.touchUp({ 160, 160 });
    EXPECT_EQ(f.recorder.calls.back(), "end -60 decelerating");
    EXPECT_EQ(f.scroll->contentOffset().y, 0) << "the model is at rest at once";
    f.settle();
    EXPECT_EQ(f.recorder.calls.back(), "settled 0");
}

TEST(ScrollView, SpringingBackHonoursAnInsetSetWhenTheDragEnds)
{
    ScrollFixture f;
    f.recorder.onEndDragging = [](ScrollView& s) {
        if (s.contentOffset().y <= -52)
            Animator::animate(0.3, [&] { s.setContentInset({ 52, 0, 0, 0 }); });
    };
    f.fingers.drag({ 160, 100 }, { 160, 160 }, 6, 0.3);
    EXPECT_EQ(f.scroll->contentInset().top, 52);
    EXPECT_EQ(f.scroll->contentOffset().y, -52);
    EXPECT_EQ(f.scroll->minimumContentOffset().y, -52);
}

TEST(ScrollView, WithoutBouncingTheOffsetStaysWithinTheContent)
{
    ScrollFixture f;
    f.scroll->setBounces(false);
    f.fingers.drag({ 160, 100 }, { 160, 200 }, 5, 0.2);
    EXPECT_EQ(f.scroll->contentOffset().y, 0);
    f.fingers.drag({ 160, 400 }, { 160, 20 }, 5, 0.2);
    f.fingers.drag({ 160, 400 }, { 160, 20 }, 5, 0.2);
    EXPECT_EQ(f.scroll->contentOffset().y, 600) << "1000 of content in 400 of view";
}

TEST(ScrollView, SmallMovementsAreTapsNotDrags)
{
    ScrollFixture f;
    f.fingers.drag({ 160, 100 }, { 160, 106 }, 3, 0.1);
    EXPECT_TRUE(f.recorder.calls.empty());
    EXPECT_EQ(f.scroll->contentOffset().y, 0);
}
