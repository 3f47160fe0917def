#include "simulator/headless/HeadlessUi.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "simulator/ProcessExit.h"
#include "simulator/headless/Templates.h"

namespace zmp::sim {
namespace {

constexpr Dword kNextDlgCtl = 0x0028;          // WM_NEXTDLGCTL
constexpr Dword kEnChange = 0x0300;            // EN_CHANGE
constexpr WParam kKeyReturn = 0x0D;            // VK_RETURN
constexpr LParam kEscapeKeyData = 0x00010001;  // repeat count 1, scan code 1
constexpr int kShowMinimized = 2;
constexpr int kMinimize = 6;
constexpr int kShowMinNoActive = 7;
constexpr int kIconResource = 128;  // the programs' only icon
constexpr std::uintptr_t kIconHandleBase = 0x7F000;
constexpr LResult kLbErr = -1;

// The status label whose text changes are the STATUS events: template 102,
// control 1003 in the installer, 1000 in the uninstaller.
constexpr int kMainTemplate = 102;
int StatusControl(resources::Program program) {
    return program == resources::Program::Installer ? 1003 : 1000;
}

std::string ProgramName(resources::Program program) {
    return program == resources::Program::Installer ? "ZMPK40_Installer" : "ZMPK40_Uninstaller";
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// lstrcmpi as a sorted list box uses it (case ignored; byte order otherwise).
int CompareNoCase(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int ca = std::tolower(static_cast<unsigned char>(a[i]));
        int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool IsAutoRadio(Dword style) { return (style & style::kButtonTypeMask) == style::kAutoRadioButton; }

}  // namespace

HeadlessUi::HeadlessUi(resources::Program program, Events& events, Script script, Desktop& desktop)
    : program_(program), events_(events), desktop_(desktop), script_(std::move(script)) {
    threads_[std::this_thread::get_id()];  // the process's main thread, running
    desktop_.ProcessStarted(*this, Executable());
}

HeadlessUi::~HeadlessUi() {
    EndProcess(ExitCode());
    JoinThreads();
}

std::string HeadlessUi::Executable() const { return ProgramName(program_) + ".exe"; }

// ------------------------------------------------------------------ resources

std::string HeadlessUi::LoadString(int id) {
    CheckAlive();
    const char* text = resources::FindString(program_, id);
    return text ? text : std::string();
}

std::uintptr_t HeadlessUi::LoadIcon(int id) {
    CheckAlive();
    return id == kIconResource ? kIconHandleBase + kIconResource : 0;
}

std::string HeadlessUi::AppName() {
    CheckAlive();
    return ProgramName(program_);
}

// -------------------------------------------------------------------- dialogs

WindowId HeadlessUi::CreateDialogWindow(int templateId, WindowId owner, DialogHandler& handler) {
    const DialogTemplate* dialogTemplate = FindDialogTemplate(program_, templateId);
    if (!dialogTemplate) return WindowId::None;
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    auto dialog = std::make_unique<Window>();
    dialog->id = desktop_.NewWindowId();
    dialog->parent = owner;
    dialog->thread = std::this_thread::get_id();
    dialog->isDialog = true;
    dialog->templateId = templateId;
    dialog->windowClass = "#32770";
    dialog->text = dialogTemplate->caption;
    dialog->style = dialogTemplate->style;
    dialog->enabled = !(dialogTemplate->style & style::kDisabled);
    dialog->handler = &handler;
    for (const ControlTemplate& c : dialogTemplate->controls) {
        auto control = std::make_unique<Window>();
        control->id = desktop_.NewWindowId();
        control->parent = dialog->id;
        control->thread = dialog->thread;
        control->controlId = c.id;
        control->windowClass = Lower(c.windowClass);
        control->text = c.text;
        control->style = c.style;
        control->enabled = !(c.style & style::kDisabled);
        control->visible = (c.style & style::kVisible) != 0;
        if (dialog->focus == WindowId::None && (c.style & style::kTabStop) && control->enabled)
            dialog->focus = control->id;
        dialog->children.push_back(control->id);
        windows_[control->id] = std::move(control);
    }
    WindowId id = dialog->id;
    windows_[id] = std::move(dialog);
    ThreadLocked(std::this_thread::get_id());
    return id;
}

int HeadlessUi::DoModal(int templateId, WindowId parent, DialogHandler& handler) {
    return RunModal(templateId, parent, handler, false);
}

int HeadlessUi::DoModalHidden(int templateId, WindowId parent, DialogHandler& handler) {
    return RunModal(templateId, parent, handler, true);
}

int HeadlessUi::RunModal(int templateId, WindowId parent, DialogHandler& handler, bool hidden) {
    CheckAlive();
    // Without a parent the main window (or its pop-up on top) owns the
    // dialog, as the framework has it; like DialogBox, the owner is
    // disabled while the dialog runs.
    WindowId owner = parent;
    if (owner == WindowId::None && Owns(MainWindow())) owner = LastActivePopupHere(MainWindow());
    bool ownerDisabled = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Window* o = FindLocked(owner);
        if (o && o->enabled) {
            o->enabled = false;
            ownerDisabled = true;
        }
    }
    WindowId dialog = CreateDialogWindow(templateId, owner, handler);
    if (dialog == WindowId::None) return -1;
    struct Cleanup {
        HeadlessUi& ui;
        WindowId dialog, owner;
        bool reenable;
        ~Cleanup() {
            std::lock_guard<std::mutex> lock(ui.mutex_);
            ui.DestroyLocked(dialog);
            if (Window* o = ui.FindLocked(owner); o && reenable) o->enabled = true;
            ui.changed_.notify_all();
        }
    } cleanup{*this, dialog, owner, ownerDisabled};

    handler.HandleInitDialog(dialog);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Window* w = FindLocked(dialog);
        if (!w) return -1;
        // A modal dialog is shown whatever its template says, unless it was
        // asked to stay hidden; one ended during its initialisation never is.
        if (!hidden && !w->ended) ShowLocked(*w);
    }
    RunLoop(dialog);
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(dialog);
    return w ? w->result : -1;
}

WindowId HeadlessUi::CreateModeless(int templateId, WindowId parent, DialogHandler& handler) {
    CheckAlive();
    WindowId dialog = CreateDialogWindow(templateId, parent, handler);
    if (dialog == WindowId::None) return WindowId::None;
    handler.HandleInitDialog(dialog);
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(dialog);
    if (!w) return WindowId::None;
    if (w->style & style::kVisible) ShowLocked(*w);
    return dialog;
}

void HeadlessUi::EndDialog(WindowId dialog, int result) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    Window* w = FindLocked(dialog);
    if (!w || !w->isDialog) return;
    w->ended = true;
    w->result = result;
    w->visible = false;
    WakeLocked(w->thread);
}

