#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/<target>/ from the project's sample data.

The seeds are committed; run this again only when the sample data or the input formats change.
It adds the seeds beside what `scripts/fuzz --long` merged into the corpus, replacing nothing else.
"""

import json
import runpy
import shutil
import types
from pathlib import Path

FUZZ = Path(__file__).resolve().parent
ROOT = FUZZ.parent
SERVICE_DATA = ROOT / "tools" / "exhibition-service" / "data"


def demo_data():
    # The generator is a script without a .py name; its functions are taken from a run of it as
    # a module (its main part only runs under __main__).
    namespace = runpy.run_path(str(ROOT / "scripts" / "make-demo-data"), run_name="make_demo_data")
    return types.SimpleNamespace(**namespace)


def utf16(text: str, order: str = "le", bom: bool = True) -> bytes:
    encoded = text.encode("utf-16-" + order)
    if not bom:
        return encoded
    return ("\ufeff".encode("utf-16-" + order)) + encoded


def compact(value) -> bytes:
    return json.dumps(value, ensure_ascii=False, separators=(",", ":")).encode("utf-8")


def collect_members(value, members: set) -> None:
    if isinstance(value, dict):
        for name, member in value.items():
            members.add(name)
            collect_members(member, members)
    elif isinstance(value, list):
        for member in value:
            collect_members(member, members)


def write_dictionary(path: Path, tokens) -> None:
    def quoted(token: str) -> str:
        escaped = ""
        for byte in token.encode("utf-8"):
            char = chr(byte)
            escaped += char if 0x20 <= byte < 0x7F and char not in '"\\' else "\\x%02X" % byte
        return '"%s"' % escaped

    path.write_text("".join(quoted(token) + "\n" for token in tokens), encoding="ascii")


def main():
    demo = demo_data()
    corpus = FUZZ / "corpus"
    seeds = {}

    dravik_ini = "\r\n".join([
        "; Dravik の表示文言", "[Messages]", "msg2=展示会招待コードを入力して下さい",
        "MSG3 = \"招待コードは数字12桁です。\\n再入力して下さい。\"", "msg13=first",
        "msg13=second", "url=https://example.invalid/a=b;c", "\u3000msg20\u3000=\u3000全角\u3000",
        "[Switches]", "Background_Loading=ON", "no equals sign", "\"\"=\"\"", ""])
    seeds["ini"] = {
        "dravik_utf16le.ini": utf16(dravik_ini),
        "dravik_utf16be.ini": utf16(dravik_ini, "be"),
        "no_bom.ini": utf16("msg4=メール\r\nBackground_Loading=off\r\n", bom=False),
        "lf_only.ini": utf16("msg2=a\nmsg3=b\n"),
        "surrogates.ini": utf16("msg5=\U0001F600\r\n") + b"\x00\xd8=\x00",
        "odd_length.ini": utf16("msg6=x") + b"\x00",
        "definitions.ini": demo.parameter_ini(False)[:600],
    }

    seeds["definitions"] = {
        "release_1000.txt": demo.parameter_ini(False)[2:].decode("utf-16-le").encode("utf-8"),
        "release_1010.txt": demo.parameter_ini(True)[2:].decode("utf-16-le").encode("utf-8"),
        "few_keys.txt": "rotateSpeed_mouse_caption=Mouse\r\nrotateSpeed_mouse_lower=5\r\n"
                        "screen1=800x600\r\nscreen2=1x\r\nupdate_default=off\r\n".encode(),
        "bad_number.txt": b"moveSpeed_pc_lower=0x10\r\nqualityLevel_default=99999999999\r\n",
        "exponent.txt": b"gammaValue_default=1e308\r\nhall8Angle_z_default=-1.5E-3\r\n",
    }

    seeds["parameter_file"] = {
        "release_1000.json": demo.parameter_json(False),
        "release_1010.json": demo.parameter_json(True),
        "wrong_type.json": demo.parameter_json(False).replace(b'"qualityLevel": 3',
                                                              b'"qualityLevel": 3.5'),
        "top_level_array.json": b"[1, 2, 3]",
        "duplicate_keys.json": b'{"screenWidth": 1, "screenWidth": 1e400, "x": "\\ud83d"}',
    }

    # The records: one tag byte (see records_fuzzer.cpp), then the body.
    service = json.loads((SERVICE_DATA / "service.json").read_text(encoding="utf-8"))
    hall = json.loads((SERVICE_DATA / "halls" / "exhibition1_hall11.json").read_text("utf-8"))
    records = {
        "auth.json": b"a" + compact({"exhibitions": service["exhibitions"], "token": "t0k3n"}),
        "exhibition.json": b"e" + compact(service["exhibitions"][0]),
        "hallinfo.json": b"i" + compact(service["exhibitions"][0]["halls"][0]),
        "mail.json": b"m" + compact({"result": True}),
        "code_ok.json": b"c" + compact({"result": True, "errorMessage": "", "errorCode": 0,
                                        "exhibition_id": 1, "hall_id": 10}),
        "code_error.json": b"c" + compact({"result": False, "errorMessage": "booth is hidden",
                                           "errorCode": 1407.0, "exhibition_id": None}),
        "error_response.json": b"r" + compact({"error": {"code": "401", "message": "denied"}}),
        "error.json": b"o" + compact({"code": "500", "message": "internal"}),
        "version.json": b"v" + (SERVICE_DATA / "release" / "version_mac.json").read_bytes(),
        "booths.json": b"b" + compact(hall["booths"]),
        "files.json": b"s" + compact(hall["booths"]["files"][0]),
        "file.json": b"f" + compact(hall["files"][0]),
        "updated_ats.json": b"t" + compact(hall["booths"]["updated_ats"][0]),
        "updated_at.json": b"u" + compact({"updated_at": "2025-04-03 12:00:00"}),
        "user.json": b"p" + compact({"invitecode": "111122223333", "email": "guest+vr@example.com"}),
        "big_integer.json": b"e" + b'{"id":9223372036854775808,"name":"","start_datetime":"",'
                                   b'"end_datetime":"","halls":null}',
    }
    for path in sorted((SERVICE_DATA / "halls").glob("*.json")):
        records["hall_" + path.stem + ".json"] = b"h" + path.read_bytes()
    seeds["records"] = records

    # Two version texts separated by a NUL byte.
    seeds["version_rules"] = {
        "newer.txt": b"1.0.1.0\x001.0.0.0",
        "unknown.txt": b"0.0.0\x00-.-.-.-",
        "lengths.txt": b"1.10\x001.9.9.9.9",
        "huge.txt": b"123456789012345678901234567890.1\x00+0001.-0",
        "empty_parts.txt": b"..1\x00",
    }

    # A kind byte (even: one component, odd: a relative path), then the name.
    seeds["safe_name"] = {
        "plain.txt": b"\x00poster.png",
        "relative.txt": b"\x01Exhibition/BGM/Quiet_lounge.mp3",
        "parent.txt": b"\x01Exhibition/../../etc/passwd",
        "absolute.txt": b"\x01/Applications/Dravik.app",
        "empty_component.txt": b"\x01Exhibition//Lobby/.",
        "separator_in_plain.txt": b"\x00booth/poster.png",
    }

    # The published record's file_url, whose last component names the stored archive.
    version = json.loads((SERVICE_DATA / "release" / "version_mac.json").read_text("utf-8"))
    seeds["archive_name"] = {
        "demo.txt": version["file_url"].replace("{{base}}", "https://127.0.0.1:8443").encode(),
        "escaped.txt": b"https://host/releases/Release%202%E7%89%88.zip?sig=a/b#top",
        "traversal.txt": b"https://host/a/..%2F..%2Fescape.zip",
        "own_item.txt": b"HTTPS://host:8443/x/Dravik_Log.TXT/",
        "wildcards.txt": b"https://host/Release*%3F.7z",
    }

    # Dictionaries: the keys the loader asks for and the members the records hold.
    keys = []
    for row in demo.NUMERIC:
        keys += [row[0] + suffix for suffix in ("_caption", "_lower", "_upper", "_point",
                                                "_default")]
    for name in ("optionBGMName", "showroomBGMName", "gammaValue", "qualityLevel", "screen",
                 "isRangeAutoControl", "isFullScreen", "update"):
        keys += [name + "_caption", name + "_default"]
    keys += ["screen1", "screen2", "screen3"]
    for group, placement in demo.PLACEMENT.items():
        if isinstance(placement, dict):
            keys.append(group + "_intensity_default")
            keys += [group + "_localEulerAngle_%s_default" % axis for axis in "xyz"]
        else:
            keys += [group + "_%s_default" % axis for axis in "xyz"]
    tokens = sorted(set(keys)) + ["=", "\r\n", "[", ";", "ON", "OFF", "x", "e+", "."]
    members = set()
    for record in records.values():
        collect_members(json.loads(record[1:]), members)
    members |= {"token", "errorMessage", "errorCode", "result", "exhibition_id", "hall_id",
                "halls", "delete_files", "delete_folders", "copy_files", "copy_folders", "code",
                "message", "error", "invitecode", "email", "updated_at", "updated_ats"}
    dictionaries = FUZZ / "dict"
    shutil.rmtree(dictionaries, ignore_errors=True)
    dictionaries.mkdir()
    write_dictionary(dictionaries / "definitions.dict", tokens)
    write_dictionary(dictionaries / "records.dict",
                     ['"%s":' % name for name in sorted(members)] +
                     ["null", "true", "false", "[]", "{}", "-0", "1e400", "9223372036854775808",
                      "\\u0000", "\\ud800"])

    for target, files in seeds.items():
        folder = corpus / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in files.items():
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
