#!/usr/bin/python3
"""Helpers of ./scripts/demo: the exhibitor's change between runs, the summary and the check.

    demo_report.py change-booth --data DIR --state DIR --hall H
    demo_report.py stale --data DIR --base DIR --hall H
    demo_report.py summary --run FILE
    demo_report.py check --run FILE --phase main|menus

The run file is a JSON object of texts that scripts/demo writes: base, private and data (the base
folder, the private folder, the service's data folder), hall, log_offset (where this run begins in
the run log), run_started, start_time (Start pressed) and viewer_time (the viewer's window shown) in
seconds since the epoch, expect_update ("1" when no viewer was installed before the run) and
stale (the folders out of date before the run, as the stale command printed them).
"""

import argparse
import datetime
import fnmatch
import glob
import json
import os
import re
import sys
from dataclasses import dataclass
from pathlib import Path

EXHIBITION = 1
LOG_LINE = re.compile(r"^\[(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3})\]\(id:(\d+)\)(.*)$")


@dataclass
class LogLine:
    time: float  # seconds since the epoch
    pid: int
    text: str


def parse_log(text: str) -> list:
    """The entries of a run log; a text with line breaks continues the entry before it."""
    lines = []
    for raw in text.split("\n"):
        match = LOG_LINE.match(raw)
        if match:
            stamp = datetime.datetime.strptime(match.group(1), "%Y/%m/%d %H:%M:%S.%f")
            lines.append(LogLine(stamp.timestamp(), int(match.group(2)), match.group(3)))
        elif lines and raw:
            lines[-1].text += "\n" + raw
    return lines


def read_log(path: Path, offset: int) -> list:
    try:
        with open(path, "rb") as log:
            size = log.seek(0, os.SEEK_END)
            # The log starts over when it grows past its limit; then all of it is this run's.
            log.seek(offset if offset <= size else 0)
            return parse_log(log.read().decode("utf-8", "replace"))
    except FileNotFoundError:
        return []


def missing_in_order(texts: list, expected: list) -> list:
    """The expected patterns (shell-style, '*' for any text) that do not match texts in this order.
    Empty when every one was found in turn."""
    missing = []
    position = 0
    for pattern in expected:
        for index in range(position, len(texts)):
            if fnmatch.fnmatchcase(texts[index], pattern):
                position = index + 1
                break
        else:
            missing.append(pattern)
    return missing


def processes_of(executables: list) -> list:
    """The live processes whose program is one of the given paths."""
    wanted = {os.path.realpath(path) for path in executables}
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            program = os.readlink(entry / "exe")
            state = (entry / "stat").read_text().rsplit(")", 1)[1].split()[0]
        except OSError:
            continue
        if program.endswith(" (deleted)"):
            program = program[: -len(" (deleted)")]
        if program in wanted and state not in ("Z", "X"):
            found.append(int(entry.name))
    return found


# ------------------------------------------------------------------------------------------------
# The hall as the service describes it, and what lies on disk


def hall_record(data: Path, hall: int) -> dict:
    return json.loads((data / "halls" / f"exhibition{EXHIBITION}_hall{hall}.json").read_text("utf-8"))


def service_file(data: Path, uri: str) -> Path:
    """The data folder's file behind a file address ({{base}}/files/<path>)."""
    return data / "files" / uri.split("/files/", 1)[1]


HALL = "hall"


def expected_folders(record: dict) -> dict:
    """Folder key (HALL for the hall's own files, else the booth id) -> (stamp, [(name, uri)]), for
    every folder the launcher fills: the hall's files and each booth that has files."""
    folders = {}
    if record.get("files"):
        folders[HALL] = (record["updated_at"], [(f["fileName"], f["uri"]) for f in record["files"]])
    stamps = {}
    for entry in record["booths"]["updated_ats"]:
        stamps.setdefault(entry["id"], entry["updated_at"])
    for booth in record["booths"]["files"]:
        if booth["files"]:
            folders[str(booth["id"])] = (stamps.get(booth["id"], ""),
                                         [(f["fileName"], f["uri"]) for f in booth["files"]])
    return folders


