// The install engine: every installation step of the installer is one of
// its operations. It holds the context the steps read (bitness, OS code,
// spooler environment, source folder, the names from the string table) and
// reports progress to the installer's dialog through a ProgressSink.
//
// Every operation logs "\r\n" and "<Name> BEGIN" on entry and "<Name> END"
// on every exit. A step report is the dialog's step-with-text report
// followed by a 500 ms pause.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "removal/DriverRemover.h"
#include "support/Log.h"
#include "support/OsDetect.h"
#include "support/Progress.h"

namespace zmp {

// Where the printer is attached: 1000 plus the index of the port dialog's
// radio button.
enum PortCode {
    PortCom1 = 1000,
    PortCom2 = 1001,
    PortCom3 = 1002,
    PortCom4 = 1003,
    PortUsb = 1004,
    PortWirelessLan = 1005,
};

class DriverInstaller {
public:
    // Loads the names from the installer's string table.
    DriverInstaller(Platform& platform, Log& log);
    virtual ~DriverInstaller() = default;
    DriverInstaller(const DriverInstaller&) = delete;
    DriverInstaller& operator=(const DriverInstaller&) = delete;

    // Stores the WOW64 flag and OS code and derives the spooler environment
    // and the folder of the driver files from them.
    void SetSystemInfo(bool is64, OsCode osCode);
    // The dialog's status line and progress bar, reached through its
    // progress reports; null means no reports.
    void SetControlPointers(ProgressSink* progress);

    // True when a printer driver of exactly that name (case matters) is
    // registered with the spooler for this system's environment; a failed
    // enumeration counts as none.
    bool PrinterDrvExist(const std::string& driverName);
    // True when an oem INF of the system holds the printer's model line in
    // the maker's section (".NTamd64" on 64-bit Windows). Every matching
    // oem INF is logged. The key looked up is always the printer name.
    bool INFFileExist(const std::string& sectionBase, const std::string& key);
    // An error box: prefixFormat formatted with the code (it ends in
    // "\n\n"), then the system's English text for the code.
    void ShowSystemError(const char* prefixFormat, Dword code);

    // Plug-and-Play clean-up before an installation, without reports.
    void DeleteVidPid();
    void DeletePrnDrvPnPDirectory();
    void Delete_USB_Info();

    // --- the two install sequences; both may end the process
    // Vista and later: PrintUIEntry installs from the INF in a hidden child.
    void AddToWin2KWithWHQL(int portCode);
    // Windows 2000, XP and Server 2003: every part registered by our steps.
    void AddToWin2K(int portCode);

    // --- file copying
    // After a failed CopyFileA: a target in use (access denied, sharing
    // violation) is moved aside to "<target>.old" and the copy made again;
    // true then, whatever that copy does. Any other code is only logged.
    bool HandleCopyFileError(const std::string& source, const std::string& destination, Dword errorCode);
    // Stages the Unidrv and driver files in the printer-driver directory.
    void CopyFilesNeededToAddPrnDrv();
    // The uninstaller and the configuration file into "<windir>\ZMP-K40".
    void CopyFilesOfUtilities();
    // A folder that administrators and the system may change and users
    // only read and run (inherited, nothing inherited from its parent); an
    // existing one is emptied and re-created, or given that list when it
    // cannot be removed. The last CreateDirectoryA result.
    bool CreateDirectoryWithSA(const std::string& path);
    // That list, or none (logged) when an account or the list cannot be made.
    AclRef UtilitiesFolderAcl();
    // Deletes what CopyFilesNeededToAddPrnDrv staged.
    void DeleteFilesUsed();

    // --- spooler registration; each shows the system's error box on refusal
    bool AddLanguageMonitor();
    bool AddPrinterProcessor();
    bool AddPrinterDriverToSystem();
    // No printer object for USB (Plug and Play makes it). Returns only on
    // success: a refused printer ends the process after the error box.
    int AddPrinterToSystem(int portCode, const std::string& printerName);

    // --- network port: the Standard TCP/IP port "IP_<address>"
    void SetEthernetPort(const std::string& ipAddress, int portNumber);
    void AddEthernetPort();

