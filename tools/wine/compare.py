"""What a machine holds after a scenario, in the same terms for a Wine
prefix and for the simulator's machine, and the two side by side.

An observation has sections: "exit" (the program's exit code), one "log
NAME" per program log in C:\\Temp (time prefixes and empty lines left out),
"registry" (our keys in both views, the "Uninstall" entry's values),
"files" (our files under C:\\Temp and the Windows directory: system32,
SysWOW64, the spooler's folders of every environment, the INF folder, the
utilities folder) and "spooler" (our printers, drivers, monitors, print
processors, ports and forms). Every line that only one side has is a
difference; a difference that matches an entry of KNOWN is Wine's and
explained in tools/wine/README.md under that entry's key."""

import difflib
import json
import re
from dataclasses import dataclass
from pathlib import Path

OURS = re.compile(r"zmp|zp\w*40|korvant|kvt |unidrv|unires|stdnames|\[k40\]|vid_7f3c", re.I)
WINDOWS_DIR = "%WINDIR%"


@dataclass
class Known:
    key: str        # its heading in tools/wine/README.md
    section: str    # "exit", "log", "registry", "files" or "spooler"
    wine: str = ""  # a line only Wine has, when it matches (regular expression)
    sim: str = ""   # a line only the simulator has, when it matches
    scenarios: tuple = ()  # only in these scenarios (empty: in any)


_VERSION_DIR = r"(?i:C:\\windows\\system32\\spool\\drivers\\(x64|w32x86)\\3)\\"

# Differences that are Wine's (tools/wine/README.md, "What Wine does
# differently", explains each under its key).
KNOWN = [
    Known("inf-keeps-its-name", "files", wine=r"^%WINDIR%\\inf\\zmpk40\.(inf|pnf)$",
          sim=r"^%WINDIR%\\inf\\oem\d+\.(inf|pnf)$"),
    Known("inf-keeps-its-name", "registry", wine=r"InfFile = C:\\windows\\inf\\ZMPK40\.inf$",
          sim=r"InfFile = (?i:C:\\windows\\inf\\)oem\d+\.inf$"),
    Known("inf-keeps-its-name", "log", wine=r"^INF FILE NAME : C:\\windows\\inf\\ZMPK40\.inf$",
          sim=r"^INF FILE NAME : (?i:C:\\windows\\inf\\)oem\d+\.inf$"),
    Known("inf-list-empty", "log", wine=r"^(CopyINFFile (BEGIN|END)|Inf File Name : \.\\ZMPK40\.inf|"
          r"The key name was not found\.)$",
          sim=r"^(OEM FILES EXISTING : oem\d+\.inf|DeleteFile Error : (?i:C:\\windows\\inf\\oem\d+\.pnf) , \(2\)|"
          r"'(?i:C:\\windows\\inf\\oem\d+\.inf)' has been deleted successfully\.)$"),
    Known("inf-list-empty", "registry", sim=r"InfFile = ZMPK40\.inf$"),
    Known("profile-key-error", "log", wine=r"^GetDriverInfoFromFile failed\. \(0\)$",
          sim=r"^GetDriverInfoFromFile failed\. \(2\)$"),
    Known("delete-driver-flags", "log", wine=r"^(DeletePrinterDriverEx returned FALSE\. \(87\)|"
          r"(MyRegDeleteKeyEx|SHDeleteKey) failed : SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\KORVANT ZMP-K40 "
          r"\(2\) ?)$", sim=r"^DeleteFile Error : " + _VERSION_DIR + r"\S+ , \(2\)$"),
    Known("delete-driver-flags", "files", wine=r"^%WINDIR%\\system32\\spool\\drivers\\(x64|w32x86)\\3\\"),
    Known("processor-stays", "registry", wine=r"\\Print Processors\\KVT PRINT PROCESSOR ZMP-K40$"),
    Known("processor-stays", "log", wine=r"^The print processor is still listed after its deletion\.$"),
    Known("processor-stays", "spooler", wine=r'^processor "KVT PRINT PROCESSOR ZMP-K40"'),
    Known("no-usb-enumeration", "log",
          wine=r"^MyRegDeleteKeyEx failed : SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40 \(2\) ?$",
          sim=r"^MyRegDeleteKeyEx failed : SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40 \(5\) ?$"),
    Known("no-usb-enumeration", "registry", sim=r"\\Enum\\USBPRINT\\KORVANT_ZMP-K40(\\|$)"),
    Known("no-usb-enumeration", "spooler", sim=r'^port "USB001"$'),
    Known("no-printer-event", "registry", sim=r"\\Printers\\KORVANT ZMP-K40\\PrinterDriverData$"),
    Known("no-driver-store", "files", sim=r"^%WINDIR%\\system32\\driverstore\\filerepository\\zmpk40\.inf_"),
    # XP x64: nothing after the refused printer runs under Wine.
    Known("spooler-in-process", "exit", wine=r"^255$", sim=r"^0$", scenarios=("12-xp64-com3",)),
    Known("spooler-in-process", "log", sim=r"^((CopyINFFile|DeleteFilesUsed|RegisterUninstallInfo|"
          r"CopyFilesOfUtilities|CreateDirectoryWithSA) (BEGIN|END)|AddToWin2K END|Inf File Name : .*|"
          r"INF FILE NAME : .*|FILE SRC : .*|REGKEY : .*)$", scenarios=("12-xp64-com3",)),
    Known("spooler-in-process", "registry", sim=r"\\(Uninstall\\KORVANT_ZMP-K40( : .*)?|"
          r"Monitors\\KVT Language Monitor ZMP-K40|Printers\\KORVANT ZMP-K40)$", scenarios=("12-xp64-com3",)),
    Known("spooler-in-process", "files", wine=r"^%WINDIR%\\system32\\spool\\drivers\\x64\\[^\\]+$",
          sim=r"^%WINDIR%\\(syswow64|zmp-k40)\\zmpk40_", scenarios=("12-xp64-com3",)),
    Known("spooler-in-process", "spooler", sim=r'^(monitor|printer) "', scenarios=("12-xp64-com3",)),
    Known("no-tcpip-monitor", "log", wine=r"^OpenPrinter failed\. \(1796\)$"),
    Known("no-tcpip-monitor", "registry", sim=r"\\Printers\\KORVANT ZMP-K40(\\PrinterDriverData)?$",
          scenarios=("5-win7-wlan",)),
    Known("no-tcpip-monitor", "spooler", sim=r'^(port "IP_192\.168\.0\.50"|printer "KORVANT ZMP-K40" .*)$',
          scenarios=("5-win7-wlan",)),
    # Without the printer the installer fails there, where the simulator's succeeds.
    Known("no-tcpip-monitor", "exit", wine=r"^255$", sim=r"^0$", scenarios=("5-win7-wlan",)),
    Known("no-tcpip-monitor", "log", wine=r'^(PROCESS EXIT CODE : 1796|NOT INSTALLED : printer "KORVANT ZMP-K40" '
          r'on "IP_192\.168\.0\.50"|FindOwnComponents (BEGIN|END)|COMPONENT FOUND : .*)$',
          sim=r"^(PROCESS EXIT CODE : 0|INFFileExist (BEGIN|END)|SECTION NAME : KORVANT\.NTamd64|"
          r"KEY NAME : KORVANT ZMP-K40)$", scenarios=("5-win7-wlan",)),
]


