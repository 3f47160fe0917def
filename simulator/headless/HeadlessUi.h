// The headless user-interface backend: a model of the programs' windows and
// controls, built from their dialog templates, driven by a scripted user.
//
// One instance is one simulated process. Windows belong to the thread that
// created them; each thread has a message queue, and a modal dialog runs its
// loop on the calling thread: sent messages first, then posted ones (each
// through the dialog's PreTranslateMessage, then the dialog keys: Escape is
// IDCANCEL), then, when the queue is empty, the timers and then the scripted
// user's next action. Worker threads are std::threads.
//
// Determinism: the threads take turns. A loop handles posted messages,
// timers and the user's actions only while no other thread runs the
// program's code (messages sent to it are handled at once, their sender
// waits anyway); a worker starts only once the dialog's thread has nothing
// left to do; and WaitForDialogThread (called from the machine's sleep hook
// and before every message box) lets the dialog's thread catch up. So the
// transcript of a run is the same every time.
//
// Once the process has ended (EndProcess), every Ui call of any of its
// threads throws ProcessExit, and every wait inside the backend is released.
//
// A run that can go no further (a dialog open, every thread of the process
// waiting in a message loop with nothing to handle, and nothing left for the
// scripted user to do on it) is stuck: after a short grace for threads of a
// test's own, the backend writes "STUCK the dialog "<caption>" is still open
// after the scripted user's last action" to the transcript and to stderr
// and ends the process with STILL_ACTIVE (259), instead of waiting forever.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Ui.h"
#include "resources/StringTables.h"
#include "simulator/Events.h"
#include "simulator/headless/Desktop.h"
#include "simulator/headless/Script.h"
#include "simulator/headless/WorkerThreads.h"

namespace zmp::sim {

class HeadlessUi : public Ui {
public:
    HeadlessUi(resources::Program program, Events& events, Script script, Desktop& desktop);
    ~HeadlessUi() override;

    // The executable's file name ("ZMPK40_Installer.exe").
    std::string Executable() const;

    // --- Ui
    std::string LoadString(int id) override;
    std::uintptr_t LoadIcon(int id) override;
    std::string AppName() override;
    int DoModal(int templateId, WindowId parent, DialogHandler& handler) override;
    int DoModalHidden(int templateId, WindowId parent, DialogHandler& handler) override;
    WindowId CreateModeless(int templateId, WindowId parent, DialogHandler& handler) override;
    void EndDialog(WindowId dialog, int result) override;
    void DestroyWindow(WindowId window) override;
    WindowId GetDlgItem(WindowId dialog, int controlId) override;
    LResult SendMessage(WindowId window, Dword message, WParam wParam, LParam lParam) override;
    bool PostMessage(WindowId window, Dword message, WParam wParam, LParam lParam) override;
    void SetWindowText(WindowId window, const std::string& text) override;
    std::string GetWindowText(WindowId window) override;
    void EnableWindow(WindowId window, bool enable) override;
    bool IsWindowEnabled(WindowId window) override;
    void ShowWindow(WindowId window, int command) override;
    bool IsIconic(WindowId window) override;
    void CheckDlgButton(WindowId dialog, int controlId, Dword state) override;
    Dword IsDlgButtonChecked(WindowId dialog, int controlId) override;
    void SetCheckListState(WindowId list, int index, Dword state) override;
    Dword GetCheckListState(WindowId list, int index) override;
    void RemoveSystemMenuClose(WindowId window) override;
    void SetCursor(CursorKind cursor) override;
    void PaintIconic(WindowId window, std::uintptr_t icon) override;
    void SetTimer(WindowId window, std::uintptr_t id, Dword milliseconds) override;
    void KillTimer(WindowId window, std::uintptr_t id) override;
    int MessageBox(WindowId owner, const std::string& text, Dword type) override;
    // Written to the transcript as "LOGGED <text> -> OK|YES|NO".
    void MessageBoxAnswered(const std::string& text, Dword type, int answer) override;
    void SetMainWindow(WindowId window) override;
    WindowId MainWindow() override;
    bool BeginThread(ThreadProc proc, void* param) override;
    long IncrementInstanceCounter() override;
    WindowId FindWindowByTitle(const std::string& title) override;
    WindowId GetLastActivePopup(WindowId window) override;
    void SetForegroundWindow(WindowId window) override;

