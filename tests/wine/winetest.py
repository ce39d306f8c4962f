"""What the Wine tests share: a Wine prefix of the test's own, an X server,
the Windows programs started in them, the window probe, the Linux side of
the chat's sockets, and the tally of checks.

Every test runs inside tests/private_net.sh (a network namespace with only
loopback up): what the Windows programs send or hear on port 2000 stays
there. The test runs as root; Wine, its X server and every Windows program
run as the tests' ordinary user (tests/user_lib.sh), as a person runs them.
"""

import fcntl
import os
import pwd
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import zlib

PORT = 2000
BROADCAST = "127.255.255.255"
WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
AS_USER = os.path.join(TESTS, "as_user.sh")


class Checks:
    """Counts checks; prints each failure and the closing line."""

    def __init__(self):
        self.passed = self.failed = 0

    def check(self, what, ok, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print(f"FAIL: {what}" + (f": {detail}" if detail else ""), flush=True)
        return ok

    def done(self):
        print(f"{self.passed} passed, {self.failed} failed", flush=True)
        return 0 if self.failed == 0 and self.passed > 0 else 1


def timed(label, start):
    print(f"time: {label} {time.monotonic() - start:.1f} s", flush=True)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Session:
    """A Wine prefix and an X server of the test's own, run by the tests'
    user in a folder of its own (`work`: its prefix, home and runtime
    folder, mode 700, removed at the end). The logs stay in `logs`.

    The prefix is a copy of one made once per build folder and user with
    `wineboot -i` (about 12 s; a copy takes about 1 s). A Windows program
    given by its Linux path runs from a copy in `work`: the build folder
    may be root's alone."""

    def __init__(self, logs, cache):
        self.logs = os.path.abspath(logs)
        self.procs = []
        shutil.rmtree(self.logs, ignore_errors=True)
        os.makedirs(self.logs)
        self.user = user_make()
        self.work = tempfile.mkdtemp(prefix="lanchat-wine-")
        home, runtime = os.path.join(self.work, "home"), os.path.join(self.work, "run")
        os.makedirs(home)
        os.makedirs(runtime)
        self.prefix = os.path.join(self.work, "prefix")
        # as_user.sh gives the user's programs these variables, and the
        # names in LANCHAT_USER_VARS, as they are at each call.
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml=",
                        LANG="C.UTF-8", LC_ALL="C.UTF-8", LANCHAT_USER=self.user,
                        LANCHAT_USER_HOME=home, LANCHAT_USER_RUNTIME=runtime,
                        LANCHAT_USER_VARS="WINEPREFIX WINEDEBUG WINEDLLOVERRIDES LC_ALL")
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "LSAN_OPTIONS"):
            self.env.pop(name, None)
        try:
            start = time.monotonic()
            self._prefix(cache)
            timed("prefix copied", start)
            self._start_x()
        except BaseException:
            self.close()
            raise

    def _own(self):
        """Hands `work` to the user, as user_session does."""
        subprocess.run(["chown", "-R", f"{self.user}:{self.user}", self.work], check=True)
        os.chmod(self.work, 0o700)
        os.chmod(self.env["LANCHAT_USER_RUNTIME"], 0o700)

    def _prefix(self, cache):
        template = os.path.join(os.path.abspath(cache), f"wine-prefix-{self.user}")
        os.makedirs(cache, exist_ok=True)
        with open(os.path.join(cache, "wine-prefix.lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            # A prefix has the profile of the user who made it (drive_c/users/
            # NAME): the one made by root in earlier runs is of no use.
            shutil.rmtree(os.path.join(cache, "wine-prefix"), ignore_errors=True)
            if os.path.isdir(template):
                shutil.copytree(template, self.prefix, symlinks=True)
                self._own()
                return
            # Made by the user as the test's own prefix, then kept.
            start = time.monotonic()
            self._own()
            subprocess.run(self.as_user(WINE, "wineboot", "-i"), env=self.env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.wait_idle()
            self._relative_home_links()
            shutil.rmtree(template + ".new", ignore_errors=True)
            shutil.copytree(self.prefix, template + ".new", symlinks=True)
            os.rename(template + ".new", template)
            timed("prefix made (wineboot -i)", start)

    def _relative_home_links(self):
        """Wine links the profile's folders (Desktop, Documents...) to HOME,
        which is this test's: made relative, each copy's links lead to the
        home of its own test."""
        home = self.env["LANCHAT_USER_HOME"]
        user = pwd.getpwnam(self.user)
        for folder, dirs, files in os.walk(self.prefix):
            for name in dirs + files:
                link = os.path.join(folder, name)
                if os.path.islink(link) and (os.readlink(link) + os.sep).startswith(home + os.sep):
                    target = os.path.relpath(os.readlink(link), folder)
                    os.unlink(link)
                    os.symlink(target, link)
                    os.lchown(link, user.pw_uid, user.pw_gid)

    def as_user(self, *command):
        """COMMAND as the user (tests/as_user.sh), with a Windows program
        given by its Linux path replaced by the user's copy."""
        command = list(command)
        if len(command) > 1 and command[0] == WINE:
            command[1] = self._reachable(command[1])
        return [AS_USER, *command]

    def _reachable(self, program):
        if not os.path.isabs(program) or not os.path.isfile(program) \
                or program.startswith(self.work + os.sep):
            return program
        copy = os.path.join(self.work, "bin", os.path.basename(program))
        if not os.path.exists(copy):
            self.user_copy(program, copy)
        return copy

    def user_copy(self, source, dest):
        """A copy of `source` at `dest` that the user owns and can run."""
        os.makedirs(os.path.dirname(dest), exist_ok=True)
        subprocess.run(["install", "-D", "-m", "755", "-o", self.user, "-g", self.user,
                        source, dest], check=True)
        return dest

    def _start_x(self):
        read, write = os.pipe()
        xvfb = subprocess.Popen(
            self.as_user("Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24",
                         "-dpi", "96", "-nolisten", "tcp", "-noreset"),
            env=self.env, pass_fds=(write,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write)
        self.procs.append(xvfb)
        with os.fdopen(read) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise SystemExit("FAIL: Xvfb did not start")
        self.env["DISPLAY"] = ":" + number

    def start(self, program, *args, log="wine.log"):
        """Starts a Windows program in the background; returns its process
        (the Unix process that runs it, whose /proc tells its memory)."""
        with open(os.path.join(self.logs, log), "ab") as out:
            proc = subprocess.Popen(self.as_user(WINE, program, *args), env=self.env,
                                    stdout=out, stderr=subprocess.STDOUT)
        self.procs.append(proc)
        return proc

    def run(self, program, *args, timeout=60):
        """Runs a Windows program to its end; returns code and output."""
        # Output goes through a file: the Windows services that Wine starts
        # keep a pipe open long after the program ends.
        with tempfile.TemporaryFile(dir=self.logs) as out:
            with open(os.path.join(self.logs, "probe.log"), "ab") as err:
                code = subprocess.run(self.as_user(WINE, program, *args), env=self.env,
                                      stdout=out, stderr=err, timeout=timeout).returncode
            out.seek(0)
            return code, out.read().decode("utf-8", "replace")

    def wait_idle(self, timeout=60):
        """Waits until no Windows program runs in the prefix."""
        subprocess.run(self.as_user(WINESERVER, "-w"), env=self.env, timeout=timeout)

    def close(self):
        subprocess.run(self.as_user(WINESERVER, "-k"), env=self.env, stderr=subprocess.DEVNULL)
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.kill()
            proc.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def user_make():
    """Makes the tests' user once (tests/user_lib.sh); returns its name."""
    made = subprocess.run(["bash", "-c", '. "$0" && user_make >&2 && echo "$LANCHAT_USER"',
                           os.path.join(TESTS, "user_lib.sh")], stdout=subprocess.PIPE, text=True)
    if made.returncode != 0:
        raise SystemExit(made.returncode)
    return made.stdout.strip()


def owner(pid):
    """The user a Unix process runs as, from /proc (its real, effective,
    saved and file-system uids, which must agree)."""
    try:
        with open(f"/proc/{pid}/status") as status:
            uids = next(set(row.split()[1:5]) for row in status if row.startswith("Uid:"))
    except FileNotFoundError:
        return "no such process"
    return pwd.getpwuid(int(uids.pop())).pw_name if len(uids) == 1 else f"uids {sorted(uids)}"


class Probe:
    """tests/wine/window_probe.cpp, run in a session."""

    def __init__(self, session, exe):
        self.session, self.exe = session, exe

    def __call__(self, *args, timeout=60):
        return self.session.run(self.exe, *args, timeout=timeout)

    def controls(self, *select):
        """The window and its controls: a dict with 'window', 'client', 'dpi'
        and 'children' (class, (x, y, w, h), text) from --list."""
        code, out = self(*select, "--list")
        found = {"code": code, "children": []}
        for line in out.splitlines():
            kind, _index, cls, *rest = line.split("\t")
            if kind == "dpi":
                found["dpi"] = int(rest[0])
            elif len(rest) == 5:
                rect = tuple(int(n) for n in rest[:4])
                entry = (cls, rect, unescape(rest[4]))
                if kind == "child":
                    found["children"].append(entry)
                else:
                    found[kind] = entry
        return found

    def text(self, target, *select):
        code, out = self(*select, "--text", target)
        return unescape(out.rstrip("\n")) if code == 0 else None


def unescape(text):
    table = {"\\\\": "\\", "\\t": "\t", "\\r": "\r", "\\n": "\n"}
    return re.sub(r"\\[\\trn]", lambda m: table[m.group(0)], text)


def lines(text):
    """A text's lines, whatever its breaks (CR LF, CR, LF)."""
    return re.split(r"\r\n|\r|\n", text)


def udp_bound(port=PORT):
    """How many sockets of this namespace are bound to UDP `port`."""
    with open("/proc/net/udp") as table:
        return sum(1 for row in table if row.split()[1].endswith(f":{port:04X}"))


def wait_bound(count, timeout=20):
    deadline = time.monotonic() + timeout
    while udp_bound() < count and time.monotonic() < deadline:
        time.sleep(0.1)
    return udp_bound() >= count


def sender(source="127.0.0.1"):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    sock.bind((source, 0))
    return sock


def listener():
    """A socket on the chat's port that shares it, as every instance does."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("", PORT))
    return sock


def receive(sock, timeout):
    sock.settimeout(timeout)
    try:
        return sock.recvfrom(70000)[0]
    except socket.timeout:
        return None


def rss_kib(pid):
    """The resident memory of a Unix process, from /proc."""
    with open(f"/proc/{pid}/status") as status:
        for row in status:
            if row.startswith("VmRSS:"):
                return int(row.split()[1])
    return None


def bmp_to_png(bmp_path, png_path):
    """Writes a 24-bit bottom-up BMP (the probe's --shot) as a PNG."""
    with open(bmp_path, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _planes, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        raise ValueError(f"{bmp_path}: {bits} bits a pixel")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = data[offset + y * stride: offset + y * stride + width * 3]
        rgb = bytearray(row)
        rgb[0::3], rgb[2::3] = row[2::3], row[0::3]
        rows.append(b"\0" + bytes(rgb))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(png_path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" +
                chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def need(*tools):
    missing = [t for t in tools if not (shutil.which(t) or os.path.exists(t))]
    if missing:
        print(f"FAIL: missing {' '.join(missing)} (scripts/windows.sh installs them)")
        sys.exit(1)
