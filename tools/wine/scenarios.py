"""The scenarios: one small function each, registered with what it needs.

A scenario drives the programs under Wine like a user (r.wine, r.act,
r.box ...), checks what it saw, and runs the same scenario on the
simulator's machine (r.sim); the harness then compares the two machines.
Options of @scenario:
  kind     "win64" (64-bit Windows; our programs run under WOW64) or "win32"
  version  what Wine reports: "win7", "winxp64", "winxp" (checks.VERSIONS)
  base     continues on a copy of the machines another scenario left
  config   the package's configuration lines instead of the shipped file
  product  False: runs no product (no package, no comparison)
"""

import re
import shutil
import subprocess
import time
from dataclasses import dataclass, field
from typing import Callable, List, Optional

from checks import (Stop, INSTALLER, INSTALLER_BOX, INSTALLER_LOG, PORT_TYPE, PRINTUI, INF, PROGRESS, RESTART_QUESTION,
                    TURN_OFF, UNINSTALLER, UNINSTALLER_BOX, UNINSTALLER_DIALOG, UNINSTALLER_LOG, VERSIONS)
import compare
import machines as m
import wineprefix as wp


@dataclass
class Spec:
    name: str
    title: str
    run: Callable
    kind: str = "win64"
    version: str = "win7"
    base: Optional[str] = None
    config: Optional[List[str]] = None
    product: bool = True
    dependents: List[str] = field(default_factory=list)

    @property
    def windows(self):
        return f"{VERSIONS[self.version]['title']}, {wp.KINDS[self.kind]}"


SCENARIOS = {}


def scenario(name, title, **options):
    def add(function):
        SCENARIOS[name] = Spec(name, title, function, **options)
        return function
    return add


DRIVER = "KORVANT ZMP-K40"
NOT_INSTALLED = r"The driver could not be installed.\n\nNot installed:\n"
X64 = "Windows x64"
X86 = "Windows NT x86"


# ------------------------------------------------------------------ shared flows

def install_from_dialog(r, control, name="port-dialog"):
    """The installer from the package folder; the user picks the port whose
    radio button is control and presses Next."""
    r.log_name, r.tail_ms = INSTALLER_LOG, 2000
    program = r.wine.start(INSTALLER)
    r.act("wait-window", PORT_TYPE, "30000", stop=True)
    with r.user():
        r.shot(name)
        r.act("check", PORT_TYPE, control, "--", "click", PORT_TYPE, "Next")
    return program


def install_configured(r):
    """The installer with the port from its configuration file: no dialog."""
    r.log_name, r.tail_ms = INSTALLER_LOG, 2000
    return r.wine.start(INSTALLER)


def uninstaller(r):
    """The uninstaller, started where the "Uninstall" entry points."""
    r.log_name = UNINSTALLER_LOG
    return r.wine.start(UNINSTALLER, m.UTILITIES)


def uninstaller_with_list(r):
    """The uninstaller showing its list: our one printer, checked. The user
    looks at it meanwhile."""
    program = uninstaller(r)
    r.act("wait-window", UNINSTALLER_DIALOG, "30000", stop=True)
    r.act("wait-text", UNINSTALLER_DIALOG, "1001", "Uninstall", "5000", "--", "list-checks", UNINSTALLER_DIALOG,
          "1006", stop=True)
    with r.user():
        r.shows("1 items")
        r.shows(f'0 "{DRIVER}" checked')
        r.shot("uninstaller-list")
    return program


def check_printui_ran(r, command):
    """The command line the installer ran, and what our printui did with it."""
    r.log_has("COMMAND LINE : " + command)
    done = r.printui_log()
    r.check(done.strip().endswith("exit 0"), "printui did not finish its job (see printui-standin.log)")


def plug_in(r):
    """The USB printer switched on, as far as Wine allows: Plug and Play adds
    the printer object on USB001 (Wine has no USB printer enumeration, so no
    device node, no USB001 port and no staging folder)."""
    r.check(r.wine.spoolq("plug-and-play.txt", "add-printer", DRIVER, DRIVER, "USB001") == 0,
            "adding the printer as Plug and Play would")
    r.sim.plug()


# ------------------------------------------------------------------ scenarios

@scenario("0-robot", "the robot on fixture.exe: every robot command reaches the window as a user's action would; "
          "refusals and bounded waits", product=False)
def robot(r):
    out = r.results / "fixture.txt"
    fixture = r.wine.start(str(r.wine.tools["i686"] / "fixture.exe"), "C:\\")
    p, l = "Fixture Port Type", "Fixture Check List"
    r.act("wait-window", p, "20000", stop=True)
    with r.user():
        r.shot("port-dialog")
        r.act("texts", p, "--", "foreground")
        r.shows('1006 Button "COM1" checked')
        r.shows('1003 SysIPAddress32 "0.0.0.0" disabled')
        r.shows(f'foreground "{p}"')
        r.check(r.robot("type", p, "1005", "9101") == 3, "typing into the disabled port field was not refused")
        r.act("check", p, "1007", "--", "type", p, "1005", "9101", "--", "set-ip", p, "1003", "192.168.0.50")
        r.shows('type "Fixture Port Type" 1005: "9101"')
        r.shows("fields 192 168 0 50")
        r.shot("port-dialog-filled")
        r.act("click", p, "Next")

    r.act("wait-window", l, "10000", "--", "list-checks", l, "1006", stop=True)
    for n, name in enumerate(("Printer A", "Printer B", "Printer C")):
        r.shows(f'{n} "{name}" checked')
    r.act("toggle-check", l, "1006", "0", "--", "toggle-check", l, "1006", "1", "--", "toggle-check", l, "1006", "2")
    r.shows('"Printer C": 1 -> 0')
    r.check(r.robot("click", l, "Uninstall") == 3, "clicking the disabled Uninstall button was not refused")
    r.act("toggle-check", l, "1006", "1")
    r.shot("check-list")
    r.act("click", l, "Uninstall")

    r.box("Fixture", r"First line.\nSecond line.\n\n[Yes] or [No]?", "No", "message-box", 10000)
    r.act("wait-window", "Fixture Escape", "10000", "--", "key", "Fixture Escape", "escape")
    r.act("wait-window", "Fixture Alt+F4", "10000", "--", "key", "Fixture Alt+F4", "alt+f4")
    begin = time.monotonic()
    r.check(r.robot("--wait", "300", "texts", "No Such Window") == 1, "waiting for a missing window did not time out")
    r.check(time.monotonic() - begin < 5, "the 300 ms wait took too long")
    r.wait(fixture, 20, 0)
    said = (r.results / "wine-fixture.exe.log").read_text().replace("\r", "").split("\n")
    for want in ("port-dialog result=1 index=5 port=9101 ip=192.168.0.50", "check-list result=1001 checks=0,1,0",
                 "message-box answer=7"):
        r.check(want in said, f"fixture did not report: {want}")
    r.check(said.count("port-dialog result=2") == 2, "Escape and Alt+F4 did not both cancel")


