#include "platform/host/LocationMenu.h"

#include "platform/foundation/Clock.h"
#include "platform/gfx/Font.h"
#include "platform/location/PositionSource.h"
#include "platform/ui/Label.h"
#include "platform/ui/Touch.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

#include <algorithm>
#include <cmath>

namespace hestio::platform {

namespace {

    constexpr double rowHeight = 30;
    constexpr double headerHeight = 34;
    constexpr double metresPerDegreeLatitude = 111194.93;

    /// The panel: a title and one row per item, the chosen one lit.
    class LocationMenuView final : public View {
    public:
        LocationMenuView(LocationMenu& menu, double width)
            : View({ 20, 80, width - 40,
                headerHeight + rowHeight * static_cast<double>(std::max<std::size_t>(menu.items().size(), 1)) + 8 })
            , m_menu(menu)
        {
            setBackgroundColor(Color::white(0.1, 0.94));
            layer().setCornerRadius(10);
            setAccessibilityIdentifier("locationMenu");
            auto title = Label::create({ 12, 8, frame().size.width - 24, 20 });
            title->setText("Location");
            title->setFont(Font::boldSystemFont(15));
            title->setTextColor(Color::whiteColor());
            addSubview(title);
            if (menu.items().empty()) {
                // No fix and no places yet: nothing to move to.
                auto hint = Label::create({ 12, headerHeight, frame().size.width - 24, rowHeight - 2 });
                hint->setText("No saved places yet");
                hint->setFont(Font::systemFont(14));
                hint->setTextColor(Color::white(0.7));
                addSubview(hint);
            }
            for (std::size_t i = 0; i < menu.items().size(); ++i) {
                auto row = Label::create(
                    { 6, headerHeight + rowHeight * static_cast<double>(i), frame().size.width - 12, rowHeight - 2 });
                std::string number = i < 9 ? std::to_string(i + 1) + "  " : "   ";
                row->setText(number + menu.items()[i].title);
                row->setFont(Font::systemFont(14));
                bool chosen = i == menu.selection();
                row->setTextColor(Color::whiteColor());
                row->setBackgroundColor(chosen ? Color::rgb(0.2, 0.45, 0.85) : Color::clear());
                row->setAccessibilityIdentifier("locationMenuItem" + std::to_string(i + 1));
                addSubview(row);
            }
        }
        std::string className() const override { return "LocationMenuView"; }
        void touchesEnded(const TouchSet& touches, const Event&) override
        {
            if (touches.empty())
                return;
            double y = touches.front()->locationInView(this).y - headerHeight;
            if (y < 0)
                return;
            auto index = static_cast<std::size_t>(y / rowHeight);
            if (index < m_menu.items().size())
                m_menu.pick(index); // destroys this view
        }

    private:
        LocationMenu& m_menu;
    };

    Coordinate northOf(Coordinate from, double metres)
    {
        double latitude = from.latitude + metres / metresPerDegreeLatitude;
        // Past the pole the way on is south on the other side of the globe.
        if (latitude > 90)
            return { 180 - latitude, from.longitude > 0 ? from.longitude - 180 : from.longitude + 180 };
        return { latitude, from.longitude };
    }

}

LocationMenu::LocationMenu(PositionSource& source, Clock& clock, std::function<std::vector<CircularRegion>()> places)
    : m_source(source)
    , m_clock(clock)
    , m_places(std::move(places))
{
}

LocationMenu::~LocationMenu()
{
    close();
}

Coordinate LocationMenu::awayFrom(const std::vector<CircularRegion>& places, const Coordinate& start)
{
    Coordinate at = start;
    // Step north until no place (with the margin) holds the point; each step
    // clears the largest place, so a few steps always do.
    double largest = 0;
    for (const auto& place : places)
        largest = std::max(largest, place.radius);
    for (int step = 0; step < 64; ++step) {
        bool inside = std::any_of(places.begin(), places.end(),
            [&](const CircularRegion& place) { return distanceBetween(at, place.center) < place.radius + awayMargin; });
        if (!inside)
            break;
        at = northOf(at, largest + awayMargin);
    }
    return at;
}

void LocationMenu::open(Window* window)
{
    close();
    auto places = m_places ? m_places() : std::vector<CircularRegion> {};
    auto here = m_source.current();
    m_items.clear();
    if (here)
        m_items.push_back({ "Stay here", Kind::Stay, here->coordinate });
    for (const auto& place : places)
        m_items.push_back({ "Go to " + place.identifier, Kind::Place, place.center });
    if (!places.empty())
        m_items.push_back({ "Go away", Kind::Away, awayFrom(places, here ? here->coordinate : places.front().center) });
    m_selection = 0;
    m_open = true;
    m_window = window;
    show();
}

void LocationMenu::close()
{
    if (m_window && m_view)
        m_window->removeOverlay(*m_view);
    // A pick comes from the panel's own touch handler: the panel lives on
    // until the next change.
    m_retired = std::move(m_view);
    m_window = nullptr;
    m_open = false;
}

void LocationMenu::moveSelection(int delta)
{
    if (m_items.empty())
        return;
    auto count = static_cast<long>(m_items.size());
    long next = (static_cast<long>(m_selection) + delta) % count;
    m_selection = static_cast<std::size_t>(next < 0 ? next + count : next);
    show();
}

void LocationMenu::pick(std::size_t index)
{
    if (!m_open || index >= m_items.size())
        return;
    Item item = m_items[index];
    close();
    // A stationary device still reports: staying is a new fix where it is.
    m_source.moveTo(item.target, m_clock.now(), 10);
}

bool LocationMenu::handleKey(Key key, Window* window, int digit)
{
    if (key == Key::Toggle) {
        if (m_open)
            close();
        else
            open(window);
        return true;
    }
    if (!m_open)
        return false;
    switch (key) {
    case Key::Up:
        moveSelection(-1);
        break;
    case Key::Down:
        moveSelection(1);
        break;
    case Key::Pick:
        pick(m_selection);
        break;
    case Key::Close:
        close();
        break;
    case Key::Digit:
        if (digit >= 1)
            pick(static_cast<std::size_t>(digit - 1));
        break;
    case Key::Toggle:
        break;
    }
    return true;
}

void LocationMenu::show()
{
    if (!m_window)
        return;
    if (m_view)
        m_window->removeOverlay(*m_view);
    m_retired = std::move(m_view);
    m_view = std::make_shared<LocationMenuView>(*this, m_window->bounds().width());
    m_window->addOverlay(m_view);
}

}
