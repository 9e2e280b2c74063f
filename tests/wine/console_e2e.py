#!/usr/bin/env python3
"""The Windows console program under Wine, COM1 a pseudo-terminal this script owns.

Checks, for each protocol, every message at the other end of the line as the
native monitor (chronvane32-monitor of the build --monitor-build names) reads it,
the line settings the program asked Wine for (recorded by a tcsetattr preload
shim, since a pseudo-terminal reports 8N1 whatever was asked), that Ctrl+C (SIGINT, which Wine
turns into CTRL_C_EVENT) ends it with status 0, and afterwards that COM1 really was
this script's pseudo-terminal; and that a COM port whose device is missing is
named as no such port, and a zone name in TZ is warned about.

Usage: console_e2e.py --root ROOT --exe chronvane32.exe --monitor-build NATIVE_BUILD
                      [--shim RECORDER.so] [--bench SECONDS]
ROOT is what `wine-prefix.sh prepare ROOT` made: its COM1 leads to ROOT/ports/com1,
which is re-pointed here at a fresh pseudo-terminal; the mapping is verified before
and after every run. Results go to files, never pipes: Wine's helper processes keep
inherited output open after the program has gone.
With --bench, measures instead how late each message's first byte arrives after the
change of second and prints p50/p99 (not a test).
"""

import argparse
import os
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from monitor_line import MonitorLine  # noqa: E402
from pty_messages import receive_messages  # noqa: E402
from wine_harness import (DATETIME_LENGTH, WINE64, PortLine, fail, native_monitor,  # noqa: E402
                          prepared_root, print_lateness, verify_ports, wine_env)

ESE_LENGTH = 12


