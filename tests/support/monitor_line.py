"""The wire read through the built monitor rather than restated here: a
pseudo-terminal of the test's own with chronvane32-monitor --json on its far end,
fed the bytes a sender's line delivers as they arrive, so that the monitor's
reports (the time carried, the protocol, every fault) are what a test judges."""

import json
import os
import pty
import select
import signal
import subprocess
import time
import tty


HERE = os.path.dirname(os.path.abspath(__file__))


def built_monitor(build_dir):
    """The path of chronvane32-monitor in the native build build_dir (a test that
    runs another architecture's program still reads the line natively), as
    scripts/program-path finds it: (path, "") or ("", why there is none)."""
    if not build_dir:
        return "", "--monitor-build is needed: the native monitor reads the line"
    result = subprocess.run([os.path.join(HERE, "..", "..", "scripts", "program-path"), build_dir,
                             "chronvane32-monitor"], stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if result.returncode != 0:
        return "", ("the monitor that reads the line is missing (build the ci preset first): " +
                    result.stderr.decode(errors="replace").strip())
    return result.stdout.decode().strip(), ""


class MonitorLine:
    """monitor: the path of chronvane32-monitor; options: more of its options
    (--advance MS); env: its environment (the sender's TZ, so that both agree on
    local time). Ready once the monitor has said its clock's state, which it does
    after it has opened the line and thrown away what was queued there (a warning
    about TZ comes before that)."""

    def __init__(self, monitor, options=(), env=None, ready_seconds=10):
        self.master, self._slave = pty.openpty()
        tty.setraw(self._slave)
        self.path = os.ttyname(self._slave)
        self.child = subprocess.Popen([monitor, "--json", *options, self.path], env=env,
                                      stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE)
        self._out = b""
        self.errors = b""
        deadline = time.monotonic() + ready_seconds
        while b"this computer's" not in self.errors:
            left = deadline - time.monotonic()
            ready, _, _ = select.select([self.child.stderr], [], [], max(left, 0))
            if not ready:
                self.close()
                raise RuntimeError("the monitor said nothing in %d s" % ready_seconds)
            chunk = os.read(self.child.stderr.fileno(), 4096)
            if not chunk:
                self.close()
                raise RuntimeError("the monitor ended at start: %s" %
                                   self.errors.decode(errors="replace").strip())
            self.errors += chunk

    def feed(self, data):
        """Passes bytes a sender's line delivered on to the monitor."""
        view = memoryview(data)
        while view:
            view = view[os.write(self.master, view):]

    def reports(self, count=None, seconds=2.0):
        """The monitor's reports so far, one dict per message, waiting up to seconds
        for count of them (or, without count, for seconds with none more coming)."""
        deadline = time.monotonic() + seconds
        fd = self.child.stdout.fileno()
        while True:
            got = self._out.count(b"\n")
            if count is not None and got >= count:
                break
            left = deadline - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([fd], [], [], min(left, 0.2))
            if ready:
                chunk = os.read(fd, 65536)
                if not chunk:
                    break
                self._out += chunk
            elif count is None and got > 0:
                break
        return [json.loads(line) for line in self._out.split(b"\n") if line]

    def close(self):
        """Ends the monitor (it gives the line up on SIGTERM); its exit status."""
        if self.child.poll() is None:
            self.child.send_signal(signal.SIGTERM)
        try:
            out, err = self.child.communicate(timeout=5)
        except subprocess.TimeoutExpired:
            self.child.kill()
            out, err = self.child.communicate()
        self._out += out or b""
        self.errors += err or b""
        for fd in (self.master, self._slave):
            try:
                os.close(fd)
            except OSError:
                pass
        return self.child.returncode


def carried_seconds(report):
    """The second of the day a report's message carries."""
    return report["hour"] * 3600 + report["minute"] * 60 + report["second"]
