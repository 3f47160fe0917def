// Data exchange on a headless dialog: the framework's integer parse and
// range messages, a failed exchange keeping the dialog open, radio groups.
#include <gtest/gtest.h>

#include "simulator/headless/HeadlessUi.h"
#include "ui/DataExchange.h"
#include "ui/Dialog.h"

namespace zmp {
namespace {

using sim::Desktop;
using sim::Events;
using sim::HeadlessUi;
using sim::Script;
using sim::UserAction;

constexpr int kPortTemplate = 129;
constexpr int kNext = 1;
constexpr int kAddress = 1003;
constexpr int kPortEdit = 1005;
constexpr int kCom2 = 1008;

// The installer's port template with a dialog that exchanges like the port dialog.
class ExchangeDialog : public ui::Dialog {
public:
    explicit ExchangeDialog(Ui& ui) : Dialog(ui, kPortTemplate) {}
    int index = 0;
    int port = 9100;

protected:
    void DoDataExchange(ui::DataExchange& dx) override {
        dx.Control(kAddress, address_);
        dx.Radio({1006, 1008, 1009, 1011, 1001, 1007}, index);
        dx.Text(kPortEdit, port);
        dx.MinMaxInt(port, 1, 10000);
    }

private:
    ui::IpAddressCtrl address_;
};

std::vector<std::string> Boxes(const Events& events) {
    std::vector<std::string> boxes;
    for (const std::string& line : events.Lines())
        if (line.rfind("BOX ", 0) == 0) boxes.push_back(line);
    return boxes;
}

TEST(DataExchangeTest, ParseIntTakesOneDecimalNumberBetweenBlanks) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    };
    const Case cases[] = {
        {"9100", true, 9100},   {" \t42\t ", true, 42}, {"0", true, 0},
        {"-5", true, -5},       {"+7", true, 7},        {"", false, 0},
        {"   ", false, 0},      {"abc", false, 0},      {"12abc", false, 0},
        {"1 2", false, 0},      {"-0", false, 0},       {"0x10", false, 0},
        {"99999999999", true, 2147483647},  // saturates like a 32-bit strtol
    };
    for (const Case& c : cases) {
        int value = -1;
        EXPECT_EQ(ui::DataExchange::ParseInt(c.text, value), c.ok) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(DataExchangeTest, RangePromptFillsTheBounds) {
    EXPECT_EQ(ui::DataExchange::RangePrompt(1, 10000),
              "Please enter an integer between 1 and 10000.");
}

// Typing a bad port and pressing Next shows the message, keeps the dialog
// open with the focus on the edit; a good port then ends it with IDOK.
TEST(DataExchangeTest, FailedExchangeShowsTheMessageAndKeepsTheDialogOpen) {
    struct Case {
        const char* typed;
        const char* box;
    };
    const Case cases[] = {
        {"abc", "BOX Please enter an integer. -> OK"},
        {"", "BOX Please enter an integer. -> OK"},
        {"0", "BOX Please enter an integer between 1 and 10000. -> OK"},
        {"10001", "BOX Please enter an integer between 1 and 10000. -> OK"},
    };
    for (const Case& c : cases) {
        Events events;
        Desktop desktop;
        Script script;
        HeadlessUi* uiPtr = nullptr;
        WindowId focus = WindowId::None, edit = WindowId::None;
        ExchangeDialog* dialogPtr = nullptr;
        script.OnDialog("Port Type",
                        {UserAction::Type(kPortEdit, c.typed), UserAction::Click(kNext),
                         UserAction::Call([&] {
                             focus = uiPtr->Focus(dialogPtr->Hwnd());
                             edit = dialogPtr->GetDlgItem(kPortEdit);
                         }),
                         UserAction::Type(kPortEdit, "10000"), UserAction::Click(kNext)});
        HeadlessUi ui(resources::Program::Installer, events, script, desktop);
        uiPtr = &ui;
        ExchangeDialog dialog(ui);
        dialogPtr = &dialog;
        EXPECT_EQ(dialog.DoModal(), mb::kIdOk) << c.typed;
        EXPECT_EQ(Boxes(events), std::vector<std::string>{c.box}) << c.typed;
        EXPECT_EQ(focus, edit) << c.typed;
        EXPECT_EQ(dialog.port, 10000) << c.typed;
    }
}

TEST(DataExchangeTest, FailedIntegerSkipsTheRangeCheckAndKeepsTheOldValue) {
    Events events;
    Desktop desktop;
    Script script;
    script.OnDialog("Port Type", {UserAction::Type(kPortEdit, "x"), UserAction::Click(kNext),
                                  UserAction::Escape()});
    HeadlessUi ui(resources::Program::Installer, events, script, desktop);
    ExchangeDialog dialog(ui);
    EXPECT_EQ(dialog.DoModal(), mb::kIdCancel);
    EXPECT_EQ(Boxes(events).size(), 1u);  // one message, not also the range one
    EXPECT_EQ(dialog.port, 9100);
}

TEST(DataExchangeTest, RadioGroupLoadsAndSavesTheIndex) {
    Events events;
    Desktop desktop;
    Script script;
    ExchangeDialog* dialogPtr = nullptr;
    HeadlessUi* uiPtr = nullptr;
    std::vector<Dword> loaded;
    script.OnDialog("Port Type", {UserAction::Call([&] {
                                      for (int id : {1006, 1008, 1009, 1011, 1001, 1007})
                                          loaded.push_back(uiPtr->IsDlgButtonChecked(dialogPtr->Hwnd(), id));
                                  }),
                                  UserAction::Click(kCom2), UserAction::Click(kNext)});
    HeadlessUi ui(resources::Program::Installer, events, script, desktop);
    uiPtr = &ui;
    ExchangeDialog dialog(ui);
    dialogPtr = &dialog;
    dialog.index = 5;  // loaded by the initial exchange
    EXPECT_EQ(dialog.DoModal(), mb::kIdOk);
    EXPECT_EQ(loaded, (std::vector<Dword>{0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(dialog.index, 1);  // the auto radio button unchecked "Wireless LAN"
}

TEST(DataExchangeTest, NoRadioCheckedSavesMinusOne) {
    Events events;
    Desktop desktop;
    Script script;
    script.OnDialog("Port Type", {UserAction::Click(kNext)});
    HeadlessUi ui(resources::Program::Installer, events, script, desktop);
    ExchangeDialog dialog(ui);
    dialog.index = 7;  // out of the group: nothing checked
    EXPECT_EQ(dialog.DoModal(), mb::kIdOk);
    EXPECT_EQ(dialog.index, -1);
}

}  // namespace
}  // namespace zmp