def folder_of(hall_folder: Path, key: str) -> Path:
    return hall_folder if key == HALL else hall_folder / key


def read_stamp(folder: Path) -> str:
    try:
        return json.loads((folder / "updated_at.json").read_text("utf-8"))["updated_at"]
    except (OSError, ValueError, KeyError, TypeError):
        return ""


def stamp_faults(hall_folder: Path, record: dict, data: Path) -> list:
    """What differs between the hall's folder on disk and the service's hall record."""
    faults = []
    for key, (stamp, files) in expected_folders(record).items():
        folder = folder_of(hall_folder, key)
        name = "hall" if key == HALL else f"booth {key}"
        found = read_stamp(folder)
        if found != stamp:
            faults.append(f"{name}: updated_at.json holds {found!r}, the service {stamp!r}")
            continue
        for file_name, uri in files:
            local = folder / file_name
            if not local.is_file():
                faults.append(f"{name}: {file_name} is missing")
            elif local.stat().st_size != service_file(data, uri).stat().st_size:
                faults.append(f"{name}: {file_name} has {local.stat().st_size} bytes, the service "
                              f"{service_file(data, uri).stat().st_size}")
    return faults


@dataclass
class Fetched:
    files: int
    size: int
    folders: set  # keys of the folders that received files (HALL, booth ids)
    last: float  # newest file or stamp time, 0 when nothing was written


def fetched_since(hall_folder: Path, since: float) -> Fetched:
    """The files written into the hall's folder at or after since (stamps are not counted)."""
    result = Fetched(0, 0, set(), 0.0)
    if not hall_folder.is_dir():
        return result
    for path in hall_folder.rglob("*"):
        if not path.is_file():
            continue
        info = path.stat()
        if info.st_mtime < since:
            continue
        result.last = max(result.last, info.st_mtime)
        if path.name == "updated_at.json":
            continue
        result.files += 1
        result.size += info.st_size
        relative = str(path.parent.relative_to(hall_folder))
        result.folders.add(HALL if relative == "." else relative)
    return result


# ------------------------------------------------------------------------------------------------
# The exhibitor's change between two runs


def change_booth(data: Path, state: Path, hall: int) -> str:
    """Gives one more booth of the hall a new stamp on the service, as if its exhibitor had changed
    it; earlier changes (kept in the state folder) are applied again, since the data generator
    restores its own stamps. Returns the changed booth's id."""
    path = data / "halls" / f"exhibition{EXHIBITION}_hall{hall}.json"
    record = json.loads(path.read_text("utf-8"))
    booths = [b["id"] for b in record["booths"]["files"] if b["files"]]
    changes_file = state / f"changes_hall{hall}.json"
    try:
        changes = json.loads(changes_file.read_text("utf-8"))
    except (OSError, ValueError):
        changes = {"runs": 0, "stamps": {}}
    booth = booths[changes["runs"] % len(booths)]
    changes["runs"] += 1
    changes["stamps"][str(booth)] = datetime.datetime.now().strftime("%Y-%m-%d %H:%M:%S")
    for entry in record["booths"]["updated_ats"]:
        if str(entry["id"]) in changes["stamps"]:
            entry["updated_at"] = changes["stamps"][str(entry["id"])]
    path.write_text(json.dumps(record, ensure_ascii=False, indent=2) + "\n", "utf-8")
    state.mkdir(parents=True, exist_ok=True)
    changes_file.write_text(json.dumps(changes, indent=2) + "\n", "utf-8")
    return str(booth)


def stale_folders(hall_folder: Path, record: dict) -> list:
    """The folders whose stamp on disk differs from the service's: what a run has to fetch."""
    return [key for key, (stamp, _) in expected_folders(record).items()
            if read_stamp(folder_of(hall_folder, key)) != stamp]


