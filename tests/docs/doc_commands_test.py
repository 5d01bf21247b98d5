#!/usr/bin/python3
"""Runs the commands that README.md and docs/*.md show, and checks their links.

    doc_commands_test.py SOURCE_DIR BUILD_DIR

Blocks marked `sh` are commands, one a line; blocks marked `console` hold commands
behind "$ " and their output, which is not checked. Each document's commands run in
order in a folder of their own that holds a generated sphere.raw and a link `build` to
BUILD_DIR, and must exit 0, or with the status a trailing "# exit status N" names.
Lines on SKIPPED (a display, a server, the suite, minutes of work) do not run: their
program must exist and take every --option the line gives it.
"""
import pathlib
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

SKIPPED = re.compile(r"--window|--renderer opengl|--compare|^\./run\.sh|^\./test\.sh|^web/build\.sh"
                     r"|^scripts/plant-faults|^(build/)?bench/|^python3 -m http\.server"
                     r"|^(cmake|ctest|git|xvfb-run|node) ")
STATUS = re.compile(r"#\s*exit status (\d+)\s*$")


def commands(text):
    """(line number, command) for every command of the document's sh and console blocks."""
    found, kind, pending = [], None, None
    for number, line in enumerate(text.splitlines(), 1):
        if line.startswith("```"):
            kind = None if kind else line[3:].strip()
            continue
        if kind not in ("sh", "console"):
            continue
        if pending:
            pending[1] += "\n" + line
        elif kind == "sh" and line.strip() and not line.startswith("#"):
            pending = [number, line]
        elif kind == "console" and line.startswith("$ "):
            pending = [number, line[2:]]
        if pending and not line.endswith("\\"):
            found.append(tuple(pending))
            pending = None
    return found


def checkSkipped(command, top, build):
    """What is wrong with a command that is not run, or None."""
    words = shlex.split(STATUS.sub("", command).replace("\\\n", " "), comments=True)
    if words[0] == "xvfb-run":  # the program it runs is the one checked
        words = words[1:]
        while words and words[0].startswith("-"):
            words = words[2:] if words[0] in ("-s", "-n", "-e", "-f", "-p") else words[1:]
    program = words[0]
    if "/" not in program:
        return None if shutil.which(program) else f"{program} is not installed"
    path = build / program[len("build/"):] if program.startswith("build/") else top / program
    if not path.exists():
        cache = (build / "CMakeCache.txt").read_text()
        if program.startswith("build/bench/") and "SPHAERIX_BENCH:BOOL=OFF" in cache:
            return None
        return f"{program} does not exist"
    data = path.read_bytes()
    if data.startswith(b"\x7fELF"):
        data = subprocess.run([path, "--help"], capture_output=True).stdout
    options = {w.split("=")[0] for w in words[1:] if w.startswith("--")}
    missing = sorted(o for o in options if not re.search(re.escape(o).encode() + rb"(?![\w-])", data))
    return f"{program} has no {', '.join(missing)}" if missing else None


def brokenLinks(doc, text):
    def anchors(path):
        headings = re.findall(r"^#+ (.*)$", path.read_text(), re.M)
        return {re.sub(r"[^\w\- ]", "", h.lower().replace("`", "")).replace(" ", "-") for h in headings}
    broken = []
    for target in re.findall(r"\]\(([^)\s]+)\)", re.sub(r"```.*?```", "", text, flags=re.S)):
        if re.match(r"https?:", target):
            continue
        file, _, anchor = target.partition("#")
        path = (doc.parent / file) if file else doc
        if not path.exists() or (anchor and path.suffix == ".md" and anchor not in anchors(path)):
            broken.append(target)
    return broken


def main():
    top, build = pathlib.Path(sys.argv[1]).resolve(), pathlib.Path(sys.argv[2]).resolve()
    failures = []
    for doc in [top / "README.md"] + sorted((top / "docs").glob("*.md")):
        text = doc.read_text()
        failures += [f"{doc.name}: broken link {t}" for t in brokenLinks(doc, text)]
        with tempfile.TemporaryDirectory(prefix="sphaerix-docs-") as work:
            (pathlib.Path(work) / "build").symlink_to(build)
            subprocess.run(["build/tools/sphaerix-spheremap/sphaerix-spheremap", "generate", "sphere.raw"],
                           cwd=work, check=True, capture_output=True)
            for number, command in commands(text):
                where = f"{doc.name}:{number}: {command.splitlines()[0]}"
                if SKIPPED.search(command):
                    problem = checkSkipped(command, top, build)
                    print(f"checked  {where}")
                    if problem:
                        failures.append(f"{where}: {problem}")
                    continue
                expected = int(STATUS.search(command).group(1)) if STATUS.search(command) else 0
                run = subprocess.run(["bash", "-c", command], cwd=work, capture_output=True, timeout=300)
                print(f"ran      {where} -> {run.returncode}")
                if run.returncode != expected:
                    failures.append(f"{where}: exit status {run.returncode}, expected {expected}; "
                                    f"{run.stderr.decode(errors='replace').strip()[-500:]}")
    for failure in failures:
        print("FAILED", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
