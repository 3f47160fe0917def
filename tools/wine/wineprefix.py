"""Wine on this machine: the route it allows, the packages, virtual screens,
one pristine prefix per kind of Windows, and the machine a scenario works on
(a copy of a pristine prefix, or of the machine another scenario left)."""

import os
import re
import shutil
import struct
import subprocess
import tempfile
import time
from pathlib import Path

WINE = "/usr/bin/wine"            # PE32 programs in either kind of prefix, PE32+ in a 64-bit one
WINESERVER = "/usr/bin/wineserver"
WINE32_LOADER = "/usr/lib/wine/wine"  # present with wine32:i386

# A 64-bit prefix is a 64-bit Windows (our PE32 programs run under WOW64),
# a 32-bit prefix a 32-bit Windows.
KINDS = {"win64": "64-bit Windows (WOW64)", "win32": "32-bit Windows"}

BASE_ENV = {
    "WINEDEBUG": "-all",
    # No prompts to download Mono or Gecko into a new prefix.
    "WINEDLLOVERRIDES": "mscoree,mshtml=d",
}

# Bump when the pristine prefixes are set up differently.
TEMPLATE_VERSION = 3

# What a pristine prefix gets besides wineboot: Wine draws frames and
# captions itself (there is no window manager on the virtual screen), our
# printui.dll replaces Wine's, and the dialogs' Verdana, which Wine lacks,
# is drawn with the font closest to it in width and height.
TEMPLATE_REGISTRY = r"""REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"printui"="native"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Verdana"="DejaVu Sans"
"""

# Files of a prefix that Wine never writes to once it is made: a copy links
# them instead of copying (1.3 GB would take 4 s a copy).
LINKED = {".dll", ".exe", ".drv", ".sys", ".ocx", ".cpl", ".acm", ".tlb", ".nls", ".ttf", ".fon", ".vxd",
          ".ds", ".msstyles", ".com", ".ax"}


def now_ms():
    return int(time.monotonic() * 1000)


# ------------------------------------------------------------------ the route

def runs_i386():
    """Whether this kernel runs i386 code: a static i386 program that exits
    with 42 (Wine's 32-bit loader needs it)."""
    code = bytes([0xB8, 1, 0, 0, 0, 0xBB, 42, 0, 0, 0, 0xCD, 0x80])  # exit(42) through int 0x80
    base = 0x08048000
    entry = base + 52 + 32
    total = 52 + 32 + len(code)
    elf = b"\x7fELF" + bytes([1, 1, 1, 0]) + b"\0" * 8 + struct.pack(
        "<HHIIIIIHHHHHH", 2, 3, 1, entry, 52, 0, 0, 52, 32, 1, 0, 0, 0)
    elf += struct.pack("<IIIIIIII", 1, 0, base, base, total, total, 5, 0x1000) + code
    with tempfile.TemporaryDirectory() as d:
        path = Path(d) / "i386"
        path.write_bytes(elf)
        path.chmod(0o755)
        try:
            return subprocess.run([str(path)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, timeout=10).returncode == 42
        except OSError:
            return False


def installed(package):
    r = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package], capture_output=True, text=True)
    return "install ok installed" in r.stdout


def as_root(args):
    return args if os.geteuid() == 0 else ["sudo"] + args


def ensure_packages(root, log):
    """Installs what the harness needs; returns why the 32-bit part of Wine
    is missing, or "" when every kind of Windows can run."""
    env = dict(os.environ, ZMP_WITH_WINE="1")
    if subprocess.run([str(root / "tools/deps.sh")], env=env, stdout=log, stderr=log).returncode != 0:
        return "the Wine packages could not be installed (see wine-setup.log)"
    if not runs_i386():
        return ("this machine's kernel runs no i386 code, and Wine 8 runs the 32-bit product "
                "(under WOW64 in a 64-bit prefix, and in a 32-bit prefix) only with its i386 loader")
    if installed("wine32:i386") and os.path.exists(WINE32_LOADER):
        return ""
    foreign = subprocess.run(["dpkg", "--print-foreign-architectures"], capture_output=True, text=True).stdout
    steps = []
    if "i386" not in foreign.split():
        steps.append(as_root(["dpkg", "--add-architecture", "i386"]))
    steps.append(as_root(["apt-get", "update", "-qq"]))
    steps.append(as_root(["apt-get", "install", "-y", "-qq", "wine32:i386"]))
    for step in steps:
        r = subprocess.run(step, env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"), stdout=log, stderr=log)
        if r.returncode != 0:
            return f"wine32:i386 could not be installed ({' '.join(step)} failed, see wine-setup.log)"
    return ""


# ------------------------------------------------------------------ screens

class Screen:
    """A virtual screen of its own (Xvfb picks a free display)."""

    def __init__(self, log_path):
        read, write = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write,), stdin=subprocess.DEVNULL, stdout=open(log_path, "ab"), stderr=subprocess.STDOUT)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            self.process.kill()
            raise RuntimeError(f"Xvfb did not start (see {log_path})")
        self.display = ":" + number

    def close(self):
        self.process.kill()
        self.process.wait()


