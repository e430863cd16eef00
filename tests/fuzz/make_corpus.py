#!/usr/bin/env python3
"""Writes the seed corpora under corpus/<target>/: a few small, valid or nearly valid inputs per
target, so that every fuzz run starts from the interesting layouts. Run it again after changing an
input layout of a target; the files it writes are committed."""

import hashlib
import hmac
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def info_field(model=b"", version=b"", company=b""):
    field = bytearray(128)
    field[0:len(model)] = model
    field[4:4 + min(8, len(version))] = version[:8]
    if len(version) > 8:
        field[44:44 + len(version) - 8] = version[8:]
    field[12:12 + len(company)] = company
    return bytes(field)


def tagged(type_tag, payload, attribute=b"PLAN", model=b"", version=b"", company=b""):
    head = type_tag + attribute + info_field(model, version, company) + struct.pack("<I", len(payload))
    body = head + payload
    return body + hashlib.md5(body).digest()


def package(type_tag, body_length, company, key=None, mode=b"ENCR", model=b"", version=b"1.0"):
    """An encrypted package laid out by hand (the sealed blocks are filler): right lengths and,
    with a key, a tag that verifies."""
    head = type_tag + mode + info_field(model, version, company) + struct.pack("<I", body_length)
    body = head + bytes((i * 7) & 0xFF for i in range(body_length)) + bytes(128)
    tag = hmac.new(key, body, hashlib.md5).digest() if key else bytes(16)
    return body + tag


def envelope(body, key, mode=b"ENCR"):
    """A package file encrypted for a company: its body carried unsealed, then key block and tag."""
    head = b"PKG0" + mode + info_field(version=b"1.5.2", company=b"Acme") + struct.pack("<I", len(body))
    signed = head + body + bytes(128)
    return signed + hmac.new(key, signed, hashlib.md5).digest()


def pattern(count, seed=1):
    return bytes((i * 31 + seed * 17) & 0xFF for i in range(count))


KEY = bytes.fromhex("0000A1B2C3D4E5F6")


def key_file(key, name):
    return tagged(b"VID0", key + name)


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def header_summary():
    write("header_summary", "wrapped", tagged(b"FRM0", pattern(40), version=b"1.5.2-build.20240101")[:200])
    write("header_summary", "package", package(b"DOM0", 200, b"Acme Cameras Ltd", model=b"7720")[:64])
    write("header_summary", "key_file", key_file(KEY, b"Acme")[:80])
    write("header_summary", "short", b"RAW0PL")


def company_key_file():
    write("company_key_file", "valid", key_file(KEY, b"Acme"))
    write("company_key_file", "longest_name", key_file(KEY, b"N" * 92))
    write("company_key_file", "truncated", key_file(KEY, b"Acme Cameras")[:150])
    write("company_key_file", "not_plain", tagged(b"VID0", KEY + b"Acme", attribute=b"ENCR"))


def image(first, name):
    head = bytearray(64)
    head[0] = first
    head[32:32 + len(name)] = name
    return bytes(head) + pattern(200)


def image_name():
    # The first byte picks the wrapping type the image is inspected as: byte % 12 - 1.
    write("image_name", "kernel", image(5, b"Linux image HW 0000 1r2r3"))
    write("image_name", "bootloader", image(6, b"ub2m.15.bin"))
    write("image_name", "emergency", image(9, b"EMERGENCY IMAGE KR7r1"))
    write("image_name", "too_short", image(5, b"Linux image HW")[:80])


def builder_input(flags, name, file):
    return bytes([flags]) + KEY + bytes([len(name)]) + name + file


def package_builders():
    small = tagged(b"FRM0", pattern(50), version=b"1.0")
    large = tagged(b"WEB0", pattern(1100, 3), version=b"2.0.1")
    write("package_builders", "encr_small", builder_input(0, b"Acme", small))
    write("package_builders", "enc1_large", builder_input(1, b"Acme", large))
    write("package_builders", "package_file", builder_input(0, b"Acme", tagged(b"PKG0", pattern(300, 5))))
    write("package_builders", "raw_long_name", builder_input(1, b"A" * 17, tagged(b"RAW0", pattern(116, 2))))


