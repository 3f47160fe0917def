"""The Wine results as one static page, build-wine/results/index.html: the
harness writes it at the end of every run from what the run left
(summary.json, each scenario's result.json and comparison.json, the
screenshots), and check() opens it in headless Chromium, keeps a screenshot
of the whole page (index.png) and compares the verdicts the browser shows
with the harness's.

Every text on the page is escaped; images and files are relative links, so
the folder can be copied or archived as it is."""

import base64
import fcntl
import html
import json
import os
import re
import select
import shutil
import subprocess
import tempfile
import time
from pathlib import Path
from urllib.parse import quote

import compare
from scenarios import SCENARIOS

README = Path(__file__).resolve().parent / "README.md"
PAGE, SHOT, SUMMARY = "index.html", "index.png", "summary.json"
SHOT_WIDTH = 400  # the widest a screenshot is shown, in CSS pixels

# The harness's verdicts as the page names them; a scenario without a
# verdict ("") did not run either.
LABELS = {"PASS": "passed", "FAIL": "failed", "SKIP": "not run", "": "not run"}
CLASSES = {"PASS": "pass", "FAIL": "fail", "SKIP": "notrun", "": "notrun"}


def clear(results):
    """Removes the last run's summary and page before a new run."""
    for name in (SUMMARY, PAGE, SHOT):
        (results / name).unlink(missing_ok=True)


# ------------------------------------------------------------------ the page

def esc(text):
    return html.escape(str(text), quote=True)


def md(text):
    """README text: escaped, `code` shown as code."""
    return re.sub(r"`([^`]+)`", r"<code>\1</code>", esc(text))


def link(*parts):
    return esc("/".join(quote(p) for p in parts))


def secs(ms):
    return f"{ms / 1000:.1f}"


def first_sentence(text):
    return re.split(r"(?<=\.)\s", text, maxsplit=1)[0]


def content_boxes(results, scenario_names):
    """Where each screenshot's content lies on the black screen (ImageMagick's
    trim box), so the page can show the dialog at full size; {} without
    ImageMagick."""
    files = [str(p) for name in scenario_names for p in sorted((results / name).glob("*.png"))]
    if not files or not shutil.which("identify"):
        return {}
    out = subprocess.run(["identify", "-format", "%i|%@|%w|%h\n", *files], capture_output=True, text=True).stdout
    boxes = {}
    for line in out.splitlines():
        path, box, width, height = line.rsplit("|", 3)
        m = re.fullmatch(r"(\d+)x(\d+)\+(\d+)\+(\d+)", box)
        if m:
            w, h, x, y = map(int, m.groups())
            pad = 6
            x0, y0 = max(x - pad, 0), max(y - pad, 0)
            boxes[path] = (x0, y0, min(x + w + pad, int(width)) - x0, min(y + h + pad, int(height)) - y0,
                           int(width), int(height))
    return boxes


def screenshot_html(results, name, shots, boxes):
    if not shots:
        return '<p class="quiet">No screenshots.</p>'
    out = ['<div class="shots">']
    for n, shot in enumerate(shots, 1):
        path = results / name / shot
        href = link(name, shot)
        caption = f"{n}. {esc(Path(shot).stem)}"
        if not path.exists():
            out.append(f'<figure class="missing"><div>missing: {esc(shot)}</div><figcaption>{caption}</figcaption></figure>')
            continue
        box = boxes.get(str(path))
        if box and box[2] > 8 and box[3] > 8:
            # Three a row; a dialog narrower than that at its own size.
            x, y, w, h, full_w, full_h = (round(v * min(1, SHOT_WIDTH / box[2])) for v in box)
            image = (f'<div class="crop" style="width:{w}px;height:{h}px">'
                     f'<img src="{href}" width="{full_w}" height="{full_h}" alt="{esc(shot)}" '
                     f'style="margin:-{y}px 0 0 -{x}px"></div>')
        else:
            image = f'<img class="whole" src="{href}" alt="{esc(shot)}">'
        out.append(f'<figure><a href="{href}" title="the whole screen">{image}</a>'
                   f'<figcaption>{caption}</figcaption></figure>')
    out.append("</div>")
    return "\n".join(out)


