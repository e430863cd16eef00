#!/usr/bin/env python3
# Checks a manifest written by -manifest against the files it names, with Python's own JSON parser
# and hashlib, and the sealing key's fingerprint with openssl.
#
#     manifest_agrees.py MANIFEST PROGRAM SEALING_KEY_PEM EPOCH [input:ROLE:PATH | output:PATH] ...
#
# EPOCH is the SOURCE_DATE_EPOCH the run had; the arguments after it list the run's inputs and
# outputs in order. Prints one line per disagreement, nothing when all agree.

import datetime
import hashlib
import json
import os
import subprocess
import sys


def header_of(data):
    def text(raw):
        return raw.split(b"\0")[0].decode()
    attribute = text(data[4:8])
    return {"type": text(data[0:4]), "attribute": attribute, "model": text(data[8:12]),
            "version": text(data[12:20] + data[52:64]), "company": text(data[20:36]),
            "encrypt_mode": attribute if attribute in ("ENCR", "ENC1") else None}


def file_facts(path):
    # What the manifest tells of a file, and its bytes; a directory is named only.
    if os.path.isdir(path):
        return {"path": path, "size": None, "sha256": None}, None
    with open(path, "rb") as f:
        data = f.read()
    return {"path": path, "size": len(data), "sha256": hashlib.sha256(data).hexdigest()}, data


def expected_entries(listed):
    inputs, outputs = [], []
    for item in listed:
        if item.startswith("input:"):
            role, path = item[len("input:"):].split(":", 1)
            entry, data = file_facts(path)
            entry.update(role=role, kind="file" if data is not None else "directory")
            inputs.append(entry)
        else:
            entry, data = file_facts(item[len("output:"):])
            entry.update(header_of(data))
            outputs.append(entry)
    return inputs, outputs


def main(manifest_path, program, pem, epoch, *listed):
    with open(manifest_path, "rb") as f:
        manifest = json.loads(f.read().decode("utf-8"))
    name, version = subprocess.run([program, "--version"], capture_output=True, check=True).stdout.split(b"\n")[0].split()
    der = subprocess.run(["openssl", "pkey", "-pubin", "-in", pem, "-outform", "DER"], capture_output=True, check=True)
    when = datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc)
    inputs, outputs = expected_entries(listed)
    expected = {"program": name.decode(), "program_version": version.decode(),
                "sealing_key_fingerprint": hashlib.sha256(der.stdout).hexdigest(), "development_sealing_key": True,
                "time": when.strftime("%Y-%m-%dT%H:%M:%SZ"), "time_epoch": int(epoch),
                "inputs": inputs, "outputs": outputs}
    for key in sorted(set(expected) | set(manifest)):
        if manifest.get(key, "(missing)") != expected.get(key, "(not expected)"):
            print(f"{key}: {manifest.get(key, '(missing)')!r} != {expected.get(key, '(not expected)')!r}")


if __name__ == "__main__":
    main(*sys.argv[1:])