@scenario("1-win7-usb", "Windows 7 64-bit: Wireless LAN, port 0, Next (range message), 9100, USB, Next; OK")
def win7_usb(r):
    r.log_name, r.tail_ms = INSTALLER_LOG, 2000
    program = r.wine.start(INSTALLER)
    r.act("wait-window", PORT_TYPE, "30000", stop=True)
    with r.user():
        r.shot("port-dialog")
        r.check_port_dialog()
        r.check_progress_dialog()
        # Wireless LAN opens the address fields; a port of 0 is refused with
        # the range message and the dialog stays. The port is checked
        # whatever the choice, so it is put right before USB closes the
        # fields again.
        r.act("check", PORT_TYPE, "1007", "--", "type", PORT_TYPE, "1005", "0", "--", "texts", PORT_TYPE)
        r.shows('1003 SysIPAddress32 "0.0.0.0"\n')
        r.shows('1005 Edit "0"\n')
        r.act("click", PORT_TYPE, "Next")
        r.box(INSTALLER_BOX, "Please enter an integer between 1 and 10000.", "OK", "range-box", 5000)
        r.act("texts", PORT_TYPE)
        r.shows('1007 Button "Wireless LAN" checked')
        r.act("type", PORT_TYPE, "1005", "9100", "--", "check", PORT_TYPE, "1001", "--", "texts", PORT_TYPE)
        r.shows('1003 SysIPAddress32 "0.0.0.0" disabled')
        r.shows('1005 Edit "9100" disabled')
        r.act("click", PORT_TYPE, "Next")
    r.act("wait-gone", PORT_TYPE, "5000")
    if r.act("wait-text", PROGRESS, "1003", "...", "10000"):
        r.shot("progress-dialog")
    r.check_progress_dialog()
    # The completion report comes before the message.
    r.act("wait-window", INSTALLER_BOX, "150000", "--", "texts", PROGRESS, stop=True)
    r.shows('1003 Static "The driver has been successfully installed."')
    r.shows('msctls_progress32 "" pos=100')
    r.expect_boxes(r.finish(program, INSTALLER_BOX, "No"), TURN_OFF)
    r.keep_log()
    r.check_log_start()
    r.check_environment()
    r.log_in_order("AddToWin2KWithWHQL BEGIN", "PrinterDrvExist BEGIN", "KORVANT ZMP-K40 PRINTER DRIVER DOES NOT EXIST.",
                   "DeleteVidPid BEGIN", "DeletePrnDrvPnPDirectory BEGIN", "Delete_USB_Info BEGIN",
                   f'COMMAND LINE : {PRINTUI} /ia /m "KORVANT ZMP-K40" /f {INF}',
                   "INFFileExist BEGIN", "RegisterUninstallInfo BEGIN", "CopyFilesOfUtilities BEGIN",
                   "AddToWin2KWithWHQL END")
    check_printui_ran(r, f'{PRINTUI} /ia /m "KORVANT ZMP-K40" /f {INF}')
    r.check_uninstall_entry()
    r.check_utilities_folder()
    spooler = r.spooler()
    r.check(r.has_driver(spooler, X64), "no x64 driver KORVANT ZMP-K40 (PrintUIEntry /ia)")
    r.check(not r.printers(spooler), "a printer was added for USB (Plug and Play adds it)")
    r.sim.install(r.wine.package, "--port", "USB")


@scenario("2-second-instance", "a second installer while the first asks for the port; Escape")
def second_instance(r):
    r.log_name = INSTALLER_LOG
    first = r.wine.start(INSTALLER)
    r.act("wait-window", PORT_TYPE, "30000", stop=True)
    with r.user():
        r.second_start(INSTALLER, m.PACKAGE, PORT_TYPE, INSTALLER_LOG)
        r.act("windows")
        r.check(r.out.count(f'window "{PROGRESS}"') == 1, "not exactly one progress dialog")
        r.check(r.out.count(f'window "{PORT_TYPE}"') == 1, "not exactly one port dialog")
        # The first one is cancelled at its port dialog.
        r.act("key", PORT_TYPE, "escape")
    r.box(INSTALLER_BOX, "The driver installation canceled.", "OK", "cancelled-box", 10000)
    r.exit_code = r.wait(first, 15, 0)
    r.keep_log()
    r.log_has("The driver installation canceled.")
    r.sim.install(r.wine.package, "--cancel-port")


