#!/usr/bin/env python3
"""tools/dist on the static program, a stand-in for the Windows one and for the
web page: what each archive holds, byte for byte; the same bytes from a second
run; SHA256SUMS as sha256sum checks it; and a clear failure, with no sums left
behind, while the web page is missing.

    dist_test.py PROGRAM
"""

import io
import os
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DIST = os.path.join(ROOT, "tools", "dist")
VERSION = "7.8.9"


def check(condition, what):
    if not condition:
        sys.exit(f"FAILED: {what}")


def read(path):
    with open(path, "rb") as file:
        return file.read()


def lay_out_builds(scratch, program):
    builds = {}
    for build, name, data in (("linux", "FixInputFiles", read(program)),
                              ("windows", "FixInputFiles.exe", b"MZ stand-in")):
        builds[build] = os.path.join(scratch, build)
        os.makedirs(builds[build])
        with open(os.path.join(builds[build], "CMakeCache.txt"), "w") as cache:
            cache.write(f"CMAKE_PROJECT_VERSION:STATIC={VERSION}\n")
        with open(os.path.join(builds[build], name), "wb") as file:
            file.write(data)
    return builds


def dist(builds, out, *web_page):
    env = dict(os.environ, SOURCE_DATE_EPOCH="1700000000")
    return subprocess.run([DIST, "--build", builds["linux"], "--windows-build", builds["windows"],
                           "--out", out, *web_page], env=env, capture_output=True, text=True)


def main(program):
    with tempfile.TemporaryDirectory(prefix="fixinput-dist-") as scratch:
        builds = lay_out_builds(scratch, program)
        page = os.path.join(scratch, "FixInputFiles.html")
        with open(page, "wb") as file:
            file.write(b"<!doctype html><title>FixInputFiles</title>\n")
        first, second = os.path.join(scratch, "first"), os.path.join(scratch, "second")
        os.makedirs(first)
        with open(os.path.join(first, "SHA256SUMS"), "w") as stale:
            stale.write("from an earlier release\n")

        without_page = dist(builds, first)
        check(without_page.returncode != 0, "dist succeeded without the web page")
        check("web page is missing" in without_page.stderr,
              f"dist does not say that the web page is missing: {without_page.stderr!r}")
        check(not os.path.exists(os.path.join(first, "SHA256SUMS")), "stale SHA256SUMS left")

        for out in (first, second):
            done = dist(builds, out, page)
            check(done.returncode == 0, f"dist failed: {done.stderr}")
            time.sleep(1.1)  # a clock that leaks into an archive shows in the second
        stem = f"FixInputFiles-{VERSION}"
        names = [f"{stem}-linux-x86_64.tar.gz", f"{stem}-windows-x86_64.zip", f"{stem}.html"]
        check(sorted(os.listdir(first)) == sorted(names + ["SHA256SUMS"]),
              f"dist/ holds {sorted(os.listdir(first))}")
        for name in names + ["SHA256SUMS"]:
            check(read(os.path.join(first, name)) == read(os.path.join(second, name)),
                  f"two runs made different {name}")
        sums = subprocess.run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=first,
                              capture_output=True, text=True)
        check(sums.returncode == 0 and sums.stdout.count(": OK") == 3,
              f"sha256sum --check: {sums.stdout}{sums.stderr}")
        check(read(os.path.join(first, names[2])) == read(page), "the web page differs")

        readme = read(os.path.join(ROOT, "release", "README.txt")).replace(
            b"@PROJECT_VERSION@", VERSION.encode())
        demo = {name: read(os.path.join(ROOT, "samples", name))
                for name in ("in.txt", "Symbols.txt")}
        with tarfile.open(os.path.join(first, names[0])) as tar:
            members = tar.getmembers()
            files = {m.name: tar.extractfile(m).read() for m in members if m.isfile()}
            check([m.name for m in members] == [stem] + [f"{stem}/{name}" for name in (
                "FixInputFiles", "README.txt", "in.txt", "Symbols.txt")],
                f"the tar.gz holds {[m.name for m in members]}")
            check(members[1].mode == 0o755, "the Linux program is not executable")
        check(files == {f"{stem}/FixInputFiles": read(program), f"{stem}/README.txt": readme,
                        **{f"{stem}/{name}": data for name, data in demo.items()}},
              "the tar.gz's files differ from the program, README.txt or the demo lists")
        with zipfile.ZipFile(os.path.join(first, names[1])) as archive:
            files = {name: archive.read(name) for name in archive.namelist()}
        check(files == {f"{stem}/FixInputFiles.exe": b"MZ stand-in",
                        f"{stem}/README.txt": readme.replace(b"\n", b"\r\n"),
                        **{f"{stem}/{name}": data for name, data in demo.items()}},
              "the zip's files differ from the program, README.txt (CR LF) or the demo lists")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
