#!/usr/bin/env python3
"""The Windows service under Wine's own service manager, COM1 a pseudo-terminal.

Installs the service with --install-service (8-bit protocol, COM1's device named),
checks what the service manager stored (command line, account, automatic start),
starts it with `net start`, checks the exact messages on the line, stops it with
`net stop` and checks that the port is free within 2 s of the stop request and the
service stopped, removes it with --uninstall-service and checks it is gone. What
the service wrote to the Event Log is read from Wine's event-log trace: Wine keeps
no Event Log to read back, but prints every entry on the "eventlog" debug channel.

Usage: service_e2e.py --root ROOT --exe chronvane32.exe
Restarts the prefix's wineserver twice (so that services.exe, and with it the
service, write that channel to a file of this test's), so run it alone.
"""

import os
import select
import subprocess
import tempfile
import threading
import time

from wine_harness import (WINE64, MonitorLine, PortLine, Prefix, native_monitor, restart_prefix,
                          run_test, whole_messages)
from wine_harness import fail as harness_fail

SERVICE = "Chronvane32-COM1"
EVENTLOG_CHANNELS = "-all,trace+eventlog,warn+eventlog,err+eventlog"
ENVIRONMENT_KEY = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment"


# Wine's event-log trace, shown with any failure: it says what the service saw.
TRACE = None


def fail(text):
    if TRACE and os.path.exists(TRACE):
        with open(TRACE, encoding="utf-8", errors="replace") as log:
            text += "\nWine's event-log trace:\n" + log.read()[-4000:]
    harness_fail(text)


