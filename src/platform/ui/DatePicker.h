#pragma once

#include "platform/foundation/Date.h"
#include "platform/foundation/TimeZone.h"
#include "platform/ui/Control.h"
#include "platform/ui/PickerView.h"

#include <optional>

namespace hestio::platform {

/// Wheels for a time (hour, minute, AM/PM) or a date (month, day, year) in a
/// time zone. Turning a wheel changes the date and sends ValueChanged;
/// setDate does not.
class DatePicker : public Control, public DrawsTexts {
public:
    enum class Mode { Time, Date, DateAndTime };

    [[nodiscard]] static std::shared_ptr<DatePicker> create(Rect frame = { 0, 0, 320, 216 });
    explicit DatePicker(Rect frame = { 0, 0, 320, 216 });

    std::string className() const override { return "DatePicker"; }
    std::string visibleText() const override;

    Mode mode() const { return m_mode; }
    void setMode(Mode mode);
    platform::Date date() const { return m_date; }
    void setDate(platform::Date date, bool animated = false);
    /// The zone the wheels show; the device's zone when none was set.
    TimeZone timeZone() const;
    void setTimeZone(std::optional<TimeZone> zone);
    int minuteInterval() const { return m_minuteInterval; }
    void setMinuteInterval(int minutes);

    /// The wheels' current values in the picker's zone.
    struct Components {
        int year, month, day, hour, minute;
    };
    Components components() const;
    /// As a person turning wheels: sets the local time or date, sends ValueChanged.
    void userSelectTime(int hour24, int minute);
    void userSelectDate(int year, int month, int day);

    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;

    // Each wheel is a stop of the keyboard focus; Up and Down turn it.
    int keyboardFocusStops() const override { return static_cast<int>(wheelWidths().size()); }
    Rect keyboardFocusRect(int stop) const override { return PickerView::wheelRect(bounds(), wheelWidths(), stop); }
    bool keyPressed(const KeyPress& key) override;
    /// A tap does nothing on a wheel's selected row.
    bool accessibilityActivate() override { return false; }
    std::vector<DrawnText> drawnTexts() const override;

protected:
    void draw(Context& context, const Rect& rect) override;

private:
    platform::Date fromLocal(int year, int month, int day, int hour, int minute, int second) const;
    std::vector<double> wheelWidths() const;
    /// The wheels as drawn.
    std::vector<PickerView::Wheel> wheels() const;
    void turnWheel(int wheel, int delta);

    Mode m_mode { Mode::DateAndTime };
    platform::Date m_date;
    std::optional<TimeZone> m_zone;
    int m_minuteInterval { 1 };
    Point m_touchStart;
};

}