@scenario("3-win7-com1", "Windows 7 64-bit, PORTDLG=FALSE and PORT=COM1: no port dialog; a second installer "
          "during the restart question; No", config=["PORTDLG=FALSE", "PORT=COM1"])
def win7_com1(r):
    program = install_configured(r)
    r.act("wait-window", PROGRESS, "30000", stop=True)
    if r.act("wait-text", PROGRESS, "1003", "...", "15000"):
        r.shot("progress-dialog")
    r.act("windows")
    r.lacks(f'window "{PORT_TYPE}"')
    # A second start while the first shows its question brings the question
    # (the progress dialog's last active pop-up) to the front.
    r.act("wait-window", INSTALLER_BOX, "150000", stop=True)
    with r.user():
        r.second_start(INSTALLER, m.PACKAGE, INSTALLER_BOX, INSTALLER_LOG)
    r.expect_boxes(r.finish(program, INSTALLER_BOX, "No"), RESTART_QUESTION)
    r.keep_log()
    check_printui_ran(r, f'{PRINTUI} /if /b "KORVANT ZMP-K40" /f {INF} /r "COM1:" /m "KORVANT ZMP-K40"')
    r.log_has("AddToWin2KWithWHQL END")
    r.check_uninstall_entry()
    r.check_utilities_folder()
    spooler = r.spooler()
    r.check(r.printers(spooler) == [(DRIVER, DRIVER, "COM1:")], "not one printer KORVANT ZMP-K40 on COM1:")
    r.sim.install(r.wine.package, "--no")


@scenario("4-win7-com2-second-printer", "after 3, the installer again with PORT=COM2: the driver is there, "
          "PrintUIEntry with /u and the next free name", base="3-win7-com1", config=["PORTDLG=FALSE", "PORT=COM2"])
def win7_com2_second(r):
    program = install_configured(r)
    # The driver is installed: no success message and no restart question.
    r.expect_boxes(r.finish(program, INSTALLER_BOX, "No"))
    r.keep_log()
    r.log_has("KORVANT ZMP-K40 PRINTER DRIVER EXISTS.")
    # The printer name is taken: the new printer gets the first free one.
    r.log_has("PRINTER-DRIVER NAME TO ADD : KORVANT ZMP-K40(#1) ")
    check_printui_ran(r, f'{PRINTUI} /if /b "KORVANT ZMP-K40(#1)" /f {INF} /r "COM2:" '
                         f'/m "KORVANT ZMP-K40" /u')
    r.log_lacks("NOT INSTALLED")
    spooler = r.spooler()
    r.check(sorted(r.printers(spooler)) == [(DRIVER, DRIVER, "COM1:"), (DRIVER + "(#1)", DRIVER, "COM2:")],
            "not the printer on COM1: and a second one, KORVANT ZMP-K40(#1), on COM2:")
    r.sim.install(r.wine.package, "--no")


@scenario("5-win7-wlan", "Windows 7 64-bit, Wireless LAN 192.168.0.50:9101 typed in: no TCP/IP port under "
          "Wine, so no printer; the failure box; OK")
def win7_wlan(r):
    r.log_name, r.tail_ms = INSTALLER_LOG, 0
    program = r.wine.start(INSTALLER)
    r.act("wait-window", PORT_TYPE, "30000", stop=True)
    with r.user():
        r.act("check", PORT_TYPE, "1007", "--", "set-ip", PORT_TYPE, "1003", "192.168.0.50", "--",
              "type", PORT_TYPE, "1005", "9101", "--", "texts", PORT_TYPE)
        r.shows('1003 SysIPAddress32 "192.168.0.50"\n')
        r.shows('1005 Edit "9101"\n')
        r.shot("port-dialog-wlan")
        r.act("click", PORT_TYPE, "Next")
    # Wine has no Standard TCP/IP port monitor: no port, so PrintUIEntry
    # installs the driver and cannot add the printer (1796). The installer
    # says so, and leaves the "Uninstall" entry for the driver.
    r.expect_boxes(r.finish(program, INSTALLER_BOX, "No", expected_exit=255),
                   NOT_INSTALLED + r'printer "KORVANT ZMP-K40" on "IP_192.168.0.50"\n\n'
                   r"The printer installation of Windows (PrintUIEntry) ended with code 1796.*")
    r.keep_log()
    command = f'{PRINTUI} /if /b "KORVANT ZMP-K40" /f {INF} /r "IP_192.168.0.50" /m "KORVANT ZMP-K40"'
    r.log_in_order("IP ADDRESS : 192.168.0.50", "PORT NUMBER : 9101", "AddEthernetPort BEGIN",
                   "OpenPrinter failed. (1796)", "AddEthernetPort END", "AddToWin2KWithWHQL BEGIN",
                   "COMMAND LINE : " + command, "PROCESS EXIT CODE : 1796",
                   'NOT INSTALLED : printer "KORVANT ZMP-K40" on "IP_192.168.0.50"',
                   'COMPONENT FOUND : printer driver "KORVANT ZMP-K40" (Windows x64)', "RegisterUninstallInfo BEGIN",
                   "CopyFilesOfUtilities BEGIN", "AddToWin2KWithWHQL END")
    r.log_lacks("The driver has been successfully installed.")
    r.check("exit 1796" in r.printui_log(), "printui did not refuse the missing port with 1796")
    # The entry lets the user remove the driver; no INF of ours was taken in
    # by the installer, so "InfFile" names none.
    entry = r.uninstall_entry()
    r.check(re.search(r"UninstallString +REG_SZ +C:\\windows\\ZMP-K40\\ZMPK40_Uninstaller\.exe$", entry, re.M | re.I),
            "no Uninstall entry for the driver that is there")
    r.check_utilities_folder()
    r.sim.install(r.wine.package, "--port", "WLAN", "--ip", "192.168.0.50", "--tcp-port", "9101", "--no")


