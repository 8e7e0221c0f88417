"""Running the launcher under Wine in a virtual display, and watching it from
inside: the common part of the end-to-end runner (tests/e2e/run), the 32-bit
smoke run and the demo (scripts/demo). Python 3 standard library only.
"""
import os
import shutil
import subprocess
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE64 = "/usr/lib/wine/wine64"
WINE32 = "/usr/lib/wine/wine"
WINESERVER = "/usr/lib/wine/wineserver"
# Wine's i386 loader runs here only through qemu-user, which by default keeps
# no room for the page Wine maps at 0x7ffe0000 (shared user data); reserving
# the 32-bit address space up front gives it that page.
QEMU_ENV = {"QEMU_RESERVED_VA": "0xf7000000"}
TOOLS64 = os.path.join(ROOT, "build", "win64", "e2e-tools")
PARTSET = os.path.join(ROOT, "dist", "bin", "partset")

TEMP_INSTALLER_NAME = "qvtmpins.exe"
PROBE_LOG_NAME = "probe-log.txt"
SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"


class Failure(Exception):
    pass


def set_maker():
    """The command that cuts an installer into a set: the authoring tool, so
    that the launcher is always tested on sets as their authors make them."""
    if not os.access(PARTSET, os.X_OK):
        raise Failure("%s is not built (cmake --build --preset host --target partset)"
                      % PARTSET)
    return [PARTSET]


def make_set(installer, name, out, launcher, disk="cd", part_size=None):
    command = set_maker() + ["split", installer, "--name", name, "--out", out,
                             "--disk", str(disk), "--launcher", launcher, "--force"]
    if part_size:
        command += ["--part-size", str(part_size)]
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        raise Failure("making the set failed: %s\n%s%s" % (" ".join(command), done.stdout,
                                                           done.stderr))
    return done.stdout


