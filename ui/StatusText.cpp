#include "ui/StatusText.h"

namespace zmp::ui {

StatusText::~StatusText() { delete pending_.exchange(nullptr); }

void StatusText::Assign(const std::string& text) {
    // acq_rel: the string's contents are published with the pointer, and the
    // old pointer is ours alone to free.
    delete pending_.exchange(new std::string(text), std::memory_order_acq_rel);
}

bool StatusText::Take(std::string& shown) {
    std::string* latest = pending_.exchange(nullptr, std::memory_order_acq_rel);
    if (!latest) return false;
    shown = std::move(*latest);
    delete latest;
    return true;
}

}  // namespace zmp::ui
