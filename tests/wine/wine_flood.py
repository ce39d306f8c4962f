"""The worst flood against the real lanchat.exe under Wine (the flood row
of wine_chat.py, ctest wine_flood): a neighbour (127.0.0.2, "Voisin")
chats two messages a second from a second before the flood to its end;
the flood (flood.py) sends the largest datagrams from 5,000 loopback
addresses at full speed for FLOOD_SECONDS. Checked: the program's resident
memory stays under RSS_BOUND_KIB and does not grow over the flood's last
third; the window answers every ping within PING_BOUND_MS more than an
idle window under the same flood waited at its slowest (what the machine
itself makes every window wait); every message
of the neighbour is shown; "Quitter" ends the program within QUIT_BOUND_S.
"""

import subprocess
import threading
import time

import flood as fl
import winetest as wt

FLOOD_SECONDS = 20.0
SOURCES = 5000
# The history's budget (platform/win32/Lines.cpp) is 1,000,000 characters.
# Measured under Wine 8: 26 MiB idle; 112 MiB with 330,445 characters of
# these lines and the 16 MiB queue full, about 210 bytes a character. A
# full history: about 26 + 1,000,000 x 210 bytes = 226 MiB, plus the queue;
# the bound leaves some 80 MiB over.
RSS_BOUND_KIB = 320 * 1024
# The last third may not add more than this over the peak before it: the
# history is full by then, and nothing else grows.
GROWTH_BOUND_KIB = 8 * 1024
# Wine answers a WM_NULL sent from another process within a few ms when
# idle; a pass of the event loop stops after 10 ms of work.
PING_BOUND_MS = 100
PING_EVERY_MS = 500
BASELINE = "Temoin"
# Wine without a window manager spends about 2 s in DestroyWindow.
QUIT_BOUND_S = 5.0
QUIT = "@588,388"
HISTORY = "@270,330"
NEIGHBOUR = "127.0.0.2"


def neighbour_text(k):
    return f"Message {k} du voisin"


class Neighbour(threading.Thread):
    """Sends "Voisin a dit :Message k du voisin" every half second until
    stopped; `sent` holds the messages sent."""

    def __init__(self):
        super().__init__(daemon=True)
        self.sock, self.sent, self.stopping = wt.sender(NEIGHBOUR), [], threading.Event()

    def run(self):
        k = 0
        while not self.stopping.is_set():
            k += 1
            text = neighbour_text(k)
            self.sock.sendto(b"Voisin a dit :" + text.encode("cp1252") + b"\0",
                             (wt.BROADCAST, wt.PORT))
            self.sent.append(text)
            self.stopping.wait(0.5)


def pinger(run, count, title="Form1", name="pings"):
    """The probe pinging the window titled `title` every PING_EVERY_MS, from
    one process started before the flood; prints one time a line."""
    args = ["--title", title]
    for _ in range(count):
        args += ["--ping", "1000", "--sleep", str(PING_EVERY_MS)]
    out = open(f"{run.session.work}/{name}.txt", "w+b")
    proc = subprocess.Popen(run.session.as_user(wt.WINE, run.probe.exe, *args),
                            env=run.session.env, stdout=out,
                            stderr=open(f"{run.session.work}/{name}.err", "wb"))
    run.session.procs.append(proc)
    return proc, out


def pings_of(out):
    out.seek(0)
    return [int(v) for v in out.read().decode().split() if v.isdigit()]


def kernel_drops():
    """Datagrams the kernel dropped on this namespace's sockets of the
    chat's port (the last column of /proc/net/udp)."""
    with open("/proc/net/udp") as table:
        return sum(int(row.split()[-1]) for row in table
                   if row.split()[1].endswith(f":{wt.PORT:04X}"))


