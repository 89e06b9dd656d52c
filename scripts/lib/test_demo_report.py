#!/usr/bin/python3
"""Tests of the demo's check: a check that passes a broken run, or fails a good one, is worse than
none. Run with: python3 -m unittest discover -s scripts/lib"""

import json
import os
import shutil
import tempfile
import time
import unittest
from pathlib import Path

import demo_report as report


def hall(stamp="2025-04-01 10:00:00", booths=None):
    """A hall record like the service's: booth id -> (stamp or None, {file name: bytes})."""
    booths = booths if booths is not None else {
        101: ("2025-04-02 11:00:00", {"booth.json": b"{}", "model.bin": b"x" * 300}),
        102: ("2025-04-03 12:00:00", {"poster.png": b"p" * 50}),
        103: ("2025-04-04 13:00:00", {}),
    }
    files = {"floor.bin": b"f" * 100}
    record = {"id": 10, "updated_at": stamp, "hallSize": 1,
              "files": [{"fileName": n, "uri": f"{{{{base}}}}/files/exhibition1/hall10/{n}"}
                        for n in files],
              "booths": {"files": [], "updated_ats": []}}
    content = {f"hall10/{n}": data for n, data in files.items()}
    for booth, (booth_stamp, booth_files) in booths.items():
        record["booths"]["files"].append({"id": booth, "files": [
            {"fileName": n, "uri": f"{{{{base}}}}/files/exhibition1/booth{booth}/{n}"}
            for n in booth_files]})
        if booth_stamp is not None:
            record["booths"]["updated_ats"].append({"id": booth, "updated_at": booth_stamp})
        content.update({f"booth{booth}/{n}": data for n, data in booth_files.items()})
    return record, content


class Tree:
    """A service data folder and a base folder's hall folder in a temporary directory."""

    def __init__(self, record, content):
        self.temp = tempfile.TemporaryDirectory()
        root = Path(self.temp.name)
        self.data = root / "data"
        self.folder = root / "base" / "Exhibition" / "BackgroundData" / "exhibition1_hall10"
        (self.data / "halls").mkdir(parents=True)
        (self.data / "halls" / "exhibition1_hall10.json").write_text(json.dumps(record))
        for relative, data in content.items():
            path = self.data / "files" / "exhibition1" / relative
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
        self.record = record

    def fetch(self, key, stamp=None, sizes=None):
        """Lays a folder out as the launcher leaves it after fetching it."""
        expected_stamp, files = report.expected_folders(self.record)[key]
        folder = report.folder_of(self.folder, key)
        folder.mkdir(parents=True, exist_ok=True)
        for name, uri in files:
            data = report.service_file(self.data, uri).read_bytes()
            if sizes and name in sizes:
                data = data[:sizes[name]]
            (folder / name).write_bytes(data)
        (folder / "updated_at.json").write_text(
            json.dumps({"updated_at": expected_stamp if stamp is None else stamp}))

    def close(self):
        self.temp.cleanup()


class LogTest(unittest.TestCase):
    def test_lines_and_multi_line_entries(self):
        lines = report.parse_log(
            "[2025/04/01 09:03:07.042](id:812)Dravik Start\n"
            "[2025/04/01 09:03:07.100](id:813)招待コードは数字12桁です。\r\n"
            "再入力して下さい。\n"
            "[2025/04/01 09:03:08.000](id:813)exit(0)\n")
        self.assertEqual([(l.pid, l.text) for l in lines],
                         [(812, "Dravik Start"), (813, "招待コードは数字12桁です。\r\n再入力して下さい。"),
                          (813, "exit(0)")])
        self.assertAlmostEqual(lines[2].time - lines[0].time, 0.958, places=3)

    def test_order(self):
        texts = ["Dravik Start", "/a/Dravik.app/Contents/MacOS/Dravik", "TargetPath=/demo [1]/base",
                 "Update.viewDidLoad", "Dravik.viewDidDisappear", "exit(0)"]
        cases = [
            (["Dravik Start", "*/Dravik.app/Contents/MacOS/Dravik", "exit(0)"], []),
            (["Dravik.viewDidDisappear", "Update.viewDidLoad"], ["Update.viewDidLoad"]),
            (["Download.viewDidLoad", "exit(0)"], ["Download.viewDidLoad"]),
            # A folder name with glob characters matches only itself.
            (["TargetPath=" + report.glob.escape("/demo [1]/base")], []),
            (["TargetPath=/demo 1/base"], ["TargetPath=/demo 1/base"]),
            (["exit(0)", "exit(0)"], ["exit(0)"]),
        ]
        for expected, missing in cases:
            with self.subTest(expected=expected):
                self.assertEqual(report.missing_in_order(texts, expected), missing)

    def test_roads(self):
        """The recorded roads of both kinds pass; the other road's expectation does not."""
        common = ["Dravik Start", "/p/Dravik.app/Contents/MacOS/Dravik", "TargetPath=/b",
                  "deleteFile(/p/double_startup_check)->OK", "windowDidLoad", "Dravik.viewDidLoad",
                  "Dravik.viewDidAppear"]
        end = ["Download.viewDidAppear", "windowWillClose", "Download.viewDidDisappear", "exit(0)"]
        first = common + ["Update.viewDidLoad", "Dravik.viewDidDisappear", "Download.viewDidLoad"] + end
        again = common + ["Download.viewDidLoad", "Dravik.viewDidDisappear"] + end
        self.assertEqual(report.missing_in_order(first, report.main_road("/b", True)), [])
        self.assertEqual(report.missing_in_order(again, report.main_road("/b", False)), [])
        self.assertNotEqual(report.missing_in_order(again, report.main_road("/b", True)), [])
        self.assertNotEqual(report.missing_in_order(first, report.main_road("/other", True)), [])


