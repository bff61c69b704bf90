#!/usr/bin/env python3
"""Counts GoogleTest results per layer from the XML reports of a test run."""
import glob
import os
import re
import sys
import xml.etree.ElementTree as ET

results = sys.argv[1]


def count(pattern):
    tests = failures = skipped = disabled = 0
    for path in glob.glob(os.path.join(results, pattern)):
        try:
            root = ET.parse(path).getroot()
        except ET.ParseError:
            failures += 1
            continue
        for case in root.iter("testcase"):
            tests += 1
            if case.find("failure") is not None:
                failures += 1
            elif case.get("status") in ("notrun", "disabled") or case.get("result") == "suppressed":
                disabled += 1
            elif case.get("result") == "skipped" or case.find("skipped") is not None:
                skipped += 1
    return tests, failures, skipped, disabled


# Which build ran under Wine: the shipped 32-bit one, or the 64-bit one where this
# machine cannot run 32-bit programs (or was told not to).
arch_file = os.path.join(results, "wine-arch")
arch = open(arch_file).read().strip() if os.path.exists(arch_file) else "win32"
wine_tag = " (x64)" if arch == "win64" else ""

parts = []
for label, pattern in (("native unit", "native/*.xml"),
                       (f"Wine unit{wine_tag}", "wine/unit_tests*.xml"),
                       (f"e2e{wine_tag}", "wine/e2e_tests*.xml"),
                       (f"e2e as standard user{wine_tag}", "standard-user/*.xml")):
    # A layer this run did not take (make test-fresh takes only Wine's) is left out.
    if not glob.glob(os.path.join(results, pattern)) and pattern.startswith(("native/", "standard-user/")):
        continue
    tests, failures, skipped, disabled = count(pattern)
    text = f"{label} {tests - failures - skipped - disabled}/{tests} passed"
    notes = [f"{n} {what}" for n, what in ((skipped, "skipped"), (disabled, "disabled")) if n]
    if notes:
        text += f" ({', '.join(notes)})"
    parts.append(text)

fuzz = os.path.join(results, "fuzz.txt")
if os.path.exists(fuzz):
    runs = [int(n) for n in re.findall(r"(\d+) executions", open(fuzz).read())]
    parts.append(f"fuzz {len(runs)} targets, {sum(runs)} executions")
text = ", ".join(parts)
if arch == "win64":
    text += "; 32-bit exe built and checked, not run"
print(text)
