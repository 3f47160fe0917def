#!/usr/bin/env python3
"""The results page on hand-made runs, rendered by headless Chromium: every
kind of verdict shown as the harness gave it and with its reason (a scenario
that did not run never looks passed), hostile text shown as text, and the
check finds a page that disagrees with the harness."""

import json
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.dont_write_bytecode = True

import results_page as page  # noqa: E402
from scenarios import SCENARIOS  # noqa: E402

HOSTILE_REASON = 'robot click "<script>alert(1)</script>" & <img src=x onerror=alert(2)> (exit 3)'
HOSTILE_LINE = "</code></table><script>alert(3)</script> C:\\windows\\inf\\oem0.inf"
SKIP_REASON = "continues the machine of 3-win7-com1, which did not pass"


def result(name, verdict, reasons=(), comparison=False, differences=()):
    return {"scenario": name, "verdict": verdict, "reasons": list(reasons), "wall_ms": 9000, "paced_ms": 6000,
            "user_ms": 1000, "overhead_ms": 2000, "log_span_ms": 5000, "exit_code": {"wine": 0, "simulator": 0},
            "screenshots": [], "comparison": "comparison.txt" if comparison else None,
            "differences": list(differences)}


DIFFERENCE = {"section": "files", "side": "wine", "line": HOSTILE_LINE, "known": None}

# name: (this run's verdict or "" for none, the result.json it left or None)
MIXED = {
    "1-win7-usb": ("PASS", result("1-win7-usb", "PASS", comparison=True, differences=[DIFFERENCE])),
    "3-win7-com1": ("FAIL", result("3-win7-com1", "FAIL", [HOSTILE_REASON, "expected 'x' in robot output"])),
    "4-win7-com2-second-printer": ("SKIP", result("4-win7-com2-second-printer", "SKIP", [SKIP_REASON])),
    "5-win7-wlan": ("", None),  # selected; the harness ended before it
}


def lay_out(folder, selected, not_run=""):
    """A results folder as a run leaves it; 8-win7-uninstall-fresh keeps an
    older run's result.json, which must not count."""
    results = folder / "results"
    for name, (_, data) in {**selected, "8-win7-uninstall-fresh": ("", result("x", "PASS"))}.items():
        if data:
            (results / name).mkdir(parents=True)
            (results / name / "result.json").write_text(json.dumps(data))
            (results / name / "transcript.txt").write_text("")
            if data["comparison"]:
                (results / name / "comparison.json").write_text(json.dumps(
                    {"wine": {"files": [HOSTILE_LINE]}, "simulator": {"files": []},
                     "differences": data["differences"]}))
    results.mkdir(exist_ok=True)
    (results / "summary.json").write_text(json.dumps({
        "product": "abc1234 a commit", "wine": "wine-8.0", "finished": "2025-01-01 00:00 UTC",
        "selection": list(selected), "scenarios": list(selected), "not_run": not_run,
        "verdicts": {n: v for n, (v, _) in selected.items() if v}}))
    page.write(results)
    return results


class Rendered(unittest.TestCase):
    """One page, rendered once; the cases read what the browser showed."""

    selected, not_run = MIXED, ""

    @classmethod
    def setUpClass(cls):
        cls.folder = Path(tempfile.mkdtemp(prefix="zmp-page-"))
        cls.results = lay_out(cls.folder, cls.selected, cls.not_run)
        cls.shown = page.render(cls.results)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def places(self, name):
        """The summary row, and the section of a scenario this run selected."""
        found = [p for p in self.shown["places"] if p["scenario"] == name]
        self.assertEqual(len(found), 2 if name in self.selected else 1)
        return found

    def expect(self, cases):
        for name, label, reason in cases:
            with self.subTest(name):
                for place in self.places(name):
                    self.assertEqual(place["label"], label)
                    if reason:
                        self.assertIn(reason, place["text"])


class MixedRun(Rendered):
    def test_each_verdict_is_shown_with_its_reason(self):
        self.expect([
            ("1-win7-usb", "passed", None),
            ("3-win7-com1", "failed", HOSTILE_REASON),
            ("4-win7-com2-second-printer", "not run", SKIP_REASON),
            ("5-win7-wlan", "not run", "the harness ended before it"),
            ("8-win7-uninstall-fresh", "not run", "not selected in this run"),  # its old result.json ignored
            ("0-robot", "not run", "not selected in this run"),
        ])
        html = (self.results / page.PAGE).read_text()
        self.assertIn(f"1 passed, 1 failed, 2 not run; {len(SCENARIOS) - 4} not selected", html)

    def test_hostile_text_stays_text(self):
        self.assertEqual(self.shown["scripts"], 0)
        self.assertEqual(self.shown["broken"], [])
        section = self.places("1-win7-usb")[1]["text"]
        self.assertIn("unexplained", section)
        self.assertIn("Wine 1", section)

    def test_the_check_agrees_and_finds_disagreements(self):
        self.assertEqual(page.disagreements(self.results, self.shown), [])
        summary_path = self.results / "summary.json"
        original = summary_path.read_text()
        cases = {  # the harness said otherwise than the page shows
            "4-win7-com2-second-printer": "PASS",
            "5-win7-wlan": "PASS",
            "1-win7-usb": "FAIL",
        }
        try:
            for name, verdict in cases.items():
                with self.subTest(name):
                    summary = json.loads(original)
                    summary["verdicts"][name] = verdict
                    summary_path.write_text(json.dumps(summary))
                    problems = page.disagreements(self.results, self.shown)
                    self.assertTrue(any(p.startswith(f"{name}: the page shows") for p in problems), problems)
        finally:
            summary_path.write_text(original)

    def test_a_screenshot_of_the_whole_page_is_kept(self):
        png = (self.results / page.SHOT).read_bytes()
        self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(int.from_bytes(png[16:20], "big"), 1280)
        self.assertEqual(int.from_bytes(png[20:24], "big"), self.shown["height"])


class NothingRan(Rendered):
    """The machine cannot run Wine's 32-bit part: every scenario skipped."""

    selected = {name: ("", None) for name in SCENARIOS}
    not_run = "not run on this machine: this machine's kernel runs no i386 code"

    def test_every_scenario_is_not_run_with_the_reason(self):
        self.expect([(name, "not run", self.not_run) for name in SCENARIOS])
        self.assertEqual(page.disagreements(self.results, self.shown), [])
        self.assertIn(f"0 passed, 0 failed, {len(SCENARIOS)} not run", (self.results / page.PAGE).read_text())


if __name__ == "__main__":
    unittest.main()