def differences_html(differences, explanations):
    """The differences grouped by their explanation, unexplained ones first."""
    groups = {}
    for d in differences:
        groups.setdefault(d["known"] or "", []).append(d)
    rows = []
    for key in sorted(groups, key=lambda k: k != ""):  # stable: the rest in the order met
        items = groups[key]
        counts = " · ".join(f"{who} {sum(1 for d in items if d['side'] == side)}"
                            for side, who in (("wine", "Wine"), ("sim", "simulator"))
                            if any(d["side"] == side for d in items))
        lines = "".join(f'<li><span class="side">{"Wine" if d["side"] == "wine" else "simulator"}</span> '
                        f'<span class="section">{esc(d["section"])}</span> <code>{esc(d["line"])}</code></li>'
                        for d in items)
        if key:
            why = (f'<a href="#why-{esc(key)}"><code>{esc(key)}</code></a>',
                   md(first_sentence(explanations.get(key, "(not explained in tools/wine/README.md)"))),
                   f'<details><summary>the {len(items)} line{"s" if len(items) > 1 else ""}</summary>'
                   f'<ul class="lines">{lines}</ul></details>')
        else:
            why = ('<strong>unexplained</strong>', "no entry of compare.py's KNOWN explains it: a finding "
                   "(tools/wine/README.md, Adding a scenario)",
                   f'<ul class="lines">{lines}</ul>')
        rows.append(f'<tr class="{"" if key else "unexplained"}"><td>{why[0]}</td><td class="num">{counts}</td>'
                    f'<td>{why[1]}{why[2]}</td></tr>')
    return ('<table class="diffs"><tr><th>Why</th><th>Lines only one side has</th><th>What it is</th></tr>'
            + "".join(rows) + "</table>")


def side_by_side_html(name, comparison):
    table, _ = compare.compare(name, comparison["wine"], comparison["simulator"])
    rows = []
    for section, lines in table.items():
        rows.append(f'<tr class="head"><th colspan="2">{esc(section)}</th></tr>')
        for left, right, mark in lines:
            cells = "".join(f"<td>{esc(x) if x is not None else ''}</td>" for x in (left, right))
            rows.append(f'<tr class="{"differs" if mark else ""}">{cells}</tr>')
        if not lines:
            rows.append('<tr><td colspan="2" class="quiet">nothing on either side</td></tr>')
    return ('<details class="sidebyside"><summary>Both machines side by side (lines only one side has are marked)'
            '</summary><table class="side"><tr><th>Wine</th><th>simulator</th></tr>'
            + "\n".join(rows) + "</table></details>")


def comparison_html(results, spec, result, explanations):
    if not spec.product:
        return '<p class="quiet">Runs no product: nothing to compare with the simulator.</p>'
    path = results / spec.name / "comparison.json"
    if not result.get("comparison") or not path.exists():
        return '<p class="quiet">No comparison: the scenario ended before both machines had run.</p>'
    comparison = json.loads(path.read_text())
    differences = comparison["differences"]
    out = [f'<p>Exit code (Wine / simulator): {esc(exit_codes(result))}. ']
    if differences:
        known = sum(1 for d in differences if d["known"])
        out.append(f"{len(differences)} lines only one side has: {known} explained as Wine's, "
                   f"{len(differences) - known} unexplained "
                   f'(<a href="{link(spec.name, "comparison.txt")}">comparison.txt</a>).</p>')
        out.append(differences_html(differences, explanations))
    else:
        out.append("Both machines hold the same.</p>")
    out.append(side_by_side_html(spec.name, comparison))
    return "\n".join(out)


def figures(result):
    return (f'wall {secs(result["wall_ms"])} s = paced {secs(result["paced_ms"])} s (log span '
            f'{result["log_span_ms"] // 1000} s) + user {secs(result["user_ms"])} s + overhead '
            f'{secs(result["overhead_ms"])} s')


def not_run_reason(summary, name):
    if name not in summary["scenarios"]:
        return "not selected in this run"
    return summary.get("not_run") or "the harness ended before it"


def load(results):
    """This run's scenarios: (spec, verdict, result.json or {}), every known
    scenario in the harness's order. A result.json is read only for a
    scenario with a verdict of this run: the others' may be an older run's."""
    summary = json.loads((results / SUMMARY).read_text())
    rows = []
    for name, spec in SCENARIOS.items():
        verdict = summary["verdicts"].get(name, "")
        path = results / name / "result.json"
        result = json.loads(path.read_text()) if verdict and path.exists() else {}
        rows.append((spec, verdict, result))
    return summary, rows


