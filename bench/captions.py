#!/usr/bin/env python3
"""The cost of painting the progress captions in a real window.

    bench/captions.py [CAPTION_BENCH] [LINES] [ROUNDS]

Makes an in.txt of LINES lines (one million unless told) and its inventory,
starts build/caption_bench on them in a window on a private Xvfb, clicks its
button, and prints what it measured: the same run with every caption handed to
the window's button (painted) and with the captions dropped, in turns, and the
ratio of the best times. Wanted: at most 1.05.
"""

import os
import random
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(here, "..", "tools"))
import xdesk  # noqa: E402

SYMBOLS = ["p", "b", "t", "d", "k", "g", "m", "n", "ŋ", "f", "v", "s", "z", "ʃ", "ʒ", "θ", "ð",
           "h", "tʃ", "dʒ", "l", "ɹ", "j", "w", "i", "ɪ", "e", "ɛ", "æ", "ɑ", "ɔ", "o", "ʊ",
           "u", "ʌ", "ə", "aɪ", "aʊ", "ɔɪ"]


def make_inputs(folder, lines):
    pick = random.Random(7)
    with open(os.path.join(folder, "Symbols.txt"), "w", encoding="utf-8", newline="") as out:
        out.write("".join(symbol + "\r\n" for symbol in SYMBOLS))
    with open(os.path.join(folder, "in.txt"), "w", encoding="utf-8", newline="") as out:
        for number in range(lines):
            word = [pick.choice(SYMBOLS) for _ in range(pick.randint(2, 9))]
            if number % 50 == 0:
                word[0] = "x"
            out.write(" ".join(word) + "\r\n")


def main():
    program = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                              os.path.join(here, "..", "build", "caption_bench"))
    lines = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    rounds = sys.argv[3] if len(sys.argv) > 3 else "7"
    missing = xdesk.missing_tools(["Xvfb", "xdotool"])
    if missing:
        print("caption paint: not measured, missing " + ", ".join(missing))
        return 1
    with tempfile.TemporaryDirectory(prefix="fixinput-captions-") as folder:
        make_inputs(folder, lines)
        with xdesk.Display() as display:
            bench = subprocess.Popen([program, folder, rounds], env=display.env(),
                                     stdout=subprocess.PIPE, text=True)
            window = display.find_window("Fix input files for the Quorlen", process=bench)
            if window is None:
                print("caption paint: not measured, the bench window did not appear")
                bench.kill()
                return 1
            display.click(window, 190, 130)
            out = bench.communicate(timeout=600)[0]
    print(f"caption paint, {lines} lines in a window on Xvfb:")
    print(out, end="")
    return bench.returncode


if __name__ == "__main__":
    sys.exit(main())
