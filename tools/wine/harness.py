#!/usr/bin/env python3
"""The shipped programs (build-win32/dist/, PE32) under Wine, on virtual
screens, driven like a user by robot.exe; after each scenario the machine
is compared with the simulator's after the same scenario.

  tools/wine/harness.py [SCENARIO...]   every scenario, or those named (by
                                        number or full name; a scenario that
                                        continues another brings it along)
  tools/wine/harness.py --list          the scenarios
  tools/wine/harness.py --compare NAME  the side-by-side of NAME's last run
  tools/wine/harness.py --check-page    the last run's page (results/index.html)
                                        in headless Chromium: a screenshot of it
                                        (index.png), its verdicts against the run's
  tools/wine/harness.py --packages      only installs what the scenarios need
                                        (Debian's packages, wine32:i386), so a
                                        run beside other stages meets no apt

Environment: ZMP_WINE_OUT (default build-wine/), ZMP_WINE_JOBS (scenarios
at a time, each on a screen of its own; default 2).

Each scenario prints PASS, FAIL or SKIP (with the reason) and its wall time
split into paced (what the program's own log spans, plus its documented
sleep after the last line, less the time it waited for the user), user (a
dialog or box shown until the robot answered it) and overhead (the rest).
Everything stays in build-wine/results/<scenario>/: transcript, screenshots,
logs, comparison.txt and result.json; build-wine/results/index.html shows
the run as a page (results_page.py). Last line: "N passed, N failed, N
skipped"; the exit code is 1 when a scenario failed.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import threading
import time
import traceback
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parents[1]
sys.path.insert(0, str(HERE))
sys.dont_write_bytecode = True  # no __pycache__ in the source tree

import checks  # noqa: E402
import compare  # noqa: E402
import machines  # noqa: E402
import results_page  # noqa: E402
import wineprefix as wp  # noqa: E402
from scenarios import SCENARIOS  # noqa: E402

OUT = Path(os.environ.get("ZMP_WINE_OUT", ROOT / "build-wine"))
RESULTS = OUT / "results"
PREFIXES = OUT / "prefixes"
SIMS = OUT / "sim"
DIST = ROOT / "build-win32" / "dist"
SIM_TOOL = ROOT / "build" / "tools" / "zmpk40-sim" / "zmpk40-sim"
TOOLS = {"i686": OUT / "tools-i686", "x86_64": OUT / "tools-x86_64"}

print_lock = threading.Lock()


def say(text):
    with print_lock:
        print(text, flush=True)


def secs(ms):
    return f"{ms / 1000:.1f}"


# ------------------------------------------------------------------ preparing

def build(setup_log):
    """The product and the simulator (tools/build.sh), and our Windows tools
    for both architectures (robot, spoolq and fixture run as 32-bit programs
    in either kind of prefix; printui.dll is needed in both)."""
    if subprocess.run([str(ROOT / "tools/build.sh")], stdout=setup_log, stderr=setup_log).returncode != 0:
        return "tools/build.sh failed (see build-wine/wine-setup.log)"
    for arch, folder in TOOLS.items():
        toolchain = ROOT / "cmake" / f"mingw-{arch}.cmake"
        for step in (["cmake", "-S", str(HERE), "-B", str(folder), "-G", "Ninja",
                      f"-DCMAKE_TOOLCHAIN_FILE={toolchain}"],
                     ["cmake", "--build", str(folder), "-j2"]):
            if subprocess.run(step, stdout=setup_log, stderr=setup_log).returncode != 0:
                return f"the {arch} tools do not build (see build-wine/wine-setup.log)"
    return ""


def selected(wanted):
    names = list(SCENARIOS)
    if not wanted:
        return names
    chosen = [n for n in names if n in wanted or n.split("-")[0] in wanted]
    if not chosen:
        sys.exit(f"no such scenario: {' '.join(wanted)} (have: {' '.join(names)})")
    # A scenario that continues another's machine brings that one along.
    added = True
    while added:
        added = False
        for n in list(chosen):
            base = SCENARIOS[n].base
            if base and base not in chosen:
                chosen.append(base)
                added = True
    return [n for n in names if n in chosen]


# ------------------------------------------------------------------ one scenario

class Outcome:
    """The scenarios' verdicts as the workers reach them."""

    def __init__(self):
        self.verdict = {}   # name -> PASS/FAIL/SKIP
        self.taken = set()  # started by a worker
        self.lock = threading.Condition()


def prepare(spec, r, outcome, templates):
    """The scenario's two machines: fresh ones, or copies of those its base
    left. Returns why the scenario is skipped, or ""."""
    if spec.base:
        if outcome.verdict.get(spec.base) != "PASS":
            return f"continues the machine of {spec.base}, which did not pass"
        wp.copy_prefix(PREFIXES / spec.base, r.wine.prefix)
        r.sim.copy_from(SIMS / spec.base)
    else:
        wp.copy_prefix(templates[spec.kind], r.wine.prefix)
        r.sim.new(checks.VERSIONS[spec.version]["sim"], spec.kind == "win64")
    r.wine.install_printui()
    if spec.product:
        r.wine.lay_out(DIST, spec.config)
    if not r.wine.set_version(spec.version):
        r.fail(f"could not set the Windows version {spec.version}")
    return ""


