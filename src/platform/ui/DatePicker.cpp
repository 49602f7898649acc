#include "platform/ui/DatePicker.h"

#include "platform/gfx/Context.h"
#include "platform/ui/PickerView.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace hestio::platform {

namespace {

    const char* const monthNames[] = { "January", "February", "March", "April", "May", "June", "July", "August",
        "September", "October", "November", "December" };
    const char* const dayNames[] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };

    int daysInMonth(int year, int month)
    {
        using namespace std::chrono;
        return static_cast<int>(unsigned(year_month_day_last(
            std::chrono::year(year), month_day_last(std::chrono::month(static_cast<unsigned>(month))))
                                             .day()));
    }

    std::string twoDigits(int v)
    {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%02d", v);
        return buffer;
    }

    int mod(int a, int n)
    {
        return ((a % n) + n) % n;
    }

}

std::shared_ptr<DatePicker> DatePicker::create(Rect frame)
{
    return std::make_shared<DatePicker>(frame);
}

DatePicker::DatePicker(Rect frame)
    : Control({ frame.origin, { frame.width() > 0 ? frame.width() : 320, PickerView::defaultHeight } })
{
}

void DatePicker::setMode(Mode mode)
{
    m_mode = mode;
    setNeedsDisplay();
}

void DatePicker::setDate(platform::Date date, bool)
{
    if (date == m_date)
        return;
    m_date = date;
    setNeedsDisplay();
}

TimeZone DatePicker::timeZone() const
{
    return m_zone ? *m_zone : TimeZone::defaultZone();
}

void DatePicker::setTimeZone(std::optional<TimeZone> zone)
{
    m_zone = std::move(zone);
    setNeedsDisplay();
}

void DatePicker::setMinuteInterval(int minutes)
{
    if (minutes >= 1 && minutes <= 30 && 60 % minutes == 0)
        m_minuteInterval = minutes;
}

DatePicker::Components DatePicker::components() const
{
    using namespace std::chrono;
    double local = std::floor(m_date.timeIntervalSince1970() + timeZone().secondsFromGMT(m_date));
    auto seconds = static_cast<long long>(local);
    long long dayNumber = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    long long secondOfDay = seconds - dayNumber * 86400;
    year_month_day ymd { sys_days { days { dayNumber } } };
    return { int(ymd.year()), static_cast<int>(unsigned(ymd.month())), static_cast<int>(unsigned(ymd.day())),
        static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay % 3600 / 60) };
}

platform::Date DatePicker::fromLocal(int year, int month, int day, int hour, int minute, int second) const
{
    using namespace std::chrono;
    auto ymd = std::chrono::year(year) / std::chrono::month(static_cast<unsigned>(month))
        / std::chrono::day(static_cast<unsigned>(day));
    double local
        = static_cast<double>(sys_days(ymd).time_since_epoch().count()) * 86400 + hour * 3600 + minute * 60 + second;
    TimeZone zone = timeZone();
    double guess = local - zone.secondsFromGMT(platform::Date(local));
    return platform::Date(local - zone.secondsFromGMT(platform::Date(guess)));
}

void DatePicker::userSelectTime(int hour24, int minute)
{
    auto c = components();
    int second = static_cast<int>(
        std::fmod(std::floor(m_date.timeIntervalSince1970() + timeZone().secondsFromGMT(m_date)), 60.0));
    setDate(fromLocal(c.year, c.month, c.day, mod(hour24, 24), mod(minute, 60), second < 0 ? second + 60 : second));
    sendActionsForControlEvents(ControlEventValueChanged);
}

void DatePicker::userSelectDate(int year, int month, int day)
{
    auto c = components();
    month = std::clamp(month, 1, 12);
    day = std::clamp(day, 1, daysInMonth(year, month));
    setDate(fromLocal(year, month, day, c.hour, c.minute, 0));
    sendActionsForControlEvents(ControlEventValueChanged);
}

std::vector<double> DatePicker::wheelWidths() const
{
    double w = bounds().width() - 20;
    switch (m_mode) {
    case Mode::Time:
        return { w * 0.34, w * 0.33, w * 0.33 };
    case Mode::Date:
        return { w * 0.46, w * 0.22, w * 0.32 };
    case Mode::DateAndTime:
        return { w * 0.42, w * 0.19, w * 0.19, w * 0.2 };
    }
    return {};
}

void DatePicker::turnWheel(int wheel, int delta)
{
    if (delta == 0)
        return;
    auto c = components();
    int timeWheel = m_mode == Mode::DateAndTime ? wheel - 1 : wheel;
    if (m_mode == Mode::Date) {
        if (wheel == 0)
            userSelectDate(c.year, mod(c.month - 1 + delta, 12) + 1, c.day);
        else if (wheel == 1)
            userSelectDate(c.year, c.month, mod(c.day - 1 + delta, daysInMonth(c.year, c.month)) + 1);
        else
            userSelectDate(c.year + delta, c.month, c.day);
        return;
    }
    if (m_mode == Mode::DateAndTime && wheel == 0) {
        setDate(m_date.addingTimeInterval(86400.0 * delta));
        sendActionsForControlEvents(ControlEventValueChanged);
        return;
    }
    bool pm = c.hour >= 12;
    switch (timeWheel) {
    case 0:
        userSelectTime(mod(c.hour % 12 + delta, 12) + (pm ? 12 : 0), c.minute);
        break;
    case 1:
        userSelectTime(c.hour, mod(c.minute + delta * m_minuteInterval, 60));
        break;
    case 2:
        if ((delta > 0) != pm)
            userSelectTime(pm ? c.hour - 12 : c.hour + 12, c.minute);
        break;
    default:
        break;
    }
}