def check_removal(r):
    """After a removal on the Windows 7 machine of scenario 1."""
    spooler = r.spooler("spooler-after.txt")
    r.check(not r.printers(spooler), "a printer object is still there")
    r.check(not r.has_driver(spooler, X64), "the x64 driver is still there")
    r.check("DisplayName" not in r.uninstall_entry(), "the Uninstall entry is still there")
    # The utilities folder stays (the uninstaller runs from it).
    r.check(r.wine.unix(m.UTILITIES + "\\" + UNINSTALLER), "the utilities folder lost the uninstaller")


@scenario("6-win7-plug-uninstall", "after 1, the printer switched on (Plug and Play); the uninstaller's list, "
          "a second uninstaller, uncheck, check, Uninstall; No", base="1-win7-usb")
def win7_plug_uninstall(r):
    plug_in(r)
    r.spooler("spooler-before.txt")
    program = uninstaller_with_list(r)
    with r.user():
        r.second_start(UNINSTALLER, m.UTILITIES, UNINSTALLER_DIALOG, UNINSTALLER_LOG)
        # Unchecking the only printer leaves nothing to do; checking it again does.
        r.act("toggle-check", UNINSTALLER_DIALOG, "1006", "0", "--", "texts", UNINSTALLER_DIALOG)
        r.shows('1001 Button "Uninstall" disabled')
        r.act("toggle-check", UNINSTALLER_DIALOG, "1006", "0", "--", "texts", UNINSTALLER_DIALOG)
        r.lacks('1001 Button "Uninstall" disabled')
        r.act("click", UNINSTALLER_DIALOG, "Uninstall")
    if r.act("wait-text", UNINSTALLER_DIALOG, "1000", "...", "10000"):
        r.shot("uninstalling")
    r.expect_boxes(r.finish(program, UNINSTALLER_BOX, "No", seconds=300), RESTART_QUESTION)
    r.keep_log()
    r.check_log_start()
    r.log_has("The number of printer-objects : 1")
    r.log_has(f"OBJECT NAME : {DRIVER}")
    check_removal(r)
    r.sim.uninstall("--no")


@scenario("7-win7-uninstall-driver-only", "after 1, the driver only; Escape, Alt+F4 while removing; No",
          base="1-win7-usb")
def win7_uninstall_driver_only(r):
    program = uninstaller(r)
    r.act("wait-window", UNINSTALLER_DIALOG, "30000", stop=True)
    r.act("wait-text", UNINSTALLER_DIALOG, "1000", "...", "10000", "--", "texts", UNINSTALLER_DIALOG)
    r.shows('1006 ListBox "" count=0')
    r.shows('1001 Button "Uninstall" disabled')
    r.shows('2 Button "Cancel" disabled')
    r.shot("uninstalling")
    # Escape and Alt+F4 do nothing while the removal runs.
    r.act("key", UNINSTALLER_DIALOG, "escape", "--", "key", UNINSTALLER_DIALOG, "alt+f4")
    time.sleep(0.5)
    r.act("texts", UNINSTALLER_DIALOG)
    r.expect_boxes(r.finish(program, UNINSTALLER_BOX, "No", seconds=300), RESTART_QUESTION)
    r.keep_log()
    r.check_log_start()
    r.log_has("The number of printer-objects : 0")
    r.log_has("KORVANT ZMP-K40 PRINTER DRIVER EXISTS.")
    r.log_lacks("RemovePrinterObjects BEGIN")
    check_removal(r)
    r.sim.uninstall("--no")


@scenario("8-win7-uninstall-fresh", "the uninstaller in its folder where no driver is installed; OK")
def win7_uninstall_fresh(r):
    folder = r.wine.windows / "ZMP-K40"
    folder.mkdir()
    (folder / UNINSTALLER).write_bytes((r.dist / UNINSTALLER).read_bytes())
    r.sim.put_file(r"C:\Windows\ZMP-K40\ZMPK40_Uninstaller.exe", r.dist / UNINSTALLER)
    program = uninstaller(r)
    # The dialog behind the box: its caption is set at run time.
    r.act("wait-window", UNINSTALLER_DIALOG, "30000", "--", "texts", UNINSTALLER_DIALOG, stop=True)
    r.shows('1001 Button "Uninstall" disabled')
    r.shows('2 Button "Cancel"')
    r.shows('1006 ListBox "" count=0')
    r.shows('-1 Static "Progress :"')
    r.shows('1002 msctls_progress32 "" pos=0')
    r.expect_boxes(r.finish(program, UNINSTALLER_BOX, "No", seconds=60),
                   "The ZMP-K40 driver does not exist on this system.")
    r.keep_log()
    r.check_log_start()
    r.log_has("The number of printer-objects : 0")
    r.log_has("KORVANT ZMP-K40 PRINTER DRIVER DOES NOT EXIST.")
    r.log_has("DeleteUninstallInfoFromReg END")
    r.sim.uninstall("--no")


@scenario("9-win7-keys-during-install", "Escape, Enter, Alt+F4 while installing (USB): nothing happens")
def win7_keys_during_install(r):
    program = install_from_dialog(r, "1001")
    r.act("wait-text", PROGRESS, "1003", "...", "10000", stop=True)
    # Escape, Enter (the dialog's default button would end it) and Alt+F4
    # (the system menu's Close), each while the installation runs.
    for key in ("escape", "enter", "alt+f4"):
        r.act("key", PROGRESS, key)
        time.sleep(0.5)
    r.shot("after-keys")
    r.act("texts", PROGRESS)
    r.shows(f'window "{PROGRESS}"')
    r.expect_boxes(r.finish(program, INSTALLER_BOX, "No"), TURN_OFF)
    r.keep_log()
    r.log_has("AddToWin2KWithWHQL END")
    r.log_lacks("The driver installation canceled.")
    r.sim.install(r.wine.package, "--port", "USB")