def run_flood(run):
    checks, prefix = run.checks, run.session.prefix
    idle_kib = fl.program_rss_kib(prefix)
    print(f"idle: {idle_kib / 1024:.1f} MiB resident", flush=True)
    count = int(FLOOD_SECONDS * 1000 / PING_EVERY_MS) + 4
    # An idle Wine window pinged the same way, in the same run: what the
    # machine itself makes every window wait under this flood.
    run.session.start(run.probe.exe, "--idle-window", BASELINE, log="baseline.log")
    ping_proc, ping_out = pinger(run, count)
    base_proc, base_out = pinger(run, count, BASELINE, "baseline")
    deadline = time.monotonic() + 20
    while not pings_of(ping_out) and time.monotonic() < deadline:
        time.sleep(0.05)
    neighbour = Neighbour()
    neighbour.start()
    time.sleep(1.0)
    flood = fl.Flood(SOURCES, FLOOD_SECONDS).start()
    samples = []
    while flood.running() or len(samples) < 3:
        samples.append(fl.program_rss_kib(prefix))
        time.sleep(0.5)
    sent, seconds, rate = flood.stop()
    drops = kernel_drops()
    neighbour.stopping.set()
    neighbour.join()
    print(f"flood: {sent} datagrams of {fl.LARGEST} bytes from {SOURCES} addresses "
          f"in {seconds:.1f} s: {rate:.0f} a second ({rate * fl.LARGEST / 2**20:.0f} MiB/s); "
          f"{drops} dropped by the kernel at the program's socket",
          flush=True)
    ping_proc.wait(30)
    base_proc.wait(30)
    pings, baseline = pings_of(ping_out), pings_of(base_out)
    peak = max(samples)
    third = len(samples) * 2 // 3
    before, last = max(samples[:third]), max(samples[third:])
    print(f"memory: peak {peak / 1024:.1f} MiB, {before / 1024:.1f} MiB before the last third, "
          f"{last / 1024:.1f} MiB in it; samples (MiB): "
          + " ".join(f"{s / 1024:.0f}" for s in samples), flush=True)
    print(f"pings: {len(pings)}, slowest {max(pings, default=-1)} ms: {pings}", flush=True)
    print(f"an idle window's pings: {len(baseline)}, slowest {max(baseline, default=-1)} ms: "
          f"{baseline}", flush=True)
    checks.check(f"resident memory under {RSS_BOUND_KIB // 1024} MiB", peak < RSS_BOUND_KIB,
                 f"peak {peak} KiB")
    checks.check("no growth over the flood's last third", last <= before + GROWTH_BOUND_KIB,
                 f"{before} KiB, then {last} KiB")
    with open(f"{run.session.work}/pings.err", errors="replace") as err:
        said = err.read().strip()[-300:]
    checks.check("the window answered throughout", len(pings) == count,
                 f"{len(pings)} answers of {count} (code {ping_proc.returncode}: {said})")
    bound = PING_BOUND_MS + max(baseline, default=0)
    checks.check(f"every ping within {PING_BOUND_MS} ms more than the idle window's slowest",
                 max(pings, default=0) <= bound,
                 f"slowest {max(pings, default=0)} ms, the idle window's {max(baseline, default=0)}")
    # The neighbour's messages, each once, in order.
    deadline = time.monotonic() + 10
    while True:
        text = run.probe.text(HISTORY) or ""
        shown = [line for line in wt.lines(text) if line.startswith("Message ")]
        if shown == neighbour.sent or time.monotonic() > deadline:
            break
        time.sleep(0.5)
    print(f"neighbour: {len(neighbour.sent)} sent, {len(shown)} shown; history "
          f"{len(text)} characters", flush=True)
    checks.check("every message of the neighbour shown", shown == neighbour.sent,
                 f"missing {[m for m in neighbour.sent if m not in shown]}")
    quit_program(run)


def quit_program(run):
    prefix = run.session.prefix
    start = time.monotonic()
    code, _ = run.probe("--click", QUIT)
    while fl.program_pids(prefix) and time.monotonic() - start < 30:
        time.sleep(0.05)
    took = time.monotonic() - start
    print(f"Quitter: the program ended {took:.2f} s after the click", flush=True)
    run.checks.check("Quitter clicked", code == 0, f"code {code}")
    run.checks.check(f"Quitter ends the program within {QUIT_BOUND_S} s",
                     not fl.program_pids(prefix) and took <= QUIT_BOUND_S, f"{took:.1f} s")
