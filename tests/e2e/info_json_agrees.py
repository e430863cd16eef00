#!/usr/bin/env python3
# Checks that `-info -json` says what the text form says, with Python's own JSON parser.
#
#     info_json_agrees.py FILE TEXT_OUTPUT JSON_OUTPUT TEXT_EXIT JSON_EXIT [FILE ...]
#
# Each JSON output must be one valid object on one line; the text lines are rebuilt from it and
# compared with the text output byte for byte. Prints one line per disagreement, nothing when all
# agree.

import json
import os
import sys

LABELS = [(b"Type", "type"), (b"Attribute", "attribute"), (b"Model", "model"), (b"Version", "version"),
          (b"CompanyName", "company")]
TRAILER = {"matches": b"matches", "does not match": b"does not match", "unreadable": b"the file cannot be read",
           "missing": b"missing, the file's length does not fit its payload length"}
ENTRIES = {"fit": b"fit the payload", "do not fit": b"do not fit the payload", "unreadable": b"the file cannot be read"}


BIDI = {0x61C, 0x200E, 0x200F, *range(0x202A, 0x202F), *range(0x2066, 0x206A)}


def escaped(data):
    # Control characters (C0, DEL, C1; a byte 0x80-0x9F outside UTF-8) and bidirectional controls
    # as the \\xNN of their bytes. surrogateescape leaves each byte that is not UTF-8 as U+DCxx.
    out = b""
    for ch in data.decode("utf-8", "surrogateescape"):
        c, raw = ord(ch), ch.encode("utf-8", "surrogateescape")
        acts = c < 0x20 or 0x7F <= c <= 0x9F or c in BIDI or 0xDC80 <= c <= 0xDC9F
        out += b"".join(b"\\x%02x" % b for b in raw) if acts else raw
    return out


def exact(obj, key):
    # A text member as the bytes it came from: the _hex member where the text was not UTF-8.
    if key + "_hex" in obj:
        return bytes.fromhex(obj[key + "_hex"])
    return obj[key].encode()


def field(label, obj, key):
    value = escaped(exact(obj, key))
    return label + b": " + value if value else label + b":"


def text_from(obj):
    lines = [field(b"File", obj, "file")] + [field(label, obj, key) for label, key in LABELS]
    if obj["kind"] == "plain":
        lines.append(b"MD5 trailer: " + TRAILER[obj["md5_trailer"]])
    elif obj["kind"] == "encrypted":
        fits = obj["body_length"] == "fits"
        lines.append(b"Body length: %d" % obj["body_size"] if fits else b"Body length: does not fit the file")
        if obj["tag"] != "not checked":
            lines.append(b"Tag: " + obj["tag"].encode())
    else:
        lines.append(b"Integrity: not checked, the attribute is neither PLAN nor an encrypt mode")
    if obj["packages"] is not None:
        lines.append(b"Packages: %d" % obj["package_count"])
        for number, entry in enumerate(obj["packages"], 1):
            lines.append(b"Package %d:" % number)
            lines += [field(b"  " + label, entry, key) for label, key in LABELS]
            lines += [b"  Size: %d" % entry["size"], b"  Length: " + entry["length"].encode()]
        lines.append(b"Package entries: " + ENTRIES[obj["package_entries"]])
    if obj["key_file_company"] is not None:
        lines.append(field(b"Key file company", obj, "key_file_company"))
    elif obj["type"] == "VID0" and obj["kind"] == "plain":
        lines.append(b"Key file company: cannot be read")
    return lines


def disagreements(path, text_output, json_output, text_exit, json_exit):
    with open(text_output, "rb") as f:
        lines = f.read().split(b"\n")[:-1]
    with open(json_output, "rb") as f:
        raw = f.read()
    if raw.count(b"\n") != 1 or not raw.endswith(b"\n"):
        yield "not one line"
    obj = json.loads(raw)
    if text_exit != json_exit or obj["passed"] != (json_exit == "0"):
        yield f"exit {text_exit} / {json_exit}, passed {obj['passed']}"
    if "error" in obj:
        expected = [escaped(exact(obj, "message"))]
    else:
        expected = text_from(obj)
        if obj["size"] != os.path.getsize(path):
            yield f"size {obj['size']}"
    if expected != lines:
        yield f"the text says {lines}, the JSON {expected}"


def main(arguments):
    for i in range(0, len(arguments), 5):
        for problem in disagreements(*arguments[i:i + 5]):
            print(f"{arguments[i]}: {problem}")


if __name__ == "__main__":
    main(sys.argv[1:])
