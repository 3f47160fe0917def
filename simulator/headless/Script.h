// The scripted user of a headless run: what the user does on which dialog,
// how message boxes are answered, and when Escape or Close is pressed.
//
// Actions on a dialog run one at a time on the dialog's own thread, each
// when its message loop has nothing else to do (after the timers), in the
// order given. An action on a disabled control does nothing, as a click on
// a greyed button does nothing. Actions left over when the dialog closes are
// dropped.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace zmp::sim {

struct UserAction {
    enum class Kind {
        Click,        // a button: push buttons send BN_CLICKED, auto radio buttons check themselves
        Type,         // replaces an edit control's text
        TypeAddress,  // fills the four fields of an IP-address control
        Check,        // sets a check list item's check box, found by its text
        Uncheck,
        Escape,       // the Escape key, to the focused control
        Close,        // "Close" of the system menu (nothing when the menu has none)
        Call,         // runs a function (tests: e.g. start a second instance now)
    };
    Kind kind = Kind::Click;
    int controlId = 0;
    std::string text;
    Dword address = 0;
    std::function<void()> call;

    static UserAction Click(int controlId) { return {Kind::Click, controlId, {}, 0, {}}; }
    static UserAction Type(int controlId, std::string text) {
        return {Kind::Type, controlId, std::move(text), 0, {}};
    }
    static UserAction TypeAddress(int controlId, Dword packed) {
        return {Kind::TypeAddress, controlId, {}, packed, {}};
    }
    static UserAction Check(int listId, std::string item) {
        return {Kind::Check, listId, std::move(item), 0, {}};
    }
    static UserAction Uncheck(int listId, std::string item) {
        return {Kind::Uncheck, listId, std::move(item), 0, {}};
    }
    static UserAction Escape() { return {Kind::Escape, 0, {}, 0, {}}; }
    static UserAction Close() { return {Kind::Close, 0, {}, 0, {}}; }
    static UserAction Call(std::function<void()> call) {
        return {Kind::Call, 0, {}, 0, std::move(call)};
    }
};

class Script {
public:
    // Done on the dialog with this caption once it is shown.
    Script& OnDialog(const std::string& caption, std::vector<UserAction> actions);
    // Done on the application's main window once its status line shows text.
    Script& AtStatus(const std::string& text, UserAction action);
    // Answers of the Yes/No boxes, in order; a box beyond them is answered No.
    Script& AnswerYesNo(bool yes);
    // Called with a box's text while it is shown, before it is answered.
    Script& WhileBoxShown(std::function<void(const std::string& text)> hook);

    // --- used by the headless backend (under its lock)
    bool TakeDialogAction(const std::string& caption, UserAction& out);
    bool TakeStatusAction(const std::string& text, UserAction& out);
    int AnswerBox(Dword type);  // IDOK, IDCANCEL, IDYES or IDNO
    const std::function<void(const std::string&)>& BoxHook() const { return boxHook_; }

private:
    std::map<std::string, std::deque<UserAction>> dialogActions_;
    std::multimap<std::string, UserAction> statusActions_;
    std::deque<bool> yesNo_;
    std::function<void(const std::string&)> boxHook_;
};

}  // namespace zmp::sim
