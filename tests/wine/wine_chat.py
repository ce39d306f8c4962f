"""The real lanchat.exe under Wine chats with Linux on loopback, byte for
byte both ways: datagrams in Windows-1252 from a Linux socket show as their
two lines in the history; what the window sends when the person types and
clicks "Envoyer" is read by a Linux socket; two instances in one session
share the port and both hear one datagram.

    wine_chat.py LANCHAT_EXE PROBE_EXE WORK [SCENARIO...]
"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winetest as wt  # noqa: E402

# Points of the client area where a person clicks (ui/Form1Layout.cpp).
NICKNAME, MESSAGE, SEND, HISTORY = "@150,154", "@260,204", "@520,196", "@270,330"

# Datagrams from Linux: nickname and message as the history shows them,
# then the bytes on the wire, written out by hand.
ARRIVALS = [
    ("Zoé", "Café crème ? 20 € l'œuf… déjà ?",
     b"Zo\xe9 a dit :Caf\xe9 cr\xe8me ? 20 \x80 l'\x9cuf\x85 d\xe9j\xe0 ?\x00"),
    ("Zoé", "Première ligne\r\nDeuxième ligne\r\n« Troisième »",
     b"Zo\xe9 a dit :Premi\xe8re ligne\r\nDeuxi\xe8me ligne\r\n\xab Troisi\xe8me \xbb\x00"),
]

# What the person types in the window, and the bytes a Linux socket reads.
SENDS = [
    ("Zoé", "Café crème ? 20 € l'œuf… déjà ?\r\nÀ bientôt",
     b"Zo\xe9 a dit :Caf\xe9 cr\xe8me ? 20 \x80 l'\x9cuf\x85 d\xe9j\xe0 ?\r\n\xc0 bient\xf4t\x00"),
]


def shown(pairs):
    """The history's lines after these arrivals: its first, empty line, then
    for each the nickname line and the message's lines."""
    expected = [""]
    for nickname, message in pairs:
        expected += [nickname + " a dit :"] + wt.lines(message)
    return expected


def history(probe, *select):
    text = probe.text(HISTORY, *select)
    return None if text is None else wt.lines(text)


def wait_history(probe, expected, *select, timeout=5.0):
    deadline = time.monotonic() + timeout
    while (got := history(probe, *select)) != expected and time.monotonic() < deadline:
        time.sleep(0.2)
    return got


def from_linux(run):
    """Each datagram from Linux adds its two lines to the history."""
    out = wt.sender()
    seen = []
    for nickname, message, wire in ARRIVALS:
        out.sendto(wire, (wt.BROADCAST, wt.PORT))
        seen.append((nickname, message))
        got = wait_history(run.probe, shown(seen))
        run.checks.check(f"history after '{wt.lines(message)[0][:20]}…'", got == shown(seen),
                         f"{got!r}, expected {shown(seen)!r}")
    run.seen = seen


def to_linux(run):
    """What the person types and sends reaches a Linux socket byte for byte,
    and the window's own history shows it too."""
    for nickname, message, wire in SENDS:
        sock = wt.listener()
        code, _ = run.probe("--set-text", NICKNAME, nickname, "--set-text", MESSAGE, message,
                            "--click", SEND)
        run.checks.check("the probe typed and clicked", code == 0, f"code {code}")
        got = wt.receive(sock, 10)
        sock.close()
        run.checks.check(f"the bytes sent for '{wt.lines(message)[0][:20]}…'", got == wire,
                         f"{got!r}, expected {wire!r}")
        run.seen.append((nickname, message))
        got_history = wait_history(run.probe, shown(run.seen))
        run.checks.check("the window shows its own message", got_history == shown(run.seen),
                         f"{got_history!r}")


def two_instances(run):
    """A second instance shares the port; one datagram shows in both."""
    run.session.start(run.lanchat, log="lanchat2.log")
    run.checks.check("a second window", run.probe("--count", "2", "--window", "1")[0] == 0)
    run.checks.check("both bound to the port", wt.wait_bound(2), f"{wt.udp_bound()} bound")
    nickname, message, wire = ARRIVALS[0]
    wt.sender().sendto(wire, (wt.BROADCAST, wt.PORT))
    new = shown([(nickname, message)])[1:]
    deadline = time.monotonic() + 5
    while True:
        got = [history(run.probe, "--window", str(k)) or [] for k in (0, 1)]
        if all(h[-len(new):] == new for h in got) or time.monotonic() > deadline:
            break
        time.sleep(0.2)
    # The probe numbers the windows by handle: either may be the newer.
    expected = sorted([shown(run.seen + [(nickname, message)]), shown([(nickname, message)])])
    run.checks.check("both windows heard it once", sorted(got) == expected,
                     f"{got!r}, expected {expected!r}")
    run.seen.append((nickname, message))


