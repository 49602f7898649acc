#pragma once

#include "platform/gfx/Path.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

#include <optional>

namespace hestio::platform {

class TableView;

enum class TableViewCellStyle { Default, Value1, Value2, Subtitle };
enum class TableViewCellAccessoryType { None, DisclosureIndicator, DetailDisclosureButton, Checkmark };
enum class TableViewCellSelectionStyle { None, Blue, Gray };
enum class TableViewCellEditingStyle { None, Delete, Insert };

/// One row of a table: a content view with a text label, a detail label and
/// an image view laid out by style, an accessory on the right, and, while
/// editing, the editing and reorder controls. Subclasses add their own views
/// to contentView() and lay them out in layoutSubviews (after the base).
class TableViewCell : public View {
public:
    /// Where a grouped row sits in its section (decides its rounded corners).
    enum class Position { Single, Top, Middle, Bottom };

    [[nodiscard]] static std::shared_ptr<TableViewCell> create(TableViewCellStyle style, std::string reuseIdentifier);
    TableViewCell(TableViewCellStyle style, std::string reuseIdentifier);
    ~TableViewCell() override;

    std::string className() const override { return "TableViewCell"; }

    TableViewCellStyle style() const { return m_style; }
    const std::string& reuseIdentifier() const { return m_reuseIdentifier; }
    /// Called before the table hands the cell out again.
    virtual void prepareForReuse();

    View& contentView() { return *m_contentView; }
    std::shared_ptr<View> contentViewPtr() const { return m_contentView; }
    Label* textLabel() const { return m_textLabel.get(); }
    /// None for the default style.
    Label* detailTextLabel() const { return m_detailTextLabel.get(); }
    ImageView& imageView() { return *m_imageView; }

    TableViewCellAccessoryType accessoryType() const { return m_accessoryType; }
    void setAccessoryType(TableViewCellAccessoryType type);
    std::shared_ptr<View> accessoryView() const { return m_accessoryView; }
    void setAccessoryView(std::shared_ptr<View> view);
    TableViewCellSelectionStyle selectionStyle() const { return m_selectionStyle; }
    void setSelectionStyle(TableViewCellSelectionStyle style);
    std::shared_ptr<View> backgroundView() const { return m_backgroundView; }
    void setBackgroundView(std::shared_ptr<View> view);
    std::shared_ptr<View> selectedBackgroundView() const { return m_selectedBackgroundView; }
    void setSelectedBackgroundView(std::shared_ptr<View> view);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected, bool animated = false);
    bool isHighlighted() const { return m_highlighted; }
    void setHighlighted(bool highlighted, bool animated = false);

    bool isEditing() const { return m_editing; }
    /// Set by the table with the editing style, indentation and reordering.
    void setEditing(bool editing, bool animated = false);
    TableViewCellEditingStyle editingStyle() const { return m_editingStyle; }
    bool showsReorderControl() const { return m_showsReorderControl; }
    bool showingDeleteConfirmation() const { return m_showingDeleteConfirmation; }
    void setShowingDeleteConfirmation(bool showing, const std::string& title = "Delete");
    /// The red button of a confirmation, while shown.
    Button* deleteConfirmationButton() const { return m_deleteButton.get(); }
    Control* editingControl() const { return m_editingControl.get(); }
    View* reorderControl() const { return m_reorderControl.get(); }

    /// The table showing the cell (non-owning; cleared when it lets go).
    TableView* tableView() const { return m_tableView; }

    /// A row of a list that lets a person pick rows takes the keyboard focus.
    bool canBecomeFirstResponder() const override;
    /// As a tap on the row: the table selects it and tells its delegate.
    bool accessibilityActivate() override;
    /// Up and Down move the focus to the row above or below, scrolled into view.
    bool keyPressed(const KeyPress& key) override;

    void layoutSubviews() override;
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void touchesCancelled(const TouchSet& touches, const Event& event) override;

protected:
    void drawBackground(Context& context, const Rect& local, Color color) override;
    void draw(Context& context, const Rect& rect) override;
    std::string describeProperties() const override;

private:
    friend class TableView;
    void configureEditing(TableViewCellEditingStyle style, bool indent, bool reorder);
    void updateLabelHighlight();
    bool isGrouped() const;
    Path shapePath(const Rect& local) const;

    TableViewCellStyle m_style;
    std::string m_reuseIdentifier;
    std::shared_ptr<View> m_contentView;
    std::shared_ptr<Label> m_textLabel;
    std::shared_ptr<Label> m_detailTextLabel;
    std::shared_ptr<ImageView> m_imageView;
    TableViewCellAccessoryType m_accessoryType { TableViewCellAccessoryType::None };
    std::shared_ptr<View> m_accessoryView;
    std::shared_ptr<View> m_builtInAccessory;
    TableViewCellSelectionStyle m_selectionStyle { TableViewCellSelectionStyle::Blue };
    std::shared_ptr<View> m_backgroundView;
    std::shared_ptr<View> m_selectedBackgroundView;
    bool m_selected { false };
    bool m_highlighted { false };
    bool m_editing { false };
    TableViewCellEditingStyle m_editingStyle { TableViewCellEditingStyle::None };
    bool m_indentWhileEditing { true };
    bool m_showsReorderControl { false };
    bool m_showingDeleteConfirmation { false };
    std::shared_ptr<Button> m_deleteButton;
    std::shared_ptr<Control> m_editingControl;
    std::shared_ptr<View> m_reorderControl;
    TableView* m_tableView { nullptr };
    Position m_position { Position::Single };
    /// The data source's identity of the row the cell shows now.
    std::optional<std::string> m_rowIdentity;
};

}