    // --- the process around it (the runner)
    // Ends the process with that code (the first code wins) and wakes every wait.
    void EndProcess(int code);
    bool Ended() const;
    int ExitCode() const;
    static constexpr int kStillActive = 259;  // the exit code of a stuck run
    // What made the run stuck; "" when it was not.
    std::string Stuck() const;
    // The grace before a run is called stuck (5 s; shorter for the tests of
    // the backend itself, which start no threads of their own).
    void SetStuckGrace(std::chrono::milliseconds grace);
    // Joins the threads started with BeginThread; call once the process has ended.
    void JoinThreads();
    // Returns once the main window's thread has handled everything sent and
    // posted to it and waits in its loop. At once on that thread itself or
    // before there is a main window. Once that thread has left its loop for
    // good, only the end of the process releases the caller: throws
    // ProcessExit when the process ends.
    void WaitForDialogThread();

    // --- inspection for tests (never throw)
    WindowId FindDialog(const std::string& caption) const;  // a dialog of this process
    bool HasSystemMenuClose(WindowId window) const;
    CursorKind Cursor() const;
    std::uintptr_t Icon(WindowId window, bool big) const;
    std::uintptr_t PaintedIcon(WindowId window) const;
    WindowId Focus(WindowId dialog) const;
    std::string TextOf(WindowId window) const;
    // Every message box so far, in order: its text, type (MB_*) and answer;
    // shown false for one answered by an unattended run without showing it.
    struct Box {
        std::string text;
        Dword type = 0;
        int answer = 0;
        bool shown = true;
    };
    std::vector<Box> Boxes() const;
    // The title of every window that became visible, in order (dialogs by
    // their caption, message boxes by theirs, the program's name).
    std::vector<std::string> Shown() const;

    // --- used by the Desktop (with its lock held)
    bool Owns(WindowId window) const;
    WindowId FindTopLevel(const std::string& title) const;
    WindowId LastActivePopupHere(WindowId window) const;
    void ShowWindowHere(WindowId window, int command);
    bool IsIconicHere(WindowId window) const;

private:
    struct ListItem {
        std::string text;
        LParam data = 0;
        Dword check = 0;
    };
    struct Window {
        WindowId id = WindowId::None;
        WindowId parent = WindowId::None;  // the dialog of a control, the owner of a top-level window
        std::thread::id thread;
        bool isDialog = false;
        bool isMessageBox = false;
        int templateId = 0;
        int controlId = 0;
        std::string windowClass;  // lower case
        std::string text;
        Dword style = 0;
        bool enabled = true;
        bool visible = false;
        bool iconic = false;
        unsigned long long activated = 0;  // when it was last shown, for GetLastActivePopup
        std::vector<WindowId> children;  // controls in template order
        // dialogs
        DialogHandler* handler = nullptr;
        bool ended = false;
        int result = 0;
        bool systemMenuClose = true;
        std::map<std::uintptr_t, Dword> timers;
        WindowId focus = WindowId::None;
        std::uintptr_t bigIcon = 0, smallIcon = 0, paintedIcon = 0;
        // buttons
        Dword check = 0;
        // progress bar
        int rangeMin = 0, rangeMax = 100, position = 0, step = 10;
        // IP-address control
        Dword address = 0;
        bool addressBlank = true;
        // list box
        std::vector<ListItem> items;
    };
    struct Posted {
        WindowId window;
        Dword message;
        WParam wParam;
        LParam lParam;
    };
    struct Sent {
        WindowId window;
        Dword message;
        WParam wParam;
        LParam lParam;
        LResult result = 0;
        bool taken = false;  // the receiving thread is running it
        bool done = false;
    };
    // Running: executing the program's code. Idle: in a message loop with
    // nothing to do. Waiting: blocked in the backend (a sent message, the
    // dialog's thread, the start of a worker, a loop held back while a
    // worker runs). NotPumping: its loop is over, or the thread has ended.
    enum class Activity { Running, Idle, Waiting, NotPumping };
    struct ThreadState {
        std::deque<Posted> posted;
        std::deque<Sent*> sent;
        int loopDepth = 0;
        bool worker = false;  // started with BeginThread
        Activity activity = Activity::Running;
        bool timersFired = false;  // the timers fire once per idle spell
    };

