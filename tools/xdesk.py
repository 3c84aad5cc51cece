"""A private X display (Xvfb) and a user's hands on it: find a window, click it,
press keys, close it with its close box, take its picture, read it back.

Used by the window's tests (tests/gui), `make run` without a desktop
(tools/run-demo) and the caption benchmark (bench/captions.py). Standard library
only; the X tools come from Debian's packages (see tools/packages.txt).
"""

import ctypes
import ctypes.util
import os
import re
import shutil
import subprocess
import tempfile
import time

TOOLS = {
    "Xvfb": "xvfb",
    "xdotool": "xdotool",
    "import": "imagemagick",
    "convert": "imagemagick",
    "tesseract": "tesseract-ocr",
    "xrdb": "x11-xserver-utils",
    "fc-match": "fontconfig",
    "readelf": "binutils",
    "unshare": "util-linux",
}


class NoDisplay(Exception):
    """No X server could be started here."""


def missing_tools(names):
    return [f"{name} (Debian package {TOOLS[name]})" for name in names if not shutil.which(name)]


class Display:
    """An Xvfb server on a free display number, stopped on exit from `with`.
    tcp: it also listens on TCP, for DISPLAY=localhost:N as SSH forwards it (the
    server's default access control admits this machine only)."""

    def __init__(self, width=1024, height=768, tcp=False):
        self.size = (width, height)
        self.tcp = tcp
        self.server = None
        self.name = None
        self.log = None

    def __enter__(self):
        if not shutil.which("Xvfb"):
            raise NoDisplay("Xvfb is not installed (Debian package xvfb)")
        read_end, write_end = os.pipe()
        screen = f"{self.size[0]}x{self.size[1]}x24"
        # The server's complaints go to a file: a full pipe would stall it.
        self.log = tempfile.TemporaryFile()
        try:
            self.server = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen,
                 "-listen" if self.tcp else "-nolisten", "tcp", "-noreset"],
                pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=self.log)
        finally:
            os.close(write_end)
        with os.fdopen(read_end, "rb") as announced:
            number = announced.readline().strip()
        if not number:
            self.server.wait(timeout=10)
            self.server = None
            self.log.seek(0)
            errors = self.log.read().decode(errors="replace").strip()
            last = errors.splitlines()[-1] if errors else "no reason given"
            raise NoDisplay(f"Xvfb did not start: {last}")
        self.name = ":" + number.decode()
        return self

    def __exit__(self, *_):
        self.log.close()
        if self.server:
            self.server.terminate()
            try:
                self.server.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        env.pop("XAUTHORITY", None)
        return env

    def run(self, *command, check=True):
        return subprocess.run(list(command), env=self.env(), check=check,
                              capture_output=True, text=True, timeout=60)

    def start(self, command, folder, env=None, **options):
        """Starts `command` (a program, or a list with its arguments) in `folder`,
        with `env` or else the environment of env()."""
        command = [command] if isinstance(command, str) else command
        return subprocess.Popen(command, cwd=folder, env=env or self.env(),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                **options)

    def set_resources(self, text):
        """Merges X resources ("Xft.dpi: 192", as a desktop sets it) into the server's."""
        subprocess.run(["xrdb", "-nocpp", "-merge"], input=text, env=self.env(), check=True,
                       capture_output=True, text=True, timeout=60)

    # Windows

    def find_window(self, title, timeout=20, process=None):
        """The id of the visible window whose title is exactly `title`."""
        pattern = "^" + re.escape(title) + "$"
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.run("xdotool", "search", "--onlyvisible", "--name", pattern,
                             check=False).stdout.split()
            if found:
                return int(found[0])
            if process is not None and process.poll() is not None:
                break
            time.sleep(0.1)
        return None

    def window_gone(self, window):
        return self.run("xdotool", "getwindowname", str(window), check=False).returncode != 0

    # Hands

    def click(self, window, x, y):
        """A left click at (x, y) of the window's client area, as a mouse makes it."""
        self.run("xdotool", "mousemove", "--window", str(window), str(x), str(y))
        self.run("xdotool", "click", "1")

    def key(self, window, key):
        """A key pressed while the window has the keyboard focus."""
        self.run("xdotool", "windowfocus", "--sync", str(window))
        self.run("xdotool", "key", key)

    def close(self, window):
        """What a window manager sends when the user clicks the close box."""
        x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                   ctypes.c_void_p]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        display = x11.XOpenDisplay(self.name.encode())
        if not display:
            raise NoDisplay(f"cannot connect to {self.name}")
        try:
            event = _XEvent()
            event.xclient.type = 33  # ClientMessage
            event.xclient.window = window
            event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
            event.xclient.format = 32
            event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
            event.xclient.data[1] = 0  # CurrentTime
            x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
            x11.XSync(display, 0)
        finally:
            x11.XCloseDisplay(display)

    # Eyes

    def screenshot(self, window, path, crop=None):
        """A PNG of the window, or of the part `crop` = (left, top, width, height) of it."""
        self.run("import", "-window", str(window), "png:" + path)
        if crop:
            left, top, width, height = crop
            self.run("convert", path, "-crop", f"{width}x{height}+{left}+{top}", "+repage",
                     "png:" + path)

    def read_text(self, window, crop=None, **reading):
        """The words OCR reads in the window (or part of it): see read_picture."""
        with tempfile.TemporaryDirectory() as scratch:
            shot = os.path.join(scratch, "shot.png")
            self.screenshot(window, shot, crop)
            return self.read_picture(shot, **reading)

    def read_picture(self, path, scale=1, by_line=False):
        """The words OCR reads in a screenshot, lower-case, in order; by_line: a
        list of words for each line of text. `scale`: the screen's, 2 at 192 dpi."""
        with tempfile.TemporaryDirectory() as scratch:
            big = os.path.join(scratch, "big.png")
            # Tesseract reads small screen fonts far better enlarged and in grey.
            enlarge = f"{round(300 / scale)}%"
            self.run("convert", path, "-colorspace", "Gray", "-resize", enlarge, "png:" + big)
            text = self.run("tesseract", big, "stdout", "--psm", "6").stdout
        lines = [_words(line) for line in text.lower().splitlines()]
        lines = [words for words in lines if words]
        return lines if by_line else [word for words in lines for word in words]


def _words(text):
    return re.findall(r"[a-z0-9]+(?:\.[a-z0-9]+)*", text)


class _XClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _XClientMessage), ("pad", ctypes.c_long * 24)]
