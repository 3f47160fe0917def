"""One scenario's run: its two machines, the user's actions through the
robot, and the checks scenarios share. A check that does not hold is
recorded (fail) and the scenario goes on where that makes sense; a step
without which nothing later makes sense raises Stop."""

import re
import time
from contextlib import contextmanager

import machines as m

INSTALLER = "ZMPK40_Installer.exe"
UNINSTALLER = "ZMPK40_Uninstaller.exe"
INSTALLER_LOG = "ZMP-K40_Installer.txt"
UNINSTALLER_LOG = "ZMP-K40_UnInstaller.txt"
INSTALLER_BOX = "ZMPK40_Installer"      # message box captions: the programs' names
UNINSTALLER_BOX = "ZMPK40_Uninstaller"
PROGRESS = "Installation Progress"
PORT_TYPE = "Port Type"
UNINSTALLER_DIALOG = "KORVANT ZMP-K40 Uninstaller"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KORVANT_ZMP-K40"
RESTART_QUESTION = (r"Restarting your computer can take effect.\nPlease restart your computer.\n\n"
                    r"[Yes] I want to restart my computer now.\n[No] I want to restart my computer later.")
TURN_OFF = "Please turn-off the printer and then turn-on again."
# The PrintUIEntry child as the installer starts it: rundll32 and printui.dll
# from the system directory by full path (a 32-bit program's system32 is
# SysWOW64 to it), the INF by its full path in the download folder.
PRINTUI = r'"C:\windows\system32\rundll32.exe" C:\windows\system32\printui.dll,PrintUIEntry'
INF = '"' + m.PACKAGE + '\\ZMPK40.inf"'

# What Wine reports for each Windows version a scenario asks for, and the
# simulator's preset of the same Windows.
VERSIONS = {
    "win7": {"title": "Windows 7 SP1", "os": (2, 6, 1, 7601), "sim": "7"},
    "winxp64": {"title": "Windows XP x64", "os": (2, 5, 2, 3790), "sim": "xp64"},
    "winxp": {"title": "Windows XP SP3", "os": (2, 5, 1, 2600), "sim": "xp"},
}


class Stop(Exception):
    """The scenario cannot go on (already recorded as a failure)."""


