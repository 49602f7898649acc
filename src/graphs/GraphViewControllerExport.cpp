// The graph screens' export: the button in the band below the graph and
// what a tap on it sets going.

#include "graphs/GraphViewController.h"

#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"

#include <algorithm>

namespace hestio {

void GraphViewController::addExportButton(platform::View& view)
{
    m_exportButton = platform::Button::create(platform::Button::Type::RoundedRect, exportButtonFrame);
    m_exportButton->setTitle("Export");
    // The band is narrow: the title's usual 15 points would touch the edges.
    m_exportButton->titleLabel().setFont(platform::Font::boldSystemFont(12));
    m_exportButton->setAccessibilityIdentifier("exportButton");
    std::weak_ptr<GraphViewController> weakSelf = sharedGraphController();
    m_exportButton->addTarget(platform::ControlEventTouchUpInside, [weakSelf](platform::Control&) {
        if (auto self = weakSelf.lock())
            self->exportShownGraph();
    });
    view.addSubview(m_exportButton);

    m_exportSpinner = platform::ActivityIndicatorView::create(platform::ActivityIndicatorView::Style::White);
    m_exportSpinner->setAccessibilityIdentifier("exportSpinner");
    m_exportSpinner->setCenter({ exportButtonFrame.x() + exportButtonFrame.width() / 2,
        exportButtonFrame.y() + exportButtonFrame.height() / 2 });
    view.addSubview(m_exportSpinner);
}

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
    if (m_export || !m_graph || !m_hostingView)
        return;
    GraphExport::Job job { exportKind(), shownWeek(), replyKey(), shownDayMiddle(), shownGraphPng(),
        m_documentsLookup.value_or(platform::DocumentsLookup::forCurrentProfile()) };
    m_exportButton->setHidden(true);
    m_exportSpinner->startAnimating();

    std::weak_ptr<GraphViewController> weakSelf = sharedGraphController();
    m_export = GraphExport::create(std::move(job), [weakSelf](const GraphExport::Outcome& outcome) {
        // Said also when the screen was closed meanwhile: the files are there.
        GraphExport::alertFor(outcome)->show();
        if (auto self = weakSelf.lock())
            self->exportFinished(outcome);
    });
    // The export may finish within start() (nothing to ask for), which
    // clears m_export: keep it alive through the call.
    auto running = m_export;
    running->start([weakSelf](platform::Date end, std::shared_ptr<WebServiceConnectorDelegate> replyTo) {
        auto self = weakSelf.lock();
        return self ? self->requestWeekEndingAt(end, std::move(replyTo)) : end;
    });
}

void GraphViewController::exportFinished(const GraphExport::Outcome&)
{
    m_export.reset();
    m_exportSpinner->stopAnimating();
    m_exportButton->setHidden(false);
}

}