void HeadlessUi::DestroyWindow(WindowId window) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    Window* w = FindLocked(window);
    if (!w) return;
    std::thread::id thread = w->thread;
    DestroyLocked(window);
    WakeLocked(thread);
}

void HeadlessUi::DestroyLocked(WindowId window) {
    auto it = windows_.find(window);
    if (it == windows_.end()) return;
    for (WindowId child : it->second->children) windows_.erase(child);
    windows_.erase(it);
    if (mainWindow_ == window) mainWindow_ = WindowId::None;
}

WindowId HeadlessUi::GetDlgItem(WindowId dialog, int controlId) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    Window* control = ChildLocked(dialog, controlId);
    return control ? control->id : WindowId::None;
}

// ---------------------------------------------------------------- the loop

void HeadlessUi::RunLoop(WindowId dialog) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::thread::id me = std::this_thread::get_id();
    ThreadState& self = ThreadLocked(me);
    ++self.loopDepth;
    self.activity = Activity::Running;
    loops_.push_back(dialog);
    struct Leave {
        HeadlessUi& ui;
        ThreadState& self;
        WindowId dialog;
        std::unique_lock<std::mutex>& lock;
        ~Leave() {
            if (!lock.owns_lock()) lock.lock();  // left by an exception from a handler
            if (--self.loopDepth == 0) self.activity = Activity::NotPumping;
            ui.loops_.erase(std::find(ui.loops_.begin(), ui.loops_.end(), dialog));
            ui.changed_.notify_all();
        }
    } leave{*this, self, dialog, lock};

    for (;;) {
        CheckAliveLocked();
        Window* w = FindLocked(dialog);
        if (!w || w->ended) return;

        if (!self.sent.empty()) {
            Sent* sent = self.sent.front();
            self.sent.pop_front();
            self.timersFired = false;
            self.activity = Activity::Running;
            RunSentLocked(lock, *sent);
            continue;
        }
        if (!OthersQuietLocked(me)) {
            // A worker is running: its reports are taken when it pauses.
            self.activity = Activity::Waiting;
            changed_.notify_all();
            changed_.wait(lock);
            continue;
        }
        if (!self.posted.empty()) {
            Posted posted = self.posted.front();
            self.posted.pop_front();
            if (posted.message != msg::kTimer) self.timersFired = false;
            self.activity = Activity::Running;
            lock.unlock();
            Dispatch(posted);
            lock.lock();
            continue;
        }
        if (!self.timersFired) {
            // WM_TIMER comes when the queue is empty, once per idle spell.
            self.timersFired = true;
            std::vector<Posted> due;
            for (auto& [id, window] : windows_) {
                if (window->thread != me) continue;
                for (auto& [timer, ms] : window->timers) {
                    (void)ms;
                    due.push_back(Posted{id, msg::kTimer, timer, 0});
                }
            }
            if (!due.empty()) {
                for (const Posted& p : due) self.posted.push_back(p);
                continue;
            }
        }
        UserAction action;
        if (NextActionLocked(dialog, action)) {
            self.activity = Activity::Running;
            lock.unlock();
            Perform(dialog, action);
            lock.lock();
            continue;
        }
        // Woken with nothing to do, a thread that is idle already stays so
        // quietly: two idle loops would otherwise wake each other forever.
        if (self.activity != Activity::Idle) {
            self.activity = Activity::Idle;
            changed_.notify_all();
        }
        if (!NothingCanHappenLocked()) {
            changed_.wait(lock);
        } else if (changed_.wait_for(lock, stuckGrace_) == std::cv_status::timeout && NothingCanHappenLocked()) {
            // The grace is for a thread of a test's own that has not called
            // in yet; a program's threads are all known here.
            const std::string message = StuckMessageLocked();
            stuck_ = message;
            events_.Add("STUCK", message);
            std::fprintf(stderr, "headless: %s\n", message.c_str());
            lock.unlock();
            EndProcess(kStillActive);
            lock.lock();
        }
    }
}

