#pragma once

#include "charting/Fill.h"
#include "charting/Graph.h"
#include "charting/LineStyle.h"
#include "charting/NumberFormatter.h"
#include "charting/Plot.h"
#include "graphs/DataGaps.h"
#include "graphs/GraphExport.h"
#include "graphs/GraphExportButton.h"
#include "graphs/GraphHostingView.h"
#include "graphs/GraphWeekKeeper.h"
#include "graphs/GraphWeekLoader.h"
#include "model/DataPoint.h"
#include "net/WebServiceConnector.h"
#include "platform/foundation/DateFormatter.h"
#include "platform/foundation/TimeZone.h"
#include "platform/foundation/UserDocuments.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/SwipeGestureRecognizer.h"
#include "platform/ui/ViewController.h"
#include "session/CachedList.h"
#include "session/Session.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hestio {

class DayMarks;

/// The base of the graph screens: one calendar day of the household's time
/// zone at a time on a horizontal time axis from midnight to midnight, paged
/// by swipes (right: a day back, left: a day forward, never past today),
/// with samples arriving a week at a time and older weeks asked for a few
/// days before the user reaches them. A pinch zooms into the day; a tap on a
/// sample selects it.
///
/// A variant adds its two plots ("Main Plot" and "Selection Plot"), its
/// vertical axis, its request and its labels. What asks for the weeks
/// (GraphWeekLoader), what keeps them between runs (GraphWeekKeeper) and
/// what exports them (GraphExportButton) are objects of their own.
class GraphViewController : public platform::ViewController,
                            public WebServiceConnectorDelegate,
                            public chart::PlotSpaceDelegate,
                            public GraphWeekLoader::Listener,
                            public virtual chart::PlotDataSource {
public:
    static constexpr const char* mainPlotIdentifier = "Main Plot";
    static constexpr const char* selectionPlotIdentifier = "Selection Plot";
    /// The text of a sample's time in the labels.
    static constexpr const char* timestampFormat = "ccc. MM/dd/yy 'at' hh:mma";
    /// The fonts a graph screen draws its axes and summary in, to be
    /// prepared before the first graph is shown (platform::FontPreparer).
    [[nodiscard]] static std::vector<platform::Font> fontsDrawn();
    /// The day's summary above the graph.
    [[nodiscard]] static platform::Font summaryFont() { return platform::Font::systemFont(11); }

    ~GraphViewController() override;

    // The value key (or, for the battery, the title) set by the opening screen.
    const std::string& graphName() const { return m_graphName; }
    void setGraphName(std::string name) { m_graphName = std::move(name); }

    void loadView() override;
    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewDidUnload() override;
    bool shouldAutorotateToInterfaceOrientation(platform::InterfaceOrientation) const override { return true; }
    void willAnimateRotationToInterfaceOrientation(platform::InterfaceOrientation orientation, double) override;

    /// A day back (right swipe); asks for the next older week when it is due.
    void back();
    /// A day forward (left swipe); nothing on today.
    void forward();
    /// Closes the screen.
    void dismissGraph();

    void removeSwipeGestures();
    void addSwipeGestures();

    // The state, for the screen's own use and for tests.
    const std::shared_ptr<chart::XYGraph>& graph() const { return m_graph; }
    const std::shared_ptr<GraphHostingView>& hostingView() const { return m_hostingView; }
    const std::shared_ptr<platform::NavigationBar>& navBar() const { return m_navBar; }
    platform::NavigationItem& navBarTitle() { return m_navBarTitle; }
    const std::shared_ptr<platform::Label>& timestampLabel() const { return m_timestampLabel; }
    const std::shared_ptr<platform::SwipeGestureRecognizer>& leftSwipe() const { return m_leftSwipe; }
    const std::shared_ptr<platform::SwipeGestureRecognizer>& rightSwipe() const { return m_rightSwipe; }
    platform::Date refDate() const { return m_refDate; }
    const platform::TimeZone& timezone() const { return m_timezone; }
    /// The session whose household's zone the days are counted in.
    void setSession(std::shared_ptr<Session> session) { m_session = std::move(session); }
    platform::Date toDate() const { return m_loader.nextEnd(); }
    int daysUntilDownload() const { return m_daysUntilDownload; }
    int daysMoved() const { return m_daysMoved; }
    double maxValue() const { return m_maxValue; }
    std::uint32_t numPoints() const { return m_numPoints; }
    std::uint32_t selectedIndex() const { return m_selectedIndex; }
    bool isRightSwipe() const { return m_isRightSwipe; }
    const std::vector<chart::IndexRange>& indexRanges() const { return m_indexRanges; }
    const std::optional<std::vector<std::vector<DataPoint>>>& plotData() const { return m_plotData; }
    /// Whether the current week shows as kept from an earlier download
    /// (while its request runs, or after it could not reach the service).
    [[nodiscard]] bool showsKeptWeek() const { return showsKept(0); }
    /// Whether `week` shows as kept from an earlier download (an older week
    /// does after its request could not reach the service).
    [[nodiscard]] bool showsKept(unsigned week) const { return m_keeper.isShownKept(week); }
    /// The bar under the navigation bar that says how old the shown week is;
    /// hidden while it is live and the service reachable.
    const std::shared_ptr<platform::Label>& offlineBar() const { return m_offlineBar; }
    /// What `week` (0 the newest) is kept under in the user's cache: the
    /// graph's name and how many weeks back it lies ("graph-power-42-week-0"),
    /// so that a week kept on an earlier day serves the same place today;
    /// none for a graph that keeps nothing.
    [[nodiscard]] std::optional<std::string> keptWeekKey(unsigned week) const;
    /// How many week requests are on their way.
    std::size_t weeksLoading() const { return m_loader.weeksLoading(); }
    static constexpr double oneDay = 86400.0;

    using Week = GraphWeekLoader::Week;

    /// Stores a received block as the samples of `week`. Blocks are kept
    /// oldest week first, whatever order their replies came in.
    void createDataPoints(const json::Value& samples, unsigned week);
    const DataPoint& getDataPointAtIndex(std::uint32_t index) const;
    void setSelectedIndex(std::uint32_t index);
    /// The largest value under the value key of the newest-placed block's
    /// samples; variants set `maxValue` from it.
    virtual double findAndSetMax();
    /// The shown day's date as the horizontal axis's title.
    void setXAxisTitle();

    /// The answer to the request for `week`. A refusal (success false) is
    /// logged and that week stays empty; only a week lost in transport is
    /// asked for again, on the next move back.
    void weekReceived(const Week& week, bool success, const json::Value& data, std::string text) override;
    void weekFailedInTransport(const Week& week) override;

    // The plot space's delegate: the zoom rule.
    std::optional<chart::PlotRange> willChangePlotRangeTo(
        chart::PlotSpace& space, const chart::PlotRange& proposed, chart::Coordinate coordinate) override;

    // Data source rules shared by every variant.
    std::size_t numberOfRecordsForPlot(chart::Plot& plot) override;
    std::optional<chart::PlotNumber> numberForPlot(chart::Plot& plot, unsigned field, std::size_t index) override;

    /// The summary line in the band under the graph: the calendar day shown
    /// (the household's), its figures, and how much of it has no data.
    const std::shared_ptr<platform::Label>& summaryLabel() const { return m_summaryLabel; }
    /// What is marked on the shown day: missing data and meter resets.
    const std::shared_ptr<DayMarks>& dayMarks() const { return m_dayMarks; }
    /// The calendar day of the household that the shown page stands for
    /// (the page's middle falls on it: a page is 86,400 s from the graph's
    /// midnight, an hour off the calendar across a change of clock).
    [[nodiscard]] TimeSpan shownDay() const;

    // Export (GraphViewControllerExport.cpp): a button at the right end of
    // the band below the graph.
    /// Writes the shown week as CSV and the shown day as PNG into the user's
    /// documents folder, then says where in an alert (GraphExportButton).
    void exportShownGraph();
    const std::shared_ptr<platform::Button>& exportButton() const { return m_export->button(); }
    const std::shared_ptr<platform::ActivityIndicatorView>& exportSpinner() const { return m_export->spinner(); }
    bool isExporting() const { return m_export->isExporting(); }
    /// Where the documents folder is looked up; by default as the current
    /// profile says (tests point it elsewhere).
    void setDocumentsLookup(platform::DocumentsLookup lookup) { m_documentsLookup = std::move(lookup); }
    /// A moment of the calendar day the day window mostly shows: the
    /// window's middle (the window is 24 hours long, a clock-change day is
    /// not).
    [[nodiscard]] platform::Date shownDayMiddle() const;
    /// The seven days ending with the shown day, up to now at the latest.
    CsvRange shownWeek() const;
    /// The graph as it stands on the screen (zoom and selection included),
    /// as PNG bytes at two pixels a point.
    std::string shownGraphPng() const;
    static constexpr platform::Rect exportButtonFrame = GraphExportButton::frame;

protected:
    GraphViewController();

    // What a variant provides.
    virtual void setupPlotArea() = 0;
    /// The screen's title in the navigation bar.
    virtual std::string screenTitle() const = 0;
    /// Sends the request for the week ending at `weekEnd` with `replyTo` as
    /// its delegate (it knows which week it asked for and hands the answer
    /// on), and returns the start of that week.
    virtual platform::Date requestWeekEndingAt(
        platform::Date weekEnd, std::shared_ptr<WebServiceConnectorDelegate> replyTo)
        = 0;
    /// The kind of graph and what it shows, as its weeks are kept in the
    /// user's cache ("power-42"); empty to keep nothing.
    virtual std::string keptGraphName() const = 0;
    /// The reply's key of the samples array.
    virtual const char* replyKey() const = 0;
    /// The sample key plotted on the vertical axis.
    virtual std::string valueKey() const { return m_graphName; }
    /// Whether a reply with no samples still adds an (empty) block.
    virtual bool storesEmptyBlocks() const { return true; }
    /// Writes the selected sample into the labels.
    virtual void showSelectedSample(const DataPoint& sample) = 0;
    /// Empties the labels (after a new block arrived).
    virtual void clearLabels();
    /// The base axis setup; variants call it first, then set their vertical
    /// interval and title.
    virtual void setupAxes();
    /// What the export writes and how its files are named.
    virtual GraphExportKind exportKind() const;

    void setupPadding();
    void setupPlotSpace();
    /// The vertical axis's major interval, its labels written with the
    /// fraction digits the interval needs.
    void setVerticalInterval(double interval);
    void setMaxValue(double value) { m_maxValue = value; }
    /// Sends a GET request for a week's samples with `replyTo` as its delegate.
    void startWeekRequest(
        const std::string& path, const std::string& parameters, std::shared_ptr<WebServiceConnectorDelegate> replyTo);
    /// Milliseconds since 1970 as the service's time parameters are written.
    [[nodiscard]] static std::string millisecondsText(platform::Date date);
    /// A label under the graph, kept in a property of that identifier.
    std::shared_ptr<platform::Label> makeLabel(const std::string& identifier, platform::Rect frame);
    /// Where the selected sample is written: one row across the band's
    /// foot, under the summary line.
    static platform::Rect readoutFrame(double x, double width) { return { x, 441, width, 17 }; }
    /// Every variant's shared handling of a tap on a "Main Plot" sample.
    void selectSample(std::uint32_t index);
    /// The text of a sample's time in the screen's zone.
    [[nodiscard]] std::string timestampText(const json::Value& milliseconds) const;
    /// The selected sample's plot's red outline style, and the main plots' green one.
    static std::shared_ptr<const chart::LineStyle> lineStyleWithColor(
        const std::shared_ptr<const chart::LineStyle>& base, chart::Color color);
    /// The green fading area fill under the main plots.
    static std::shared_ptr<const chart::Fill> mainPlotFill();
    std::shared_ptr<GraphViewController> sharedGraphController();
    const std::shared_ptr<Session>& session() const { return m_session; }

    /// One calendar day's samples, as a variant is asked about them.
    struct DaySamples {
        TimeSpan day;
        /// Where the data asked for ends: the day's end, or for a day still
        /// going on when it was asked for, that moment.
        double knownUntil { 0 };
        /// The samples from the day's start up to `knownUntil`, in time order.
        std::vector<const DataPoint*> samples;
        /// The last sample before the day, if one is held.
        const DataPoint* before { nullptr };
    };
    /// What a variant says about a day.
    struct DayReport {
        /// "peak 1843 W, average 612 W"; empty for a day without figures.
        std::string figures;
        /// How much of the day has no data, in seconds.
        double missingSeconds { 0 };
        /// Where to mark missing data, in seconds since 1970.
        std::vector<TimeSpan> missingMarks;
        /// Where a meter was reset, in seconds since 1970.
        std::vector<double> resets;
    };
    /// What the variant makes of the shown day's samples; asked again
    /// whenever the day shown or the data held changes.
    virtual DayReport reportDay(const DaySamples& day) = 0;
    /// A sample's time in seconds since 1970 (whole seconds, as placed).
    [[nodiscard]] double sampleTime(const DataPoint& sample) const;
    /// Writes the summary line and the marks of the shown day.
    void updateSummary();

private:
    void makeSummaryLabel(platform::View& view);
    /// Where the held data of `day` ends; none while its week is not held.
    [[nodiscard]] std::optional<double> knownUntil(const TimeSpan& day) const;
    [[nodiscard]] DaySamples samplesOf(const TimeSpan& day, double knownUntil) const;

    /// Puts the samples of a week's reply into the graph (the code every
    /// reply goes through, kept or live); false when it adds no block.
    bool placeWeek(unsigned week, const json::Value& data);
    /// Takes the block of `week` out of the graph.
    void removeWeek(unsigned week);
    /// Draws again after the blocks held changed.
    void blocksChanged();

    // The kept weeks (GraphViewControllerKept.cpp).
    /// Shows `week` as kept from an earlier download, if it is.
    void showKeptWeek(unsigned week);
    /// Keeps the reply of `week`, which the graph shows now, with the
    /// stretch it was asked for.
    void keepWeek(const Week& week, const json::Value& data, std::string text);
    /// The stretch the block of `week` covers: as kept, for a week shown
    /// from the cache; as asked for, otherwise.
    [[nodiscard]] TimeSpan heldSpan(unsigned week) const;
    /// The bar's text: how old the oldest week shown is, while one shows
    /// from an earlier download or the service cannot be reached.
    [[nodiscard]] std::optional<std::string> offlineBarText() const;
    void makeOfflineBar(platform::View& view);
    void updateOfflineBar();
    /// Puts the bar under the navigation bar and the graph under the bar
    /// while it shows.
    void placeOfflineBar();
    void offlineStateChanged();

    /// Asks for the weeks lost in transport, or else the next older week.
    void sendWeekRequests();
    void moveDays(int days);
    std::shared_ptr<chart::TimeFormatter> makeTimeFormatter() const;
    void touchOnGraphFinished(bool tapped);
    void layoutForOrientation(platform::InterfaceOrientation orientation);

    std::shared_ptr<chart::XYGraph> m_graph;
    std::shared_ptr<GraphHostingView> m_hostingView;
    std::shared_ptr<platform::NavigationBar> m_navBar;
    platform::NavigationItem m_navBarTitle;
    std::shared_ptr<platform::Label> m_timestampLabel;
    std::shared_ptr<platform::SwipeGestureRecognizer> m_leftSwipe;
    std::shared_ptr<platform::SwipeGestureRecognizer> m_rightSwipe;

    platform::Date m_refDate;
    platform::TimeZone m_timezone { platform::TimeZone::gmt() };
    std::shared_ptr<Session> m_session;
    int m_daysUntilDownload { 4 };
    int m_daysMoved { 0 };
    double m_maxValue { 0 };
    std::optional<std::vector<std::vector<DataPoint>>> m_plotData;
    /// The week of each block of `m_plotData`, in the same order (descending).
    std::vector<unsigned> m_blockWeeks;
    std::vector<chart::IndexRange> m_indexRanges;
    std::uint32_t m_selectedIndex { 0 };
    std::uint32_t m_numPoints { 0 };
    std::string m_graphName;
    GraphWeekLoader m_loader;
    GraphWeekKeeper m_keeper;
    /// A sample tapped while the finger is still down: selected when the
    /// touch ends as a tap, dropped when it turns out to be a swipe or drag.
    std::optional<std::uint32_t> m_pendingSelection;
    bool m_isRightSwipe { false };
    platform::DateFormatter m_timestampFormatter { timestampFormat };

    std::shared_ptr<platform::Label> m_summaryLabel;
    std::shared_ptr<DayMarks> m_dayMarks;
    std::shared_ptr<GraphExportButton> m_export = GraphExportButton::create();
    std::optional<platform::DocumentsLookup> m_documentsLookup;
    std::shared_ptr<platform::Label> m_offlineBar;
};

}
