#!/usr/bin/env python3
"""Stands in for a serial line: opens a pseudo-terminal, prints the device end's
path on one line, then appends everything written to it to the capture file until
it is terminated. The device end is not kept open here, so the program under test
is its only user and exclusive-use checks behave as on a real port."""
import errno
import os
import pty
import select
import signal
import sys
import time


def main() -> int:
    capture_path = sys.argv[1]
    controller, device = pty.openpty()
    path = os.ttyname(device)
    # Raw, so a carriage return reaches the capture unchanged.
    import tty
    tty.setraw(device)
    os.close(device)
    print(path, flush=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    with open(capture_path, "ab", buffering=0) as capture:
        while True:
            ready, _, _ = select.select([controller], [], [], 0.2)
            if not ready:
                continue
            try:
                data = os.read(controller, 4096)
            except OSError as error:
                # No one has the device end open right now.
                if error.errno != errno.EIO:
                    raise
                time.sleep(0.05)
                continue
            capture.write(data)


if __name__ == "__main__":
    sys.exit(main())