def compare_machines(spec, r, spooler_text):
    """The side by side of the two machines; an unexplained difference fails
    the scenario."""
    wine_obs = compare.observe_wine(r.wine, spooler_text, r.exit_code)
    sim_obs = compare.observe_sim(r.sim, r.sim.show())
    differences = compare.write_comparison(r.results, spec.name, wine_obs, sim_obs)
    unexplained = {}
    for d in differences:
        if not d["known"]:
            text = f"{d['section']}: only {'Wine' if d['side'] == 'wine' else 'the simulator'} has \"{d['line']}\""
            unexplained[text] = unexplained.get(text, 0) + 1
    for text, count in unexplained.items():
        r.fail(f"unexplained difference, {text}{f' ({count} times)' if count > 1 else ''} (see comparison.txt)")
    return differences


def run_scenario(spec, screen, outcome, templates):
    results = RESULTS / spec.name
    shutil.rmtree(results, ignore_errors=True)
    results.mkdir(parents=True)
    transcript = open(results / "transcript.txt", "w")
    begin = wp.now_ms()
    wine = machines.WineMachine(spec.kind, PREFIXES / spec.name, screen.display, TOOLS, results,
                                lambda text: (transcript.write(text + "\n"), transcript.flush()))
    sim = machines.SimMachine(SIM_TOOL, SIMS / spec.name, results)
    r = checks.Run(spec, wine, sim, DIST, results, transcript)
    skip = ""
    differences = []
    try:
        skip = prepare(spec, r, outcome, templates)
        if not skip and not r.fails:
            spec.run(r)
    except checks.Stop:
        pass
    except Exception:
        r.fail("harness error: " + traceback.format_exc().strip().splitlines()[-1])
        r.note(traceback.format_exc())
    if r.fails and wine.prefix.exists():
        r.shot("at-failure")
        r.robot("windows")
    # What the machines hold: the spooler while Wine runs, the rest after.
    observed = spec.product and sim.exit_code is not None
    spooler_text = wine.spooler("spooler-final.txt") if observed else ""
    if wine.prefix.exists():
        wine.end()
    if observed:
        try:
            differences = compare_machines(spec, r, spooler_text)
        except Exception:
            r.fail("comparison error: " + traceback.format_exc().strip().splitlines()[-1])
            r.note(traceback.format_exc())

    wall = wp.now_ms() - begin
    span = r.log_span_ms()
    paced = max(span + r.tail_ms - r.user_ms, 0) if span else 0
    overhead = wall - paced - r.user_ms
    if skip and not r.fails:
        verdict = "SKIP"
        line = f"SKIP {spec.name:<30} {skip}"
    elif not r.fails:
        verdict = "PASS"
        line = (f"PASS {spec.name:<30} wall {secs(wall):>5} s = paced {secs(paced):>5} s (log span "
                f"{span // 1000} s) + user {secs(r.user_ms):>4} s + overhead {secs(overhead):>5} s")
    else:
        verdict = "FAIL"
        line = f"FAIL {spec.name:<30} wall {secs(wall):>5} s; {r.fails[0]}; details in {results}"
        line += "".join(f"\n       {f}" for f in r.fails[1:])
    r.note(verdict)
    transcript.close()
    (results / "result.json").write_text(json.dumps({
        "scenario": spec.name, "title": spec.title,
        "windows": spec.windows, "base": spec.base,
        "verdict": verdict, "reasons": r.fails or ([skip] if skip else []),
        "wall_ms": wall, "paced_ms": paced, "user_ms": r.user_ms, "overhead_ms": overhead, "log_span_ms": span,
        "exit_code": {"wine": r.exit_code, "simulator": sim.exit_code},
        "screenshots": [f"{name}.png" for name in r.shots],
        "comparison": "comparison.txt" if observed else None, "differences": differences,
    }, indent=2))
    say(line)
    # A machine that others continue stays for them (until the next run), a
    # failed one for a look.
    if verdict != "FAIL" and not spec.dependents:
        shutil.rmtree(wine.prefix, ignore_errors=True)
    return verdict


def worker(order, outcome, templates, errors):
    try:
        screen = wp.Screen(OUT / "xvfb.log")
    except RuntimeError as e:
        errors.append(str(e))
        with outcome.lock:
            outcome.lock.notify_all()
        return
    try:
        while True:
            with outcome.lock:
                spec = None
                while spec is None:
                    pending = [n for n in order if n not in outcome.verdict and n not in outcome.taken]
                    if not pending:
                        return
                    ready = [n for n in pending if not SCENARIOS[n].base or SCENARIOS[n].base in outcome.verdict]
                    if ready:
                        spec = SCENARIOS[ready[0]]
                        outcome.taken.add(spec.name)
                    else:
                        outcome.lock.wait()
            verdict = run_scenario(spec, screen, outcome, templates)
            with outcome.lock:
                outcome.verdict[spec.name] = verdict
                outcome.lock.notify_all()
    finally:
        screen.close()


