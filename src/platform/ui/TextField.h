#pragma once

#include "platform/gfx/Font.h"
#include "platform/ui/Control.h"

namespace hestio::platform {

class TextField;

/// What a text field asks and tells its delegate. Defaults allow everything.
class TextFieldDelegate {
public:
    virtual ~TextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(TextField&) { return true; }
    virtual void textFieldDidBeginEditing(TextField&) { }
    virtual bool textFieldShouldEndEditing(TextField&) { return true; }
    virtual void textFieldDidEndEditing(TextField&) { }
    virtual bool textFieldShouldReturn(TextField&) { return true; }
    virtual bool textFieldShouldClear(TextField&) { return true; }
};

enum class TextBorderStyle { None, Line, Bezel, RoundedRect };
enum class KeyboardType {
    Default,
    ASCIICapable,
    NumbersAndPunctuation,
    URL,
    NumberPad,
    PhonePad,
    NamePhonePad,
    EmailAddress
};
enum class ReturnKeyType { Default, Go, Join, Next, Route, Search, Send, Done };
enum class TextFieldViewMode { Never, WhileEditing, UnlessEditing, Always };
enum class AutocorrectionType { Default, No, Yes };
enum class AutocapitalizationType { None, Words, Sentences, AllCharacters };

/// A one-line editable text. Tapping it (or becomeFirstResponder) starts
/// editing and brings up the keyboard, or its input view in its place; typed
/// text comes from the host through the application.
class TextField : public Control {
public:
    [[nodiscard]] static std::shared_ptr<TextField> create(Rect frame = {});
    explicit TextField(Rect frame = {});

    std::string className() const override { return "TextField"; }
    /// The text as shown (bullets when secure), or the placeholder when empty.
    std::string visibleText() const override;

    const std::string& text() const { return m_text; }
    void setText(std::string text);
    const std::string& placeholder() const { return m_placeholder; }
    void setPlaceholder(std::string placeholder);
    TextBorderStyle borderStyle() const { return m_borderStyle; }
    void setBorderStyle(TextBorderStyle style);
    const Font& font() const { return m_font; }
    void setFont(Font font);
    Color textColor() const { return m_textColor; }
    void setTextColor(Color color);
    TextAlignment textAlignment() const { return m_alignment; }
    void setTextAlignment(TextAlignment alignment);
    bool isSecureTextEntry() const { return m_secure; }
    void setSecureTextEntry(bool secure);
    KeyboardType keyboardType() const { return m_keyboardType; }
    void setKeyboardType(KeyboardType type) { m_keyboardType = type; }
    ReturnKeyType returnKeyType() const { return m_returnKeyType; }
    void setReturnKeyType(ReturnKeyType type) { m_returnKeyType = type; }
    TextFieldViewMode clearButtonMode() const { return m_clearButtonMode; }
    void setClearButtonMode(TextFieldViewMode mode);
    bool clearsOnBeginEditing() const { return m_clearsOnBeginEditing; }
    void setClearsOnBeginEditing(bool clears) { m_clearsOnBeginEditing = clears; }
    AutocorrectionType autocorrectionType() const { return m_autocorrection; }
    void setAutocorrectionType(AutocorrectionType type) { m_autocorrection = type; }
    AutocapitalizationType autocapitalizationType() const { return m_autocapitalization; }
    void setAutocapitalizationType(AutocapitalizationType type) { m_autocapitalization = type; }
    /// Non-owning; the delegate outlives the field or clears itself.
    TextFieldDelegate* delegate() const { return m_delegate; }
    void setDelegate(TextFieldDelegate* delegate) { m_delegate = delegate; }
    /// Shown in place of the keyboard while editing (a picker, say).
    std::shared_ptr<View> inputView() const { return m_inputView; }
    void setInputView(std::shared_ptr<View> view) { m_inputView = std::move(view); }
    /// Shown right above the keyboard while editing (Previous, Next, Done).
    std::shared_ptr<View> inputAccessoryView() const { return m_inputAccessoryView; }
    void setInputAccessoryView(std::shared_ptr<View> view) { m_inputAccessoryView = std::move(view); }

    bool isEditing() const { return m_editing; }
    /// Whether the clear button shows now.
    bool isClearButtonVisible() const;
    Rect clearButtonRect() const;

    bool canBecomeFirstResponder() const override;
    bool canResignFirstResponder() const override;
    bool wantsKeyboard() const override { return true; }
    std::shared_ptr<View> keyboardInputView() const override { return m_inputView; }
    void insertText(const std::string& text) override;
    void deleteBackward() override;
    void insertReturn() override;

protected:
    void didBecomeFirstResponder() override;
    void didResignFirstResponder() override;
    void endTracking(Point point, bool inside) override;
    void draw(Context& context, const Rect& rect) override;
    std::string describeProperties() const override;

private:
    std::string m_text;
    std::string m_placeholder;
    TextBorderStyle m_borderStyle { TextBorderStyle::None };
    Font m_font { Font::systemFont(17) };
    Color m_textColor { Color::black() };
    TextAlignment m_alignment { TextAlignment::Left };
    bool m_secure { false };
    KeyboardType m_keyboardType { KeyboardType::Default };
    ReturnKeyType m_returnKeyType { ReturnKeyType::Default };
    TextFieldViewMode m_clearButtonMode { TextFieldViewMode::Never };
    bool m_clearsOnBeginEditing { false };
    AutocorrectionType m_autocorrection { AutocorrectionType::Default };
    AutocapitalizationType m_autocapitalization { AutocapitalizationType::Sentences };
    TextFieldDelegate* m_delegate { nullptr };
    std::shared_ptr<View> m_inputView;
    std::shared_ptr<View> m_inputAccessoryView;
    bool m_editing { false };
};

}