    // Helpers whose name ends in Locked expect mutex_ held.
    void CheckAliveLocked() const;
    void CheckAlive() const;
    Window* FindLocked(WindowId window) const;
    Window* DialogOfLocked(WindowId window) const;
    Window* ChildLocked(WindowId dialog, int controlId) const;
    ThreadState& ThreadLocked(std::thread::id thread);
    void WakeLocked(std::thread::id thread);
    void PostLocked(WindowId window, Dword message, WParam wParam, LParam lParam);
    bool DialogThreadIdleLocked();
    // No worker or message loop of another thread is running the program's code.
    bool OthersQuietLocked(std::thread::id me);
    bool IsStatusLabelLocked(const Window& window) const;
    void SetTextLocked(Window& window, const std::string& text);
    void SetPositionLocked(Window& bar, int position);
    void DestroyLocked(WindowId window);
    // Runs a message sent from another thread and hands back its result,
    // also when the handler ends the process; expects mutex_ held, and
    // holds it again on a normal return.
    void RunSentLocked(std::unique_lock<std::mutex>& lock, Sent& sent);

    WindowId CreateDialogWindow(int templateId, WindowId owner, DialogHandler& handler);
    int RunModal(int templateId, WindowId parent, DialogHandler& handler, bool hidden);
    // Makes the window visible and the last activated one.
    void ShowLocked(Window& window);
    void RunLoop(WindowId dialog);
    // No thread of the process can act any more: all wait in their loops or
    // have stopped pumping, with nothing queued.
    bool NothingCanHappenLocked() const;
    std::string StuckMessageLocked() const;
    void Dispatch(const Posted& posted);
    bool IsDialogMessage(WindowId dialog, const Message& message);
    LResult Deliver(WindowId window, Dword message, WParam wParam, LParam lParam);
    LResult DefDialogProc(WindowId dialog, Dword message, WParam wParam, LParam lParam);
    LResult ControlProcLocked(Window& control, Dword message, WParam wParam, LParam lParam);
    bool NextActionLocked(WindowId dialog, UserAction& action);
    void Perform(WindowId dialog, const UserAction& action);

    const resources::Program program_;
    Events& events_;
    Desktop& desktop_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;  // any change a wait may be waiting for
    Script script_;
    std::map<WindowId, std::unique_ptr<Window>> windows_;
    std::map<std::thread::id, ThreadState> threads_;
    std::deque<UserAction> mainWindowActions_;  // from status triggers
    std::vector<std::shared_ptr<WorkerThreads::Job>> workers_;
    WindowId mainWindow_ = WindowId::None;
    // The main window's thread, kept after the window is gone: a worker
    // then waits for the process to end instead of running on.
    std::thread::id dialogThread_;
    CursorKind cursor_ = CursorKind::Arrow;
    unsigned long long activations_ = 0;
    bool ended_ = false;
    std::vector<Box> boxes_;
    std::vector<std::string> shown_;
    std::vector<WindowId> loops_;  // the dialogs whose modal loops run, innermost last
    std::string stuck_;
    std::chrono::milliseconds stuckGrace_{5000};
    int exitCode_ = 0;
};

}  // namespace zmp::sim
