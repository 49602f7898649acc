// What the graph screens export: the shown week and the picture of the
// shown day, handed to their GraphExportButton.

#include "graphs/GraphViewController.h"

#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"

#include <algorithm>

namespace hestio {

GraphExportKind GraphViewController::exportKind() const
{
    return { "graph", { "", CsvGaps::BetweenSamples }, valueKey() };
}

platform::Date GraphViewController::shownDayMiddle() const
{
    return m_refDate.addingTimeInterval(m_daysMoved * oneDay + oneDay / 2);
}

CsvRange GraphViewController::shownWeek() const
{
    CsvRange week = weekEndingWithDay(shownDayMiddle(), m_timezone);
    week.end = std::min(week.end, platform::RunLoop::current().clock().now());
    return week;
}

std::string GraphViewController::shownGraphPng() const
{
    if (!m_hostingView)
        return {};
    platform::Rect frame = m_hostingView->frame();
    auto image = platform::Image::create(frame.size, 2.0);
    auto context = platform::Context::forImage(*image);
    // The screen's black shows through the hosting view's clear background.
    context->fillRect({ 0, 0, frame.width(), frame.height() }, platform::Color::black());
    context->translate(-frame.x(), -frame.y());
    m_hostingView->drawHierarchy(*context);
    // Drawing here marked the view as drawn; the screen has yet to draw it.
    m_hostingView->setNeedsDisplay();
    return image->pngData();
}

void GraphViewController::exportShownGraph()
{
    if (m_export->isExporting() || !m_graph || !m_hostingView)
        return;
    GraphExport::Job job { exportKind(), shownWeek(), replyKey(), shownDayMiddle(), shownGraphPng(),
        m_documentsLookup.value_or(platform::DocumentsLookup::forCurrentProfile()) };
    std::weak_ptr<GraphViewController> weakSelf = sharedGraphController();
    m_export->start(
        std::move(job), [weakSelf](platform::Date end, std::shared_ptr<WebServiceConnectorDelegate> replyTo) {
            auto self = weakSelf.lock();
            return self ? self->requestWeekEndingAt(end, std::move(replyTo)) : end;
        });
}

}
