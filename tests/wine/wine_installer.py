"""The installer under Wine: its welcome page names the broadcast address;
a silent install puts the program, the uninstaller, the Start menu's
shortcut, the uninstall key and the firewall rule in place; the installed
program starts; a silent uninstall leaves none of them. Wine's netsh does
nothing, so the test's prefix has netsh_recorder in its place, which writes
down what the installer asks of the firewall.

    wine_installer.py BUILD SETUP VERSION ADDRESS LANCHAT_EXE PROBE_EXE
                      NETSH_RECORDER_EXE WORK
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winetest as wt  # noqa: E402

INSTDIR = "C:\\Program Files\\lanchat"
KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\lanchat"
# In the prefix, relative to drive_c.
FILES = ["Program Files/lanchat/lanchat.exe", "Program Files/lanchat/Uninstall.exe"]
SHORTCUT = "ProgramData/Microsoft/Windows/Start Menu/Programs/lanchat.lnk"

# The firewall: what each step asks of netsh, in order.
RULE = "name=lanchat dir=in protocol=UDP localport=2000"
NETSH_INSTALL = [
    f"advfirewall firewall delete rule {RULE}",
    "advfirewall firewall add rule name=lanchat dir=in action=allow protocol=UDP localport=2000"
    f" program={INSTDIR}\\lanchat.exe",
]
NETSH_UNINSTALL = [f"advfirewall firewall delete rule {RULE}"]


def key_values(version):
    """The uninstall key's values: type and data (None: checked apart)."""
    return {
        "DisplayName": ("REG_SZ", "lanchat"),
        "DisplayVersion": ("REG_SZ", version),
        "Publisher": ("REG_SZ", "The lanchat developers"),
        "UninstallString": ("REG_SZ", f'"{INSTDIR}\\Uninstall.exe"'),
        "QuietUninstallString": ("REG_SZ", f'"{INSTDIR}\\Uninstall.exe" /S'),
        "DisplayIcon": ("REG_SZ", f"{INSTDIR}\\lanchat.exe,0"),
        "NoModify": ("REG_DWORD", "0x1"),
        "NoRepair": ("REG_DWORD", "0x1"),
        "EstimatedSize": ("REG_DWORD", None),
    }


def query_key(session):
    code, out = session.run("reg", "query", KEY, "/reg:64")
    values = {}
    for line in out.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            values[parts[0]] = (parts[1], parts[2] if len(parts) > 2 else "")
    return code, values


def netsh_calls(drive_c):
    try:
        with open(os.path.join(drive_c, "netsh.log"), encoding="utf-8") as log:
            return log.read().splitlines()
    except FileNotFoundError:
        return []


def left_behind(drive_c, user):
    # The user's profile folder (users/lanchat-user) bears its name.
    return [os.path.join(d, n) for d, dirs, files in os.walk(drive_c)
            for n in dirs + files if "lanchat" in n.lower() and n != user]


def welcome(session, probe, setup, address, checks, work):
    """The welcome page says which address the program was built for."""
    proc = session.start(setup, log="setup.log")
    select = ("--title", "Installation de lanchat", "--wait", "30")
    found = probe.controls(*select)
    texts = " ".join(c[2] for c in found["children"])
    checks.check("the welcome page names the address", f"diffusion {address}," in texts,
                 texts[:300])
    probe(*select, "--shot", wt.windows_path(os.path.join(session.work, "welcome.bmp")))
    if os.path.exists(os.path.join(session.work, "welcome.bmp")):
        wt.bmp_to_png(os.path.join(session.work, "welcome.bmp"),
                      os.path.join(work, "wine_installer_welcome.png"))
    probe(*select, "--close")
    try:
        proc.wait(timeout=15)
    except subprocess.TimeoutExpired:
        checks.check("the installer closes from its welcome page", False)


