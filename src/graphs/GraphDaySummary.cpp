// The summary line under every graph and the marks of the shown day: the
// parts of GraphViewController that say what a day shows and what it lacks.

#include "graphs/DayMarks.h"
#include "graphs/GraphSummary.h"
#include "graphs/GraphViewController.h"
#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Font.h"

#include <algorithm>

namespace hestio {

namespace {

    /// Whether week `index`, asked for over `covered`, holds `day`. Weeks
    /// start at a midnight, so a day lies in one of them; the newest ends
    /// when it was asked for, and a screen loaded at midnight holds no time
    /// of today yet.
    bool weekHolds(unsigned index, const TimeSpan& covered, const TimeSpan& day)
    {
        return covered.start <= day.start && (day.start < covered.end || (index == 0 && day.start == covered.end));
    }

}

void GraphViewController::makeSummaryLabel(platform::View& view)
{
    // The band's left part, two lines above the selected sample's readout;
    // its right end is left free for the band's buttons.
    platform::Rect button = GraphExportButton::frameForText();
    double band = GraphExportButton::bandHeightForText();
    m_summaryLabel = platform::Label::create({ 10, button.maxY() - band, button.x() - 12, band });
    m_summaryLabel->setAccessibilityIdentifier("summaryLabel");
    m_summaryLabel->setTextColor(platform::Color::rgb(0.82, 0.84, 0.88));
    m_summaryLabel->setFont(summaryFont());
    m_summaryLabel->setBackgroundColor(platform::Color::clear());
    // Larger text wraps each of the two lines: the band is taller for it.
    m_summaryLabel->setNumberOfLines(platform::textScale() > 1 ? 0 : 2);
    view.addSubview(m_summaryLabel);
}

TimeSpan GraphViewController::shownDay() const
{
    return summary::calendarDay(m_refDate.addingTimeInterval(m_daysMoved * oneDay + oneDay / 2), m_timezone);
}

double GraphViewController::sampleTime(const DataPoint& sample) const
{
    return sample.refDate().timeIntervalSince1970() + sample.timeInterval();
}

std::optional<double> GraphViewController::knownUntil(const TimeSpan& day) const
{
    for (unsigned week : m_blockWeeks) {
        TimeSpan span = heldSpan(week);
        if (span.end > span.start && weekHolds(week, span, day))
            return std::min(day.end, span.end);
    }
    return std::nullopt;
}

GraphViewController::DaySamples GraphViewController::samplesOf(const TimeSpan& day, double knownUntil) const
{
    DaySamples found { day, knownUntil, {}, nullptr };
    double latestBefore = -INFINITY;
    if (m_plotData) {
        for (const auto& block : *m_plotData) {
            for (const DataPoint& sample : block) {
                double t = sampleTime(sample);
                if (t >= day.start && t < day.end && t <= knownUntil)
                    found.samples.push_back(&sample);
                else if (t < day.start && t >= latestBefore) {
                    latestBefore = t;
                    found.before = &sample;
                }
            }
        }
    }
    std::stable_sort(found.samples.begin(), found.samples.end(),
        [this](const DataPoint* a, const DataPoint* b) { return sampleTime(*a) < sampleTime(*b); });
    return found;
}

void GraphViewController::updateSummary()
{
    if (!m_summaryLabel || !m_dayMarks)
        return;
    TimeSpan day = shownDay();
    platform::Date now = platform::RunLoop::current().clock().now();
    std::string name = summary::dayName(platform::Date(day.start), now, m_timezone);
    // The marks change with the day and the data: the graph is drawn again.
    if (m_hostingView)
        m_hostingView->setNeedsDisplay();
    auto known = knownUntil(day);
    if (!known) {
        // Not held: on its way, or refused or lost (then asked for again on
        // a later move back, or never).
        const auto& inFlight = m_loader.weeksInFlight();
        bool coming = std::any_of(inFlight.begin(), inFlight.end(), [&](unsigned week) {
            auto span = m_loader.spans().find(week);
            return span != m_loader.spans().end() && weekHolds(week, span->second, day);
        });
        m_dayMarks->clear();
        m_summaryLabel->setText(summary::line(name, coming ? summary::loading : summary::notLoaded, ""));
        return;
    }
    DayReport report = reportDay(samplesOf(day, *known));
    m_dayMarks->setMarks(report.missingMarks, report.resets, m_refDate);
    m_summaryLabel->setText(summary::line(name, report.figures.empty() ? summary::noData : report.figures,
        summary::missingLine(report.missingSeconds, report.resets, m_timezone)));
}

}
