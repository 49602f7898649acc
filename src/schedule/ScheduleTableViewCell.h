#pragma once

#include "model/ScheduledAlarm.h"
#include "platform/ui/Button.h"
#include "platform/ui/TableViewCell.h"

#include <array>
#include <memory>

namespace hestio {

/// A schedule row: its title and the two times over the cell artwork, with a
/// highlight shown while its drawer is open.
class ScheduleTableViewCell final : public platform::TableViewCell {
public:
    [[nodiscard]] static std::shared_ptr<ScheduleTableViewCell> create(const std::string& reuseIdentifier);
    explicit ScheduleTableViewCell(const std::string& reuseIdentifier);
    std::string className() const override { return "ScheduleTableViewCell"; }
    void layoutSubviews() override;

    std::shared_ptr<platform::Label> eventTitle;
    std::shared_ptr<platform::Label> leaveHome;
    std::shared_ptr<platform::Label> leaveHomeTime;
    std::shared_ptr<platform::Label> arriveHome;
    std::shared_ptr<platform::Label> arriveHomeTime;
    std::shared_ptr<platform::ImageView> highlightedView;

private:
    void build();
};

/// The drawer row under an open schedule: seven day buttons (tags 1 to 7)
/// that switch the schedule's repeat days.
class ScheduleDrawerTableViewCell final : public platform::TableViewCell {
public:
    [[nodiscard]] static std::shared_ptr<ScheduleDrawerTableViewCell> create(const std::string& reuseIdentifier);
    explicit ScheduleDrawerTableViewCell(const std::string& reuseIdentifier);
    std::string className() const override { return "ScheduleDrawerTableViewCell"; }
    void layoutSubviews() override;
    void prepareForReuse() override;

    /// Selects the buttons of the schedule's set days; others are left alone.
    void pressRepeatDateButtons();
    void daySelected(platform::Button& sender);
    platform::Button& dayButton(int tag) { return *m_days[static_cast<std::size_t>(tag - 1)]; }

    std::shared_ptr<ScheduledAlarm> alarm;

private:
    void build();
    std::array<std::shared_ptr<platform::Button>, 7> m_days;
};

}
