#!/usr/bin/env python3
"""tools/dist on the static program and stand-ins for the Windows program and
the web page: each archive's files byte for byte, the same bytes from a second
run, SHA256SUMS as sha256sum checks it, and a plain failure with no sums while
the web page is missing; and the program shipped holds none of the tests' hooks.
    dist_test.py PROGRAM
"""

import os
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
STEM = "FixInputFiles-7.8.9"


def check(condition, what):
    if not condition:
        sys.exit(f"FAILED: {what}")


def read(*path):
    with open(os.path.join(*path), "rb") as file:
        return file.read()


def main(program):
    symbols = subprocess.run(["nm", "-C", program], capture_output=True, text=True).stdout
    hooks = [hook for hook in ("InjectFailure", "SetCallHook", "SimulateLacking", "Permit")
             if "rt::sys::" + hook in symbols]
    check(symbols and not hooks, f"the shipped program holds the tests' hooks {hooks}")
    with tempfile.TemporaryDirectory(prefix="fixinput-dist-") as scratch:
        files = {"linux/FixInputFiles": read(program), "windows/FixInputFiles.exe": b"MZ",
                 "page.html": b"<!doctype html>\n", "first/SHA256SUMS": b"stale\n",
                 "linux/CMakeCache.txt": b"CMAKE_PROJECT_VERSION:STATIC=7.8.9\n",
                 "windows/CMakeCache.txt": b"CMAKE_PROJECT_VERSION:STATIC=7.8.9\n"}
        for name, data in files.items():
            os.makedirs(os.path.join(scratch, os.path.dirname(name)), exist_ok=True)
            with open(os.path.join(scratch, name), "wb") as file:
                file.write(data)

        def dist(out, *page):
            return subprocess.run(
                [os.path.join(ROOT, "tools", "dist"), "--build", f"{scratch}/linux",
                 "--windows-build", f"{scratch}/windows", "--out", f"{scratch}/{out}", *page],
                env=dict(os.environ, SOURCE_DATE_EPOCH="1700000000"), capture_output=True,
                text=True)

        refused = dist("first")
        check(refused.returncode != 0 and "web page is missing" in refused.stderr,
              f"without the web page dist ended with {refused.returncode}: {refused.stderr!r}")
        check(not os.path.exists(f"{scratch}/first/SHA256SUMS"), "a stale SHA256SUMS is left")
        for out in ("first", "second"):
            done = dist(out, f"{scratch}/page.html")
            check(done.returncode == 0, f"dist failed: {done.stderr}")
            time.sleep(1.1)  # a clock that leaks into an archive shows in the second
        made = sorted(os.listdir(f"{scratch}/first"))
        check(made == sorted([f"{STEM}-linux-x86_64.tar.gz", f"{STEM}-windows-x86_64.zip",
                              f"{STEM}.html", "SHA256SUMS"]), f"dist made {made}")
        for name in made:
            check(read(scratch, "first", name) == read(scratch, "second", name),
                  f"two runs made different {name}")
        sums = subprocess.run(["sha256sum", "--check", "--strict", "SHA256SUMS"],
                              cwd=f"{scratch}/first", capture_output=True, text=True)
        check(sums.returncode == 0 and sums.stdout.count(": OK") == 3, f"sha256sum: {sums}")

        readme = read(ROOT, "release", "README.txt").replace(b"@PROJECT_VERSION@", b"7.8.9")
        demo = {f"{STEM}/{name}": read(ROOT, "samples", name) for name in ("in.txt", "Symbols.txt")}
        with tarfile.open(f"{scratch}/first/{STEM}-linux-x86_64.tar.gz") as tar:
            inside = {m.name: (m.mode, tar.extractfile(m).read()) for m in tar if m.isfile()}
        check(inside == {f"{STEM}/FixInputFiles": (0o755, read(program)),
                         f"{STEM}/README.txt": (0o644, readme),
                         **{name: (0o644, data) for name, data in demo.items()}},
              "the tar.gz differs from the program, README.txt or the demo lists")
        with zipfile.ZipFile(f"{scratch}/first/{STEM}-windows-x86_64.zip") as archive:
            inside = {name: archive.read(name) for name in archive.namelist()}
        check(inside == {f"{STEM}/FixInputFiles.exe": b"MZ",
                         f"{STEM}/README.txt": readme.replace(b"\n", b"\r\n"), **demo},
              "the zip differs from the program, README.txt with CR LF or the demo lists")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