class ServicePrefix(Prefix):
    def restart_server(self, trace_path=None):
        """Ends every Wine process of the prefix and starts it again. Its first
        program brings up services.exe, which passes its standard error and its
        WINEDEBUG on to every service it starts: with trace_path, Wine's event-log
        channel goes there."""
        env = {}
        if trace_path:
            env = {"CHRONVANE_WINE_SERVICES_LOG": trace_path,
                   "CHRONVANE_WINE_SERVICES_DEBUG": EVENTLOG_CHANNELS}
        if not restart_prefix(self.root, **env):
            fail("could not restart the Wine prefix")

    def start(self, *args):
        """One Windows program, not waited for; its output is dropped."""
        self.verify()
        return subprocess.Popen([WINE64] + list(args), env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Line(PortLine):
    """COM1 as a fresh pseudo-terminal, read all the time as a device would drain
    it: bytes left unread count as output the line holds up."""

    def __init__(self, root):
        super().__init__(root, "com1")
        self.path = self.device_path
        self.lock = threading.Lock()
        self.data = b""
        # Where the bytes go as well while a monitor reads along (read_reports).
        self.forward = None
        self.running = True
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        while self.running:
            ready, _, _ = select.select([self.master], [], [], 0.05)
            if not ready:
                continue
            try:
                chunk = os.read(self.master, 4096)
            except OSError:  # nobody has the far end open yet
                time.sleep(0.02)
                continue
            with self.lock:
                self.data += chunk
                if self.forward is not None:
                    self.forward(chunk)

    def take(self):
        with self.lock:
            data, self.data = self.data, b""
        return data

    def read(self, seconds):
        """What arrives from now for seconds."""
        self.take()
        time.sleep(seconds)
        return self.take()

    def read_reports(self, monitor_path, seconds):
        """The monitor's reports of what arrives from now for seconds."""
        monitor = MonitorLine(monitor_path)
        try:
            with self.lock:
                self.data = b""
                self.forward = monitor.feed
            time.sleep(seconds)
            with self.lock:
                self.forward = None
            return monitor.reports()
        finally:
            monitor.close()

    def holders(self):
        """Processes other than this one that have the line open."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            if int(pid) == os.getpid():
                continue
            try:
                fds = os.listdir("/proc/%s/fd" % pid)
            except OSError:
                continue
            for fd in fds:
                try:
                    if os.readlink("/proc/%s/fd/%s" % (pid, fd)) == self.path:
                        found.append(int(pid))
                        break
                except OSError:
                    pass
        return found

    def close(self, unassign=False):
        self.running = False
        self.reader.join()
        super().close(unassign)


def registry_value(prefix, name):
    status, out, _ = prefix.run("reg.exe", "query",
                                "HKLM\\System\\CurrentControlSet\\Services\\" + SERVICE,
                                "/v", name)
    for line in out.splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[0] == name:
            return parts[2].strip()
    return None


def e2e(args):
    monitor_path = native_monitor(args.monitor_build)
    with tempfile.TemporaryDirectory(prefix="chronvane-wine-service-") as workdir:
        prefix = ServicePrefix(args.root, workdir)
        trace = os.path.join(workdir, "eventlog.txt")
        global TRACE
        TRACE = trace
        line = Line(args.root)
        try:
            # services.exe starts each service with the system's environment from the
            # registry, not its own: the debug channel has to be named there too.
            prefix.run("reg.exe", "add", ENVIRONMENT_KEY, "/v", "WINEDEBUG", "/d", EVENTLOG_CHANNELS,
                       "/f")
            prefix.restart_server(trace)
            prefix.run(args.exe, "--uninstall-service", "all")

            status, out, err = prefix.run(args.exe, "--install-service", "-ostrel8",
                                          "--device", "COM1=\\\\.\\COM1", "--flow", "none")
            if status != 0 or "net start " + SERVICE not in out:
                fail("--install-service: status %d, output %r %r" % (status, out, err))
            command = registry_value(prefix, "ImagePath")
            wanted_tail = "--service -ostrel8 --device COM1=\\\\.\\COM1 --flow none"
            if not command or not command.endswith(wanted_tail) or "chronvane32" not in command:
                fail("stored command line %r, wanted one ending in %r" % (command, wanted_tail))
            for name, wanted in (("ObjectName", "NT AUTHORITY\\LocalService"),
                                 ("Start", "0x2"), ("DisplayName", "Chronvane32 COM1")):
                if registry_value(prefix, name) != wanted:
                    fail("%s is %r, not %r" % (name, registry_value(prefix, name), wanted))

            status, out, err = prefix.run("net.exe", "start", SERVICE)
            if status != 0:
                fail("net start: status %d, %r %r" % (status, out, err))
            if prefix.service_state(SERVICE) != "RUNNING":
                fail("after net start the service is %s" % prefix.service_state(SERVICE))
            count = whole_messages(line.read_reports(monitor_path, 3.5), "8-bit")
            if count < 2:
                fail("%d whole messages in 3.5 s" % count)
            # Installed again while it runs: the new options wait for a restart, and
            # the operator is told so rather than to start what already runs.
            status, out, err = prefix.run(args.exe, "--install-service", "-ostrel8",
                                          "--device", "COM1=\\\\.\\COM1", "--flow", "none")
            if status != 0 or "restart it for the new ones" not in out or \
                    "net stop " + SERVICE not in out:
                fail("--install-service while running: status %d, output %r %r" %
                     (status, out, err))

            # Timed from the start of net.exe, which asks at once and then waits for
            # the service in steps of its own. What a Wine program takes to start
            # and end on this machine right now (net.exe doing nothing) comes on top
            # of the 2 s: on a loaded machine that alone can take seconds, and one
            # such start is only a sample of the next (seen 0.1 s apart at a load of
            # 13 on two cores), so twice the sample is allowed for.
            began = time.monotonic()
            prefix.start("net.exe", "helpmsg", "1").wait(timeout=60)
            startup = 2 * (time.monotonic() - began)
            stopper = prefix.start("net.exe", "stop", SERVICE)
            asked = time.monotonic()
            while line.holders() and time.monotonic() - asked < 2.0 + startup:
                time.sleep(0.02)
            freed = time.monotonic() - asked
            if line.holders():
                fail("the port is still open %.1f s after net stop began (a Wine program "
                     "takes %.1f s to run here)" % (freed, startup))
            status = stopper.wait(timeout=60)
            if status != 0:
                fail("net stop: status %d" % status)
            state = prefix.service_state(SERVICE)
            deadline = time.monotonic() + 5
            while state != "STOPPED" and time.monotonic() < deadline:
                time.sleep(0.1)
                state = prefix.service_state(SERVICE)
            if state != "STOPPED":
                fail("after net stop the service is %s" % state)
            if line.read(1.5):
                fail("bytes on the line after the service stopped")

            status, out, err = prefix.run(args.exe, "--uninstall-service", "COM1")
            if status != 0 or "removed" not in out:
                fail("--uninstall-service COM1: status %d, %r %r" % (status, out, err))
            if prefix.service_state(SERVICE) is not None:
                fail("the service is still known after --uninstall-service")
            status, out, err = prefix.run(args.exe, "--uninstall-service", "COM1")
            if status != 1 or "no service " + SERVICE + " is installed" not in err:
                fail("removing it again: status %d, %r" % (status, err))

            with open(trace, encoding="utf-8", errors="replace") as log:
                # One line per entry: the entry's text as a C string.
                entries = [l for l in log if ":eventlog:ReportEventW L\"" in l]
            text = "".join(entries)
            for wanted in ("Service " + SERVICE + " started.", "COM1 opened successfully.",
                           "COM1 is \\\\\\\\.\\\\COM1", "Service " + SERVICE + " stopping"):
                if wanted not in text:
                    fail("no %r in the Event Log; it holds:\n%s" % (wanted, text))
            if "Transmitted" in text:
                fail("a Transmitted line reached the Event Log")
            print("service: installed, %d messages, port free %.2f s after net stop began "
                  "(a no-op Wine program: %.2f s), removed; %d Event Log entries" %
                  (count, freed, startup, len(entries)))
        finally:
            prefix.run(args.exe, "--uninstall-service", "all")
            prefix.run("reg.exe", "delete", ENVIRONMENT_KEY, "/v", "WINEDEBUG", "/f")
            # The next tests get a server whose services write nowhere of ours.
            prefix.restart_server()
            line.close(unassign=True)


if __name__ == "__main__":
    run_test(e2e)
