#!/usr/bin/env python3
"""The cross-built console program under qemu-user, COM1 a pseudo-terminal this
script owns: for each protocol, every message that arrives as the native monitor
reads it (sound, for consecutive seconds, in the sender's zone), and SIGINT ending
the program with status 0.

Usage: console_e2e.py --monitor-build NATIVE_BUILD -- EMULATOR... PROGRAM
The command after -- is how the target's program is started (the toolchain's
crossing emulator and the built chronvane32); NATIVE_BUILD holds the monitor. How
late a message comes is not judged beyond the second or two emulation may cost:
under emulation it says nothing about the board.
"""

import os
import pty
import signal
import subprocess
import sys
import time
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from monitor_line import MonitorLine, built_monitor  # noqa: E402
from pty_messages import receive_messages  # noqa: E402

failures = []


def fail(message):
    failures.append(message)
    print("FAILED: " + message)


def tz_for(hour, minute):
    """A POSIX TZ value that makes local time hour:minute now, so that 0x0A and 0x0D
    are values of the 8-bit message: a line that translated them would show."""
    now = time.gmtime(time.time() + 2)
    ahead = (hour * 60 + minute - (now.tm_hour * 60 + now.tm_min)) % (24 * 60)
    if ahead > 12 * 60:
        ahead -= 24 * 60
    offset = -ahead  # TZ counts west as positive
    sign = "-" if offset < 0 else "+"
    return "CVT%s%02d:%02d" % (sign, abs(offset) // 60, abs(offset) % 60)


def run(command, monitor_path, protocol, options, length):
    master, slave = pty.openpty()
    tty.setraw(slave)
    tz = tz_for(10, 13)
    monitor = MonitorLine(monitor_path, env=dict(os.environ, TZ=tz))
    child = subprocess.Popen(command + ["--console", "--device", "COM1=" + os.ttyname(slave)]
                             + options,
                             env=dict(os.environ, TZ=tz), stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
    try:
        # Emulated start-up on a loaded machine can take seconds.
        messages = receive_messages(master, 20, length, enough=4, forward=monitor.feed)
        reports = monitor.reports(count=len(messages))
    finally:
        child.send_signal(signal.SIGINT)
        try:
            out, err = child.communicate(timeout=15)
        except subprocess.TimeoutExpired:
            child.kill()
            out, err = child.communicate()
        os.close(master)
        os.close(slave)
        monitor.close()
    err = err.decode(errors="replace").strip()
    if len(messages) < 3:
        fail("%s: %d whole messages in 20 s; stderr: %s" % (protocol, len(messages), err))
        return
    if len(reports) != len(messages):
        fail("%s: %d messages came, the monitor reported %d: %s" %
             (protocol, len(messages), len(reports), reports))
        return
    # Reading a message may take up to about a second more under emulation: late is
    # no fault here, but the second it names must be about the one it came in.
    bad = [r for r in reports if r["protocol"] != protocol or
           [f for f in r["faults"] if f != "late"] or not -1000 < r["offset_ms"] < 3000]
    if bad:
        fail("%s: the monitor found fault with %s" % (protocol, bad))
    if protocol == "8-bit" and not any(r["hour"] == 10 and r["minute"] == 13 for r in reports):
        fail("no message carried hour 0x0A and minute 0x0D intact: %s" % reports)
    if child.returncode != 0:
        fail("%s: status %s after SIGINT; stderr: %s" % (protocol, child.returncode, err))
    if "COM1 opened successfully." not in out.decode(errors="replace"):
        fail("%s: no open line in the log: %r" % (protocol, out))
    print("%s: %d messages sound, consecutive seconds, status %s" %
          (protocol, len(messages), child.returncode))


def main():
    if "--" not in sys.argv or sys.argv.index("--") == len(sys.argv) - 1:
        print(__doc__)
        sys.exit(2)
    ours = sys.argv[1:sys.argv.index("--")]
    command = sys.argv[sys.argv.index("--") + 1:]
    build = ours[ours.index("--monitor-build") + 1] if "--monitor-build" in ours[:-1] else ""
    monitor_path, problem = built_monitor(build)
    if problem:
        print("FAILED: " + problem)
        sys.exit(1)
    run(command, monitor_path, "ese", [], 12)
    run(command, monitor_path, "8-bit", ["-ostrel8"], 48)
    if failures:
        sys.exit(1)


if __name__ == "__main__":
    main()