# ------------------------------------------------------------------ main

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("scenarios", nargs="*")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--compare", metavar="NAME")
    parser.add_argument("--check-page", action="store_true")
    parser.add_argument("--packages", action="store_true")
    args = parser.parse_args()
    if args.packages:
        OUT.mkdir(parents=True, exist_ok=True)
        with open(OUT / "wine-setup.log", "w") as setup_log:
            missing = wp.ensure_packages(ROOT, setup_log)
        # A machine that cannot run i386 code is not a failure here: the run
        # itself says so and skips its scenarios.
        print(f"wine packages: {missing or 'ready'}")
        return 0
    if args.check_page:
        problems = results_page.check(RESULTS)
        for problem in problems:
            print(f"results page: {problem}")
        if problems:
            return 1
        print(f"results page: {RESULTS / results_page.PAGE} shows the harness's verdicts "
              f"(screenshot {RESULTS / results_page.SHOT})")
        return 0
    if args.list:
        for spec in SCENARIOS.values():
            print(f"{spec.name:<30} {spec.windows}{'; after ' + spec.base if spec.base else ''}\n    {spec.title}")
        return 0
    if args.compare:
        name = next((n for n in SCENARIOS if args.compare in (n, n.split("-")[0])), args.compare)
        path = RESULTS / name / "comparison.txt"
        if not path.exists():
            sys.exit(f"no comparison for {args.compare} yet: run tools/wine/harness.py {args.compare}")
        print(path.read_text(), end="")
        return 0

    order = selected(args.scenarios)
    RESULTS.mkdir(parents=True, exist_ok=True)
    results_page.clear(RESULTS)  # nothing of the last run may pass for this one's
    product = subprocess.run(["git", "-C", str(ROOT), "log", "-1", "--format=%h %s"],
                             capture_output=True, text=True).stdout.strip()
    outcome = Outcome()
    not_run, code = run(order, outcome, product)
    (RESULTS / "summary.json").write_text(json.dumps({
        "product": product, "wine": wp.wine_version(), "finished": time.strftime("%Y-%m-%d %H:%M %Z"),
        "selection": args.scenarios, "scenarios": order, "verdicts": outcome.verdict, "not_run": not_run,
    }, indent=2))
    print(f"results page: {results_page.write(RESULTS)}")
    if not_run and not outcome.verdict:
        if code == 0:  # this machine cannot run them: skipped, never passed
            print(f"0 passed, 0 failed, {len(order)} skipped (not run on this machine)")
        return code
    counts = {v: sum(1 for x in outcome.verdict.values() if x == v) for v in ("PASS", "FAIL", "SKIP")}
    print(f"{counts['PASS']} passed, {counts['FAIL']} failed, {counts['SKIP']} skipped")
    return 1 if counts["FAIL"] or len(outcome.verdict) != len(order) else 0


def run(order, outcome, product):
    """Prepares the machines and runs the scenarios; returns why none ran
    ("" when they did) and the exit code for that case."""
    unknown = {k.key for k in compare.KNOWN} - compare.readme_keys(HERE / "README.md")
    if unknown:
        problem = f"tools/wine/README.md does not explain the known differences {sorted(unknown)}"
        print(problem)
        return problem, 1
    with open(OUT / "wine-setup.log", "w") as setup_log:
        missing = wp.ensure_packages(ROOT, setup_log)
        if missing:
            # Every scenario runs the PE32 product or our 32-bit tools.
            print(f"cannot run {', '.join(order)}: {missing}")
            return f"not run on this machine: {missing}", 0
        problem = build(setup_log)
        if problem:
            print(problem)
            return problem, 1
        kinds = {SCENARIOS[n].kind for n in order}
        templates = {kind: OUT / f"prefix-template-{kind}" for kind in kinds}
        makers = [threading.Thread(target=wp.make_template, args=(kind, path, setup_log))
                  for kind, path in templates.items()]
        for t in makers:
            t.start()
        for t in makers:
            t.join()
        missing = [str(path) for path in templates.values() if not (path / ".zmp-stamp").exists()]
        if missing:
            problem = f"could not make the Wine prefixes {', '.join(missing)} (see build-wine/wine-setup.log)"
            print(problem)
            return problem, 1

    for folder in (PREFIXES, SIMS):
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
    print(f"product: {DIST} ({product})")
    errors = []
    jobs = max(1, int(os.environ.get("ZMP_WINE_JOBS", "2")))
    threads = [threading.Thread(target=worker, args=(order, outcome, templates, errors)) for _ in range(jobs)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if errors and not outcome.verdict:
        print(errors[0])
        return errors[0], 1
    return "", 0


if __name__ == "__main__":
    sys.exit(main())
