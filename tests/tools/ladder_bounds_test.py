#!/usr/bin/python3
"""sphaerix-snapshot --ladder and --explain against this machine's OpenGL, on Xvfb.

    ladder_bounds_test.py SNAPSHOT SPHEREMAP WORK_DIR

The OpenGL frame depends on the OpenGL implementation, so its comparison is checked
against bounds, not digests: with every rule taken, coverage equal and every colour
within one level on at least 99.99% of the pixels and identical on at least 99.9%, on
a view the near plane does not cut and on one it cuts (the clip's own step); the steps
in ladder order, the files written; and --explain of a pixel whose colour the sphere-map
coordinates change.
"""
import json
import os
import pathlib
import subprocess
import sys

snapshot, spheremap, work = sys.argv[1], sys.argv[2], pathlib.Path(sys.argv[3])
work.mkdir(parents=True, exist_ok=True)
subprocess.run([spheremap, "generate", "sphere.raw"], cwd=work, check=True)
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def run(*args):
    done = subprocess.run([snapshot, *args], cwd=work, capture_output=True, text=True)
    check(done.returncode == 0, " ".join(args) + ": status " + str(done.returncode) + " " + done.stderr.strip())
    return done.stdout


steps = ["none", "centres", "snap", "perspective", "texgen", "filter", "float-vertex", "clip"]
for name, view in [("start-up 480x480", ["--size", "480x480"]),
                   ("through the near plane 320x240 at zoom 11", ["--size", "320x240", "--zoom", "11"])]:
    ladder = json.loads(run(*view, "--ladder", "ladder", "--json"))["steps"]
    check([s["rule"] for s in ladder] == steps, name + ": the steps in ladder order")
    gl = ladder[-1]
    check(gl["rules"] == "gl" and gl["coverage_differs"] <= gl["pixels"] // 10000, name + ": gl's coverage")
    check(gl["within_1"] >= gl["pixels"] * 0.9999, name + ": gl within 1 level")
    check(gl["differ"] <= gl["pixels"] * 0.001, name + ": gl identical on 99.9%")
    check(ladder[0]["differ"] > gl["pixels"] * 0.3, name + ": the program's own rules far from OpenGL's")
    written = sorted(p.name for p in (work / "ladder").iterdir())
    check(written == sorted(["opengl.png", "ladder.png"] + [f"step-{k}-{r}.png" for k, r in enumerate(steps)]),
          name + ": the files " + ", ".join(written))
through = ladder
check(through[6]["coverage_differs"] > through[6]["pixels"] // 10 and through[7]["coverage_differs"] <= 20,
      "through the near plane: the clip makes the coverage OpenGL's")

explained = json.loads(run("--size", "320x320", "--zoom", "6", "--explain", "70,214", "--json"))
check(explained["opengl"] == [61, 156, 233] and explained["steps"][0]["color"] == [19, 43, 74],
      "explain 70,214: OpenGL's colour and ours")
check(explained["equal_from"] == 4 and "per-corner sphere-map coordinates" in " ".join(explained["sentences"]),
      "explain 70,214: equal from texgen on, and said so")
print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