def main():
    build, setup, version, address, lanchat, probe_exe, recorder, work = sys.argv[1:]
    wt.need(wt.WINE, "Xvfb", "cmake")
    checks = wt.Checks()
    start = time.monotonic()
    built = subprocess.run(["cmake", "--build", build, "--target", "installer"],
                           capture_output=True, text=True)
    if not checks.check("the installer builds", built.returncode == 0 and os.path.exists(setup),
                        built.stdout[-2000:] + built.stderr[-2000:]):
        return checks.done()
    wt.timed("installer built", start)
    session = wt.Session(os.path.join(work, "wine_installer"), work)
    drive_c = os.path.join(session.prefix, "drive_c")
    # Wine runs its own netsh whatever file system32 holds, unless told to
    # take the file ("native").
    session.user_copy(recorder, os.path.join(drive_c, "windows/system32/netsh.exe"))
    session.env["WINEDLLOVERRIDES"] += ";netsh.exe=n"
    probe = wt.Probe(session, probe_exe)
    try:
        start = time.monotonic()
        welcome(session, probe, setup, address, checks, work)
        wt.timed("welcome page", start)

        start = time.monotonic()
        code, _ = session.run(setup, "/S")
        session.wait_idle()
        wt.timed("silent install", start)
        checks.check("the installer ends with code 0", code == 0, f"{code}")
        # An installer for the wrong machine (x86) also ends with code 0 under
        # a 64-bit Wine, having done nothing: the files tell.
        installed = [checks.check(f"installed: {name}", os.path.isfile(os.path.join(drive_c, name)))
                     for name in FILES + [SHORTCUT]]
        if not all(installed):
            return checks.done()
        with open(lanchat, "rb") as a, open(os.path.join(drive_c, FILES[0]), "rb") as b:
            checks.check("the installed program is the one built", a.read() == b.read())
        with open(os.path.join(drive_c, SHORTCUT), "rb") as lnk:
            target = (INSTDIR + "\\lanchat.exe").encode()
            data = lnk.read()
            checks.check("the shortcut starts lanchat.exe",
                         target in data or target.decode().encode("utf-16-le") in data)
        code, values = query_key(session)
        checks.check("the uninstall key exists", code == 0)
        for name, (kind, data) in key_values(version).items():
            got = values.get(name)
            ok = got is not None and got[0] == kind and (data is None or got[1] == data)
            checks.check(f"uninstall key: {name}", ok, f"{got}, expected {(kind, data)}")
        size = int(values.get("EstimatedSize", ("", "0"))[1], 16)
        checks.check("EstimatedSize counts the program (KiB)",
                     size >= os.path.getsize(lanchat) // 1024, f"{size}")
        checks.check("the firewall rule added", netsh_calls(drive_c) == NETSH_INSTALL,
                     f"{netsh_calls(drive_c)}")

        start = time.monotonic()
        proc = session.start(f"{INSTDIR}\\lanchat.exe", log="lanchat.log")
        found = probe.controls("--wait", "30")
        checks.check("the installed program runs as the user", wt.owner(proc.pid) == session.user,
                     wt.owner(proc.pid))
        checks.check("the installed program shows its window",
                     any(c[2] == "Envoyer" for c in found["children"]))
        probe("--close")
        try:
            proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            checks.check("the installed program ends on WM_CLOSE", False)
        wt.timed("installed program started and closed", start)

        start = time.monotonic()
        code, _ = session.run(f"{INSTDIR}\\Uninstall.exe", "/S")
        # The uninstaller runs from a copy of itself, which it starts and
        # leaves to remove the original: wait for it.
        session.wait_idle()
        wt.timed("silent uninstall", start)
        checks.check("the uninstaller ends with code 0", code == 0, f"{code}")
        left = left_behind(drive_c, session.user)
        checks.check("no file or shortcut left", left == [], f"{left}")
        checks.check("no uninstall key left", query_key(session)[0] != 0)
        checks.check("the firewall rule removed",
                     netsh_calls(drive_c) == NETSH_INSTALL + NETSH_UNINSTALL,
                     f"{netsh_calls(drive_c)}")
    finally:
        session.close()
    return checks.done()


if __name__ == "__main__":
    sys.exit(main())