@scenario("10-win7-restart-yes", "Windows 7 64-bit, PORT=COM3 from the configuration; Yes to the restart "
          "question: Wine's session restarts, the installer finishes its closing steps",
          config=["PORTDLG=FALSE", "PORT=COM3"])
def win7_restart_yes(r):
    program = install_configured(r)
    r.act("wait-window", INSTALLER_BOX, "150000", stop=True)
    before = [pid for pid, cmd in r.wine.processes() if "services.exe" in cmd]
    r.expect_boxes(r.finish(program, INSTALLER_BOX, "Yes"), RESTART_QUESTION)
    m.wait_until(lambda: [p for p, c in r.wine.processes() if "services.exe" in c and p not in before], 10)
    after = [pid for pid, cmd in r.wine.processes() if "services.exe" in cmd]
    r.check(before and after and set(before) != set(after),
            f"Wine did not restart (services.exe {before}, then {after})")
    r.keep_log()
    check_printui_ran(r, f'{PRINTUI} /if /b "KORVANT ZMP-K40" /f {INF} /r "COM3:" /m "KORVANT ZMP-K40"')
    r.log_has("AddToWin2KWithWHQL END")
    r.sim.install(r.wine.package, "--yes")


OLDER = {"MajorVersion": 2, "MinorVersion": 0, "BuildVersion": 5, "ExtraVersion": 9}


@scenario("11-win7-older-driver", "after 3, the printer reports the older version 2.0.5.9; the installer "
          "removes that version and restarts Windows", base="3-win7-com1", config=["PORTDLG=FALSE", "PORT=COM1"])
def win7_older_driver(r):
    for name, value in OLDER.items():
        r.check(r.wine.spoolq(f"set-{name}.txt", "set-data", DRIVER, name, str(value)) == 0,
                f"setting the printer's {name}")

    def older(state):
        for printer in state["spooler"]["printers"]:
            printer["data"] = dict(OLDER)
    r.sim.edit_state(older)

    program = install_configured(r)
    r.tail_ms = 0
    boxes = r.finish(program, INSTALLER_BOX, "No")
    r.expect_boxes(boxes, r"There is a different version driver in this system.\r\n\r\n"
                          r"The installed driver will be removed.",
                   r"The installer has successfully removed the different version.\n"
                   r"Now it is going to restart your computer to take effect.\n"
                   r"After restarting, you may reinstall the driver again.")
    r.keep_log()
    r.log_lacks("AddToWin2KWithWHQL BEGIN")
    spooler = r.spooler("spooler-after.txt")
    r.check(not r.printers(spooler), "the older version's printer is still there")
    r.sim.install(r.wine.package, "--no")


@scenario("12-xp64-com3", "Windows XP x64 (WOW64), COM3 in the port dialog: the installer's own registration "
          "through the spooler; No", version="winxp64")
def xp64_com3(r):
    program = install_from_dialog(r, "1009")
    # Wine's spooler works inside the 32-bit installer, in the "Windows NT
    # x86" environment: it cannot load the 64-bit monitor, and it finds no
    # driver of that name for the printer. A refused printer ends the
    # installer with -1.
    r.expect_boxes(r.finish(program, INSTALLER_BOX, "No", expected_exit=255),
                   r"AddMonitor, ERR CODE: 126\n\nModule not found.\r\n",
                   r"AddPrinter, Error Code: 87\n\nInvalid parameter.\r\n")
    r.keep_log()
    r.check_log_start()
    r.check_environment()
    r.log_in_order("AddToWin2K BEGIN", "CopyFilesNeededToAddPrnDrv END", "AddLanguageMonitor END",
                   "AddPrinterProcessor END", "AddPrinterDriverToSystem END", "AddPrinterToSystem END")
    r.spooler("spooler-after.txt")
    r.sim.install(r.wine.package, "--port", "COM3", "--no")


@scenario("13-xp-com2", "32-bit Windows XP, COM2 in the port dialog: the full registration, our monitor and "
          "print processor loaded by Wine's spooler; No", kind="win32", version="winxp")
def xp_com2(r):
    program = install_from_dialog(r, "1008")
    r.expect_boxes(r.finish(program, INSTALLER_BOX, "No"), RESTART_QUESTION)
    # Wine's spooler works inside the program that calls it: the installer's
    # AddMonitor loads the language monitor; the print processor is loaded
    # when the spooler prints a job (a test page; Wine then fails to open
    # the port for the job, 1801).
    r.check("zpmon40.dll" in r.loaded(f"wine-{INSTALLER}.log"), "Wine's spooler did not load ZPMON40.dll")
    r.wine.spoolq("test-page.txt", "print", DRIVER, trace="+loaddll")
    r.check("zppro40.dll" in r.loaded("test-page.txt"), "Wine's spooler did not load ZPPRO40.dll for a job")
    r.keep_log()
    r.check_log_start()
    r.check_environment()
    r.log_in_order("AddToWin2K BEGIN", "CopyFilesNeededToAddPrnDrv END", "AddLanguageMonitor END",
                   "AddPrinterProcessor END", "AddPrinterDriverToSystem END", "AddPrinterToSystem END",
                   "CopyINFFile BEGIN", "RegisterUninstallInfo BEGIN", "CopyFilesOfUtilities BEGIN", "AddToWin2K END")
    spooler = r.spooler("spooler-after.txt")
    r.check('monitor "KVT Language Monitor ZMP-K40"' in spooler, "the language monitor is not registered")
    r.check('processor "KVT PRINT PROCESSOR ZMP-K40" env="Windows NT x86"' in spooler,
            "the print processor is not registered")
    r.check(r.has_driver(spooler, X86), "no x86 driver")
    r.check(r.printers(spooler) == [(DRIVER, DRIVER, "COM2:")], "not one printer KORVANT ZMP-K40 on COM2:")
    r.check_uninstall_entry()
    r.check_utilities_folder()
    r.sim.install(r.wine.package, "--port", "COM2", "--no")


