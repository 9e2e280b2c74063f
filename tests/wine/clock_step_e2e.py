#!/usr/bin/env python3
"""The Windows console program under Wine when its wall clock is set, COM1 a
pseudo-terminal this script owns.

The program's wall clock is moved by a preloaded shim (wall_clock_shift.c) that
this script steers through a shared file; the monotonic clock, Wine's relative
timers with it, runs on, as when an operator or a time daemon sets the clock.
This machine's clock is never touched.

Each step is made right after a message, to a point half-way through a second of
the new time, forward and back. The first message after it must wait for the
next change of second of the new time, as on Linux, and carry that second: a
tick that still runs on the old slots sends it half-way through its second.

The second a message carries is read by the native monitor (its timing
judgements are not: its clock is this machine's, not the shifted one).

Usage: clock_step_e2e.py --root ROOT --exe chronvane32.exe --monitor-build NATIVE_BUILD
"""

import os
import select
import signal
import struct
import subprocess
import tempfile
import time

from wine_harness import (WINE64, HERE, MonitorLine, PortLine, fail, native_monitor, run_test,
                          wine_env)
from monitor_line import carried_seconds

ESE_LENGTH = 12
# Forward and back, each ending half-way through a second of the new time.
STEPS = (2, -2, 5, -5)
# The first message after a step must leave this early in its second. Without
# following the step it leaves 500 ms in or later (the step lands half-way through
# a second); the bound leaves the rest for a loaded machine's delays.
WITHIN_MS = 400


class ShiftedRun:
    def __init__(self, root, exe, workdir, monitor_path):
        self.shim = os.path.join(workdir, "wall-clock-shift.so")
        result = subprocess.run(["cc", "-std=c11", "-O2", "-shared", "-fPIC", "-o", self.shim,
                                 os.path.join(HERE, "wall_clock_shift.c"), "-ldl"],
                                stdin=subprocess.DEVNULL, capture_output=True, text=True)
        if result.returncode != 0:
            fail("cannot build the clock shim: %s" % result.stderr)
        self.shift_path = os.path.join(workdir, "shift")
        self.offset = 0
        with open(self.shift_path, "wb") as shift:
            shift.write(struct.pack("=q", 0))
        self.shift_fd = os.open(self.shift_path, os.O_RDWR)
        self.line = PortLine(root, "com1")
        self.err_path = os.path.join(workdir, "stderr.txt")
        env = wine_env(root, LD_PRELOAD=self.shim, CHRONVANE_CLOCK_SHIFT_FILE=self.shift_path,
                       TZ="UTC")
        with open(os.path.join(workdir, "stdout.txt"), "wb") as out, \
                open(self.err_path, "wb") as err:
            self.process = subprocess.Popen([WINE64, exe, "--console", "-com1"],
                                            stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                            env=env)
        self.pending = b""
        self.monitor = MonitorLine(monitor_path)
        self.received = 0

    def shifted(self, real):
        return real + self.offset / 1e9

    def set_offset(self, nanos):
        self.offset = nanos
        os.pwrite(self.shift_fd, struct.pack("=q", nanos), 0)

    def next_message(self, seconds):
        """The next whole message and the program's wall time when its first byte
        came; None when none came within seconds."""
        deadline = time.monotonic() + seconds
        first_at = None
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.line.master], [], [], 0.05)
            if not ready:
                continue
            now = self.shifted(time.time())
            try:
                data = os.read(self.line.master, 4096)
            except OSError:  # nobody has the far end open yet
                time.sleep(0.02)
                continue
            if not self.pending:
                first_at = now
            self.monitor.feed(data)
            self.pending += data
            if len(self.pending) >= ESE_LENGTH:
                message, self.pending = self.pending[:ESE_LENGTH], self.pending[ESE_LENGTH:]
                self.received += 1
                return first_at, message
        return None

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        try:
            self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.line.check_was_ours()
        self.line.close(unassign=True)
        os.close(self.shift_fd)
        self.monitor.close()

    def carried_second(self):
        """The second of the day the last message carried, as the monitor read it."""
        reports = self.monitor.reports(count=self.received)
        if len(reports) < self.received or reports[self.received - 1]["protocol"] != "ese":
            fail("message %d is not the monitor's ESE report %d: %s" %
                 (self.received, self.received, reports[-3:]))
        return carried_seconds(reports[self.received - 1])


def e2e(args):
    with tempfile.TemporaryDirectory(prefix="chronvane-wine-step-") as workdir:
        run = ShiftedRun(args.root, args.exe, workdir, native_monitor(args.monitor_build))
        figures = []
        try:
            # A loaded machine can take Wine seconds to start the program.
            if run.next_message(20) is None:
                with open(run.err_path, errors="replace") as err:
                    fail("no message in 20 s; stderr: %s" % err.read())
            for step in STEPS:
                if run.next_message(3) is None:
                    fail("no message before the %+d s step" % step)
                # Half-way through a second of the new time, from now.
                now = run.shifted(time.time())
                target = int(now) + step + 0.5
                run.set_offset(run.offset + int((target - now) * 1e9))
                got = run.next_message(3)
                if got is None:
                    fail("no message within 3 s of the %+d s step" % step)
                at, message = got
                into = (at - int(at)) * 1000
                figures.append(into)
                if run.carried_second() != int(at) % 86400:
                    fail("after the %+d s step a message for %r left at %.3f s into the day" %
                         (step, message, at % 86400))
                if into > WITHIN_MS:
                    fail("after the %+d s step the first message left %.0f ms into its second "
                         "(all steps so far: %s ms)" %
                         (step, into, ", ".join("%.0f" % f for f in figures)))
        finally:
            run.stop()
        print("clock steps %s s: the first message after each left %s ms into its second" %
              ("/".join("%+d" % s for s in STEPS), ", ".join("%.1f" % f for f in figures)))


if __name__ == "__main__":
    run_test(e2e)