def command_line():
    def argv(*words):
        return b"\0".join(words)
    write("command_line", "wrap", argv(b"-wrapping", b"kernel", b"-key", b"/keys/acme.wrp", b"/fw/image.krn"))
    write("command_line", "info", argv(b"--info", b"image.krn.wrp-Acme.enc", b"-key:/keys/acme.wrp"))
    write("command_line", "genkey", argv(b"-genkey", b"random", b"-company", b"Acme", b"acme.wrp"))
    write("command_line", "pack", argv(b"-pack", b"/release", b"-version:-1.5", b"-dest", b"out.wrp", b"-help"))
    write("command_line", "windows", argv(b"/wrapping:webpage", b"/key:C:\\keys\\a.wrp", b"C:\\fw\\web", b"-"))
    write("command_line", "conventions", argv(b"--key=/keys/acme.wrp", b"-batch", b"--wrapping=raw", b"--", b"-x"))
    write("command_line", "json", argv(b"-info", b"p.wrp", b"-json", b"-h", b"-genkey", b"random", b"-force", b"a", b"b"))
    write("command_line", "keys", argv(b"-keys", b"/keys", b"-dest", b"/out", b"fw.wrp"))


def scan_entry(flags, name, content):
    return bytes([flags, len(name)]) + name + struct.pack("<H", len(content)) + content


def package_scan():
    kernel = package(b"FRM0", 200, b"Acme", version=b"1.5.2")
    web = package(b"WEB0", 120, b"Acme")
    dome_a = package(b"DOM0", 60, b"Acme", model=b"7720")
    dome_b = package(b"DOM0", 60, b"Acme", model=b"7760")
    other = package(b"OCX0", 60, b"Other")
    vid = key_file(KEY, b"Acme")
    entries = [
        scan_entry(1, b"image.krn.wrp-Acme", kernel),
        scan_entry(1, b"web.wrp-Acme", web),
        scan_entry(1, b"dome-a", dome_a),
        scan_entry(1, b"Dome-b", dome_b),
        scan_entry(1, b"viewer", other),
        scan_entry(1, b"vid", vid),
        scan_entry(3, b"folder", b""),
        scan_entry(5, b"fifo", b""),
        scan_entry(1, b"short", kernel[:40]),
    ]
    write("package_scan", "release", bytes([len(entries)]) + b"".join(entries) + bytes([0]))
    write("package_scan", "duplicates", bytes([3]) + scan_entry(1, b"a", kernel) + scan_entry(1, b"B", kernel)
          + scan_entry(0, b"notes.txt", b"text") + bytes([5]) + b"1.6.0")
    write("package_scan", "empty", bytes([0, 0]))


def info_input(flags, key, file):
    return bytes([flags, len(key)]) + key + file


def info_command():
    wrapped = tagged(b"FRM0", pattern(64), version=b"1.5.2")
    signed = package(b"FRM0", 300, b"Acme", key=KEY)
    write("info_command", "plain", info_input(0, b"", wrapped))
    write("info_command", "plain_bad_trailer", info_input(0, b"", wrapped[:-1] + b"\0"))
    write("info_command", "package_with_key", info_input(3, b"", signed))
    write("info_command", "package_fuzzed_key", info_input(1, key_file(KEY, b"Acme"), signed))
    write("info_command", "other", info_input(0, b"", tagged(b"XYZ0", b"", attribute=b"ABCD")))
    # Package files: plain, and encrypted in both modes with the package file carried unsealed.
    entries = [package(b"FRM0", 200, b"Acme", version=b"1.5.2"), package(b"DOM0", 60, b"Acme", model=b"7720")]
    payload = struct.pack("<I", len(entries)) + b"".join(struct.pack("<I", len(e)) + e for e in entries)
    plain = tagged(b"PKG0", payload, version=b"1.5.2")
    write("info_command", "package_file", info_input(0, b"", plain))
    write("info_command", "package_file_encr", info_input(3, b"", envelope(plain[136:], KEY)))
    write("info_command", "package_file_enc1", info_input(3, b"", envelope(plain, KEY, mode=b"ENC1")))
    write("info_command", "package_file_cut", info_input(0, b"", tagged(b"PKG0", payload[:-30])))
    write("info_command", "key_file", info_input(0, b"", key_file(KEY, b"Acme")))


def main():
    shutil.rmtree(CORPUS, ignore_errors=True)
    for make in (header_summary, company_key_file, image_name, package_builders, command_line, package_scan,
                 info_command):
        make()


if __name__ == "__main__":
    main()