bool HeadlessUi::NothingCanHappenLocked() const {
    if (ended_ || !mainWindowActions_.empty()) return false;
    for (const auto& [id, state] : threads_) {
        (void)id;
        if (state.activity != Activity::Idle && state.activity != Activity::NotPumping) return false;
        if (!state.posted.empty() || !state.sent.empty()) return false;
    }
    return true;
}

std::string HeadlessUi::StuckMessageLocked() const {
    // The newest dialog whose modal loop still runs is the one waiting.
    std::string caption;
    for (auto it = loops_.rbegin(); it != loops_.rend() && caption.empty(); ++it) {
        if (Window* w = FindLocked(*it)) caption = w->text;
    }
    return "the dialog \"" + caption + "\" is still open after the scripted user's last action";
}

void HeadlessUi::Dispatch(const Posted& posted) {
    if (posted.window == WindowId::None) return;  // thread messages: nobody here takes them
    DialogHandler* handler = nullptr;
    WindowId dialog = WindowId::None;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Window* d = DialogOfLocked(posted.window);
        if (!d) return;  // destroyed meanwhile
        handler = d->handler;
        dialog = d->id;
    }
    Message message{posted.window, posted.message, posted.wParam, posted.lParam};
    if (handler && handler->PreTranslateMessage(message)) return;
    if (IsDialogMessage(dialog, message)) return;
    Deliver(posted.window, posted.message, posted.wParam, posted.lParam);
}

bool HeadlessUi::IsDialogMessage(WindowId dialog, const Message& message) {
    if (message.message != msg::kKeyDown) return false;
    if (message.wParam == msg::kKeyEscape) {
        WindowId cancel = WindowId::None;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (Window* c = ChildLocked(dialog, mb::kIdCancel)) cancel = c->id;
        }
        Deliver(dialog, msg::kCommand, WParam(mb::kIdCancel), static_cast<LParam>(cancel));
        return true;
    }
    if (message.wParam == kKeyReturn) {
        int defaultId = mb::kIdOk;
        WindowId button = WindowId::None;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            Window* d = FindLocked(dialog);
            if (!d) return true;
            for (WindowId child : d->children) {
                Window* c = FindLocked(child);
                if (c && c->windowClass == "button" &&
                    (c->style & style::kButtonTypeMask) == style::kDefPushButton) {
                    defaultId = c->controlId;
                    break;
                }
            }
            Window* c = ChildLocked(dialog, defaultId);
            if (c && !c->enabled) return true;
            if (c) button = c->id;
        }
        Deliver(dialog, msg::kCommand, WParam(defaultId), static_cast<LParam>(button));
        return true;
    }
    return false;
}

LResult HeadlessUi::Deliver(WindowId window, Dword message, WParam wParam, LParam lParam) {
    std::unique_lock<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (!w) return 0;
    if (w->isDialog) {
        DialogHandler* handler = w->handler;
        lock.unlock();
        bool handled = false;
        LResult result = handler->HandleMessage(message, wParam, lParam, handled);
        if (handled) return result;
        return DefDialogProc(window, message, wParam, lParam);
    }
    return ControlProcLocked(*w, message, wParam, lParam);
}

LResult HeadlessUi::DefDialogProc(WindowId dialog, Dword message, WParam wParam, LParam lParam) {
    std::unique_lock<std::mutex> lock(mutex_);
    Window* d = FindLocked(dialog);
    if (!d) return 0;
    switch (message) {
        case msg::kSetIcon: {
            std::uintptr_t& slot = wParam == msg::kIconBig ? d->bigIcon : d->smallIcon;
            std::uintptr_t old = slot;
            slot = static_cast<std::uintptr_t>(lParam);
            return static_cast<LResult>(old);
        }
        case msg::kSysCommand:
            if ((wParam & 0xFFF0) == msg::kScClose && d->systemMenuClose) {
                lock.unlock();
                return Deliver(dialog, msg::kClose, 0, 0);
            }
            return 0;
        case msg::kClose: {
            // A dialog closes as its Cancel button would, unless that is greyed.
            Window* cancel = ChildLocked(dialog, mb::kIdCancel);
            if (cancel && !cancel->enabled) return 0;
            PostLocked(dialog, msg::kCommand, WParam(mb::kIdCancel),
                       static_cast<LParam>(cancel ? cancel->id : WindowId::None));
            return 0;
        }
        case kNextDlgCtl:
            if (lParam & 0xFFFF) d->focus = static_cast<WindowId>(wParam);
            return 0;
        default:
            return 0;
    }
}

