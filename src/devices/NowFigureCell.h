#pragma once

#include "platform/ui/TableViewCell.h"

#include <memory>

namespace hestio {

/// A row of the Home tab's "Now" section: a name on the left and its figure
/// on the right, and, in the tall form, a line below saying when the figure
/// was read or why there is none, with a change on its right.
class NowFigureCell : public platform::TableViewCell {
public:
    enum class Form { Tall, Compact };
    static constexpr double tallHeight = 58;
    static constexpr double compactHeight = 44;

    [[nodiscard]] static std::shared_ptr<NowFigureCell> create(Form form, std::string reuseIdentifier);
    NowFigureCell(Form form, std::string reuseIdentifier);
    std::string className() const override { return "NowFigureCell"; }

    Form form() const { return m_form; }
    platform::Label& name() { return *m_name; }
    platform::Label& value() { return *m_value; }
    platform::Label& detail() { return *m_detail; }
    platform::Label& change() { return *m_change; }

    void layoutSubviews() override;

private:
    Form m_form;
    std::shared_ptr<platform::Label> m_name;
    std::shared_ptr<platform::Label> m_value;
    std::shared_ptr<platform::Label> m_detail;
    std::shared_ptr<platform::Label> m_change;
};

}
