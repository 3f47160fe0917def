#include "ui/DialogProgress.h"

namespace zmp::ui {

void DialogProgress::Report(const std::string& text, Bar bar) {
    status_.Assign(text);
    if (bar == Bar::Step) {
        bar_.StepIt();
    } else if (bar == Bar::Complete) {
        bar_.SetPos(100);
    }
    ui_.PostMessage(ui_.MainWindow(), msg::kRefreshStatus, 0, 0);
}

}  // namespace zmp::ui