LResult HeadlessUi::ControlProcLocked(Window& c, Dword message, WParam wParam, LParam lParam) {
    if (c.windowClass == "msctls_progress32") {
        switch (message) {
            case msg::kPbmSetRange: {
                LResult old = (LResult(c.rangeMax & 0xFFFF) << 16) | (c.rangeMin & 0xFFFF);
                c.rangeMin = static_cast<int>(lParam & 0xFFFF);
                c.rangeMax = static_cast<int>((lParam >> 16) & 0xFFFF);
                SetPositionLocked(c, c.position);
                return old;
            }
            case msg::kPbmSetPos: {
                int old = c.position;
                SetPositionLocked(c, static_cast<int>(wParam));
                return old;
            }
            case msg::kPbmSetStep: {
                int old = c.step;
                c.step = static_cast<int>(wParam);
                return old;
            }
            case msg::kPbmStepIt: {
                // comctl32: past the upper bound the bar starts over.
                int old = c.position;
                int next = c.position + c.step;
                int range = c.rangeMax - c.rangeMin;
                if (next > c.rangeMax && range > 0) next = (next - c.rangeMin) % range + c.rangeMin;
                SetPositionLocked(c, next);
                return old;
            }
            case msg::kPbmGetPos:
                return c.position;
            default:
                return 0;
        }
    }
    if (c.windowClass == "sysipaddress32") {
        switch (message) {
            case msg::kIpmSetAddress:
                c.address = static_cast<Dword>(lParam);
                c.addressBlank = false;
                return 1;
            case msg::kIpmGetAddress:
                if (lParam) *reinterpret_cast<Dword*>(lParam) = c.addressBlank ? 0 : c.address;
                return c.addressBlank ? 0 : 4;
            case msg::kIpmClearAddress:
                c.address = 0;
                c.addressBlank = true;
                return 0;
            default:
                return 0;
        }
    }
    if (c.windowClass == "listbox") {
        const bool valid = wParam < c.items.size();
        switch (message) {
            case msg::kLbAddString: {
                std::string text = lParam ? reinterpret_cast<const char*>(lParam) : "";
                size_t at = c.items.size();
                if ((c.style & style::kListSort) && !c.items.empty()) {
                    // The list box's own binary search: an equal item is inserted before.
                    int low = 0, high = static_cast<int>(c.items.size()) - 1;
                    at = std::string::npos;
                    while (low <= high) {
                        int mid = (low + high) / 2;
                        int order = CompareNoCase(c.items[mid].text, text);
                        if (order == 0) {
                            at = static_cast<size_t>(mid);
                            break;
                        }
                        if (order > 0) high = mid - 1;
                        else low = mid + 1;
                    }
                    if (at == std::string::npos) at = static_cast<size_t>(low);
                }
                c.items.insert(c.items.begin() + static_cast<long>(at), ListItem{text, 0, 0});
                return static_cast<LResult>(at);
            }
            case msg::kLbResetContent:
                c.items.clear();
                return 0;
            case msg::kLbGetCount:
                return static_cast<LResult>(c.items.size());
            case msg::kLbGetTextLen:
                return valid ? static_cast<LResult>(c.items[wParam].text.size()) : kLbErr;
            case msg::kLbGetText:
                if (!valid || !lParam) return kLbErr;
                std::memcpy(reinterpret_cast<char*>(lParam), c.items[wParam].text.c_str(),
                            c.items[wParam].text.size() + 1);
                return static_cast<LResult>(c.items[wParam].text.size());
            case msg::kLbSetItemData:
                if (!valid) return kLbErr;
                c.items[wParam].data = lParam;
                return 0;
            case msg::kLbGetItemData:
                return valid ? c.items[wParam].data : kLbErr;
            default:
                return 0;
        }
    }
    return 0;
}

void HeadlessUi::SetPositionLocked(Window& bar, int position) {
    position = std::max(bar.rangeMin, std::min(bar.rangeMax, position));
    if (position == bar.position) return;
    bar.position = position;
    events_.Add("PROGRESS", std::to_string(position));
}

// ----------------------------------------------------------- scripted user