@scenario("14-xp-uninstall", "after 13, the uninstaller: the printer listed, Uninstall; No", base="13-xp-com2",
          kind="win32", version="winxp")
def xp_uninstall(r):
    program = uninstaller_with_list(r)
    with r.user():
        r.act("click", UNINSTALLER_DIALOG, "Uninstall")
    r.expect_boxes(r.finish(program, UNINSTALLER_BOX, "No", seconds=300), RESTART_QUESTION)
    r.keep_log()
    r.check_log_start()
    spooler = r.spooler("spooler-after.txt")
    r.check(not r.printers(spooler), "the printer is still there")
    r.sim.uninstall("--no")


@scenario("15-win7-32-usb", "32-bit Windows 7, USB in the port dialog; OK", kind="win32")
def win7_32_usb(r):
    program = install_from_dialog(r, "1001")
    r.expect_boxes(r.finish(program, INSTALLER_BOX, "No"), TURN_OFF)
    r.keep_log()
    r.check_log_start()
    r.check_environment()
    check_printui_ran(r, f'{PRINTUI} /ia /m "KORVANT ZMP-K40" /f {INF}')
    spooler = r.spooler()
    r.check(r.has_driver(spooler, X86), "no x86 driver KORVANT ZMP-K40 (PrintUIEntry /ia)")
    r.check_uninstall_entry()
    r.sim.install(r.wine.package, "--port", "USB")


@scenario("16-win7-32-com1", "32-bit Windows 7, COM1 in the port dialog; No", kind="win32")
def win7_32_com1(r):
    program = install_from_dialog(r, "1006")
    r.expect_boxes(r.finish(program, INSTALLER_BOX, "No"), RESTART_QUESTION)
    r.keep_log()
    r.check_log_start()
    check_printui_ran(r, f'{PRINTUI} /if /b "KORVANT ZMP-K40" /f {INF} /r "COM1:" /m "KORVANT ZMP-K40"')
    spooler = r.spooler()
    r.check(r.printers(spooler) == [(DRIVER, DRIVER, "COM1:")], "not one printer KORVANT ZMP-K40 on COM1:")
    r.sim.install(r.wine.package, "--port", "COM1", "--no")


def deployed(r, log_name, directory, command, name):
    """A program run as a deployment tool runs it: from a batch file that
    waits for it and writes its whole exit code (Linux sees only its low
    byte). Meanwhile the screen is photographed and the visible windows are
    listed again and again: nothing may ever be on it. Returns the code."""
    r.log_name, r.tail_ms = log_name, 2000
    public = r.wine.drive_c / "users/Public"
    code_file = public / f"{name}-exit-code.txt"
    (public / f"{name}.bat").write_bytes((f'@cd /d "{directory}"\r\n'
                                          f'@start "" /wait {command}\r\n'
                                          f'@echo %ERRORLEVEL%> "C:\\users\\Public\\{name}-exit-code.txt"\r\n')
                                         .encode("latin-1"))
    program = r.wine.start("cmd", r"C:\users\Public", ("/c", f"{name}.bat"))
    shots, deadline = 0, time.monotonic() + 180
    while program.running() and time.monotonic() < deadline:
        r.act("windows")
        shown = [line for line in r.out.splitlines() if not line.rstrip().endswith("windows:")]
        r.check(not shown, "a window on the screen: " + " | ".join(shown))
        shots += 1
        r.shot(f"{name}-{shots}")
        colours = subprocess.run(["identify", "-format", "%k", str(r.results / f"{name}-{shots}.png")],
                                 capture_output=True, text=True).stdout.strip()
        r.check(colours == "1", f"screenshot {name}-{shots} is not an empty screen ({colours} colours)")
    r.wait(program, 5)  # the batch ends with the program's code
    r.check(shots >= 3, f"only {shots} screenshots while {name} ran")
    code = int(code_file.read_text().strip()) if code_file.exists() else None
    r.note(f"{name}: exit code {code} ({shots} screenshots, never a window)")
    r.exit_code = code & 0xFF if code is not None else None
    return code


@scenario("18-win7-quiet-install", "Windows 7 64-bit, as a deployment tool installs: /quiet /port COM1 with a "
          "copy of the log; never a window; 3010")
