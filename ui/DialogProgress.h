// The progress protocol from the dialog's side: a worker's report assigns the
// text, steps the bar (or sets it to 100) with a sent message, then posts
// WM_REFRESH_STATUS to the application's main window, in that order.
#pragma once

#include "platform/Ui.h"
#include "support/Progress.h"
#include "ui/Controls.h"
#include "ui/StatusText.h"

namespace zmp::ui {

class DialogProgress : public ProgressSink {
public:
    DialogProgress(Ui& ui, StatusText& status, ProgressBar& bar)
        : ui_(ui), status_(status), bar_(bar) {}

    void Report(const std::string& text, Bar bar) override;

private:
    Ui& ui_;
    StatusText& status_;
    ProgressBar& bar_;
};

}  // namespace zmp::ui