bool HeadlessUi::NextActionLocked(WindowId dialog, UserAction& action) {
    Window* d = FindLocked(dialog);
    if (!d || !d->visible || d->ended) return false;
    if (script_.TakeDialogAction(d->text, action)) return true;
    if (dialog == mainWindow_ && !mainWindowActions_.empty()) {
        action = std::move(mainWindowActions_.front());
        mainWindowActions_.pop_front();
        return true;
    }
    return false;
}

void HeadlessUi::Perform(WindowId dialog, const UserAction& action) {
    using Kind = UserAction::Kind;
    if (action.kind == Kind::Call) {
        if (action.call) action.call();
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    Window* d = FindLocked(dialog);
    if (!d || !d->enabled) return;  // a disabled window takes no input
    switch (action.kind) {
        case Kind::Escape: {
            WindowId target = d->focus != WindowId::None ? d->focus : dialog;
            PostLocked(target, msg::kKeyDown, msg::kKeyEscape, kEscapeKeyData);
            return;
        }
        case Kind::Close:
            lock.unlock();
            Deliver(dialog, msg::kSysCommand, msg::kScClose, 0);
            return;
        default:
            break;
    }
    Window* c = ChildLocked(dialog, action.controlId);
    if (!c || !c->enabled) return;
    WindowId control = c->id;
    Dword notify = msg::kBnClicked;
    switch (action.kind) {
        case Kind::Click:
            if (IsAutoRadio(c->style)) {
                // An auto radio button checks itself and unchecks the rest of its group.
                auto& kids = d->children;
                size_t at = std::find(kids.begin(), kids.end(), control) - kids.begin();
                size_t first = at;
                while (first > 0 && !(FindLocked(kids[first])->style & style::kGroup)) --first;
                for (size_t i = first; i < kids.size(); ++i) {
                    Window* k = FindLocked(kids[i]);
                    if (i > first && (k->style & style::kGroup)) break;
                    if (IsAutoRadio(k->style)) k->check = msg::kBstUnchecked;
                }
                c->check = msg::kBstChecked;
            }
            d->focus = control;
            break;
        case Kind::Type:
            c->text = action.text;
            d->focus = control;
            notify = kEnChange;
            break;
        case Kind::TypeAddress:
            c->address = action.address;
            c->addressBlank = false;
            d->focus = control;
            notify = kEnChange;
            break;
        case Kind::Check:
        case Kind::Uncheck: {
            auto item = std::find_if(c->items.begin(), c->items.end(),
                                     [&](const ListItem& i) { return i.text == action.text; });
            if (item == c->items.end()) return;
            item->check = action.kind == Kind::Check ? msg::kBstChecked : msg::kBstUnchecked;
            notify = msg::kClbnChkChange;
            break;
        }
        default:
            return;
    }
    WParam command = (WParam(notify) << 16) | (WParam(action.controlId) & 0xFFFF);
    lock.unlock();
    Deliver(dialog, msg::kCommand, command, static_cast<LParam>(control));
}

// ------------------------------------------------------------------ messages

LResult HeadlessUi::SendMessage(WindowId window, Dword message, WParam wParam, LParam lParam) {
    std::unique_lock<std::mutex> lock(mutex_);
    CheckAliveLocked();
    Window* w = FindLocked(window);
    if (!w) return 0;
    const std::thread::id me = std::this_thread::get_id();
    if (w->thread == me) {
        lock.unlock();
        return Deliver(window, message, wParam, lParam);
    }
    // Another thread's window: its thread runs the message while this one
    // waits, still answering what is sent to its own windows.
    Sent sent{window, message, wParam, lParam};
    std::thread::id target = w->thread;
    ThreadLocked(target).sent.push_back(&sent);
    WakeLocked(target);
    ThreadState& self = ThreadLocked(me);
    struct Park {
        ThreadState& self;
        Activity before;
        std::unique_lock<std::mutex>& lock;
        ~Park() {
            if (!lock.owns_lock()) lock.lock();
            self.activity = before;
        }
    } park{self, self.activity, lock};
    self.activity = Activity::Waiting;
    changed_.notify_all();
    while (!sent.done) {
        if (ended_ && !sent.taken) {
            // Nobody will run it now; one already running is waited for.
            auto& queue = ThreadLocked(target).sent;
            queue.erase(std::remove(queue.begin(), queue.end(), &sent), queue.end());
            CheckAliveLocked();
        }
        if (!self.sent.empty()) {
            Sent* incoming = self.sent.front();
            self.sent.pop_front();
            RunSentLocked(lock, *incoming);
            continue;
        }
        changed_.wait(lock);
    }
    return sent.result;
}

void HeadlessUi::RunSentLocked(std::unique_lock<std::mutex>& lock, Sent& sent) {
    sent.taken = true;
    lock.unlock();
    // The sender waits on its stack until done: it is set whatever happens.
    struct Completion {
        HeadlessUi& ui;
        Sent& sent;
        LResult result = 0;
        ~Completion() {
            std::lock_guard<std::mutex> guard(ui.mutex_);
            sent.result = result;
            sent.done = true;
            ui.changed_.notify_all();
        }
    };
    {
        Completion completion{*this, sent};
        completion.result = Deliver(sent.window, sent.message, sent.wParam, sent.lParam);
    }
    lock.lock();
}

bool HeadlessUi::PostMessage(WindowId window, Dword message, WParam wParam, LParam lParam) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    if (window == WindowId::None) {
        // A thread message to the caller's own queue.
        ThreadLocked(std::this_thread::get_id()).posted.push_back(Posted{window, message, wParam, lParam});
        return true;
    }
    if (!FindLocked(window)) return false;
    PostLocked(window, message, wParam, lParam);
    return true;
}