def reasons_of(summary, name, verdict, result):
    if not verdict:
        return [not_run_reason(summary, name)]
    if not result:
        return ["result.json is missing"]
    return result.get("reasons") or []


def exit_codes(result):
    codes = result.get("exit_code") or {}
    return " / ".join("—" if codes.get(side) is None else str(codes[side]) for side in ("wine", "simulator"))


def summary_row(spec, verdict, result, reasons, chosen):
    name, cls = spec.name, CLASSES[verdict]
    ran = bool(result) and verdict in ("PASS", "FAIL")
    compared = ran and result.get("comparison")
    differences = result.get("differences") or []
    unexplained = sum(1 for d in differences if not d["known"])
    nums = ([secs(result[k]) for k in ("wall_ms", "paced_ms")] + [str(result["log_span_ms"] // 1000)]
            + [secs(result[k]) for k in ("user_ms", "overhead_ms")]) if ran else ["—"] * 5
    diffs = ("—" if not compared else "none" if not differences else
             f"{len(differences) - unexplained} known"
             + (f", <strong>{unexplained} unexplained</strong>" if unexplained else ""))
    why = f'<div class="why">{esc(reasons[0])}</div>' if verdict != "PASS" and reasons else ""
    title = f'<a href="#s-{esc(name)}">{esc(name)}</a>' if chosen else esc(name)
    return (f'<tr class="{cls if chosen else "unselected"}" data-scenario="{esc(name)}" data-verdict="{esc(verdict)}">'
            f'<td>{title}</td><td>{esc(spec.windows)}</td>'
            f'<td><span class="verdict {cls}">{esc(LABELS[verdict])}</span>{why}</td>'
            + "".join(f'<td class="num">{n}</td>' for n in nums)
            + f'<td class="num">{esc(exit_codes(result)) if compared else "—"}</td><td>{diffs}</td>'
            f'<td class="num">{len(result.get("screenshots") or []) if ran else "—"}</td></tr>')


def scenario_section(results, spec, verdict, result, reasons, boxes, explanations):
    name, cls = spec.name, CLASSES[verdict]
    part = [f'<section id="s-{esc(name)}" class="scenario {cls}" data-scenario="{esc(name)}" '
            f'data-verdict="{esc(verdict)}">',
            f'<h2><span class="verdict {cls}">{esc(LABELS[verdict])}</span> {esc(name)}</h2>',
            f'<p class="what">{esc(spec.title)}</p>',
            f'<p class="where">{esc(spec.windows)}'
            + (f'; continues the machines of <a href="#s-{esc(spec.base)}">{esc(spec.base)}</a>'
               if spec.base else "") + "</p>"]
    if reasons and verdict != "PASS":
        part.append('<ul class="reasons">' + "".join(f"<li>{esc(r)}</li>" for r in reasons) + "</ul>")
    if result and verdict in ("PASS", "FAIL"):
        part.append(f'<p class="times">{figures(result)}</p>')
        part.append(screenshot_html(results, name, result.get("screenshots") or [], boxes))
        part.append("<h3>Wine and the simulator</h3>")
        part.append(comparison_html(results, spec, result, explanations))
        files = sorted(p.name for p in (results / name).iterdir() if p.suffix != ".png")
        part.append('<p class="files">Files: ' + " · ".join(f'<a href="{link(name, f)}">{esc(f)}</a>'
                                                             for f in files) + "</p>")
    part.append("</section>")
    return "\n".join(part)


def write(results):
    """index.html from the last run's files; returns its path."""
    summary, rows = load(results)
    explanations = compare.readme_explanations(README)
    boxes = content_boxes(results, [spec.name for spec, verdict, _ in rows if verdict])
    selected = [(spec, verdict) for spec, verdict, _ in rows if spec.name in summary["scenarios"]]
    counts = {label: sum(1 for _, v in selected if LABELS[v] == label) for label in ("passed", "failed", "not run")}
    count_text = (f'{counts["passed"]} passed, {counts["failed"]} failed, {counts["not run"]} not run'
                  + (f"; {len(rows) - len(selected)} not selected" if len(rows) > len(selected) else ""))
    state = "fail" if counts["failed"] else "notrun" if counts["not run"] else "pass"
    selection = " ".join(summary.get("selection") or []) or "every scenario"

    table, sections, met = [], [], {}  # met: the explanations' keys, in the order met
    for spec, verdict, result in rows:
        reasons = reasons_of(summary, spec.name, verdict, result)
        chosen = spec.name in summary["scenarios"]
        table.append(summary_row(spec, verdict, result, reasons, chosen))
        if chosen:  # one not selected has nothing more to show
            sections.append(scenario_section(results, spec, verdict, result, reasons, boxes, explanations))
        met.update(dict.fromkeys(d["known"] for d in result.get("differences") or [] if d["known"]))

    glossary = ""
    if met:
        glossary = ('<section id="why"><h2>What Wine does differently</h2><p>The explained differences met in this '
                    'run, from tools/wine/README.md.</p><dl>'
                    + "".join(f'<dt id="why-{esc(k)}"><code>{esc(k)}</code></dt>'
                              f'<dd>{md(explanations.get(k, "(not explained in tools/wine/README.md)"))}</dd>'
                              for k in met) + "</dl></section>")
    run_note = (f'<p class="stopped">Nothing ran: {esc(summary["not_run"])}</p>'
                if summary.get("not_run") else "")
    page = f"""<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<title>ZMP-K40 under Wine: {esc(count_text)}</title>
<style>{STYLE}</style></head>
<body>
<h1>ZMP-K40 under Wine</h1>
<p class="run">Product {esc(summary.get("product") or "?")} · {esc(summary.get("wine") or "Wine ?")} ·
run of {esc(selection)}, finished {esc(summary.get("finished") or "?")}</p>
<p id="counts" class="counts {state}">{esc(count_text)}</p>
{run_note}
<p class="legend"><b>paced</b>: what the program's own log spans (one-second stamps), plus its documented sleep
after the last line, less the time it waited for the user; <b>user</b>: a dialog or box shown until the robot
answered it; <b>overhead</b>: the rest (prefix copy, Wine start-up, robot, screenshots, the look at both
machines). Times in seconds.</p>
<table class="summary">
<tr><th>Scenario</th><th>Windows</th><th>Verdict</th><th>Wall</th><th>Paced</th><th>Log span</th><th>User</th>
<th>Overhead</th><th>Exit<br>Wine / sim.</th><th>Differences</th><th>Screens</th></tr>
{chr(10).join(table)}
</table>
{chr(10).join(sections)}
{glossary}
</body></html>
"""
    path = results / PAGE
    path.write_text(page)
    return path


STYLE = """
body { font: 14px/1.45 "DejaVu Sans", sans-serif; margin: 20px 24px; color: #1f2328; max-width: 1232px; }
h1 { font-size: 24px; margin: 0 0 4px; }
h2 { font-size: 18px; margin: 0 0 4px; }
h3 { font-size: 15px; margin: 14px 0 4px; }
a { color: #0550ae; }
code { font: 12.5px "DejaVu Sans Mono", monospace; }
.run, .where, .legend, .quiet, .files { color: #59636e; }
.legend { font-size: 12.5px; }
.counts { font-size: 18px; font-weight: bold; padding: 6px 10px; border-radius: 4px; display: inline-block; }
.counts.pass { background: #dafbe1; } .counts.fail { background: #ffebe9; } .counts.notrun { background: #fff8c5; }
.stopped { background: #fff8c5; border-left: 4px solid #9a6700; padding: 6px 10px; }
.verdict { display: inline-block; min-width: 64px; text-align: center; padding: 1px 8px; border-radius: 10px;
           color: #fff; font-weight: bold; }
.verdict.pass { background: #1a7f37; } .verdict.fail { background: #cf222e; } .verdict.notrun { background: #7d4e00; }
table { border-collapse: collapse; }
table.summary { width: 100%; margin: 10px 0 24px; }
table.summary th, table.summary td { border-bottom: 1px solid #d1d9e0; padding: 4px 6px; text-align: left;
                                     vertical-align: top; }
table.summary tr.fail td { background: #ffebe9; } table.summary tr.notrun td { background: #fff8c5; }
table.summary tr.unselected td { color: #59636e; } tr.unselected .verdict { background: #8c959f; }
table.summary td:nth-child(-n+2) { white-space: nowrap; }
td.num { text-align: right; white-space: nowrap; }
.why { font-size: 12.5px; color: #59636e; max-width: 300px; }
section.scenario { border-top: 3px solid #d1d9e0; padding: 12px 0 8px; }
section.scenario.fail { border-top-color: #cf222e; } section.scenario.notrun { border-top-color: #9a6700; }
.what { margin: 2px 0; } .where { margin: 2px 0 6px; }
.reasons { color: #82071e; }
.times { font-family: "DejaVu Sans Mono", monospace; font-size: 12.5px; }
.shots { display: flex; flex-wrap: wrap; gap: 12px; align-items: flex-start; }
figure { margin: 0; }
figcaption { font-size: 12.5px; color: #59636e; }
.crop { overflow: hidden; border: 1px solid #8c959f; background: #000; }
.crop img { display: block; max-width: none; }
img.whole { width: 400px; border: 1px solid #8c959f; }
figure.missing div { width: 240px; padding: 30px 0; text-align: center; border: 1px dashed #cf222e; }
table.diffs td, table.diffs th { border-bottom: 1px solid #d1d9e0; padding: 3px 6px; text-align: left;
                                 vertical-align: top; }
table.diffs tr.unexplained td { background: #ffebe9; }
table.diffs td:first-child { white-space: nowrap; }
ul.lines { margin: 2px 0; padding-left: 18px; font-size: 12.5px; }
.side { font-weight: bold; } .section { color: #59636e; }
details summary { cursor: pointer; color: #0550ae; }
table.side { font: 12px "DejaVu Sans Mono", monospace; margin-top: 4px; }
table.side td { border-bottom: 1px solid #eef0f2; padding: 1px 6px; width: 50%; word-break: break-all; }
table.side tr.head th { text-align: left; background: #f6f8fa; padding: 3px 6px; }
table.side tr.differs td { background: #fff8c5; }
#why dt { margin-top: 8px; font-weight: bold; } #why dd { margin-left: 18px; }
"""


# ------------------------------------------------------------------ the check

class Chromium:
    """Headless Chromium spoken to over its DevTools pipe (--remote-debugging-
    pipe: JSON messages ended by NUL, ours on its fd 3, its on fd 4)."""

    FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--no-first-run", "--hide-scrollbars"]

    def __init__(self, log_path, timeout=60):
        self.timeout = timeout
        self.profile = tempfile.mkdtemp(prefix="zmp-chromium-")
        self.buffer, self.events, self.last_id = b"", [], 0
        ours_read, self.ours = self._high_pipe()
        self.theirs, theirs_write = self._high_pipe()

        def onto_3_and_4():
            os.dup2(ours_read, 3)
            os.dup2(theirs_write, 4)
        with open(log_path, "w") as log:
            self.process = subprocess.Popen(
                ["chromium", *self.FLAGS, f"--user-data-dir={self.profile}", "--remote-debugging-pipe", "about:blank"],
                pass_fds=(3, 4, ours_read, theirs_write), preexec_fn=onto_3_and_4,
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        os.close(ours_read)
        os.close(theirs_write)

    @staticmethod
    def _high_pipe():
        """A pipe above fd 3 and 4, so that putting it there clobbers nothing."""
        ends = []
        for fd in os.pipe():
            ends.append(fcntl.fcntl(fd, fcntl.F_DUPFD, 10))
            os.close(fd)
        return ends

    def _receive(self):
        deadline = time.monotonic() + self.timeout
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.theirs], [], [], left)[0]:
                raise RuntimeError(f"Chromium did not answer within {self.timeout} s")
            chunk = os.read(self.theirs, 1 << 20)
            if not chunk:
                raise RuntimeError("Chromium ended")
            self.buffer += chunk
        message, _, self.buffer = self.buffer.partition(b"\0")
        return json.loads(message)

    def call(self, method, session=None, **params):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.ours, json.dumps(message).encode() + b"\0")
        while True:
            answer = self._receive()
            if answer.get("id") == self.last_id:
                if "error" in answer:
                    raise RuntimeError(f"{method}: {answer['error'].get('message')}")
                return answer["result"]
            self.events.append(answer)

    def wait_for(self, event):
        while not any(e.get("method") == event for e in self.events):
            self.events.append(self._receive())

    def close(self):
        try:
            self.call("Browser.close")
            self.process.wait(10)
        except (RuntimeError, OSError, subprocess.TimeoutExpired):
            self.process.kill()
            self.process.wait()
        os.close(self.ours)
        os.close(self.theirs)
        shutil.rmtree(self.profile, ignore_errors=True)


