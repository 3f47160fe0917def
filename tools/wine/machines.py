"""The two machines a scenario runs on: a Wine prefix driven like a user on
a virtual screen, and the simulator's machine driven through zmpk40-sim."""

import json
import shutil
import subprocess
import time
from pathlib import Path

import wineprefix as wp

PACKAGE = r"C:\users\Public\Downloads\ZMPK40"
UTILITIES = r"C:\windows\ZMP-K40"


class Program:
    """A Windows program started in a prefix; wait() gives its exit code
    (0 to 255: Wine hands Linux the low byte)."""

    def __init__(self, process, name):
        self.process = process
        self.name = name

    def running(self):
        return self.process.poll() is None

    def wait(self, seconds):
        try:
            return self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait()


class WineMachine:
    def __init__(self, kind, prefix, display, tools, results, note):
        self.kind = kind
        self.prefix = Path(prefix)
        self.display = display
        self.tools = tools          # {"i686": dir, "x86_64": dir}
        self.results = Path(results)
        self.note = note            # writes a line into the transcript
        self.started = []

    @property
    def drive_c(self):
        return self.prefix / "drive_c"

    @property
    def windows(self):
        return self.drive_c / "windows"

    @property
    def package(self):
        return self.unix(PACKAGE) or self.drive_c / "users/Public/Downloads/ZMPK40"

    def env(self):
        return wp.wine_env(self.prefix, self.display)

    def unix(self, windows_path):
        return wp.unix_path(self.drive_c, windows_path)

    # -------------------------------------------------------------- setting up

    def lay_out(self, dist, config_lines=None):
        """The package as a user's download folder."""
        target = self.drive_c / "users/Public/Downloads/ZMPK40"
        shutil.copytree(dist, target, dirs_exist_ok=True)
        if config_lines is not None:
            (target / "ZMPK40_Config.KVT").write_bytes(("\r\n".join(["[ZMPK40]"] + config_lines) + "\r\n").encode())
        return target

    def install_printui(self):
        """Our printui.dll in place of Wine's, for each architecture the
        prefix runs."""
        if self.kind == "win64":
            wp.replace_file(self.tools["x86_64"] / "printui.dll", self.windows / "system32/printui.dll")
            wp.replace_file(self.tools["i686"] / "printui.dll", self.windows / "syswow64/printui.dll")
        else:
            wp.replace_file(self.tools["i686"] / "printui.dll", self.windows / "system32/printui.dll")

    def set_version(self, version):
        """The Windows version Wine reports; also starts the prefix's own
        processes before any scenario step."""
        return self.run("set-version.txt", "reg", "add", r"HKCU\Software\Wine", "/v", "Version", "/d", version,
                        "/f") == 0

    # -------------------------------------------------------------- programs

    def start(self, exe, directory=PACKAGE, args=()):
        """Starts a program as a double-click in that folder would."""
        cwd = self.unix(directory)
        log = open(self.results / f"wine-{Path(exe).name}.log", "ab")
        # Never a pipe: Wine's helper processes started meanwhile inherit
        # the descriptors and would hold it open. Wine writes every DLL the
        # program loads into this log (+loaddll).
        process = subprocess.Popen([wp.WINE, exe, *args], cwd=cwd, env=dict(self.env(), WINEDEBUG="+loaddll"),
                                   stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        log.close()
        program = Program(process, Path(exe).name)
        self.started.append(program)
        self.note(f"started {exe} in {directory} (pid {process.pid})")
        return program

    def run(self, output_name, *args, timeout=120, trace=""):
        """A Windows program of the prefix, its output (CR LF) kept as LF in
        the results under output_name, with Wine's trace channels if asked
        (WINEDEBUG); returns its exit code."""
        out = self.results / output_name
        env = dict(self.env(), WINEDEBUG=trace) if trace else self.env()
        with open(out, "wb") as f:
            try:
                rc = subprocess.run([wp.WINE, *args], env=env, stdin=subprocess.DEVNULL, stdout=f,
                                    stderr=subprocess.STDOUT, timeout=timeout).returncode
            except subprocess.TimeoutExpired:
                rc = None
        out.write_bytes(out.read_bytes().replace(b"\r", b""))
        return rc

    def robot(self, *args):
        """One start of the robot; its lines go to the transcript. Returns
        its exit code and its output."""
        rc = self.run(".robot", str(self.tools["i686"] / "robot.exe"), *args, timeout=600)
        out = self.results / ".robot"
        text = out.read_text(encoding="utf-8", errors="replace")
        out.unlink()
        self.note("$ robot " + " ".join(args) + "\n" + text.rstrip("\n"))
        return rc, text

    def shot(self, name):
        r = subprocess.run(["import", "-display", self.display, "-window", "root", str(self.results / f"{name}.png")],
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        return r.returncode == 0

    def spooler(self, output_name="spooler.txt"):
        """What the spooler holds, one object a line (spoolq.exe)."""
        self.run(output_name, str(self.tools["i686"] / "spoolq.exe"))
        return (self.results / output_name).read_text()

    def spoolq(self, output_name, *args, trace=""):
        """spoolq.exe for a change, in the native architecture: Wine's
        spooler works inside the calling program, in its environment, where
        Windows' works in the 64-bit spooler service."""
        arch = "x86_64" if self.kind == "win64" else "i686"
        return self.run(output_name, str(self.tools[arch] / "spoolq.exe"), *args, trace=trace)

    def end(self):
        """Ends the scenario's programs, then every process of the prefix."""
        for program in self.started:
            program.kill()
        self.started = []
        wp.end_prefix(self.prefix)

    def processes(self):
        """The Linux processes of this prefix: pid and command line."""
        found = []
        for p in Path("/proc").iterdir():
            if not p.name.isdigit():
                continue
            try:
                environ = (p / "environ").read_bytes().split(b"\0")
                cmdline = (p / "cmdline").read_bytes().replace(b"\0", b" ").decode("utf-8", "replace")
            except OSError:
                continue
            if f"WINEPREFIX={self.prefix}".encode() in environ:
                found.append((int(p.name), cmdline.strip()))
        return found

    def registry(self):
        """HKLM and HKCU as the registry files hold them (read after end())."""
        keys = wp.read_registry_file(self.prefix / "system.reg", "HKLM")
        keys.update(wp.read_registry_file(self.prefix / "user.reg", "HKCU"))
        return keys


class SimMachine:
    """The simulator's machine in a directory, driven by zmpk40-sim."""

    def __init__(self, tool, directory, results):
        self.tool = str(tool)
        self.dir = Path(directory)
        self.results = Path(results)
        self.transcript = []
        self.exit_code = None

    def _call(self, *args, record=True):
        r = subprocess.run([self.tool, *args], capture_output=True, text=True)
        if record:
            self.transcript.append(f"$ zmpk40-sim {' '.join(args)}\n{r.stdout}{r.stderr}")
            (self.results / "sim-transcript.txt").write_text("\n".join(self.transcript))
        if r.returncode != 0:
            raise RuntimeError(f"zmpk40-sim {args[0]} failed: {r.stderr.strip()}")
        for line in r.stdout.splitlines():
            if line.startswith("EXIT "):
                self.exit_code = int(line.split()[1])
        return r.stdout

    def new(self, os_name, wow64):
        if self.dir.exists():
            shutil.rmtree(self.dir)
        self._call("new", str(self.dir), "--os", os_name, *(["--wow64"] if wow64 else []))

    def copy_from(self, directory):
        """The machine another scenario left."""
        if self.dir.exists():
            shutil.rmtree(self.dir)
        shutil.copytree(directory, self.dir)

    def install(self, package, *options):
        return self._call("install", str(self.dir), "--package", str(package), *options)

    def uninstall(self, *options):
        return self._call("uninstall", str(self.dir), *options)

    def plug(self):
        return self._call("plug", str(self.dir))

    def show(self):
        """The machine's state (docs/simulator.md), also kept as sim-state.json."""
        text = self._call("show", str(self.dir), record=False)
        (self.results / "sim-state.json").write_text(text)
        return json.loads(text)

    def edit_state(self, change):
        """Changes the saved state (docs/simulator.md) as a test would."""
        path = self.dir / "state.json"
        state = json.loads(path.read_text())
        change(state)
        path.write_text(json.dumps(state, indent=2))

    def put_file(self, windows_path, source):
        """A file into the machine's drive."""
        drive, rest = windows_path.split(":", 1)
        target = self.dir / "drive" / drive.lower() / Path(*[p for p in rest.split("\\") if p])
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(source, target)

    @property
    def drive_c(self):
        return self.dir / "drive" / "c"


def wait_until(condition, seconds, poll=0.1):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(poll)
    return condition()
