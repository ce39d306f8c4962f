"""The real lanchat.exe under Wine, at 96 DPI: the window and each control
at the rectangle and with the caption of the layout table
(ui/Form1Layout.cpp), in client coordinates. Saves a screenshot of the
window, wine_layout.png, in the build folder for a person to look at.

    wine_layout.py LANCHAT_EXE PROBE_EXE WORK
"""

import os
import re
import sys
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winetest as wt  # noqa: E402

# The window's outer rectangle on the screen, from the layout table.
WINDOW = ("Form1", (192, 8, 699, 586))

# What, its window class, its caption (None: any), x, y, width, height;
# "client" stands for the client area's width.
CONTROLS = [
    ("the label pseudo", r"(?i)static|label", "pseudo", (16, 136, 67, 30)),
    ("the button Envoyer", r"(?i)button", "Envoyer", (464, 184, 113, 25)),
    ("the nickname box", r"(?i)^(?!.*rich).*edit", None, (96, 144, 121, 21)),
    ("the button Quitter", r"(?i)button", "Quitter", (528, 368, 121, 41)),
    ("the tool bar", r"(?i)toolbar", None, (0, 0, "client", 25)),
    ("the history", r"(?i)rich", None, (88, 232, 377, 201)),
    ("the message box", r"(?i)rich", None, (96, 192, 337, 25)),
]


def colours(png_path):
    """How many colours a PNG written by wt.bmp_to_png holds."""
    with open(png_path, "rb") as f:
        data = f.read()
    width = int.from_bytes(data[16:20], "big")
    pixels = zlib.decompress(data[data.index(b"IDAT") + 4:data.index(b"IEND") - 8])
    row = 1 + width * 3
    seen = set()
    for start in range(0, len(pixels), row):
        line = pixels[start + 1:start + row]
        seen.update(line[i:i + 3] for i in range(0, len(line), 3))
    return len(seen)


def main():
    lanchat, probe_exe, work = sys.argv[1:]
    wt.need(wt.WINE, "Xvfb")
    checks = wt.Checks()
    session = wt.Session(os.path.join(work, "wine_layout"), work)
    try:
        probe = wt.Probe(session, probe_exe)
        start = time.monotonic()
        session.start(lanchat, log="lanchat.log")
        found = probe.controls("--wait", "30")
        wt.timed("window up", start)
        if not checks.check("the window shows", found["code"] == 0):
            return checks.done()
        checks.check("96 DPI", found.get("dpi") == 96, f"{found.get('dpi')}")
        _, outer, title = found["window"]
        checks.check("the window's title and rectangle", (title, outer) == WINDOW,
                     f"{title!r} at {outer}, expected {WINDOW}")
        client_width = found["client"][1][2]
        for what, cls, caption, rect in CONTROLS:
            rect = tuple(client_width if v == "client" else v for v in rect)
            same = [c for c in found["children"] if re.search(cls, c[0])
                    and (caption is None or c[2] == caption)]
            checks.check(f"{what} at {rect}", any(c[1] == rect for c in same),
                         "found " + (", ".join(f"{c[0]} {c[1]}" for c in same) or "none"))
        bmp = os.path.join(session.work, "window.bmp")
        png = os.path.join(work, "wine_layout.png")
        shot = probe("--shot", wt.windows_path(bmp))[0] == 0 and os.path.exists(bmp)
        if checks.check("a screenshot taken", shot):
            wt.bmp_to_png(bmp, png)
            count = colours(png)
            checks.check("the screenshot shows the window drawn", count >= 4, f"{count} colours")
            print(f"screenshot: {png}")
        probe("--close")
    finally:
        session.close()
    return checks.done()


if __name__ == "__main__":
    sys.exit(main())
