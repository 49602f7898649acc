#include "graphs/GraphExportButton.h"

#include "platform/gfx/Font.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/LargerText.h"

#include <algorithm>

namespace hestio {

std::shared_ptr<GraphExportButton> GraphExportButton::create()
{
    return std::shared_ptr<GraphExportButton>(new GraphExportButton());
}

namespace {
    // The band is narrow: the title's usual 15 points would touch the edges.
    platform::Font titleFont()
    {
        return platform::Font::boldSystemFont(12);
    }
}

platform::Rect GraphExportButton::frameForText()
{
    double height = platform::heightForText(frame.height());
    // The title and the padding it has at scale 1.
    double width = std::max(frame.width(), platform::widthForText("Export", titleFont(), 0) + 12);
    if (platform::textScale() <= 1)
        width = frame.width();
    return { frame.maxX() - width, frame.maxY() - height, width, height };
}

double GraphExportButton::bandHeightForText()
{
    double line = platform::heightForText(frame.height());
    return platform::textScale() > 1 ? 2 * line : line;
}

void GraphExportButton::addTo(platform::View& view, std::function<void()> tapped)
{
    platform::Rect place = frameForText();
    m_button = platform::Button::create(platform::Button::Type::RoundedRect, place);
    m_button->setTitle("Export");
    m_button->titleLabel().setFont(titleFont());
    m_button->setAccessibilityIdentifier("exportButton");
    m_button->addTarget(
        platform::ControlEventTouchUpInside, [tapped = std::move(tapped)](platform::Control&) { tapped(); });
    view.addSubview(m_button);

    m_spinner = platform::ActivityIndicatorView::create(platform::ActivityIndicatorView::Style::White);
    m_spinner->setAccessibilityIdentifier("exportSpinner");
    m_spinner->setCenter({ place.x() + place.width() / 2, place.y() + place.height() / 2 });
    view.addSubview(m_spinner);
}

void GraphExportButton::start(GraphExport::Job job, const GraphExport::WeekRequest& request)
{
    if (m_export)
        return;
    if (m_button)
        m_button->setHidden(true);
    if (m_spinner)
        m_spinner->startAnimating();

    std::weak_ptr<GraphExportButton> weakSelf = shared_from_this();
    m_export = GraphExport::create(std::move(job), [weakSelf](const GraphExport::Outcome& outcome) {
        // Said also when the screen was closed meanwhile: the files are there.
        GraphExport::alertFor(outcome)->show();
        if (auto self = weakSelf.lock())
            self->finished();
    });
    // The export may finish within start() (nothing to ask for), which
    // clears m_export: keep it alive through the call.
    auto running = m_export;
    running->start(request);
}

void GraphExportButton::finished()
{
    m_export.reset();
    if (m_spinner)
        m_spinner->stopAnimating();
    if (m_button)
        m_button->setHidden(false);
}

}