class VirtualDisplay:
    """An Xvfb server of our own for the whole run."""

    def __init__(self):
        if shutil.which("Xvfb") is None:
            raise Failure("Xvfb is not installed")
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise Failure("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()

    def screenshot(self, path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        subprocess.run(["import", "-display", self.display, "-window", "root", path],
                       check=True, capture_output=True)
        return path

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()


class WinePrefix:
    """A prefix with a floppy drive A: that can be "changed". arch "64": for
    x86_64 programs (wine64); "wow64": with the 32-bit side, for i686 programs,
    which the 32-bit loader runs emulated by qemu-user."""

    def __init__(self, path, display, fresh=True, tools=TOOLS64, arch="64"):
        self.path = path
        self.tools = tools
        self.loader = WINE64 if arch == "64" else WINE32
        self.env = dict(os.environ, WINEPREFIX=path, WINEDEBUG="-all", DISPLAY=display,
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        if arch == "wow64":
            self.env.update(QEMU_ENV)
        # The launcher's texts are Windows-1252; a Western European locale
        # gives Wine that ANSI code page, as a German Windows has.
        self.env["LANG"] = self.env["LC_ALL"] = "C.UTF-8"
        if fresh:
            shutil.rmtree(path, ignore_errors=True)
        subprocess.run([os.path.join(ROOT, "scripts", "make-wineprefix"), arch, path],
                       check=True)
        users = [u for u in os.listdir(os.path.join(path, "drive_c", "users"))
                 if u != "Public"]
        self.user = users[0] if len(users) == 1 else os.environ.get("USER", "root")

    # Paths, from both sides.
    def unix(self, windows_path):
        """C:\\x\\y -> PREFIX/drive_c/x/y (C: only)."""
        assert windows_path[:3].upper() == "C:\\"
        return os.path.join(self.path, "drive_c", *windows_path[3:].split("\\"))

    @property
    def temp_installer(self):
        return "C:\\users\\%s\\Temp\\%s" % (self.user, TEMP_INSTALLER_NAME)

    @property
    def probe_log(self):
        return os.path.join(self.path, "drive_c", PROBE_LOG_NAME)

    def insert_disk(self, directory):
        """Points A: at directory: for the programs in the prefix, a disk change."""
        link = os.path.join(self.path, "dosdevices", "a:")
        temporary = link + ".new"
        if os.path.lexists(temporary):
            os.remove(temporary)
        os.symlink(os.path.abspath(directory), temporary)
        os.replace(temporary, link)

    def kill_all(self):
        subprocess.run([WINESERVER, "-k"], env=self.env, capture_output=True)
        subprocess.run([WINESERVER, "-w"], env=self.env, capture_output=True)

    # Never a pipe for a Wine program's output: the wineserver and the
    # services that the first program of a prefix starts inherit it and keep
    # it open, so a reader would wait for its end for ever. Files end when the
    # program does.
    def start(self, program, *args):
        return subprocess.Popen([self.loader, program] + list(args), env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, program, *args, timeout=60):
        with tempfile.TemporaryFile() as out:
            done = subprocess.run([self.loader, program] + list(args), env=self.env, stdout=out,
                                  stderr=subprocess.DEVNULL, timeout=timeout)
            out.seek(0)
            done.stdout = out.read()
        return done

    def driver(self, *args, timeout=60):
        done = self.run(os.path.join(self.tools, "uidriver.exe"), *args, timeout=timeout)
        return done.returncode, done.stdout.decode("utf-8", "replace").rstrip("\n")

    def pending_renames(self):
        done = self.run("reg", "query", SESSION_MANAGER, "/v", "PendingFileRenameOperations")
        return done.stdout.decode("utf-8", "replace") if done.returncode == 0 else ""

    def clear_pending_renames(self):
        self.run("reg", "delete", SESSION_MANAGER, "/v", "PendingFileRenameOperations", "/f")


def parse_window(line):
    fields = line.split("\t")
    if fields[0] == "box" and len(fields) >= 4:
        return {"kind": "box", "caption": fields[2], "text": fields[3]}
    if fields[0] == "dialog" and len(fields) >= 4:
        return {"kind": "dialog", "caption": fields[2], "name": fields[3],
                "static": fields[4] if len(fields) > 4 else ""}
    return None


class LauncherRun:
    """One start of SETUP.EXE and what it shows until it ends."""

    def __init__(self, prefix, program):
        self.prefix = prefix
        self.process = prefix.start(program)

    def exited(self):
        return self.process.poll() is not None

    def wait_window(self, kind, timeout=30):
        """The first visible message box (kind "box") or progress dialog."""
        deadline = time.monotonic() + timeout
        while True:
            # In slices, so that a launcher that ended instead of asking is
            # noticed at once rather than at the deadline.
            status, line = self.prefix.driver("wait", kind, "3000")
            if status == 0:
                window = parse_window(line)
                if window is None:
                    raise Failure("unreadable window line %r" % line)
                return window
            if self.exited():
                raise Failure("SETUP.EXE ended (exit code %s) without showing a %s"
                              % (self.process.returncode, "message box" if kind == "box"
                                 else "dialog"))
            if time.monotonic() > deadline:
                raise Failure("no %s within %d s" % (kind, timeout))

    def windows(self):
        _, out = self.prefix.driver("list")
        return [w for w in (parse_window(line) for line in out.splitlines()) if w]

    def press(self, button):
        status, out = self.prefix.driver("press", button)
        if status != 0:
            raise Failure("pressing %s: %s" % (button, out))

    def finish(self, timeout=60):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            shown = self.windows()
            self.process.kill()
            raise Failure("SETUP.EXE still running after %d s; on screen: %s" % (timeout, shown))


def wait_for_file(path, timeout):
    deadline = time.monotonic() + timeout
    while not os.path.exists(path):
        if time.monotonic() > deadline:
            return False
        time.sleep(0.1)
    return True


def read_probe_log(path):
    record = {}
    with open(path, "rb") as f:
        for line in f.read().decode("cp1252").splitlines():
            key, _, value = line.partition("=")
            record[key] = value
    return record


def same_bytes(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()