# ------------------------------------------------------------------------------------------------
# Summary and check of one run


class Run:
    def __init__(self, path: Path):
        self.values = json.loads(path.read_text("utf-8"))
        v = self.values
        self.base = Path(v["base"])
        self.private = Path(v["private"])
        self.data = Path(v["data"])
        self.hall = int(v["hall"])
        self.lines = read_log(self.private / "Dravik_log.txt", int(v["log_offset"]))
        self.hall_folder = (self.base / "Exhibition" / "BackgroundData" /
                            f"exhibition{EXHIBITION}_hall{self.hall}")

    def copy_pid(self):
        """The process id of the private copy: the first that was given the base folder."""
        for line in self.lines:
            if line.text.startswith("TargetPath="):
                return line.pid
        return None

    def texts(self, pid) -> list:
        return [line.text for line in self.lines if line.pid == pid]

    def first(self, text: str):
        return next((line.time for line in self.lines if line.text == text), None)

    def start_time(self):
        """When Start was pressed: the demo's own note, else the sign-in reply's file time."""
        if self.values.get("start_time"):
            return float(self.values["start_time"])
        auth = self.private / "auth.json"
        if auth.exists() and auth.stat().st_mtime >= float(self.values["run_started"]):
            return auth.stat().st_mtime
        return None

    def updated(self) -> bool:
        return "Update.viewDidLoad" in self.texts(self.copy_pid())


def seconds(value) -> str:
    return "-" if value is None else f"{value:.1f} s"


def fetched_text(fetched: Fetched) -> str:
    if fetched.files == 0:
        return "nothing (every folder was up to date)"
    booths = sorted(key for key in fetched.folders if key != HALL)
    parts = (["the hall's files"] if HALL in fetched.folders else []) + (
        [("booth " if len(booths) == 1 else "booths ") + ", ".join(booths)] if booths else [])
    return f"{fetched.files} files, {fetched.size / 1048576:.1f} MiB ({' and '.join(parts)})"


def summary(run: Run) -> str:
    start = run.start_time()
    fetched = fetched_since(run.hall_folder, start if start is not None else
                            float(run.values["run_started"]))
    # The demo watches for the viewer's window; without that note, the download view appears just
    # after the launcher has seen the viewer's window.
    viewer = (float(run.values["viewer_time"]) if run.values.get("viewer_time")
              else run.first("Download.viewDidAppear"))
    road = ("first start: the update view installed the viewer, then the download view"
            if run.updated() else "up to date: no update, straight to the download view")
    return "\n".join([
        "demo: summary",
        f"  road                      {road}",
        f"  fetched                   {fetched_text(fetched)}",
        f"  Start -> viewer window    {seconds(viewer - start if viewer and start else None)}",
        f"  Start -> last file        "
        f"{seconds(fetched.last - start if fetched.last and start else None)}",
        f"  run log                   {run.private / 'Dravik_log.txt'}",
    ])


STARTER = ["Dravik Start", "*/Dravik.app/Contents/MacOS/Dravik", "createFile(*)->OK",
           "WaitDravik Start", "WaitDravik End", "exit(0)"]


def main_road(base: str, updated: bool) -> list:
    """The private copy's lines on the visitor's road; a view loads before the one it replaces
    disappears."""
    lines = ["Dravik Start", "*/Dravik.app/Contents/MacOS/Dravik", "TargetPath=" + glob.escape(base),
             "deleteFile(*)->OK", "windowDidLoad", "Dravik.viewDidLoad", "Dravik.viewDidAppear"]
    if updated:
        lines += ["Update.viewDidLoad", "Dravik.viewDidDisappear", "Download.viewDidLoad"]
    else:
        lines += ["Download.viewDidLoad", "Dravik.viewDidDisappear"]
    return lines + ["Download.viewDidAppear", "windowWillClose", "exit(0)"]