void HeadlessUi::PostLocked(WindowId window, Dword message, WParam wParam, LParam lParam) {
    Window* w = FindLocked(window);
    if (!w) return;
    ThreadLocked(w->thread).posted.push_back(Posted{window, message, wParam, lParam});
    WakeLocked(w->thread);
}

// ------------------------------------------------------------------ windows

void HeadlessUi::SetWindowText(WindowId window, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    if (Window* w = FindLocked(window)) SetTextLocked(*w, text);
}

void HeadlessUi::SetTextLocked(Window& window, const std::string& text) {
    if (window.text == text) return;
    window.text = text;
    if (!IsStatusLabelLocked(window)) return;
    events_.Add("STATUS", text);
    UserAction action;
    if (script_.TakeStatusAction(text, action)) {
        mainWindowActions_.push_back(std::move(action));
        if (Window* main = FindLocked(mainWindow_)) WakeLocked(main->thread);
    }
}

bool HeadlessUi::IsStatusLabelLocked(const Window& window) const {
    if (window.isDialog || window.controlId != StatusControl(program_)) return false;
    Window* dialog = FindLocked(window.parent);
    return dialog && dialog->isDialog && dialog->templateId == kMainTemplate;
}

std::string HeadlessUi::GetWindowText(WindowId window) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    Window* w = FindLocked(window);
    return w ? w->text : std::string();
}

void HeadlessUi::EnableWindow(WindowId window, bool enable) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    if (Window* w = FindLocked(window)) w->enabled = enable;
}

bool HeadlessUi::IsWindowEnabled(WindowId window) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    Window* w = FindLocked(window);
    return w && w->enabled;
}

void HeadlessUi::ShowWindow(WindowId window, int command) {
    CheckAlive();
    if (Owns(window)) {
        ShowWindowHere(window, command);
        return;
    }
    desktop_.WithOwner(window, [&](HeadlessUi& owner) { owner.ShowWindowHere(window, command); });
}

void HeadlessUi::ShowWindowHere(WindowId window, int command) {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (!w) return;
    if (command == show::kHide) {
        w->visible = false;
    } else if (command == kShowMinimized || command == kMinimize || command == kShowMinNoActive) {
        if (!w->visible) shown_.push_back(w->text);
        w->visible = true;
        w->iconic = true;
    } else {
        if (command == show::kRestore || command == show::kShowNormal) w->iconic = false;
        ShowLocked(*w);
    }
    WakeLocked(w->thread);
}

bool HeadlessUi::IsIconic(WindowId window) {
    CheckAlive();
    if (Owns(window)) return IsIconicHere(window);
    bool iconic = false;
    desktop_.WithOwner(window, [&](HeadlessUi& owner) { iconic = owner.IsIconicHere(window); });
    return iconic;
}

bool HeadlessUi::IsIconicHere(WindowId window) const {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    return w && w->iconic;
}

void HeadlessUi::CheckDlgButton(WindowId dialog, int controlId, Dword state) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    if (Window* c = ChildLocked(dialog, controlId)) c->check = state;
}

Dword HeadlessUi::IsDlgButtonChecked(WindowId dialog, int controlId) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    Window* c = ChildLocked(dialog, controlId);
    return c ? c->check : msg::kBstUnchecked;
}

void HeadlessUi::SetCheckListState(WindowId list, int index, Dword state) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    Window* w = FindLocked(list);
    if (w && index >= 0 && static_cast<size_t>(index) < w->items.size()) w->items[index].check = state;
}

Dword HeadlessUi::GetCheckListState(WindowId list, int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    Window* w = FindLocked(list);
    if (w && index >= 0 && static_cast<size_t>(index) < w->items.size()) return w->items[index].check;
    return msg::kBstUnchecked;
}

void HeadlessUi::RemoveSystemMenuClose(WindowId window) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    if (Window* w = FindLocked(window)) w->systemMenuClose = false;
}

void HeadlessUi::SetCursor(CursorKind cursor) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    cursor_ = cursor;
}

void HeadlessUi::PaintIconic(WindowId window, std::uintptr_t icon) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    if (Window* w = FindLocked(window)) w->paintedIcon = icon;
}