# What the browser shows: each scenario where the page states its verdict
# (its summary row and its section) with the verdict and the text as
# rendered; images that did not load; scripts (text that was not escaped);
# the page's height.
SHOWN = """JSON.stringify({
  height: Math.ceil(document.documentElement.scrollHeight),
  places: Array.from(document.querySelectorAll('[data-scenario]'), e => {
    const v = e.querySelector('.verdict');
    const seen = v && v.getBoundingClientRect().width > 0 && getComputedStyle(v).visibility === 'visible';
    return {scenario: e.dataset.scenario, verdict: e.dataset.verdict, label: seen ? v.innerText.trim() : '',
            text: e.innerText};
  }),
  broken: Array.from(document.images).filter(i => !(i.complete && i.naturalWidth > 0)).map(i => i.getAttribute('src')),
  scripts: document.scripts.length,
})"""


def render(results, width=1280):
    """Opens the page in headless Chromium, keeps a screenshot of all of it
    (index.png) and returns what it shows (SHOWN); RuntimeError when it does
    not render."""
    browser = Chromium(results.parent / "chromium.log")
    try:
        target = browser.call("Target.createTarget", url="about:blank")["targetId"]
        session = browser.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        browser.call("Page.enable", session)
        browser.call("Emulation.setDeviceMetricsOverride", session, width=width, height=900, deviceScaleFactor=1,
                     mobile=False)
        # The page has no scripts; one that text smuggled in must not run
        # (an alert() would hold the page), only be counted.
        browser.call("Emulation.setScriptExecutionDisabled", session, value=True)
        browser.call("Page.navigate", session, url=(results / PAGE).resolve().as_uri())
        browser.wait_for("Page.loadEventFired")
        shown = json.loads(browser.call("Runtime.evaluate", session, expression=SHOWN,
                                        returnByValue=True)["result"]["value"])
        shot = browser.call("Page.captureScreenshot", session, format="png", captureBeyondViewport=True,
                            clip={"x": 0, "y": 0, "width": width, "height": shown["height"], "scale": 1})
        (results / SHOT).write_bytes(base64.b64decode(shot["data"]))
        return shown
    finally:
        browser.close()