def _strip_time(line):
    return re.sub(r"^\d{2}:\d{2}:\d{2}: ?", "", line)


def _log_lines(path):
    text = path.read_bytes().decode("latin-1").replace("\r", "")
    lines = [_strip_time(l) for l in text.split("\n")]
    return [l for l in lines if l.strip()]


def _windows_relative(path, windows_dir_name):
    """C:\\ path of a file below drive C:, the Windows directory as %WINDIR%,
    in lower case but for that."""
    parts = path.parts
    if parts and parts[0].lower() == windows_dir_name.lower():
        return WINDOWS_DIR + "\\" + "\\".join(parts[1:]).lower()
    return "C:\\" + "\\".join(parts).lower()


def files_of(drive_c, windows_dir_name="windows"):
    found = []
    windows = drive_c / windows_dir_name
    places = [drive_c / "Temp", windows]
    for place in places:
        if not place.is_dir():
            continue
        for f in place.rglob("*"):
            if not f.is_file():
                continue
            relative = f.relative_to(drive_c)
            lowered = [p.lower() for p in relative.parts]
            # Not the machine's: the download folder, Wine's temp folder (our
            # printui stand-in writes its log there), Wine's own caches.
            if len(lowered) > 1 and lowered[0] == windows_dir_name.lower() and lowered[1] in (
                    "temp", "installer", "logs"):
                continue
            name = f.name
            ours = OURS.search(name)
            if not ours and lowered[-2:-1] == ["inf"] and re.match(r"oem\d+\.(inf|pnf)$", name, re.I):
                sibling = f.with_suffix(".inf") if f.suffix.lower() == ".pnf" else f
                if not sibling.exists():
                    sibling = f.with_suffix(".INF")
                ours = sibling.exists() and b"KORVANT" in sibling.read_bytes()
            if ours:
                found.append(_windows_relative(relative, windows_dir_name))
    return sorted(set(found))


