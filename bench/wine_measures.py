"""Figure 19 of the benchmark: the Windows build's lanchat.exe under Wine,
in Xvfb, in the benchmark's network namespace. Prints one "name value" line
a reading, which lanchat_bench records under its rows (figures.cpp):

    wine_measures.py WINDOWS_BUILD WORK START_RUNS MESSAGES FLOOD_SECONDS

startup_ms   median, over START_RUNS, from starting wine until the window is
             mapped (seen by xdotool, another X client) and port 2000 bound
rate         messages a second into the history: MESSAGES short datagrams
             sent at full speed, until the history shows them all
per_message  bytes of resident memory per two-line message over those
peak_mib     the resident peak under the worst flood (tests/wine/flood.py)
             for FLOOD_SECONDS
"""

import os
import shutil
import signal
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wine"))
import flood as fl  # noqa: E402
import winetest as wt  # noqa: E402

HISTORY = "@270,330"


def mapped(session):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Form1$"],
                           env=session.env, capture_output=True, text=True)
    return found.returncode == 0 and found.stdout.strip() != ""


def end_program(session):
    for pid in fl.program_pids(session.prefix):
        os.kill(pid, signal.SIGKILL)
    deadline = time.monotonic() + 10
    while (fl.program_pids(session.prefix) or wt.udp_bound()) and time.monotonic() < deadline:
        time.sleep(0.02)


def start_up(session, lanchat):
    start = time.monotonic()
    session.start(lanchat)
    while not (mapped(session) and wt.udp_bound() >= 1):
        if time.monotonic() - start > 30:
            return None
        time.sleep(0.005)
    return (time.monotonic() - start) * 1000


def wait_shown(probe, count, timeout):
    """Waits until the history holds `count` messages; returns when."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        text = probe.text(HISTORY) or ""
        if text.count(" a dit :") >= count:
            return time.monotonic()
        time.sleep(0.1)
    return None


def rate_and_memory(session, probe, lanchat, messages):
    session.start(lanchat)
    probe("--wait", "30")
    wt.wait_bound(1)
    time.sleep(0.5)
    before = fl.program_rss_kib(session.prefix)
    out = wt.sender()
    start = time.monotonic()
    for k in range(messages):
        out.sendto(f"Banc a dit :message {k:06d} du banc\0".encode(), (wt.BROADCAST, wt.PORT))
    done = wait_shown(probe, messages, 120)
    if done is None:
        return None, None
    time.sleep(0.5)
    after = fl.program_rss_kib(session.prefix)
    end_program(session)
    return messages / (done - start), (after - before) * 1024 / messages


def flood_peak(session, probe, lanchat, seconds):
    session.start(lanchat)
    probe("--wait", "30")
    wt.wait_bound(1)
    flood = fl.Flood(5000, seconds).start()
    peak = 0
    while flood.running():
        peak = max(peak, fl.program_rss_kib(session.prefix))
        time.sleep(0.25)
    sent, took, rate = flood.stop()
    print(f"# flood: {sent} datagrams in {took:.1f} s, {rate:.0f} a second", file=sys.stderr)
    end_program(session)
    return peak / 1024


def main():
    build, work, runs, messages, seconds = sys.argv[1:6]
    lanchat = os.path.join(build, "app", "lanchat.exe")
    probe_exe = os.path.join(build, "tests", "wine", "window_probe.exe")
    wt.need(wt.WINE, "Xvfb", "xdotool", lanchat, probe_exe)
    session = wt.Session(os.path.join(work, "wine_bench"), work)
    try:
        probe = wt.Probe(session, probe_exe)
        times = []
        for _ in range(int(runs)):
            took = start_up(session, lanchat)
            end_program(session)
            if took is not None:
                times.append(took)
        if times:
            print(f"startup_ms {statistics.median(times):.0f}", flush=True)
        rate, per_message = rate_and_memory(session, probe, lanchat, int(messages))
        if rate is not None:
            print(f"rate {rate:.0f}\nper_message {per_message:.0f}", flush=True)
        print(f"peak_mib {flood_peak(session, probe, lanchat, float(seconds)):.0f}", flush=True)
    finally:
        session.close()
        shutil.rmtree(session.work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
