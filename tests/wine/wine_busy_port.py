"""lanchat.exe under Wine when another program holds UDP port 2000 alone (a
Linux socket bound without address reuse): a French error box titled
"lanchat" names the port, and once it is closed the program ends with
code 1, as on Linux.

    wine_busy_port.py LANCHAT_EXE PROBE_EXE WORK
"""

import os
import socket
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winetest as wt  # noqa: E402


def main():
    lanchat, probe_exe, work = sys.argv[1:]
    wt.need(wt.WINE, "Xvfb")
    checks = wt.Checks()
    holder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    holder.bind(("0.0.0.0", wt.PORT))
    session = wt.Session(os.path.join(work, "wine_busy_port"), work)
    try:
        probe = wt.Probe(session, probe_exe)
        program = session.start(lanchat, log="lanchat.log")
        code, listed = probe("--title", "lanchat", "--wait", "30", "--list")
        text = " ".join(row.split("\t")[-1] for row in listed.splitlines()
                        if row.startswith("child"))
        print(f"the box: {text}", flush=True)
        checks.check("an error box titled lanchat", code == 0, f"code {code}")
        checks.check("it says, in French, that port 2000 cannot be listened on",
                     "Impossible d'écouter sur le port UDP 2000" in text, text)
        checks.check("no chat window behind it", probe("--wait", "0")[0] == 1)
        probe("--title", "lanchat", "--close")
        try:
            ended = program.wait(20)
        except Exception:  # noqa: BLE001 (still running: reported below)
            ended = None
        checks.check("closed, the program ends with code 1", ended == 1, f"code {ended}")
    finally:
        session.close()
        holder.close()
    return checks.done()


if __name__ == "__main__":
    sys.exit(main())