bool DatePicker::keyPressed(const KeyPress& key)
{
    if (key.code != KeyCode::Up && key.code != KeyCode::Down)
        return false;
    turnWheel(keyboardFocusStop(), key.code == KeyCode::Down ? 1 : -1);
    return true;
}

void DatePicker::touchesBegan(const TouchSet& touches, const Event& event)
{
    Control::touchesBegan(touches, event);
    m_touchStart = touches.front()->locationInView(this);
}

void DatePicker::touchesEnded(const TouchSet& touches, const Event& event)
{
    Point end = touches.front()->locationInView(this);
    auto [wheel, offset] = PickerView::wheelAndRowOffset(bounds(), wheelWidths(), m_touchStart);
    double dy = end.y - m_touchStart.y;
    int delta = std::abs(dy) > 10 ? -static_cast<int>(std::lround(dy / PickerView::rowHeight)) : offset;
    Control::touchesEnded(touches, event);
    if (wheel >= 0)
        turnWheel(wheel, delta);
}

std::string DatePicker::visibleText() const
{
    auto c = components();
    int h12 = c.hour % 12 == 0 ? 12 : c.hour % 12;
    std::string time = std::to_string(h12) + ":" + twoDigits(c.minute) + (c.hour < 12 ? " AM" : " PM");
    std::string date
        = std::string(monthNames[c.month - 1]) + " " + std::to_string(c.day) + " " + std::to_string(c.year);
    switch (m_mode) {
    case Mode::Time:
        return time;
    case Mode::Date:
        return date;
    case Mode::DateAndTime:
        return date + " " + time;
    }
    return time;
}

std::vector<DrawnText> DatePicker::drawnTexts() const
{
    return PickerView::wheelTexts(bounds(), wheels());
}

void DatePicker::draw(Context& context, const Rect& rect)
{
    PickerView::drawWheels(context, rect, wheels(), true);
}

std::vector<PickerView::Wheel> DatePicker::wheels() const
{
    auto c = components();
    auto widths = wheelWidths();
    std::vector<PickerView::Wheel> wheels;
    auto hourWheel = [&](double width) {
        PickerView::Wheel w { width, {}, c.hour % 12 == 0 ? 11 : c.hour % 12 - 1, TextAlignment::Right };
        for (int h = 1; h <= 12; ++h)
            w.titles.push_back(std::to_string(h));
        return w;
    };
    auto minuteWheel = [&](double width) {
        PickerView::Wheel w { width, {}, c.minute / m_minuteInterval, TextAlignment::Left };
        for (int m = 0; m < 60; m += m_minuteInterval)
            w.titles.push_back(twoDigits(m));
        return w;
    };
    auto meridiemWheel = [&](double width) {
        return PickerView::Wheel { width, { "AM", "PM" }, c.hour < 12 ? 0 : 1, TextAlignment::Center };
    };
    switch (m_mode) {
    case Mode::Time:
        wheels = { hourWheel(widths[0]), minuteWheel(widths[1]), meridiemWheel(widths[2]) };
        break;
    case Mode::Date: {
        PickerView::Wheel months { widths[0], {}, c.month - 1, TextAlignment::Left };
        for (auto* name : monthNames)
            months.titles.push_back(name);
        PickerView::Wheel days { widths[1], {}, c.day - 1, TextAlignment::Right };
        for (int d = 1; d <= daysInMonth(c.year, c.month); ++d)
            days.titles.push_back(std::to_string(d));
        PickerView::Wheel years { widths[2], {}, 3, TextAlignment::Left };
        for (int y = c.year - 3; y <= c.year + 3; ++y)
            years.titles.push_back(std::to_string(y));
        wheels = { months, days, years };
        break;
    }
    case Mode::DateAndTime: {
        PickerView::Wheel days { widths[0], {}, 3, TextAlignment::Right };
        for (int d = -3; d <= 3; ++d) {
            if (d == 0) {
                days.titles.push_back("Today");
                continue;
            }
            DatePicker probe;
            probe.setTimeZone(m_zone);
            probe.setDate(m_date.addingTimeInterval(86400.0 * d));
            auto pc = probe.components();
            using namespace std::chrono;
            weekday wd { sys_days { std::chrono::year(pc.year) / std::chrono::month(static_cast<unsigned>(pc.month))
                / std::chrono::day(static_cast<unsigned>(pc.day)) } };
            days.titles.push_back(std::string(dayNames[wd.c_encoding()]) + " "
                + std::string(monthNames[pc.month - 1]).substr(0, 3) + " " + std::to_string(pc.day));
        }
        wheels = { days, hourWheel(widths[1]), minuteWheel(widths[2]), meridiemWheel(widths[3]) };
        break;
    }
    }
    return wheels;
}

}