def tz_for(hour, minute):
    """A TZ value (the C runtime's form, whole minutes) that makes local time
    hour:minute now, so that 0x0A and 0x0D appear as values in the 8-bit message."""
    # Two seconds on: the run's messages then span at most one change of minute.
    now = time.gmtime(time.time() + 2)
    utc = now.tm_hour * 60 + now.tm_min
    ahead = (hour * 60 + minute - utc) % (24 * 60)
    if ahead > 12 * 60:
        ahead -= 24 * 60
    # TZ counts west as positive: local = UTC - offset.
    offset = -ahead
    sign = "-" if offset < 0 else "+"
    return "CVT%s%02d:%02d" % (sign, abs(offset) // 60, abs(offset) % 60)


class Run:
    """One run of the program with COM1 on a fresh pseudo-terminal."""

    def __init__(self, args, workdir, extra_args, env_extra):
        self.line = PortLine(args.root, "com1")
        self.master = self.line.master
        self.slave_path = self.line.device_path
        self.shim_log = os.path.join(workdir, "tcsetattr.log")
        open(self.shim_log, "w").close()
        env = wine_env(args.root, LD_PRELOAD=args.shim, CHRONVANE_TCSETATTR_LOG=self.shim_log,
                       **env_extra)
        self.out_path = os.path.join(workdir, "stdout.txt")
        self.err_path = os.path.join(workdir, "stderr.txt")
        with open(self.out_path, "wb") as out, open(self.err_path, "wb") as err, open(
            os.devnull, "rb"
        ) as null:
            self.process = subprocess.Popen(
                [WINE64, args.exe, "--console"] + extra_args,
                stdin=null,
                stdout=out,
                stderr=err,
                env=env,
            )

    def receive(self, seconds, length, enough=None, forward=None):
        """Messages of length bytes, each with the wall time of its first byte; within
        seconds, or as soon as enough have come; each byte also to forward."""
        return receive_messages(self.master, seconds, length, enough, forward)

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        try:
            return self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None

    def check_port_was_ours(self):
        self.line.check_was_ours()

    def requested_settings(self):
        """The last termios the program asked for on our pseudo-terminal."""
        last = None
        with open(self.shim_log) as log:
            for line in log:
                fields = dict(f.split("=", 1) for f in line.split())
                if os.path.realpath(fields.get("device", "")) == os.path.realpath(self.slave_path):
                    last = fields
        return last

    def close(self):
        self.line.close()


def check_settings(run):
    settings = run.requested_settings()
    if settings is None:
        fail("the program never set the line (no tcsetattr on %s)" % run.slave_path)
    wanted = {"speed": "9600", "bits": "8", "parity": "none", "stop": "1", "crtscts": "0",
              "ixon": "0"}
    problems = ["%s=%s" % (k, settings.get(k)) for k, v in wanted.items() if settings.get(k) != v]
    if problems:
        fail("line settings asked for: " + " ".join(problems))


def e2e(args):
    monitor_path = native_monitor(args.monitor_build)
    with tempfile.TemporaryDirectory(prefix="chronvane-wine-e2e-") as workdir:
        for protocol, extra, length in (("ese", ["-com1"], ESE_LENGTH),
                                        ("8-bit", ["-com1", "-ostrel8"], DATETIME_LENGTH)):
            # Hour 10 and minute 13: 0x0A and 0x0D as values in the 8-bit message.
            tz = tz_for(10, 13)
            # The monitor judges every message (its framing, the time it carries
            # against the local time it came in, whether it was late) in the same zone.
            monitor = MonitorLine(monitor_path, env=dict(os.environ, TZ=tz))
            run = Run(args, workdir, extra, {"TZ": tz})
            try:
                # A loaded machine can take Wine seconds to start the program.
                messages = run.receive(15, length, enough=3, forward=monitor.feed)
                status = run.stop()
                run.check_port_was_ours()
                reports = monitor.reports(count=len(messages))
                with open(run.out_path, "rb") as out, open(run.err_path, "rb") as err:
                    output, errors = out.read().decode(errors="replace"), err.read().decode(
                        errors="replace")
                if len(messages) < 2:
                    fail("%s: %d messages in 15 s; stderr: %s" % (protocol, len(messages), errors))
                if len(reports) != len(messages):
                    fail("%s: %d messages came, the monitor reported %d: %s" %
                         (protocol, len(messages), len(reports), reports))
                bad = [r for r in reports if not r["sound"] or r["protocol"] != protocol]
                if bad:
                    fail("%s: the monitor found fault with %s" % (protocol, bad))
                if protocol == "8-bit" and not any(r["hour"] == 10 and r["minute"] == 13
                                                   for r in reports):
                    fail("no message carried hour 0x0A and minute 0x0D intact: %s" % reports)
                check_settings(run)
                if "COM1 opened successfully." not in output:
                    fail("%s: no open line in the log: %r" % (protocol, output))
                if status is None:
                    fail("%s: Ctrl+C did not end the program within 15 s" % protocol)
                if status != 0:
                    fail("%s: exit status %s after Ctrl+C; stderr: %s" % (protocol, status, errors))
                print("%s: %d messages, sound, line 9600 8N1 no flow control, status 0" %
                      (protocol, len(messages)))
            finally:
                run.close()
                monitor.close()


def missing_port(args):
    """COM2 of the prefix leads to a path that does not exist, as a port whose
    adapter is gone: the reason must say there is no such port, not that it is no
    serial port. Its TZ is a zone name, which the C runtime does not read: the
    program must say at start that UTC is in effect instead, as it does on Linux."""
    verify_ports(args.root)
    env = wine_env(args.root, TZ="Asia/Kolkata")
    with tempfile.TemporaryDirectory(prefix="chronvane-wine-missing-") as workdir:
        err_path = os.path.join(workdir, "stderr.txt")
        with open(err_path, "wb") as err, open(os.devnull, "r+b") as null:
            process = subprocess.Popen([WINE64, args.exe, "--console", "--device", "COM1=COM2"],
                                       stdin=null, stdout=null, stderr=err, env=env)
            wanted = "COM2: File not found (no such port on this computer"
            deadline = time.monotonic() + 10
            errors = ""
            while time.monotonic() < deadline and wanted not in errors:
                time.sleep(0.1)
                with open(err_path, "rb") as text:
                    errors = text.read().decode(errors="replace")
            process.send_signal(signal.SIGINT)
            try:
                process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        if wanted not in errors:
            fail("missing port: %r not in stderr: %r" % (wanted, errors))
        zone = 'chronvane32: time zone "Asia/Kolkata" is no rule the C runtime reads'
        if zone not in errors or "so UTC is in effect" not in errors:
            fail("TZ=Asia/Kolkata: no warning that UTC is in effect on stderr: %r" % errors)
        print("missing port: named as no such port; a zone name in TZ: warned, UTC")


def bench(args):
    with tempfile.TemporaryDirectory(prefix="chronvane-wine-bench-") as workdir:
        for protocol, extra, length in (("ESE", ["-com1"], ESE_LENGTH),
                                        ("8-bit", ["-com1", "-ostrel8"], DATETIME_LENGTH)):
            run = Run(args, workdir, extra, {"TZ": "UTC"})
            try:
                messages = run.receive(args.bench, length)
                run.stop()
                run.check_port_was_ours()
            finally:
                run.close()
            print_lateness(protocol, [(at - int(at)) * 1000 for at, _ in messages[1:]])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--monitor-build", help="the native build whose monitor reads the line")
    parser.add_argument("--shim", help="default: ROOT/tcsetattr-recorder.so")
    parser.add_argument("--bench", type=float)
    args = parser.parse_args()
    args.root = prepared_root(args.root)
    args.shim = args.shim or os.path.join(args.root, "tcsetattr-recorder.so")
    if args.bench:
        bench(args)
    else:
        if not args.monitor_build:
            fail("--monitor-build is needed: the native monitor reads the line")
        e2e(args)
        missing_port(args)


if __name__ == "__main__":
    main()