def long_lines(run):
    """The longest lines a datagram can carry, of letters without a space
    and of words, go into the history in paragraphs of at most 512
    characters (cut after a space where there is one), nothing lost; the
    window answers while they go in (Wine lays a long paragraph out in a
    time that grows with the square of its length: 40 s for this one
    whole)."""
    out = wt.sender()
    head = "Long a dit :"
    letters = "a" * (65507 - len(head) - 1)  # the largest datagram
    words = ("mot " * (len(letters) // 4))[:len(letters)]
    for text in (letters, words):
        before = len(history(run.probe) or [])
        out.sendto(head.encode() + text.encode() + b"\0", (wt.BROADCAST, wt.PORT))
        pings = run.probe("--ping", "1000", "--sleep", "100", "--ping", "1000", "--sleep", "100",
                          "--ping", "1000", "--sleep", "100", "--ping", "1000")[1].split()
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            got = (history(run.probe) or [])[before:]
            if "".join(got[1:]) == text:
                break
            time.sleep(0.2)
        run.checks.check(f"the line of {len(text)} {text[:3]!r}… shown whole",
                         got[:1] == ["Long a dit :"] and "".join(got[1:]) == text,
                         f"{len(''.join(got[1:]))} characters in {len(got) - 1} lines")
        run.checks.check("in paragraphs of at most 512 characters, cut after a space if any",
                         max(map(len, got[1:])) <= 512
                         and (" " not in text or all(line.endswith(" ") for line in got[1:-1])),
                         f"lengths {sorted(set(map(len, got[1:])))}")
        slowest = max(map(int, pings), default=-1)
        run.checks.check("the window answered within 100 ms as it went in",
                         len(pings) == 4 and slowest <= 100, f"{pings}")


HISTORY_LINES = 20_000  # platform/win32/Lines.cpp


def full_history(run):
    """The history filled to its budget of lines, as a person's paste
    would: a message that arrives then is turned away, and a notice says
    the history is full. (No flood fills it quickly: the allowances keep a
    flood's burst to half of the history's budget.)"""
    code, _ = run.probe("--fill", HISTORY, str(HISTORY_LINES - 1))
    run.checks.check("the history filled", code == 0, f"code {code}")
    wt.sender().sendto("Zoé a dit :après\0".encode("cp1252"), (wt.BROADCAST, wt.PORT))
    notice, deadline = "", time.monotonic() + 20
    while "historique est plein" not in notice and time.monotonic() < deadline:
        time.sleep(0.5)
        notice = run.probe("--title", "lanchat", "--wait", "0", "--list")[1]
    got = history(run.probe) or []
    print(f"full: {len(got)} lines held", flush=True)
    run.checks.check("the notice says the history is full", "historique est plein" in notice,
                     notice[-200:])
    run.checks.check("the message is turned away", "après" not in got and len(got) < HISTORY_LINES,
                     f"{len(got)} lines, the last {got[-2:]}")


def flood(run):
    """The worst flood (tests/wine/flood.py) against the program under Wine;
    wine_flood.py says what is checked."""
    import wine_flood  # noqa: PLC0415 (only this row needs it)
    wine_flood.run_flood(run)


# Each row runs in turn in the same session; a later row may rely on what
# the earlier ones left in the history. The flood row runs only when named.
SCENARIOS = [
    ("from_linux", from_linux),
    ("to_linux", to_linux),
    ("two_instances", two_instances),
    ("long_lines", long_lines),
]
ON_REQUEST = [("flood", flood), ("full_history", full_history)]


class Run:
    pass


def main():
    lanchat, probe_exe, work, *names = sys.argv[1:]
    wt.need(wt.WINE, "Xvfb")
    run = Run()
    run.checks, run.lanchat, run.seen = wt.Checks(), lanchat, []
    rows = [r for r in SCENARIOS + ON_REQUEST if r[0] in names] if names else SCENARIOS
    # A session folder of each selection's own: ctest runs them side by side.
    folder = "_".join(["wine_chat", *names])
    run.session = wt.Session(os.path.join(work, folder), work)
    try:
        run.probe = wt.Probe(run.session, probe_exe)
        start = time.monotonic()
        run.process = run.session.start(lanchat, log="lanchat.log")
        shown_ok = run.probe("--wait", "30")[0] == 0
        run.checks.check("the window shows", shown_ok)
        run.checks.check("the port is bound", wt.wait_bound(1))
        run.checks.check("lanchat.exe runs as the user",
                         wt.owner(run.process.pid) == run.session.user, wt.owner(run.process.pid))
        wt.timed("window up", start)
        if shown_ok:
            for name, scenario in rows:
                start = time.monotonic()
                scenario(run)
                wt.timed(name, start)
    finally:
        run.session.close()
    return run.checks.done()


if __name__ == "__main__":
    sys.exit(main())
