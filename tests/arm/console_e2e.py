#!/usr/bin/env python3
"""The cross-built console program under qemu-user, COM1 a pseudo-terminal this
script owns: for each protocol, the exact bytes of every message that arrives, for
consecutive seconds, and SIGINT ending the program with status 0.

Usage: console_e2e.py -- EMULATOR... PROGRAM
The command after -- is how the target's program is started (the toolchain's
crossing emulator and the built chronvane32). How late a message comes is not
judged: under emulation it says nothing about the board.
"""

import os
import pty
import signal
import subprocess
import sys
import time
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from pty_messages import receive_messages  # noqa: E402

HEADER = bytes([0xF5, 0x00, 0x00, 0x03, 0x28])
FIRST_VARIABLE = 0x19
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
    return "CVT%s%02d:%02d" % (sign, abs(offset) // 60, abs(offset) % 60), ahead


def ese_bytes(local):
    return b"%02d:%02d:%02d   \r" % (local.tm_hour, local.tm_min, local.tm_sec)


def date_time_bytes(local):
    values = [local.tm_mon, local.tm_mday, (local.tm_wday + 1) % 7 + 1,
              local.tm_hour, local.tm_min, local.tm_sec]
    message = b""
    for i, value in enumerate(values):
        variable = FIRST_VARIABLE + i
        message += HEADER + bytes([variable, value, (0x03 + 0x28 + variable + value) & 0xFF])
    return message


def run(command, protocol, options, encode, length):
    master, slave = pty.openpty()
    tty.setraw(slave)
    tz, ahead = tz_for(10, 13)
    child = subprocess.Popen(command + ["--console", "--device", "COM1=" + os.ttyname(slave)]
                             + options,
                             env=dict(os.environ, TZ=tz), stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
    try:
        # Emulated start-up on a loaded machine can take seconds.
        messages = receive_messages(master, 20, length, enough=4)
    finally:
        child.send_signal(signal.SIGINT)
        try:
            out, err = child.communicate(timeout=15)
        except subprocess.TimeoutExpired:
            child.kill()
            out, err = child.communicate()
        os.close(master)
        os.close(slave)
    err = err.decode(errors="replace").strip()
    if len(messages) < 3:
        fail("%s: %d whole messages in 20 s; stderr: %s" % (protocol, len(messages), err))
        return
    seconds = []
    for at, message in messages:
        # The message names the second it was sent for; reading it may have taken
        # up to about a second more under emulation.
        candidates = {second: encode(time.gmtime(second + ahead * 60))
                      for second in range(int(at) - 2, int(at) + 2)}
        matched = [second for second, wanted in candidates.items() if wanted == message]
        if not matched:
            fail("%s: message %s is none of the ones due around then (%s)" %
                 (protocol, message.hex(" "),
                  encode(time.gmtime(int(at) + ahead * 60)).hex(" ")))
            return
        seconds.append(matched[0])
    if any(b - a != 1 for a, b in zip(seconds, seconds[1:])):
        fail("%s: messages not for consecutive seconds: %s" % (protocol, seconds))
    if child.returncode != 0:
        fail("%s: status %s after SIGINT; stderr: %s" % (protocol, child.returncode, err))
    if "COM1 opened successfully." not in out.decode(errors="replace"):
        fail("%s: no open line in the log: %r" % (protocol, out))
    print("%s: %d messages byte for byte, consecutive seconds, status %s" %
          (protocol, len(messages), child.returncode))


def main():
    if "--" not in sys.argv or sys.argv.index("--") == len(sys.argv) - 1:
        print(__doc__)
        sys.exit(2)
    command = sys.argv[sys.argv.index("--") + 1:]
    run(command, "ESE", [], ese_bytes, 12)
    run(command, "8-bit Date/Time", ["-ostrel8"], date_time_bytes, 48)
    if failures:
        sys.exit(1)


if __name__ == "__main__":
    main()