def win7_quiet_install(r):
    code = deployed(r, INSTALLER_LOG, m.PACKAGE, f"{INSTALLER} /quiet /port COM1 /log C:\\Temp\\deploy.txt",
                    "quiet-install")
    r.check(code == 3010, f"exit code {code}, expected 3010 (installed, restart needed)")
    r.keep_log()
    r.check_log_start()
    r.log_in_order("AddToWin2KWithWHQL BEGIN", "RegisterUninstallInfo BEGIN", "MESSAGE BOX : Restarting your "
                   "computer can take effect.", "ANSWER : NO", "AddToWin2KWithWHQL END", "EXIT CODE : 3010")
    copy = r.wine.drive_c / "Temp/deploy.txt"
    r.check(copy.exists() and copy.read_bytes() == (r.wine.drive_c / "Temp" / INSTALLER_LOG).read_bytes(),
            "the /log copy is not the log")
    check_printui_ran(r, f'{PRINTUI} /if /b "KORVANT ZMP-K40" /f {INF} /r "COM1:" /m "KORVANT ZMP-K40"')
    r.check(r.printers(r.spooler()) == [(DRIVER, DRIVER, "COM1:")], "not one printer KORVANT ZMP-K40 on COM1:")
    # What a fleet tool reads from the entry.
    entry = r.uninstall_entry()
    for value in (r"DisplayVersion +REG_SZ +2\.0\.6\.0$", r"Publisher +REG_SZ +KORVANT$",
                  r'QuietUninstallString +REG_SZ +"C:\\windows\\ZMP-K40\\ZMPK40_Uninstaller\.exe" '
                  r"/quiet /norestart$", r"NoModify +REG_DWORD +0x1$", r"NoRepair +REG_DWORD +0x1$",
                  r"EstimatedSize +REG_DWORD +0x[0-9a-f]+$", r"InstallDate +REG_SZ +\d{8}$"):
        r.check(re.search(value, entry, re.M | re.I), f"Uninstall entry: no {value}")
    r.sim.install(r.wine.package, "--", "/quiet", "/port", "COM1", "/log", r"C:\Temp\deploy.txt")


@scenario("19-win7-quiet-uninstall", "after 18, the entry's QuietUninstallString run as a deployment tool runs "
          "it; never a window; 3010", base="18-win7-quiet-install")
def win7_quiet_uninstall(r):
    entry = re.search(r"^ +QuietUninstallString +REG_SZ +(.*)$", r.uninstall_entry(), re.M)
    r.check(entry, "no QuietUninstallString")
    if not entry:
        raise Stop()
    code = deployed(r, UNINSTALLER_LOG, m.UTILITIES, entry.group(1).strip(), "quiet-uninstall")
    r.check(code == 3010, f"exit code {code}, expected 3010 (removed, restart needed)")
    r.keep_log()
    r.check_log_start()
    r.log_in_order("RemovePrinterObjects BEGIN", "MESSAGE BOX : Restarting your computer can take effect.",
                   "ANSWER : NO", "EXIT CODE : 3010")
    spooler = r.spooler("spooler-after.txt")
    r.check(not r.printers(spooler), "a printer object is still there")
    r.check(not r.has_driver(spooler, X64), "the x64 driver is still there")
    r.sim.uninstall("--", "/quiet", "/norestart")


PLANTED_PROGRAMS = ("cmd.exe", "net.exe", "rundll32.exe")
PLANTED_LIBRARIES = ("printui.dll", "winspool.drv", "setupapi.dll", "comctl32.dll", "shlwapi.dll")
MARKERS = r"C:\windows\Temp\planted-markers"


def planted_files(r):
    """Our marker-writing stand-ins under Windows' names, in a host folder
    (for the simulator's --plant as much as for the prefix)."""
    folder = r.results / "planted"
    folder.mkdir(exist_ok=True)
    for names, built in ((PLANTED_PROGRAMS, "planted.exe"), (PLANTED_LIBRARIES, "planted.dll")):
        for name in names:
            shutil.copyfile(r.wine.tools["i686"] / built, folder / name)
    return sorted(folder.iterdir())


def plant(r, directory):
    files = planted_files(r)
    for f in files:
        shutil.copyfile(f, r.wine.unix(directory) / f.name)
    r.note(f"planted in {directory}: {' '.join(f.name for f in files)}")
    return [option for f in files for option in ("--plant", str(f))]


def loaded_from(r, directory):
    """What Wine's loader trace (+loaddll) shows loaded from a folder."""
    prefix = 'Loaded L"' + directory.replace("\\", "\\\\").lower()
    found = []
    for log in r.results.glob("wine-*.log"):
        for line in log.read_text(encoding="latin-1").splitlines():
            if prefix in line.lower():
                path = line.split('Loaded L"', 1)[1].split('"', 1)[0]
                if not path.lower().endswith((INSTALLER.lower(), UNINSTALLER.lower())):  # the program itself
                    found.append(path)
    return sorted(set(found))


def markers(r):
    folder = r.wine.unix(MARKERS)
    return sorted(p.name for p in folder.iterdir()) if folder and folder.is_dir() else []


@scenario("21-win7-planted", "Windows 7 64-bit: a cmd.exe, net.exe, rundll32.exe, printui.dll, winspool.drv, "
          "setupapi.dll, comctl32.dll and shlwapi.dll that leave a marker if they run or load, beside the installer "
          "and then beside the uninstaller; both run as a deployment tool runs them: no marker")