void HeadlessUi::SetTimer(WindowId window, std::uintptr_t id, Dword milliseconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    Window* w = FindLocked(window);
    if (!w) return;
    w->timers[id] = milliseconds;
    ThreadLocked(w->thread).timersFired = false;
    WakeLocked(w->thread);
}

void HeadlessUi::KillTimer(WindowId window, std::uintptr_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    if (Window* w = FindLocked(window)) w->timers.erase(id);
}

// ------------------------------------------------------------- message box

int HeadlessUi::MessageBox(WindowId owner, const std::string& text, Dword type) {
    WaitForDialogThread();
    WindowId box;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        CheckAliveLocked();
        auto w = std::make_unique<Window>();
        w->id = box = desktop_.NewWindowId();
        w->parent = owner;
        w->thread = std::this_thread::get_id();
        w->isMessageBox = true;
        w->windowClass = "#32770";
        w->text = ProgramName(program_);
        ShowLocked(*w);
        windows_[box] = std::move(w);
    }
    struct Cleanup {
        HeadlessUi& ui;
        WindowId box;
        ~Cleanup() {
            std::lock_guard<std::mutex> lock(ui.mutex_);
            ui.DestroyLocked(box);
        }
    } cleanup{*this, box};

    std::function<void(const std::string&)> hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook = script_.BoxHook();
    }
    if (hook) hook(text);
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    int answer = script_.AnswerBox(type);
    boxes_.push_back({text, type, answer, true});
    events_.Add("BOX", text + " -> " + mb::AnswerName(answer));
    return answer;
}

void HeadlessUi::MessageBoxAnswered(const std::string& text, Dword type, int answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    boxes_.push_back({text, type, answer, false});
    events_.Add("LOGGED", text + " -> " + mb::AnswerName(answer));
}

// --------------------------------------------------- application and threads

void HeadlessUi::SetMainWindow(WindowId window) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    mainWindow_ = window;
    if (Window* w = FindLocked(window)) dialogThread_ = w->thread;
    changed_.notify_all();
}

WindowId HeadlessUi::MainWindow() {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    return mainWindow_;
}

bool HeadlessUi::BeginThread(ThreadProc proc, void* param) {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
    workers_.push_back(WorkerThreads::Start([this, proc, param] {
        {
            // Start once the dialog's thread is idle, so the start is the same
            // every run; never once the dialog is gone.
            std::unique_lock<std::mutex> gate(mutex_);
            ThreadState& self = ThreadLocked(std::this_thread::get_id());
            self.worker = true;
            self.activity = Activity::Waiting;
            changed_.notify_all();
            changed_.wait(gate, [&] { return ended_ || DialogThreadIdleLocked(); });
            self.activity = Activity::NotPumping;
            if (ended_) return;  // the process ended before the thread ran
            self.activity = Activity::Running;
        }
        try {
            proc(param);
        } catch (const ProcessExit& exit) {
            EndProcess(exit.code);
        }
        std::lock_guard<std::mutex> done(mutex_);
        ThreadLocked(std::this_thread::get_id()).activity = Activity::NotPumping;
        changed_.notify_all();
    }));
    return true;
}

bool HeadlessUi::DialogThreadIdleLocked() {
    if (dialogThread_ == std::thread::id() || dialogThread_ == std::this_thread::get_id()) return true;
    return ThreadLocked(dialogThread_).activity == Activity::Idle;
}

bool HeadlessUi::OthersQuietLocked(std::thread::id me) {
    for (const auto& [id, state] : threads_) {
        if (id != me && (state.worker || state.loopDepth > 0) && state.activity == Activity::Running)
            return false;
    }
    return true;
}

void HeadlessUi::WaitForDialogThread() {
    std::unique_lock<std::mutex> lock(mutex_);
    CheckAliveLocked();
    ThreadState& self = ThreadLocked(std::this_thread::get_id());
    const Activity before = self.activity;
    self.activity = Activity::Waiting;
    changed_.notify_all();
    // A dialog thread that stopped pumping only waits for the process to end.
    changed_.wait(lock, [&] { return ended_ || DialogThreadIdleLocked(); });
    self.activity = before;
    CheckAliveLocked();
}

long HeadlessUi::IncrementInstanceCounter() {
    CheckAlive();
    return desktop_.IncrementInstanceCounter(Executable());
}

WindowId HeadlessUi::FindWindowByTitle(const std::string& title) {
    CheckAlive();
    return desktop_.FindWindowByTitle(title);
}

WindowId HeadlessUi::GetLastActivePopup(WindowId window) {
    CheckAlive();
    if (Owns(window)) return LastActivePopupHere(window);
    WindowId popup = window;
    desktop_.WithOwner(window, [&](HeadlessUi& owner) { popup = owner.LastActivePopupHere(window); });
    return popup;
}

