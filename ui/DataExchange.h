// Data exchange between a dialog's members and its controls (DDX/DDV).
// Once a field fails, the user has been told with the framework's standard
// message, the focus is back on the field and the rest of the exchange is
// skipped; UpdateData then reports false and the dialog stays open.
#pragma once

#include <initializer_list>
#include <string>

#include "platform/Ui.h"
#include "ui/Controls.h"

namespace zmp::ui {

class Dialog;

// The framework's standard prompts.
constexpr const char* kPromptParseInt = "Please enter an integer.";
// "%1" and "%2" are the bounds.
constexpr const char* kPromptParseIntRange = "Please enter an integer between %1 and %2.";

class DataExchange {
public:
    DataExchange(Dialog& dialog, bool saveAndValidate);

    bool SaveAndValidate() const { return save_; }
    bool Failed() const { return failed_; }

    // Attaches the control the first time (DDX_Control).
    void Control(int controlId, ui::Control& control);
    // Window text of the control (DDX_Text).
    void Text(int controlId, std::string& value);
    // An integer in the control's text: "Please enter an integer." when it
    // does not parse.
    void Text(int controlId, int& value);
    // The index of the checked button of a radio group given in template
    // order; -1 when none is checked (DDX_Radio).
    void Radio(std::initializer_list<int> group, int& index);
    // The value of the last exchanged field within [minimum, maximum], only
    // when saving (DDV_MinMaxInt).
    void MinMaxInt(int value, int minimum, int maximum);

    // The framework's parse of an integer field: blanks and tabs around one
    // optionally signed decimal number, nothing else; 32-bit like the
    // Windows C runtime's strtol (out-of-range values saturate).
    static bool ParseInt(const std::string& text, int& value);
    static std::string RangePrompt(int minimum, int maximum);

private:
    void Fail();

    Dialog& dialog_;
    bool save_;
    bool failed_ = false;
    WindowId lastControl_ = WindowId::None;
    bool lastIsEdit_ = false;
};

}  // namespace zmp::ui
