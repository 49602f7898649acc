#pragma once

#include "graphs/GraphExport.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Button.h"
#include "platform/ui/View.h"

#include <functional>
#include <memory>

namespace hestio {

/// A graph screen's export, as the screen shows it: the "Export" button at
/// the right end of the band below the graph, a spinner in its place while
/// an export runs (a tap meanwhile does nothing), and the alert that says
/// where the files went or why they could not be written.
class GraphExportButton : public std::enable_shared_from_this<GraphExportButton> {
public:
    static constexpr platform::Rect frame { 264, 412, 48, 28 };
    /// Where the button goes at the text scale: `frame` at 1; with larger
    /// text the band is as much taller (growing up into the graph) and the
    /// button as wide as its title needs.
    [[nodiscard]] static platform::Rect frameForText();
    /// How high the band below the graph is, its bottom where the button's
    /// is: the button's height at a text scale of 1; with larger text room
    /// for the day's summary on up to four lines.
    [[nodiscard]] static double bandHeightForText();

    [[nodiscard]] static std::shared_ptr<GraphExportButton> create();

    /// Puts the button and the spinner into `view`; `tapped` runs on a tap.
    void addTo(platform::View& view, std::function<void()> tapped);
    /// Runs `job`, asking for its samples through `request`, unless an
    /// export runs already.
    void start(GraphExport::Job job, const GraphExport::WeekRequest& request);

    [[nodiscard]] bool isExporting() const { return m_export != nullptr; }
    [[nodiscard]] const std::shared_ptr<platform::Button>& button() const { return m_button; }
    [[nodiscard]] const std::shared_ptr<platform::ActivityIndicatorView>& spinner() const { return m_spinner; }

private:
    GraphExportButton() = default;
    void finished();

    std::shared_ptr<platform::Button> m_button;
    std::shared_ptr<platform::ActivityIndicatorView> m_spinner;
    /// The export running, until its alert shows.
    std::shared_ptr<GraphExport> m_export;
};

}