WindowId HeadlessUi::LastActivePopupHere(WindowId window) const {
    std::lock_guard<std::mutex> lock(mutex_);
    WindowId best = window;
    unsigned long long newest = 0;
    for (const auto& [id, w] : windows_) {
        if (id == window || !w->visible || !(w->isDialog || w->isMessageBox)) continue;
        // Owned, directly or through other pop-ups, by the window.
        for (Window* o = FindLocked(w->parent); o; o = FindLocked(o->parent)) {
            if (o->id == window) {
                if (w->activated > newest) {
                    newest = w->activated;
                    best = id;
                }
                break;
            }
        }
    }
    return best;
}

void HeadlessUi::SetForegroundWindow(WindowId window) {
    CheckAlive();
    desktop_.SetForeground(window);
}

// ----------------------------------------------------------- process end

void HeadlessUi::EndProcess(int code) {
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!ended_) {
            ended_ = true;
            exitCode_ = code;
            first = true;
        }
        changed_.notify_all();
    }
    if (first) desktop_.ProcessEnded(*this);
}

bool HeadlessUi::Ended() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
}

int HeadlessUi::ExitCode() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return exitCode_;
}

void HeadlessUi::JoinThreads() {
    std::vector<std::shared_ptr<WorkerThreads::Job>> jobs;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs.swap(workers_);
    }
    for (const auto& job : jobs) job->Join();
}

// -------------------------------------------------------------- inspection

WindowId HeadlessUi::FindDialog(const std::string& caption) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [id, w] : windows_) {
        if (w->isDialog && w->text == caption) return id;
    }
    return WindowId::None;
}

bool HeadlessUi::HasSystemMenuClose(WindowId window) const {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    return w && w->systemMenuClose;
}

CursorKind HeadlessUi::Cursor() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cursor_;
}

std::uintptr_t HeadlessUi::Icon(WindowId window, bool big) const {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    return w ? (big ? w->bigIcon : w->smallIcon) : 0;
}

std::uintptr_t HeadlessUi::PaintedIcon(WindowId window) const {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    return w ? w->paintedIcon : 0;
}

WindowId HeadlessUi::Focus(WindowId dialog) const {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(dialog);
    return w ? w->focus : WindowId::None;
}

std::string HeadlessUi::TextOf(WindowId window) const {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    return w ? w->text : std::string();
}

std::vector<HeadlessUi::Box> HeadlessUi::Boxes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
}

void HeadlessUi::SetStuckGrace(std::chrono::milliseconds grace) {
    std::lock_guard<std::mutex> lock(mutex_);
    stuckGrace_ = grace;
}

std::string HeadlessUi::Stuck() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stuck_;
}

std::vector<std::string> HeadlessUi::Shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
}

bool HeadlessUi::Owns(WindowId window) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return FindLocked(window) != nullptr;
}

WindowId HeadlessUi::FindTopLevel(const std::string& title) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_) return WindowId::None;
    WindowId found = WindowId::None;
    std::string wanted = Lower(title);
    for (const auto& [id, w] : windows_) {
        // FindWindow sees hidden windows too; ids grow, so the last match is the newest.
        if ((w->isDialog || w->isMessageBox) && Lower(w->text) == wanted) found = id;
    }
    return found;
}

// ------------------------------------------------------------------ helpers

void HeadlessUi::ShowLocked(Window& window) {
    if (!window.visible) shown_.push_back(window.text);
    window.visible = true;
    window.activated = ++activations_;
}

void HeadlessUi::CheckAliveLocked() const {
    if (ended_) throw ProcessExit{exitCode_};
}

void HeadlessUi::CheckAlive() const {
    std::lock_guard<std::mutex> lock(mutex_);
    CheckAliveLocked();
}

HeadlessUi::Window* HeadlessUi::FindLocked(WindowId window) const {
    if (window == WindowId::None) return nullptr;
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : it->second.get();
}

HeadlessUi::Window* HeadlessUi::DialogOfLocked(WindowId window) const {
    Window* w = FindLocked(window);
    if (!w) return nullptr;
    if (w->isDialog) return w;
    Window* parent = FindLocked(w->parent);
    return parent && parent->isDialog ? parent : nullptr;
}

HeadlessUi::Window* HeadlessUi::ChildLocked(WindowId dialog, int controlId) const {
    Window* d = FindLocked(dialog);
    if (!d) return nullptr;
    for (WindowId child : d->children) {
        Window* c = FindLocked(child);
        if (c && c->controlId == controlId) return c;
    }
    return nullptr;
}

HeadlessUi::ThreadState& HeadlessUi::ThreadLocked(std::thread::id thread) { return threads_[thread]; }

void HeadlessUi::WakeLocked(std::thread::id thread) {
    ThreadState& state = ThreadLocked(thread);
    // No longer idle from now on, so that nobody takes it for drained.
    if (state.loopDepth > 0 && state.activity == Activity::Idle) state.activity = Activity::Running;
    changed_.notify_all();
}

}  // namespace zmp::sim
