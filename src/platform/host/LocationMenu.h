#pragma once

#include "platform/location/Geo.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace hestio::platform {

class Clock;
class PositionSource;
class View;
class Window;

/// The window's Location menu, for the simulated position source: stay where
/// the device is, go to one of the places the app watches, or go away from
/// all of them. F2 opens it over the app; the arrow keys choose, Return or a
/// click picks, a digit picks that line, Escape or F2 closes it.
///
/// The menu is plain state (items, selection, open or not); the host shows
/// it as an overlay on the key window.
class LocationMenu {
public:
    enum class Kind { Stay, Place, Away };
    struct Item {
        std::string title;
        Kind kind { Kind::Stay };
        Coordinate target;
    };
    /// How far "Go away" takes the device beyond the farthest edge of the
    /// place it is nearest to, in metres.
    static constexpr double awayMargin = 2000;

    /// `places` tells which places the app watches now.
    LocationMenu(PositionSource& source, Clock& clock, std::function<std::vector<CircularRegion>()> places);
    ~LocationMenu();

    /// Opens the menu with the items for the device's position and places
    /// now, and shows it on `window` (none: state only).
    void open(Window* window = nullptr);
    void close();
    [[nodiscard]] bool isOpen() const { return m_open; }
    [[nodiscard]] const std::vector<Item>& items() const { return m_items; }
    [[nodiscard]] std::size_t selection() const { return m_selection; }
    void moveSelection(int delta);
    /// Moves the device as the item says and closes the menu.
    void pick(std::size_t index);

    enum class Key { Toggle, Up, Down, Pick, Close, Digit };
    /// A key while the window has it: true when the menu used it. `digit`
    /// is the number for Key::Digit (1 is the first line).
    [[nodiscard]] bool handleKey(Key key, Window* window, int digit = 0);

    /// Where "Go away" goes: outside every place (with the margin), starting
    /// from the device's position or the first place.
    [[nodiscard]] static Coordinate awayFrom(const std::vector<CircularRegion>& places, const Coordinate& start);

private:
    void show();

    PositionSource& m_source;
    Clock& m_clock;
    std::function<std::vector<CircularRegion>()> m_places;
    std::vector<Item> m_items;
    std::size_t m_selection { 0 };
    bool m_open { false };
    Window* m_window { nullptr };
    std::shared_ptr<View> m_view;
    std::shared_ptr<View> m_retired;
};

}