def _canonical_key(key):
    key = re.sub(r"^HKLM\\System\\ControlSet001\\", r"HKLM\\SYSTEM\\CurrentControlSet\\", key, flags=re.I)
    key = re.sub(r"^HKLM\\Software\\", r"HKLM\\SOFTWARE\\", key, flags=re.I)
    key = re.sub(r"^HKLM\\System\\", r"HKLM\\SYSTEM\\", key, flags=re.I)
    return key


UNINSTALL_VALUES = ("DisplayName", "UninstallString", "InfFile")


def registry_of(keys):
    """keys: {key path: {value name: value}}."""
    lines = set()
    for key, values in keys.items():
        key = _canonical_key(key)
        if not key.startswith("HKLM\\") or not OURS.search(key):
            continue
        lines.add(key)
        if key.lower().endswith("\\uninstall\\korvant_zmp-k40"):
            for name in UNINSTALL_VALUES:
                if name in values:
                    lines.add(f"{key} : {name} = {values[name]}")
    return sorted(lines, key=str.lower)


def _spooler_lines(printers, drivers, monitors, processors, ports, forms):
    lines = set()
    for name, driver, port, processor in printers:
        if OURS.search(name) or OURS.search(driver):
            lines.add(f'printer "{name}" driver="{driver}" port="{port}" processor="{processor}"')
    for name, env, version in drivers:
        if OURS.search(name):
            lines.add(f'driver "{name}" env="{env}" version={version}')
    for name in monitors:
        if OURS.search(name):
            lines.add(f'monitor "{name}"')
    for name, env in processors:
        if OURS.search(name):
            lines.add(f'processor "{name}" env="{env}"')
    for name in ports:
        if name.upper().startswith(("IP_", "USB")):
            lines.add(f'port "{name}"')
    for name in forms:
        if OURS.search(name):
            lines.add(f'form "{name}"')
    return sorted(lines)


def observe_wine(wine, spoolq_text, exit_code):
    """A Wine prefix after end() (its registry files written); spoolq_text
    is what spoolq.exe printed before."""
    obs = {"exit": [str(exit_code)]}
    for log in sorted((wine.drive_c / "Temp").glob("*.txt")):
        obs[f"log {log.name}"] = _log_lines(log)
    obs["registry"] = registry_of(wine.registry())
    obs["files"] = files_of(wine.drive_c, "windows")
    printers, drivers, monitors, processors, ports, forms = [], [], [], [], [], []
    for line in spoolq_text.splitlines():
        q = dict(re.findall(r'(\w+)="([^"]*)"', line))
        m = re.match(r'^(\w+) "([^"]*)"', line)
        if not m:
            continue
        kind, name = m.groups()
        if kind == "printer":
            printers.append((name, q.get("driver", ""), q.get("port", ""), q.get("processor", "")))
        elif kind == "driver":
            version = re.search(r"version=(\d+)", line)
            drivers.append((name, q.get("env", ""), version.group(1) if version else ""))
        elif kind == "monitor":
            monitors.append(name)
        elif kind == "processor":
            processors.append((name, q.get("env", "")))
        elif kind == "port":
            ports.append(name)
        elif kind == "form":
            forms.append(name)
    obs["spooler"] = _spooler_lines(printers, drivers, monitors, processors, ports, forms)
    return obs


def observe_sim(sim, state):
    """The simulator's machine; state is what `zmpk40-sim show` printed."""
    code = sim.exit_code
    obs = {"exit": [str(code & 0xFF) if code is not None else "none"]}
    for log in sorted((sim.drive_c / "Temp").glob("*.txt")):
        obs[f"log {log.name}"] = _log_lines(log)
    obs["registry"] = registry_of({k: v.get("values", {}) for k, v in state["registry"].items()})
    windows_dir = state["os"]["windowsDirectory"].split("\\", 1)[1]
    obs["files"] = files_of(sim.drive_c, windows_dir)
    s = state["spooler"]
    obs["spooler"] = _spooler_lines(
        [(p["name"], p["driver"], p["port"], p["processor"]) for p in s["printers"]],
        [(d["name"], d["environment"], str(d["version"])) for d in s["drivers"]],
        [m["name"] for m in s["monitors"]],
        [(p["name"], p["environment"]) for p in s["processors"]],
        [p["name"] for p in s["ports"]],
        s["forms"])
    return obs


