#pragma once

#include "platform/gfx/Font.h"
#include "platform/ui/DrawnText.h"
#include "platform/ui/View.h"

#include <vector>

namespace hestio::platform {

class PickerView;

class PickerViewDataSource {
public:
    virtual ~PickerViewDataSource() = default;
    virtual int numberOfComponentsInPickerView(PickerView&) = 0;
    virtual int numberOfRowsInComponent(PickerView&, int component) = 0;
};

class PickerViewDelegate {
public:
    virtual ~PickerViewDelegate() = default;
    virtual std::string titleForRow(PickerView&, int /*row*/, int /*component*/) { return {}; }
    virtual void didSelectRow(PickerView&, int /*row*/, int /*component*/) { }
};

/// Spinning wheels of rows, one per component, 216 points high. A tap on a
/// row above or below the middle, or a drag, turns the wheel and tells the
/// delegate which row it stopped on.
class PickerView : public View, public DrawsTexts {
public:
    static constexpr double defaultHeight = 216;
    static constexpr double rowHeight = 44;

    /// One wheel as drawn.
    struct Wheel {
        double width { 0 };
        std::vector<std::string> titles;
        int selected { 0 };
        TextAlignment alignment { TextAlignment::Left };
    };
    /// Draws wheels side by side in `rect` (shared with the date picker).
    static void drawWheels(Context& context, const Rect& rect, const std::vector<Wheel>& wheels, bool indicator);
    /// The titles of the rows shown whole, each with its line (shared with
    /// the date picker).
    [[nodiscard]] static std::vector<DrawnText> wheelTexts(const Rect& rect, const std::vector<Wheel>& wheels);
    /// Which wheel and how many rows from its selection a point is.
    [[nodiscard]] static std::pair<int, int> wheelAndRowOffset(
        const Rect& rect, const std::vector<double>& widths, Point point);

    [[nodiscard]] static std::shared_ptr<PickerView> create(Rect frame = { 0, 0, 320, defaultHeight });
    explicit PickerView(Rect frame = { 0, 0, 320, defaultHeight });

    std::string className() const override { return "PickerView"; }
    std::string visibleText() const override;
    std::vector<DrawnText> drawnTexts() const override;

    /// Non-owning; they outlive the picker or clear themselves.
    PickerViewDataSource* dataSource() const { return m_dataSource; }
    void setDataSource(PickerViewDataSource* dataSource);
    PickerViewDelegate* delegate() const { return m_delegate; }
    void setDelegate(PickerViewDelegate* delegate);
    bool showsSelectionIndicator() const { return m_showsIndicator; }
    void setShowsSelectionIndicator(bool shows);

    int numberOfComponents();
    int numberOfRowsInComponent(int component);
    int selectedRowInComponent(int component) const;
    /// Selects without telling the delegate.
    void selectRow(int row, int component, bool animated = false);
    void reloadAllComponents();
    void reloadComponent(int component);
    /// As a person choosing the row: selects it and tells the delegate.
    void userSelectRow(int row, int component);

    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;

    // Each wheel is a stop of the keyboard focus; Up and Down turn it a row.
    bool canBecomeFirstResponder() const override { return isUserInteractionEnabled(); }
    int keyboardFocusStops() const override;
    Rect keyboardFocusRect(int stop) const override;
    bool keyPressed(const KeyPress& key) override;
    /// The rectangle of wheel `index` among wheels of `widths` in `rect`.
    [[nodiscard]] static Rect wheelRect(const Rect& rect, const std::vector<double>& widths, int index);

protected:
    void draw(Context& context, const Rect& rect) override;

private:
    std::vector<double> componentWidths() const;
    /// The wheels as drawn, titled by the delegate.
    std::vector<Wheel> wheels();
    PickerViewDataSource* m_dataSource { nullptr };
    PickerViewDelegate* m_delegate { nullptr };
    bool m_showsIndicator { false };
    std::vector<int> m_selected;
    Point m_touchStart;
};

}