    // --- INF and uninstall registration
    // Installs the INF as an oem INF; InfName() then holds its full path
    // (empty when Windows refused it).
    void CopyINFFile();
    // A fresh "Uninstall" entry (64-bit view on 64-bit Windows).
    void RegisterUninstallInfo();

    // The exit code of an installation that could not finish.
    static constexpr int kExitFailed = -1;

    // --- context, read by the workflow and the steps
    bool Is64() const { return is64_; }
    OsCode GetOsCode() const { return osCode_; }
    const std::string& Environment() const { return environment_; }
    const std::string& SourceFolder() const { return sourceFolder_; }
    const std::string& PrinterName() const { return printerName_; }
    const std::string& MakerName() const { return makerName_; }
    const std::string& InfName() const { return infName_; }
    const std::string& IpAddress() const { return ipAddress_; }
    int PortNumber() const { return portNumber_; }

protected:
    // The installation's size on the disk for the "Uninstall" entry, in KB.
    Dword InstalledSizeKb();

    void Begin(const char* operation);
    void End(const char* operation);
    // The step-with-text report, then the pause (500 ms unless a step says otherwise).
    void StepReport(const std::string& text, Dword sleepMilliseconds = kStepSleep);
    // The completion report: the text and the bar at 100, no pause.
    void CompletionReport(const std::string& text);

    static constexpr Dword kStepSleep = 500;

    Platform& platform_;
    Log& log_;

    bool is64_ = false;
    int portNumber_ = 0;       // SetEthernetPort
    OsCode osCode_ = kOsUnknown;
    std::string ipAddress_;    // SetEthernetPort
    std::string environment_;  // "Windows x64" or "Windows NT x86"
    std::string sourceFolder_; // "Driver64\" or "Driver32\", relative to the current directory
    std::string work_;         // scratch for string resources
    std::string makerName_;    // 25
    std::string printerName_;  // 2: printer, driver and INF model name
    std::string infName_;      // 11; the oem INF's full path once CopyINFFile has run
    ProgressSink* progress_ = nullptr;
    std::string monitorDll_;     // 6
    std::string monitorName_;    // 3
    std::string processorDll_;   // 7
    std::string processorName_;  // 4
    std::string driverDll_;      // 5
    std::string uiDll_;          // 8
    std::string unidrvDll_;      // 9

private:
    // Directories as the steps fetch them; empty when the call failed.
    std::string WindowsDirectory();
    std::string SystemDirectory();
    std::string PrinterDriverDirectory();
    // CopyFileA (overwriting), the "FILE SRC" line, and the fallback on failure.
    void CopyWithFallback(const std::string& source, const std::string& destination);
    // The restart question after an installation; true when answered Yes.
    bool AskForRestart();
    // PrinterDrvExist's answer without its log lines and report; listed
    // holds the enumeration's status (a failed one counts as none).
    bool DriverRegistered(const std::string& driverName, Status& listed);
    // The first free printer object name: the printer name, then the
    // printer name with "(#1)", "(#2)" ...
    std::string FreePrinterName();
    // After the PrintUIEntry child: its exit code, logged; none when it
    // cannot be read.
    std::optional<Dword> ChildExitCode(ProcessHandle child);
    // What the spooler does not show of the installation: the driver in
    // this system's environment and, for a port other than USB, the printer
    // object on it with our driver. One line a part, each logged as
    // "NOT INSTALLED : %s"; empty when all is there.
    std::vector<std::string> VerifyInstallation(int portCode, const std::string& printerObject);
    // The end of an installation that did not install: the "Uninstall" entry and the utilities when something of ours
    // is registered all the same, the failure box; ends the process with -1.
    void FailInstallation(bool driverExisted, std::optional<Dword> exitCode,
                          const std::vector<std::string>& missing);
    // After the user has been told what failed: the "Uninstall" entry and the
    // utilities only when something of ours is registered; ends with -1.
    void AbandonInstallation(bool driverExisted);
    std::string PrinterPortName(int portCode) const;

    // The Plug-and-Play clean-up, and the search for parts of ours that a
    // failed installation left.
    DriverRemover pnpCleanup_;
};

}  // namespace zmp
