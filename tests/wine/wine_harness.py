"""What the Wine tests share: the prefix that wine-prefix.sh prepared, the
environment a Windows program runs in there, running programs and asking the
service manager there, and pseudo-terminals standing in for the COM ports the
prefix maps to ROOT/ports/comN; what the tests check alike on the line, read
through the native monitor."""

import argparse
import os
import pty
import select
import statistics
import subprocess
import sys
import time
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from monitor_line import MonitorLine, built_monitor  # noqa: E402

WINE64 = "/usr/lib/wine/wine64"
HERE = os.path.dirname(os.path.abspath(__file__))

# The bytes of one 8-bit message, for reading a line by whole messages; what they
# mean is the monitor's to say.
DATETIME_LENGTH = 48


def fail(text):
    print("FAIL: " + text, file=sys.stderr)
    sys.exit(1)


def native_monitor(build_dir):
    """The path of chronvane32-monitor in the native build build_dir, which reads
    the tests' lines for them; refuses to go on when that build has none."""
    path, problem = built_monitor(build_dir)
    if problem:
        fail(problem)
    return path


def run_test(e2e):
    """The main of a test that takes the prefix's root and the program's .exe:
    calls e2e(args) with args.root prepared."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--monitor-build", help="the native build whose monitor reads lines")
    args = parser.parse_args()
    args.root = prepared_root(args.root)
    e2e(args)


def prepared_root(root):
    """ROOT as an absolute path; refuses to go on unless it holds a prepared prefix."""
    root = os.path.realpath(root)
    if not os.path.isfile(os.path.join(root, "prefix", ".chronvane-ready")):
        fail("no prepared Wine prefix under %s: run wine-prefix.sh prepare first" % root)
    return root


def verify_ports(root):
    """Refuses to go on unless COM1..COM4 of the prefix lead to ROOT/ports."""
    result = subprocess.run([os.path.join(HERE, "wine-prefix.sh"), "verify", root],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    if result.returncode != 0:
        fail("the prefix's COM ports do not lead to %s/ports" % root)


def restart_prefix(root, **env):
    """Ends every Wine process of the prefix and starts it again, with env on top
    of this process's environment; whether that worked."""
    with open(os.devnull, "wb") as null:
        return subprocess.run([os.path.join(HERE, "wine-prefix.sh"), "prepare", root],
                              stdin=subprocess.DEVNULL, stdout=null, stderr=null,
                              env=dict(os.environ, **env)).returncode == 0


def wine_env(root, **extra):
    """The environment of a program run in the prefix, with extra on top."""
    env = dict(os.environ)
    env.update({"WINEPREFIX": os.path.join(root, "prefix"), "WINEARCH": "win64",
                "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"})
    env.update(extra)
    return env


class Prefix:
    """Windows programs run in the prefix one after another, each one's output kept
    in workdir, and the COM ports checked before and after every run."""

    def __init__(self, root, workdir):
        self.root = root
        self.workdir = workdir
        self.env = wine_env(root)
        self.runs = 0

    def verify(self):
        verify_ports(self.root)

    def run(self, *args, timeout=120):
        """One Windows program; its status, standard output and error."""
        self.runs += 1
        out_path = os.path.join(self.workdir, "out%d.txt" % self.runs)
        err_path = os.path.join(self.workdir, "err%d.txt" % self.runs)
        self.verify()
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            status = subprocess.run([WINE64] + list(args), env=self.env,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                    timeout=timeout).returncode
        self.verify()
        with open(out_path, "rb") as out, open(err_path, "rb") as err:
            return (status, out.read().decode(errors="replace").replace("\r\n", "\n"),
                    err.read().decode(errors="replace"))

    def service_state(self, name):
        """The service's state as `sc query` gives it (RUNNING, STOPPED, ...), None
        when the service manager knows no service of that name."""
        status, out, _ = self.run("sc.exe", "query", name)
        for line in out.splitlines():
            if "STATE" in line:
                return line.split(":", 1)[1].split()[1]
        return None if status != 0 else "?"


def repoint(link, target):
    """Points the symbolic link at target in one step."""
    tmp = link + ".new"
    if os.path.lexists(tmp):
        os.unlink(tmp)
    os.symlink(target, tmp)
    os.replace(tmp, link)


class PortLine:
    """A fresh pseudo-terminal as the prefix's COMn: the program opens the device
    end through Wine, the test reads the other end (master, non-blocking)."""

    def __init__(self, root, port):
        verify_ports(root)
        self.root = root
        self.port = port
        self.master, device = pty.openpty()
        self.device_path = os.ttyname(device)
        tty.setraw(device)
        os.close(device)
        os.set_blocking(self.master, False)
        self.link = os.path.join(root, "ports", port)
        repoint(self.link, self.device_path)

    def check_was_ours(self):
        """Fails unless COMn still resolves to this terminal after the run."""
        verify_ports(self.root)
        resolved = os.path.realpath(os.path.join(self.root, "prefix", "dosdevices", self.port))
        if resolved != os.path.realpath(self.device_path):
            fail("%s resolved to %s, not the test's %s" %
                 (self.port.upper(), resolved, self.device_path))

    def close(self, unassign=False):
        os.close(self.master)
        if unassign:
            repoint(self.link, os.path.join(self.root, "ports", "unassigned"))


def line_reports(monitor_path, master, seconds):
    """The monitor's reports of what arrives on master within seconds, fed to it as
    it comes. What the line held before is left out: it would arrive late."""
    monitor = MonitorLine(monitor_path)
    try:
        while select.select([master], [], [], 0)[0]:
            try:
                os.read(master, 4096)
            except OSError:  # nobody has the far end open
                break
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            ready, _, _ = select.select([master], [], [], 0.05)
            if ready:
                try:
                    monitor.feed(os.read(master, 4096))
                except OSError:  # nobody has the far end open
                    time.sleep(0.02)
        return monitor.reports()
    finally:
        monitor.close()


def whole_messages(reports, protocol):
    """How many whole messages of protocol ("ese", "8-bit") the reports show; fails
    on any fault but the last message's being cut short where the reading stopped."""
    if reports and "message cut short" in reports[-1]["faults"]:
        reports = reports[:-1]
    bad = [r for r in reports if not r["sound"] or r["protocol"] != protocol]
    if bad:
        fail("the monitor found fault with %s" % bad)
    return len(reports)


def print_lateness(label, late_ms):
    """Prints p50, p99 and max of how late messages arrived after their change of
    second, in ms; fails when none came."""
    late = sorted(late_ms)
    if not late:
        fail("%s: no messages" % label)
    p99 = late[min(len(late) - 1, int(0.99 * (len(late) - 1) + 0.5))]
    print("wine %-6s %4d messages  p50 %6.3f ms  p99 %6.3f ms  max %6.3f ms" %
          (label, len(late), statistics.median(late), p99, late[-1]))
