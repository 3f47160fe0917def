// The progress protocol between a worker and its dialog, in one place.
// A report assigns the text to the dialog's status text, then steps the
// progress bar (PBM_STEPIT), sets it to 100 (PBM_SETPOS) or leaves it, then
// posts WM_REFRESH_STATUS to the application's main window. Sleeping after a
// report is the caller's business. The dialog side makes the hand-over of
// the text to its own thread safe.
#pragma once

#include <string>

namespace zmp {

class ProgressSink {
public:
    enum class Bar { None, Step, Complete };
    virtual ~ProgressSink() = default;
    virtual void Report(const std::string& text, Bar bar) = 0;
};

}  // namespace zmp