def win7_planted(r):
    plants = plant(r, m.PACKAGE)
    code = deployed(r, INSTALLER_LOG, m.PACKAGE, f"{INSTALLER} /quiet /port COM1", "planted-install")
    r.check(code == 3010, f"exit code {code}, expected 3010 (installed, restart needed)")
    r.keep_log()
    check_printui_ran(r, f'{PRINTUI} /if /b "KORVANT ZMP-K40" /f {INF} /r "COM1:" /m "KORVANT ZMP-K40"')
    r.check(not markers(r), f"planted files ran or loaded beside the installer: {markers(r)}")
    r.check(not loaded_from(r, m.PACKAGE), f"loaded from the download folder: {loaded_from(r, m.PACKAGE)}")
    r.sim.install(r.wine.package, *plants, "--", "/quiet", "/port", "COM1")

    plants = plant(r, m.UTILITIES)
    code = deployed(r, UNINSTALLER_LOG, m.UTILITIES, f"{UNINSTALLER} /quiet /norestart", "planted-uninstall")
    r.check(code == 3010, f"exit code {code}, expected 3010 (removed, restart needed)")
    r.keep_log(UNINSTALLER_LOG)
    r.check(not r.printers(r.spooler("spooler-after.txt")), "a printer object is still there")
    r.check(not markers(r), f"planted files ran or loaded beside the uninstaller: {markers(r)}")
    r.check(not loaded_from(r, m.UTILITIES), f"loaded from the utilities folder: {loaded_from(r, m.UTILITIES)}")
    r.sim.uninstall(*plants, "--", "/quiet", "/norestart")

    # The stand-ins do leave their marker when something runs or loads them
    # (a DLL named as one of Wine's own builtins, winspool.drv for one, is
    # taken builtin by Wine's default load order wherever it lies; printui
    # is native in these prefixes).
    r.wine.run("planted-control-program.txt", m.PACKAGE + "\\net.exe")
    r.wine.run("planted-control-library.txt", r"C:\windows\syswow64\rundll32.exe",
               m.PACKAGE + "\\printui.dll,Anything")
    r.check(markers(r) == ["net.exe.marker", "printui.dll.marker"],
            f"the stand-ins left no marker when run or loaded directly: {markers(r)}")


def broken_package(r, name, change):
    """A copy of the package under C:\\broken\\NAME with one thing wrong."""
    folder = r.wine.drive_c / "broken" / name
    folder.parent.mkdir(exist_ok=True)
    shutil.copytree(r.dist, folder)
    change(folder)
    return rf"C:\broken\{name}\ZMPK40.inf"


def without_model_for_x64(folder):
    inf = folder / "ZMPK40.inf"
    text = inf.read_bytes().decode("latin-1")
    # The model stays in the undecorated section, which 64-bit Windows
    # does not read.
    text = text.replace('[KORVANT.NTamd64]\r\n"KORVANT ZMP-K40"', '[KORVANT.NTamd64]\r\n"KORVANT ZMP-K41"')
    inf.write_bytes(text.encode("latin-1"))


@scenario("17-printui-refuses", "our printui.dll, 32-bit and 64-bit, with a package that lacks a file and one "
          "whose x64 models section lacks the model: a non-zero exit code and nothing registered", product=False)
def printui_refuses(r):
    cases = [("missing-file", lambda f: (f / "Driver64" / "ZMP40.dll").unlink(), 2),
             ("no-x64-model", without_model_for_x64, 1797)]
    # (wine starts the 32-bit cmd: the 64-bit rundll32 is in Sysnative.)
    rundlls = [("32-bit", "rundll32"), ("64-bit", r"C:\windows\Sysnative\rundll32.exe")]
    before = r.spooler("spooler-before.txt")
    files_before = compare.files_of(r.wine.drive_c)
    for name, change, code in cases:
        inf = broken_package(r, name, change)
        for bits, rundll in rundlls:
            out = f"printui-{name}-{bits}.txt"
            rc = r.wine.run(out, "cmd", "/c", rundll, "printui.dll,PrintUIEntry", "/if", "/b", DRIVER, "/f", inf,
                            "/r", "COM1:", "/m", DRIVER)
            done = r.printui_log()
            r.check(rc not in (0, None) and done.rstrip().endswith(f"exit {code}"),
                    f"printui ({bits}, {name}): exit code {rc}, expected {code} (see printui-standin.log)")
    r.check(r.spooler("spooler-after.txt") == before, "the spooler changed")
    r.check(compare.files_of(r.wine.drive_c) == files_before, "files changed (see the spooler's folders)")
    r.wine.end()
    r.check(not compare.registry_of(r.wine.registry()), "our keys are in the registry")


@scenario("20-win7-missing-file", "Windows 7 64-bit, a package without Driver64\\ZPUI40.dll, COM1 in the port "
          "dialog: PrintUIEntry refuses it (2); the failure box; OK")
def win7_missing_file(r):
    (r.wine.package / "Driver64" / "ZPUI40.dll").unlink()
    program = install_from_dialog(r, "1006")
    r.tail_ms = 0
    r.box(INSTALLER_BOX, NOT_INSTALLED + r'printer driver "KORVANT ZMP-K40" (Windows x64)\n'
          r'printer "KORVANT ZMP-K40" on "COM1:"\n\n'
          r"The printer installation of Windows (PrintUIEntry) ended with code 2.\n"
          r"File not found.", "OK", "failure-box", 150000)
    r.exit_code = r.wait(program, 15, 255)
    r.keep_log()
    r.check_log_start()
    command = f'{PRINTUI} /if /b "KORVANT ZMP-K40" /f {INF} /r "COM1:" /m "KORVANT ZMP-K40"'
    r.log_in_order("AddToWin2KWithWHQL BEGIN", "COMMAND LINE : " + command, "PROCESS EXIT CODE : 2",
                   'NOT INSTALLED : printer driver "KORVANT ZMP-K40" (Windows x64)', "FindOwnComponents END",
                   "AddToWin2KWithWHQL END")
    r.log_lacks("RegisterUninstallInfo BEGIN")
    r.check(r.printui_log().rstrip().endswith("exit 2"), "printui did not refuse the missing file with 2")
    spooler = r.spooler()
    r.check(not r.has_driver(spooler, X64) and not r.printers(spooler), "a driver or a printer was installed")
    r.check("DisplayName" not in r.uninstall_entry(), "an Uninstall entry was written")
    r.sim.install(r.wine.package, "--port", "COM1", "--no")


for _spec in SCENARIOS.values():
    if _spec.base:
        SCENARIOS[_spec.base].dependents.append(_spec.name)
