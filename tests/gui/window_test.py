#!/usr/bin/env python3
"""The real program in a real window: each scenario starts its own Xvfb, copies
the executable into a fresh folder (the program works in its own folder), and
uses the window as a person would, with xdotool's mouse and keys.

    window_test.py SCENARIO PROGRAM GOLDEN_FOLDER

Exit status 0: passed; 77: skipped, with the reason on stdout (no X server can
be started here, or a tool is missing); anything else: failed.
"""

import fcntl
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import xdesk  # noqa: E402

SKIP = 77
TITLE = "Fix input files for the Quorlen"
MESSAGE_TITLE = "FixInputFiles"
BUTTON = (72, 48, 241, 169)
BUTTON_MIDDLE = (72 + 120, 48 + 84)
OUTPUTS = ("FixedLines.txt", "BadLines.txt", "SymbolReport.txt")

INSTRUCTION_WORDS = ["clean", "in.txt", "located", "folder", "symbols.txt", "phonetic",
                     "click", "button", "program"]
CLOSING_WORDS = ["done", "fixedlines.txt", "repaired", "badlines.txt", "again", "exit"]


class Failed(Exception):
    pass


class Skipped(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failed(what)


def wait_for(condition, what, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.05)
    raise Failed("timed out waiting until " + what)


class Session:
    """One program started in a fresh folder on a private display; `scale`: the
    desktop's (Xft.dpi / 96), `command`: how to start it, ./FixInputFiles if not given;
    `env`: its environment, the display's if not given."""

    def __init__(self, display, program, folder, scale=1, command="./FixInputFiles", env=None):
        self.display = display
        self.folder = folder
        self.scale = scale
        shutil.copy2(program, os.path.join(folder, "FixInputFiles"))
        self.names_at_start = self.names()
        self.process = display.start(command, folder, env=env)
        self.window = display.find_window(TITLE, process=self.process)
        if self.window is None:
            how = self.ended_how()
            self.stop()
            raise Failed(f"no window titled {TITLE!r} appeared ({how})")

    def names(self):
        return sorted(os.listdir(self.folder))

    def read(self, name):
        return read(self.folder, name)

    def click(self):
        self.display.click(self.window, *(round(c * self.scale) for c in BUTTON_MIDDLE))

    def outputs_done(self):
        names = self.names()
        return all(name in names for name in OUTPUTS) and not any(
            name.endswith(".tmp") for name in names)

    def caption_words(self):
        return "".join(self.display.read_text(self.window, BUTTON))

    def caption_lines(self):
        """The caption's text line by line, without the spaces OCR does not always see."""
        button = [round(c * self.scale) for c in BUTTON]
        lines = self.display.read_text(self.window, button, scale=self.scale, by_line=True)
        return ["".join(words) for words in lines]

    def client_size(self):
        geometry = self.display.run("xdotool", "getwindowgeometry", str(self.window)).stdout
        return geometry.split("Geometry: ")[1].split()[0]

    def running(self):
        return self.process.poll() is None

    def exit_status(self, timeout=30):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failed(f"the program did not end within {timeout} s")

    def ended_how(self):
        if self.process.poll() is None:
            return "still running"
        return f"ended with status {self.process.returncode}: {self.process.stderr.read().strip()}"

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()
        self.process.stderr.close()


# Scenarios: each gets a display, the program, the golden folder and a fresh folder.

def click_twice(display, program, gold, folder):
    """On a TCP display (localhost:N, as SSH forwards it) and without HOME: the
    static program resolves the host name, and Xlib looks the user up instead."""
    write(folder, {"in.txt": read(gold, "in.txt"), "Symbols.txt": read(gold, "Symbols.txt")})
    env = {name: value for name, value in display.env().items() if name != "HOME"}
    env["DISPLAY"] = "localhost" + display.name
    session = Session(display, program, folder, env=env)
    try:
        size = session.client_size()
        check(size == "389x301", f"the client area is {size}, not 389x301")
        run_and_end(session, gold)
    finally:
        session.stop()


def run_and_end(session, gold):
    """The first click writes the golden outputs; the second ends the program with status 0."""
    session.click()
    wait_for(session.outputs_done, "the output files are written")
    for name in OUTPUTS:
        check(session.read(name) == read(gold, name), f"{name} differs from the golden one")
    time.sleep(0.5)
    check(session.running(), "the program ended after the first click: " + session.ended_how())
    session.click()
    status = session.exit_status()
    check(status == 0, f"the second click ended the program with status {status}")


# Sans faces the caption is drawn in when installed: Debian's default, and the
# default of many desktops (fonts-noto-core).
SANS_FACES = ("DejaVu Sans", "Noto Sans")
# Makes `face` the sans face of the program started with it.
PINNED_SANS = """<?xml version="1.0"?>
<fontconfig>
  <include ignore_missing="yes">{base}</include>
  <match target="pattern">
    <edit name="family" mode="prepend_first" binding="strong"><string>{face}</string></edit>
  </match>
</fontconfig>
"""


def hidpi(display, program, gold, folder):
    """The desktop's Xft.dpi scales the window, the button and the caption's font:
    the whole caption shows, the same words in the same order as at 96 dpi,
    with the machine's fonts and in each of SANS_FACES installed. Where its
    lines break depends on the face's widths at each size, which no face keeps
    in proportion (Noto Sans breaks differently at 1.5x)."""
    write(folder, {"in.txt": read(gold, "in.txt"), "Symbols.txt": read(gold, "Symbols.txt")})
    hidpi_in_face(display, program, gold, folder, display.env())
    for face in SANS_FACES:
        if not display.run("fc-list", f":family={face}").stdout:
            print(f"{face} is not installed")
            continue
        config = folder + "-fonts.conf"
        with open(config, "w") as file:
            file.write(PINNED_SANS.format(
                base=os.environ.get("FONTCONFIG_FILE", "/etc/fonts/fonts.conf"), face=face))
        env = dict(display.env(), FONTCONFIG_FILE=config)
        try:
            matched = subprocess.run(["fc-match", "sans"], env=env, capture_output=True, text=True)
            check(f'"{face}"' in matched.stdout, f"{face} is not the sans face: {matched.stdout}")
            hidpi_in_face(display, program, gold, folder, env)
            print(f"hidpi holds in {face}")
        finally:
            os.remove(config)


def hidpi_in_face(display, program, gold, folder, env):
    display.set_resources("Xft.dpi: 96\n")
    session = Session(display, program, folder, env=env)
    try:
        text_at_96 = "".join(session.caption_lines())
        check_words(text_at_96, INSTRUCTION_WORDS, "the instructions at 96 dpi")
        display.close(session.window)
        session.exit_status()
    finally:
        session.stop()
    for dpi, size in ((144, "584x452"), (192, "778x602")):
        display.set_resources(f"Xft.dpi: {dpi}\n")
        session = Session(display, program, folder, scale=dpi / 96, env=env)
        try:
            check(session.client_size() == size,
                  f"at {dpi} dpi the client area is {session.client_size()}, not {size}")
            text = "".join(session.caption_lines())
            check(text == text_at_96,
                  f"at {dpi} dpi the caption reads {text!r}; at 96 dpi it reads {text_at_96!r}")
            if dpi == 192:
                # The middle of the scaled button lies outside the unscaled one.
                run_and_end(session, gold)
            else:
                display.close(session.window)
                session.exit_status()
        finally:
            session.stop()


# What the empty root shares with the system, each at its own path.
SHARED_WITH_ROOT = ("/etc/fonts", "/usr/share/fonts", "/usr/share/fontconfig", "/tmp/.X11-unix")
# Run in a mount namespace of its own: the mounts end with the program.
START_IN_ROOT = """
set -e
root=$1
mount -t proc proc "$root/proc"
for shared in /etc/fonts /usr/share/fonts /usr/share/fontconfig; do
  mount --bind -o ro "$shared" "$root$shared"
done
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
exec chroot "$root" /FixInputFiles
"""


def empty_root(display, program, gold, folder):
    """The program in a root that holds only itself, the two lists, /proc, the X
    socket and the fonts with their configuration: it needs no shared library,
    and fontconfig finds the sans-serif face for the caption."""
    needed = [line for line in display.run("readelf", "-d", program).stdout.splitlines()
              if "(NEEDED)" in line]
    check(not needed, "the program needs shared libraries:\n" + "\n".join(needed))
    for path in ("/proc",) + SHARED_WITH_ROOT:
        os.makedirs(folder + path)
    probe = subprocess.run(["unshare", "--mount", "sh", "-c",
                            'mount -t proc proc "$1/proc" && exec chroot "$1" /no-such-program',
                            "sh", folder], capture_output=True, text=True, timeout=30)
    if probe.returncode != 127:  # chroot's status when the root was entered
        raise Skipped("mounting /proc and entering a chroot are not permitted here (they need "
                      f"root with CAP_SYS_ADMIN and CAP_SYS_CHROOT): {probe.stderr.strip()}")
    write(folder, {"in.txt": read(gold, "in.txt"), "Symbols.txt": read(gold, "Symbols.txt")})
    command = ["unshare", "--mount", "sh", "-c", START_IN_ROOT, "sh", folder]
    session = Session(display, program, folder, command=command)
    try:
        sans = display.run("fc-match", "--format=%{file}", "sans").stdout
        wait_for(lambda: any(path.endswith(sans) for path in mapped_files(session.process.pid)),
                 f"the program draws its caption in {sans}", 10)
        check_words(session.caption_words(), INSTRUCTION_WORDS, "the instructions")
        run_and_end(session, gold)
    finally:
        session.stop()


def mapped_files(pid):
    """The files mapped into the process, as seen from outside its root."""
    with open(f"/proc/{pid}/maps") as maps:
        return {line.split(maxsplit=5)[5].strip() for line in maps if len(line.split()) == 6}


def captions_read_back(display, program, gold, folder):
    write(folder, {"in.txt": read(gold, "in.txt"), "Symbols.txt": read(gold, "Symbols.txt")})
    session = Session(display, program, folder)
    try:
        before = session.caption_words()
        check_words(before, INSTRUCTION_WORDS, "the instructions before the click")
        session.click()
        wait_for(session.outputs_done, "the output files are written")
        wait_for(lambda: "exit" in session.caption_words(), "the closing caption shows", 15)
        after = session.caption_words()
        check_words(after, CLOSING_WORDS, "the closing caption after the run")
        check("phonetic" not in after, f"the instructions still show after the run: {after}")
        session.display.close(session.window)
        status = session.exit_status()
        check(status == 0, f"closing the window in state Done gave status {status}")
    finally:
        session.stop()


def check_words(words, expected, what):
    missing = [word for word in expected if word not in words]
    check(not missing, f"OCR does not find {missing} in {what}; it reads: {words}")


def missing_input(display, program, folder, files, missing_name):
    write(folder, files)
    before = {name: read(folder, name) for name in files}
    session = Session(display, program, folder)
    try:
        session.click()
        message = display.find_window(MESSAGE_TITLE, process=session.process)
        check(message is not None, "no message box appeared: " + session.ended_how())
        check(session.running(), "the program ended before the message was dismissed")
        display.key(message, "Return")
        status = session.exit_status()
        check(status != 0, "a run-time error ended the program with status 0")
        error = session.process.stderr.read()
        check("Run-time error '53'" in error and missing_name in error,
              f"stderr does not name error 53 and {missing_name}: {error!r}")
        check(session.names() == session.names_at_start,
              f"the folder changed: {session.names_at_start} -> {session.names()}")
        for name, data in before.items():
            check(read(folder, name) == data, f"{name} changed")
    finally:
        session.stop()


def missing_in(display, program, gold, folder):
    missing_input(display, program, folder,
                  {"Symbols.txt": read(gold, "Symbols.txt")}, "in.txt")


def missing_symbols(display, program, gold, folder):
    earlier = {"FixedLines.txt": b"earlier fixed\r\n", "BadLines.txt": b"1\tearlier bad\r\n"}
    missing_input(display, program, folder,
                  {"in.txt": read(gold, "in.txt"), **earlier}, "Symbols.txt")


def wait_for_other_run(display, program, gold, folder):
    """Another run holds the folder: the click shows that this one waits, the
    window still answers, and a second click ends the program with nothing written."""
    write(folder, {"in.txt": read(gold, "in.txt"), "Symbols.txt": read(gold, "Symbols.txt")})
    with open(os.path.join(folder, "~FixInputFiles.lock"), "wb") as lock:
        fcntl.lockf(lock, fcntl.LOCK_EX)  # as another run's lock, which it conflicts with
        session = Session(display, program, folder)
        try:
            session.click()
            wait_for(lambda: "waitingforanotherrun" in session.caption_words(),
                     "the caption says the run waits for another", 15)
            session.click()
            status = session.exit_status(timeout=10)
            check(status == 0, f"the click while the run waited ended the program with {status}")
            check(session.names() == session.names_at_start,
                  f"the folder changed: {session.names_at_start} -> {session.names()}")
        finally:
            session.stop()


def click_during_run(display, program, gold, folder):
    lines = 2_000_000
    long_entry = b" ".join([b"t a p"] * 20)
    entries, fixed, bad = [], [], []
    for number in range(1, lines + 1):
        if number % 13 == 0:
            entries.append(b"")
            bad.append(b"%d\tblank line (removed in FixedLines.txt)\r\n" % number)
        elif number % 7 == 0:
            entries.append(b"p  x a")
            fixed.append(b"p a\r\n")
            bad.append(b"%d\tp x a\tBad symbol removed\tx\r\n" % number)
        else:
            entries.append(long_entry)
            fixed.append(long_entry + b"\r\n")
    write(folder, {"in.txt": b"\r\n".join(entries) + b"\r\n", "Symbols.txt": b"p\r\na\r\nt\r\n"})
    session = Session(display, program, folder)
    progress = folder + "-progress.png"
    try:
        session.click()
        busy = lambda: any(name.endswith(".tmp") for name in session.names())  # noqa: E731
        wait_for(busy, "the run starts writing")
        session.click()
        check(busy(), "the run ended before the second click; make in.txt longer")
        started = time.monotonic()
        display.screenshot(session.window, progress, BUTTON)
        check(busy(), "the run ended before its progress was seen; make in.txt longer")
        status = session.exit_status(timeout=120)
        print(f"the run went on for {time.monotonic() - started:.2f} s after the second click")
        check(status == 0, f"the click during the run ended the program with status {status}")
        check(session.read("FixedLines.txt") == b"".join(fixed), "FixedLines.txt is not complete")
        check(session.read("BadLines.txt") == b"".join(bad), "BadLines.txt is not complete")
        seen = display.read_picture(progress)
        check(seen[:2] == ["done", "with"] and seen[-1] == "lines" and seen[2].isdigit(),
              f"the button does not show the progress during the run; OCR reads {seen}")
    finally:
        session.stop()
        if os.path.exists(progress):
            os.remove(progress)


def close_when_ready(display, program, gold, folder):
    write(folder, {"in.txt": read(gold, "in.txt"), "Symbols.txt": read(gold, "Symbols.txt")})
    session = Session(display, program, folder)
    try:
        display.close(session.window)
        status = session.exit_status(timeout=10)
        check(status == 0, f"closing the window in state Ready gave status {status}")
        check(session.names() == session.names_at_start, f"files appeared: {session.names()}")
    finally:
        session.stop()


def keyboard(display, program, gold, folder):
    write(folder, {"in.txt": read(gold, "in.txt"), "Symbols.txt": read(gold, "Symbols.txt")})
    session = Session(display, program, folder)
    try:
        display.run("xdotool", "key", "Escape")  # not a way to close the window
        display.key(session.window, "Return")
        wait_for(session.outputs_done, "Enter runs the job")
        check(session.read("FixedLines.txt") == read(gold, "FixedLines.txt"),
              "FixedLines.txt differs")
        check(session.running(), "the program ended after Enter: " + session.ended_how())
        display.key(session.window, "space")
        status = session.exit_status()
        check(status == 0, f"Space in state Done ended the program with status {status}")
    finally:
        session.stop()


def no_display(program, folder):
    shutil.copy2(program, os.path.join(folder, "FixInputFiles"))
    env = {key: value for key, value in os.environ.items() if key != "DISPLAY"}
    done = subprocess.run(["./FixInputFiles"], cwd=folder, env=env, capture_output=True,
                          text=True, timeout=30)
    check(done.returncode != 0, "started without a display, the program exited with status 0")
    lines = done.stderr.splitlines()
    check(len(lines) == 1 and "display" in lines[0], f"stderr is not one clear line: {lines}")
    check(sorted(os.listdir(folder)) == ["FixInputFiles"], "files appeared")


def write(folder, files):
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as file:
            file.write(data)


def read(folder, name):
    with open(os.path.join(folder, name), "rb") as file:
        return file.read()


SCENARIOS = {f.__name__: f for f in (click_twice, captions_read_back, missing_in,
                                      missing_symbols, click_during_run, close_when_ready,
                                      keyboard, hidpi, empty_root, wait_for_other_run)}
TOOLS_NEEDED = ["Xvfb", "xdotool", "import", "convert", "tesseract"]
DISPLAY_OPTIONS = {"click_twice": {"tcp": True}}
MORE_TOOLS_NEEDED = {"hidpi": ["xrdb", "fc-list", "fc-match"], "empty_root": ["readelf", "fc-match", "unshare"]}


def main(scenario, program, gold):
    with tempfile.TemporaryDirectory(prefix="fixinput-gui-") as folder:
        if scenario == "no_display":
            no_display(program, folder)
            return 0
        missing = xdesk.missing_tools(TOOLS_NEEDED + MORE_TOOLS_NEEDED.get(scenario, []))
        if missing:
            print("SKIP: the window cannot be tested without " + ", ".join(missing))
            return SKIP
        try:
            with xdesk.Display(**DISPLAY_OPTIONS.get(scenario, {})) as display:
                SCENARIOS[scenario](display, program, gold, folder)
        except xdesk.NoDisplay as reason:
            print(f"SKIP: no X server can be started here: {reason}")
            return SKIP
        except Skipped as reason:
            print(f"SKIP: {reason}")
            return SKIP
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 4 or (sys.argv[1] not in SCENARIOS and sys.argv[1] != "no_display"):
        sys.exit(__doc__)
    try:
        sys.exit(main(*sys.argv[1:]))
    except Failed as failure:
        print(f"FAILED {sys.argv[1]}: {failure}")
        sys.exit(1)