class HallFolderTest(unittest.TestCase):
    def setUp(self):
        self.tree = Tree(*hall())
        self.addCleanup(self.tree.close)

    def test_stale_folders(self):
        cases = [
            ("nothing on disk", {}, ["hall", "101", "102"]),
            ("all fetched", {"hall": None, "101": None, "102": None}, []),
            ("one stamp differs", {"hall": None, "101": "2025-04-02 11:00:01", "102": None}, ["101"]),
            ("stamp with a trailing space", {"hall": "2025-04-01 10:00:00 ", "101": None, "102": None},
             ["hall"]),
        ]
        for name, fetched, stale in cases:
            with self.subTest(name):
                self.clear_folder()
                for key, stamp in fetched.items():
                    self.tree.fetch(key, stamp)
                self.assertEqual(report.stale_folders(self.tree.folder, self.tree.record), stale)

    def clear_folder(self):
        shutil.rmtree(self.tree.folder, ignore_errors=True)

    def test_stamp_faults(self):
        cases = [
            ("complete", {}, None, []),
            ("stale stamp", {"101": "old"}, None, ["booth 101: updated_at.json"]),
            ("short file", {}, ("102", {"poster.png": 10}), ["booth 102: poster.png has 10 bytes"]),
            ("missing booth", {"102": "skip"}, None, ["booth 102: updated_at.json holds ''"]),
        ]
        for name, stamps, short, faults in cases:
            with self.subTest(name):
                self.clear_folder()
                for key in ("hall", "101", "102"):
                    if stamps.get(key) == "skip":
                        continue
                    sizes = short[1] if short and short[0] == key else None
                    self.tree.fetch(key, stamps.get(key), sizes)
                found = report.stamp_faults(self.tree.folder, self.tree.record, self.tree.data)
                self.assertEqual(len(found), len(faults), found)
                for text, fault in zip(found, faults):
                    self.assertTrue(text.startswith(fault), text)

    def test_fetched_since_counts_only_new_files(self):
        for key in ("hall", "101", "102"):
            self.tree.fetch(key)
        old = time.time() - 3600
        for path in self.tree.folder.rglob("*"):
            os.utime(path, (old, old))
        self.tree.fetch("101")
        fetched = report.fetched_since(self.tree.folder, time.time() - 60)
        self.assertEqual((fetched.files, fetched.size, fetched.folders), (2, 302, {"101"}))
        self.assertEqual(report.fetched_text(fetched), "2 files, 0.0 MiB (booth 101)")
        self.assertEqual(report.fetched_text(report.fetched_since(self.tree.folder, time.time() + 60)),
                         "nothing (every folder was up to date)")


class ChangeBoothTest(unittest.TestCase):
    def test_changes_add_up_and_survive_regeneration(self):
        record, content = hall()
        tree = Tree(record, content)
        self.addCleanup(tree.close)
        state = Path(tree.temp.name) / "state"
        first = report.change_booth(tree.data, state, 10)
        second = report.change_booth(tree.data, state, 10)
        self.assertEqual((first, second), ("101", "102"))  # booth 103 has no files
        # The data generator writes its own stamps again; the next change restores both.
        (tree.data / "halls" / "exhibition1_hall10.json").write_text(json.dumps(record))
        third = report.change_booth(tree.data, state, 10)
        self.assertEqual(third, "101")
        changed = report.hall_record(tree.data, 10)
        originals = {e["id"]: e["updated_at"] for e in record["booths"]["updated_ats"]}
        now = {e["id"]: e["updated_at"] for e in changed["booths"]["updated_ats"]}
        self.assertEqual({b for b in now if now[b] != originals[b]}, {101, 102})


if __name__ == "__main__":
    unittest.main()