def disagreements(results, shown):
    """Where what the browser shows differs from the harness's verdicts and
    reasons."""
    summary = json.loads((results / SUMMARY).read_text())
    problems = [f"image not shown: {src}" for src in shown["broken"]]
    if shown["scripts"]:
        problems.append("the page holds a script: some text went in unescaped")
    for name in SCENARIOS:
        verdict = summary["verdicts"].get(name, "")
        path = results / name / "result.json"
        reasons = reasons_of(summary, name, verdict, json.loads(path.read_text()) if verdict and path.exists() else {})
        places = [p for p in shown["places"] if p["scenario"] == name]
        if len(places) != (2 if name in summary["scenarios"] else 1):
            problems.append(f"{name}: shown {len(places)} times, expected in the table and, when selected, "
                            f"in a section")
        for place in places:
            if place["verdict"] != verdict or place["label"] != LABELS[verdict]:
                problems.append(f'{name}: the page shows "{place["label"]}" ({place["verdict"] or "no verdict"}), '
                                f'the harness says {verdict or "no verdict"} ("{LABELS[verdict]}")')
            if verdict != "PASS" and reasons and " ".join(reasons[0].split()) not in " ".join(place["text"].split()):
                problems.append(f'{name}: the reason "{reasons[0]}" is not shown')
    problems += [f'{p["scenario"]}: not a scenario' for p in shown["places"] if p["scenario"] not in SCENARIOS]
    return problems


def check(results):
    """The page in headless Chromium against the harness's verdicts; returns
    the problems."""
    if not (results / PAGE).exists() or not (results / SUMMARY).exists():
        return [f"no results page in {results}: run tools/wine/harness.py first"]
    if not shutil.which("chromium"):
        return ["chromium is missing (ZMP_WITH_WINE=1 tools/deps.sh installs it)"]
    try:
        shown = render(results)
    except RuntimeError as e:
        return [f"the page did not render: {e} (see {results.parent / 'chromium.log'})"]
    return disagreements(results, shown)