def _section_kind(section):
    return section.split(" ", 1)[0]


def _normal(section, line):
    """A line as compared: paths in lower case (the Windows directory is
    C:\\WINDOWS on XP, C:\\Windows on 7 and C:\\windows in Wine, SysWOW64
    is syswow64 in Wine; Windows paths ignore case)."""
    line = re.sub(r"[A-Za-z]:\\[^ ,]*", lambda p: p.group(0).lower(), line)
    if _section_kind(section) == "registry":  # key names ignore case too
        key, sep, value = line.partition(" : ")
        line = key.lower() + sep + value
    return line


def explain(scenario, section, side, line):
    for k in KNOWN:
        pattern = k.wine if side == "wine" else k.sim
        if (k.section == _section_kind(section) and pattern and re.search(pattern, line)
                and (not k.scenarios or scenario in k.scenarios)):
            return k.key
    return None


def compare(scenario, wine_obs, sim_obs):
    """The side-by-side rows of every section and the differences, each
    with its explanation key (None: unexplained)."""
    sections = list(dict.fromkeys(list(wine_obs) + list(sim_obs)))
    table, differences = {}, []
    for section in sections:
        w = wine_obs.get(section, [])
        s = sim_obs.get(section, [])
        rows = []
        if _section_kind(section) in ("log", "exit"):
            wn = [_normal(section, l) for l in w]
            sn = [_normal(section, l) for l in s]
            for op, i1, i2, j1, j2 in difflib.SequenceMatcher(None, wn, sn, autojunk=False).get_opcodes():
                if op == "equal":
                    rows += [(w[i], s[j], "") for i, j in zip(range(i1, i2), range(j1, j2))]
                    continue
                left, right = w[i1:i2], s[j1:j2]
                for n in range(max(len(left), len(right))):
                    rows.append((left[n] if n < len(left) else None, right[n] if n < len(right) else None, "!"))
        else:
            wn = {_normal(section, l): l for l in w}
            sn = {_normal(section, l): l for l in s}
            for key in sorted(set(wn) | set(sn), key=str.lower):
                rows.append((wn.get(key), sn.get(key), "" if key in wn and key in sn else "!"))
        for left, right, mark in rows:
            if not mark:
                continue
            for side, line in (("wine", left), ("sim", right)):
                if line is not None:
                    differences.append({"section": section, "side": side, "line": line,
                                        "known": explain(scenario, section, side, line)})
        table[section] = rows
    return table, differences


def _cell(text, width):
    text = text or ""
    return text.ljust(width) if len(text) <= width else text[:width - 1] + "…"


def write_comparison(folder, scenario, wine_obs, sim_obs):
    """comparison.txt (side by side) and comparison.json; returns the
    differences."""
    table, differences = compare(scenario, wine_obs, sim_obs)
    width = 78
    out = ["Wine (left) and the simulator (right) after the same scenario. '!' marks a line only one side",
           "has; the list at the end says which of them are Wine's (tools/wine/README.md explains each key).", ""]
    for section, rows in table.items():
        out.append(f"== {section} ==")
        out.append(f"  {'Wine'.ljust(width)} | simulator")
        for left, right, mark in rows:
            out.append(f"{mark or ' '} {_cell(left, width)} | {right or ''}".rstrip())
        if not rows:
            out.append("  (nothing on either side)")
        out.append("")
    out.append("== differences ==")
    for d in differences:
        tag = d["known"] or "UNEXPLAINED"
        out.append(f"[{tag}] {d['section']}: only {'Wine' if d['side'] == 'wine' else 'the simulator'}: {d['line']}")
    if not differences:
        out.append("none")
    Path(folder, "comparison.txt").write_text("\n".join(out) + "\n")
    Path(folder, "comparison.json").write_text(json.dumps(
        {"wine": wine_obs, "simulator": sim_obs, "differences": differences}, indent=2))
    return differences


def readme_explanations(readme):
    """What the README says of each key: the '- `key`: ...' items of its
    section "What Wine does differently", one line each."""
    _, heading, rest = Path(readme).read_text().partition("\n## What Wine does differently")
    section = rest.split("\n## ", 1)[0] if heading else ""
    return {m.group(1): " ".join(m.group(2).split())
            for m in re.finditer(r"^- `([a-z0-9-]+)`: (.*(?:\n  .*)*)", section, re.M)}


def readme_keys(readme):
    return set(readme_explanations(readme))