class Run:
    def __init__(self, spec, wine, sim, dist, results, transcript):
        self.spec = spec
        self.wine = wine
        self.sim = sim
        self.dist = dist
        self.results = results
        self._transcript = transcript
        self.fails = []
        self.user_ms = 0
        self.tail_ms = 0       # the program's documented sleep after its last log line
        self.log_name = ""     # the log whose span is the program's paced time
        self.exit_code = None  # the main program's, compared with the simulator's
        self.out = ""          # the last robot output
        self.shots = []        # the screenshots' names in the order taken

    # -------------------------------------------------------------- recording

    def note(self, text):
        self._transcript.write(text + "\n")
        self._transcript.flush()

    def fail(self, message):
        self.fails.append(message)
        self.note("FAIL: " + message)

    def check(self, condition, message):
        if not condition:
            self.fail(message)
        return condition

    @property
    def wow64(self):
        return self.spec.kind == "win64"

    # -------------------------------------------------------------- the user

    def robot(self, *args):
        rc, self.out = self.wine.robot(*args)
        return rc

    def act(self, *args, stop=False):
        """A robot command that must succeed."""
        rc = self.robot(*args)
        if rc != 0:
            self.fail(f"robot {' '.join(args)} (exit {rc})")
            if stop:
                raise Stop()
        return rc == 0

    def shows(self, text, where="robot output"):
        return self.check(text in self.out, f"expected {text!r} in {where}")

    def lacks(self, text):
        return self.check(text not in self.out, f"did not expect {text!r}")

    def shot(self, name):
        if self.check(self.wine.shot(name), f"screenshot {name}"):
            if name in self.shots:  # taken again: the file holds the later one
                self.shots.remove(name)
            self.shots.append(name)

    @contextmanager
    def user(self):
        """The program waits for the user meanwhile."""
        since = time.monotonic()
        try:
            yield
        finally:
            self.user_ms += int((time.monotonic() - since) * 1000)

    def box(self, caption, text, answer, name, timeout_ms=60000):
        """A message box: wait for it, photograph it, check its text exactly,
        answer."""
        self.act("wait-window", caption, str(timeout_ms), stop=True)
        with self.user():
            self.shot(name)
            rc = self.robot("answer", caption, answer)
        self.check(f'65535 Static "{text}"' in self.out, f'box "{caption}": expected text "{text}"')
        self.check(rc == 0, f'box "{caption}" not answered {answer} (robot exit {rc})')

    def answer_boxes(self, caption, program, yes_no, seconds):
        """Answers every message box titled caption that the program shows
        until it ends: photographs each, answers a Yes/No box with yes_no and
        any other with OK; returns their texts in order."""
        texts = []
        deadline = time.monotonic() + seconds
        while program.running():
            if time.monotonic() > deadline:
                self.fail(f"{program.name} still running after {seconds} s")
                raise Stop()
            # (A robot that Wine ended, as a restart does, reports nothing.)
            if self.robot("wait-window", caption, "2000") != 0 or ": found" not in self.out:
                continue
            with self.user():
                self.shot(f"box-{len(texts) + 1}")
                self.robot("texts", caption)
                answer = yes_no if '7 Button "&No"' in self.out else "OK"
                text = re.search(r'^  65535 Static "(.*)"$', self.out, re.M)
                if self.robot("answer", caption, answer) != 0:
                    self.fail(f"box {len(texts) + 1} not answered {answer}")
            texts.append(text.group(1) if text else "")
            self.note(f'box {len(texts)}: "{texts[-1]}" answered {answer}')
        return texts

    def expect_boxes(self, seen, *expected):
        """The boxes seen against the expected texts; an expected text ending
        in "*" is matched as a prefix (the system's own error text follows)."""
        self.check(len(seen) == len(expected), f"expected {len(expected)} message boxes, saw {len(seen)}")
        for i, (want, got) in enumerate(zip(expected, seen)):
            ok = got.startswith(want[:-1]) if want.endswith("*") else got == want
            self.check(ok, f'box {i + 1}: expected "{want}", saw "{got}"')

    def wait(self, program, seconds, expected=None):
        code = program.wait(seconds)
        self.note(f"{program.name} ended with exit code {code}")
        if code is None:
            self.fail(f"{program.name} still running after {seconds} s")
            raise Stop()
        if expected is not None:
            self.check(code == expected, f"{program.name} exit code {code}, expected {expected}")
        return code

    def finish(self, program, caption, yes_no, expected_exit=0, seconds=180):
        """The program's boxes answered until it ends; its exit code is the
        one compared with the simulator's. Returns the boxes' texts."""
        boxes = self.answer_boxes(caption, program, yes_no, seconds)
        self.exit_code = self.wait(program, 5, expected_exit)
        return boxes

    # -------------------------------------------------------------- the log

    def keep_log(self, name=None):
        """The program's log into the results (LF line ends)."""
        name = name or self.log_name
        src = self.wine.drive_c / "Temp" / name
        if not src.exists():
            self.fail(f"no log C:\\Temp\\{name}")
            raise Stop()
        (self.results / name).write_bytes(src.read_bytes().replace(b"\r", b""))
        return self.log_lines(name)

    def log_lines(self, name=None):
        name = name or self.log_name
        path = self.results / name
        return path.read_text(encoding="latin-1").split("\n") if name and path.is_file() else []

    def log_has(self, text, name=None):
        return self.check(any(text in l for l in self.log_lines(name)), f'log lacks "{text}"')

    def log_lacks(self, text, name=None):
        return self.check(not any(text in l for l in self.log_lines(name)), f'log holds "{text}"')

    def log_in_order(self, *texts, name=None):
        """These texts appear in the log in this order (each on a later line)."""
        lines = self.log_lines(name)
        at = 0
        for text in texts:
            found = next((i for i in range(at, len(lines)) if text in lines[i]), None)
            if found is None:
                self.fail(f'log: "{text}" missing after line {at}')
                return
            at = found + 1

    def log_line_is(self, number, text, name=None):
        lines = self.log_lines(name)
        got = re.sub(r"^\d{2}:\d{2}:\d{2}: ?", "", lines[number - 1]) if len(lines) >= number else None
        self.check(got == text, f'log line {number}: expected "{text}", found "{got}"')

    def log_span_ms(self):
        stamps = []
        for line in self.log_lines():
            t = re.match(r"^(\d{2}):(\d{2}):(\d{2}): ", line)
            if t:
                stamps.append(int(t[1]) * 3600 + int(t[2]) * 60 + int(t[3]))
        if not stamps:
            return 0
        return ((stamps[-1] - stamps[0]) % 86400) * 1000

    def check_log_start(self, name=None):
        """The first lines every run logs: WOW64, then CheckOS with the
        version Wine reports."""
        self.log_line_is(1, "The process is running under WOW64." if self.wow64 else
                         "The process is not running under WOW64.", name)
        self.log_line_is(4, "CheckOS BEGIN", name)
        platform, major, minor, build = VERSIONS[self.spec.version]["os"]
        self.log_line_is(5, f"osvi.dwPlatformID   : {platform}", name)
        self.log_line_is(6, f"osvi.dwMajorVersion : {major}", name)
        self.log_line_is(7, f"osvi.dwMinorVersion : {minor}", name)
        self.log_line_is(8, f"osvi.dwBuildNumber  : {build}", name)
        self.log_line_is(9, "CheckOS END", name)

    def check_environment(self):
        """The installer's driver environment for this kind of Windows."""
        self.log_has("ENV : Windows x64, DRV DIR : Driver64\\ " if self.wow64 else
                     "ENV : Windows NT x86, DRV DIR : Driver32\\ ")

    # -------------------------------------------------------------- the machine

    def spooler(self, name="spooler.txt"):
        return self.wine.spooler(name)

    def uninstall_entry(self):
        """The "Uninstall" entry as reg.exe shows it (64-bit view)."""
        self.wine.run("uninstall-entry.txt", "reg", "query", UNINSTALL_KEY, "/reg:64")
        return (self.results / "uninstall-entry.txt").read_text()

    def check_uninstall_entry(self):
        """What the installer leaves for the uninstaller: the entry (in the
        64-bit view: the installer writes it there on 64-bit Windows)."""
        entry = self.uninstall_entry()
        self.check(re.search(r"DisplayName +REG_SZ +KORVANT ZMP-K40 Windows Driver V2\.0\.6$", entry, re.M),
                   "Uninstall entry: DisplayName")
        self.check(re.search(r"UninstallString +REG_SZ +C:\\windows\\ZMP-K40\\ZMPK40_Uninstaller\.exe$", entry,
                             re.M | re.I), "Uninstall entry: UninstallString")
        # "InfFile" is the name Windows gave the INF it took in, as logged.
        inf = re.search(r"^ +InfFile +REG_SZ +(.*)$", entry, re.M)
        logged = [re.sub(r"^.*INF FILE NAME : ", "", l) for l in self.log_lines() if "INF FILE NAME : " in l]
        inf = inf.group(1) if inf else ""
        self.check(inf and logged and inf == logged[-1],
                   f'Uninstall entry: InfFile "{inf}", the log says "{logged[-1] if logged else ""}"')
        self.check(inf and self.wine.unix(inf), f"the INF {inf} is not in the machine")

    def check_utilities_folder(self):
        folder = self.wine.unix(m.UTILITIES)
        for f in (UNINSTALLER, "ZMPK40_Config.KVT"):
            same = folder and (folder / f).exists() and (folder / f).read_bytes() == (self.wine.package / f).read_bytes()
            self.check(same, f"utilities folder lacks {f} (or it differs from the package's)")

    def check_progress_dialog(self):
        """The progress dialog as the installer shows it: printer name and
        version."""
        if self.act("texts", PROGRESS):
            self.shows('1002 Static "KORVANT ZMP-K40"', f"texts {PROGRESS}")
            self.shows('1001 Static "Driver Version: V2.0.6"', f"texts {PROGRESS}")
            self.shows("1000 msctls_progress32", f"texts {PROGRESS}")

    def check_port_dialog(self):
        """The port dialog with its template's controls and COM1 preselected."""
        if not self.act("texts", PORT_TYPE):
            return
        for c in ('1006 Button "COM1" checked', '1008 Button "COM2" unchecked', '1009 Button "COM3" unchecked',
                  '1011 Button "COM4" unchecked', '1001 Button "USB" unchecked',
                  '1007 Button "Wireless LAN" unchecked', '1 Button "Next"', '-1 Button "Serial Port"',
                  '-1 Button "Wireless LAN"', '-1 Button "USB Port"', '-1 Static "IP : "', '-1 Static "Port : "',
                  '1003 SysIPAddress32 "0.0.0.0" disabled', '1005 Edit "9100" disabled'):
            self.shows(c, f"texts {PORT_TYPE}")

    def second_start(self, exe, directory, front, log_name):
        """The program started a second time while the first shows the
        window front, with Notepad in front: the second ends at once (exit 0)
        without touching the first one's log, and front comes to the front."""
        log = self.wine.drive_c / "Temp" / log_name
        notepad = self.wine.start("notepad", "C:\\")
        self.act("wait-window", "Untitled - Notepad", "20000", "--", "foreground")
        self.shows('foreground "Untitled - Notepad"')
        before = log.read_bytes() if log.exists() else b""
        second = self.wine.start(exe, directory)
        self.check(second.wait(15) == 0, f"second {exe}: exit code {second.process.returncode}, expected 0")
        self.act("foreground")
        self.shows(f'foreground "{front}"')
        self.shot("second-start")
        self.check((log.read_bytes() if log.exists() else b"") == before,
                   f"the second {exe} touched the first one's log")
        notepad.kill()

    def loaded(self, log_name):
        """The DLLs a program loaded while it ran, from Wine's loaddll trace
        in its output, by file name in lower case."""
        log = self.results / log_name
        text = log.read_text(errors="replace") if log.exists() else ""
        return {n.lower() for n in re.findall(r'Loaded L"[^"]*\\\\([^"\\]+)" at', text)}

    def printers(self, spooler_text):
        return re.findall(r'^printer "([^"]*)" driver="([^"]*)" port="([^"]*)"', spooler_text, re.M)

    def has_driver(self, spooler_text, environment):
        return f'driver "KORVANT ZMP-K40" env="{environment}"' in spooler_text

    def printui_log(self):
        """What our printui stand-in did, when it ran."""
        path = self.wine.unix(r"C:\windows\Temp\printui-standin.log")
        if path:
            (self.results / "printui-standin.log").write_bytes(path.read_bytes().replace(b"\r", b""))
            return (self.results / "printui-standin.log").read_text(encoding="latin-1")
        return ""