# ------------------------------------------------------------------ prefixes

def wine_env(prefix, display=None, **extra):
    env = dict(os.environ, **BASE_ENV, WINEPREFIX=str(prefix), **extra)
    if display:
        env["DISPLAY"] = display
    return env


def end_prefix(prefix):
    """Ends every process of the prefix and waits for its wineserver, which
    writes the registry files on the way out."""
    env = wine_env(prefix)
    subprocess.run([WINESERVER, "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-w"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wine_version():
    if not os.path.exists(WINE):
        return ""
    return subprocess.run([WINE, "--version"], capture_output=True, text=True).stdout.strip()


def make_template(kind, path, log):
    """A pristine prefix of this kind, made once per Wine version and set-up."""
    stamp = f"{wine_version()} {kind} {TEMPLATE_VERSION}"
    stamp_file = path / ".zmp-stamp"
    if stamp_file.exists() and stamp_file.read_text() == stamp:
        return
    if path.exists():
        end_prefix(path)
        shutil.rmtree(path)
    env = wine_env(path, WINEARCH=kind)
    run = lambda *args: subprocess.run(list(args), env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
    if run(WINE, "wineboot", "-i").returncode != 0:
        return  # no stamp: the caller says so
    settings = path / "drive_c" / "zmp-settings.reg"
    settings.write_text(TEMPLATE_REGISTRY.replace("\n", "\r\n"))
    run(WINE, "regedit", "/S", r"C:\zmp-settings.reg")
    subprocess.run([WINESERVER, "-w"], env=env)
    settings.unlink()
    # Wine's own fonts (Marlett draws the caption buttons, Tahoma is the
    # dialogs' system font) are not found where Debian puts them.
    fonts = path / "drive_c" / "windows" / "Fonts"
    for font in Path("/usr/share/wine/fonts").glob("*"):
        shutil.copy(font, fonts / font.name)
    stamp_file.write_text(stamp)


def _link_or_copy(source, target):
    if Path(source).suffix.lower() in LINKED:
        os.link(source, target)
    else:
        shutil.copy2(source, target)


def copy_prefix(source, target):
    if target.exists():
        end_prefix(target)
        shutil.rmtree(target)
    shutil.copytree(source, target, symlinks=True, copy_function=_link_or_copy)
    (target / ".zmp-stamp").unlink(missing_ok=True)


def replace_file(source, target):
    """Puts a file in place of a (possibly linked) one of the prefix."""
    target.unlink(missing_ok=True)
    shutil.copy(source, target)


def unix_path(drive_c, windows_path):
    """The file of the prefix that a C:\\ path names (Windows paths ignore
    case); None when it does not exist."""
    rest = re.sub(r"^[Cc]:\\?", "", windows_path)
    here = Path(drive_c)
    for part in [p for p in rest.split("\\") if p]:
        match = [e for e in here.iterdir() if e.name.lower() == part.lower()] if here.is_dir() else []
        if not match:
            return None
        here = match[0]
    return here


# ------------------------------------------------------------------ registry files

def _unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x":
                m = re.match(r"[0-9a-fA-F]{1,4}", text[i + 2:])
                out.append(chr(int(m.group(0), 16)))
                i += 2 + len(m.group(0))
                continue
            out.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0"}.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def read_registry_file(path, root):
    """The keys of one of Wine's registry files: {ROOT\\key: {name: value}};
    string values as text, others as Wine writes them."""
    keys = {}
    current = None
    for line in Path(path).read_text(encoding="utf-8", errors="replace").splitlines():
        m = re.match(r"^\[(.*)\] \d+", line)
        if m:
            current = keys.setdefault(root + "\\" + _unescape(m.group(1)), {})
            continue
        if current is None or not line.startswith(('"', "@")):
            continue
        m = re.match(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$', line)
        if not m:
            continue
        name = "" if m.group(1) == "@" else _unescape(m.group(2))
        value = m.group(3)
        if value.startswith('"') and value.endswith('"'):
            value = _unescape(value[1:-1])
        current[name] = value
    return keys