MENUS = ["Dravik Start", "*/Dravik.app/Contents/MacOS/Dravik", "TargetPath=*", "deleteFile(*)->OK",
         "windowDidLoad", "Dravik.viewDidLoad", "Dravik.viewDidAppear",
         "FPSControllerParameter.viewDidLoad", "FPSControllerParameter.viewDidAppear",
         "FPSControllerParameter.viewDidDisappear", "windowShouldClose->true", "windowWillClose",
         "exit(0)"]


def log_faults(run: Run, expected: list) -> list:
    faults = []
    starter = next((line.pid for line in run.lines if line.text == "Dravik Start"), None)
    copy = run.copy_pid()
    if starter is None or copy is None or starter == copy:
        return ["the run log has no starter and private copy of this run"]
    for who, pid, lines in (("starter", starter, STARTER), ("private copy", copy, expected)):
        texts = run.texts(pid)
        for text in missing_in_order(texts, lines):
            faults.append(f"run log ({who}, id {pid}): no line {text!r} in its place")
        if texts and texts[-1] != "exit(0)":
            faults.append(f"run log ({who}, id {pid}): its last line is {texts[-1]!r}")
    for line in run.lines:
        if line.text.startswith("Download failed"):
            faults.append(f"run log: {line.text}")
    return faults


def check(run: Run, phase: str) -> list:
    dravik = [run.base / "Dravik.app/Contents/MacOS/Dravik",
              run.private / "Dravik.app/Contents/MacOS/Dravik"]
    faults = []
    if phase == "menus":
        faults += log_faults(run, MENUS)
    else:
        expect_update = run.values.get("expect_update") == "1"
        faults += log_faults(run, main_road(str(run.base), expect_update))
        if run.updated() != expect_update:
            faults.append("the update view was " + ("not " if expect_update else "") + "shown")
        faults += stamp_faults(run.hall_folder, hall_record(run.data, run.hall), run.data)
        start = run.start_time() or float(run.values["run_started"])
        fetched = fetched_since(run.hall_folder, start)
        stale = {key for key in run.values.get("stale", "").split(",") if key}
        if fetched.folders != stale:
            faults.append(f"fetched into {sorted(fetched.folders)}, but {sorted(stale)} were out of "
                          "date")
        viewer = run.base / "Exhibition/Kestrane.app/Contents/MacOS/Kestrane"
        if not processes_of([viewer]):
            faults.append("the viewer is not running")
        if not run.values.get("viewer_time"):
            faults.append("the viewer's window did not show")
    if processes_of(dravik):
        faults.append("Dravik is still running")
    return faults


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    change = commands.add_parser("change-booth")
    change.add_argument("--data", type=Path, required=True)
    change.add_argument("--state", type=Path, required=True)
    change.add_argument("--hall", type=int, required=True)
    stale = commands.add_parser("stale")
    stale.add_argument("--data", type=Path, required=True)
    stale.add_argument("--base", type=Path, required=True)
    stale.add_argument("--hall", type=int, required=True)
    for name in ("summary", "check"):
        command = commands.add_parser(name)
        command.add_argument("--run", type=Path, required=True)
        if name == "check":
            command.add_argument("--phase", choices=("main", "menus"), required=True)
    args = parser.parse_args()

    if args.command == "change-booth":
        print(change_booth(args.data, args.state, args.hall))
        return 0
    if args.command == "stale":
        folder = (args.base / "Exhibition" / "BackgroundData" /
                  f"exhibition{EXHIBITION}_hall{args.hall}")
        print(",".join(stale_folders(folder, hall_record(args.data, args.hall))))
        return 0
    run = Run(args.run)
    if args.command == "summary":
        print(summary(run))
        return 0
    faults = check(run, args.phase)
    for fault in faults:
        print(f"demo: check failed: {fault}", file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
