"""What the Python tests share for reading a sender on a pseudo-terminal's far end."""

import os
import select
import time


def receive_messages(master, seconds, length, enough=None, forward=None):
    """Messages of length bytes read from master, each with the wall time its first
    byte came; within seconds, or as soon as enough have come. forward (a
    MonitorLine's feed) is handed every byte as it comes."""
    messages, pending, first_at = [], b"", 0.0
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and (enough is None or len(messages) < enough):
        ready, _, _ = select.select([master], [], [], 0.05)
        if not ready:
            continue
        now = time.time()
        try:
            data = os.read(master, 4096)
        except OSError:
            # EIO until the program has opened the line: select says ready at once,
            # and spinning on it would starve a slow start (Wine, an emulator) on a
            # busy machine.
            time.sleep(0.02)
            continue
        if forward is not None:
            forward(data)
        for byte in data:
            if not pending:
                first_at = now
            pending += bytes([byte])
            if len(pending) == length:
                messages.append((first_at, pending))
                pending = b""
    return messages
