#!/usr/bin/env python3
"""The NMEA formats as a real receiver takes them: Debian's gpsd reads the console
program's sentences from a pseudo-terminal and reports, through gpspipe, the time
it took from them. While the (preloaded, test-decided) clock state is synchronised
gpsd's TPV carries the time sent; while it is not, the RMC says V and gpsd takes
neither a fix nor a time from it.

Usage: nmea_gpsd.py CHRONVANE32 CLOCK_STATE_SHIM"""

import json
import os
import re
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import tty

PROGRAM, SHIM = sys.argv[1], sys.argv[2]
failures = []


def fail(text):
    print("FAIL: " + text, file=sys.stderr)
    failures.append(text)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def raw_pty():
    master, slave = os.openpty()
    tty.setraw(slave)
    return master, slave, os.ttyname(slave)


class Relay(threading.Thread):
    """Carries what the sender writes on one pseudo-terminal to gpsd's, keeps a copy,
    and throws away what gpsd writes back (its probes)."""

    def __init__(self, sender_master, gpsd_master):
        super().__init__(daemon=True)
        self.sender, self.gpsd = sender_master, gpsd_master
        self.sent = bytearray()
        self.stop = False

    def run(self):
        while not self.stop:
            ready, _, _ = select.select([self.sender, self.gpsd], [], [], 0.2)
            for fd in ready:
                try:
                    data = os.read(fd, 4096)
                except OSError:
                    continue
                if fd == self.sender:
                    self.sent += data
                    os.write(self.gpsd, data)


def sent_times(data):
    """gpsd's form of every time an RMC carried: "2026-12-09T22:01:20"."""
    times = set()
    for m in re.finditer(rb"\$..RMC,(\d\d)(\d\d)(\d\d)\.00,[AV],,,,,,,(\d\d)(\d\d)(\d\d),", data):
        hh, mm, ss, dd, mo, yy = (x.decode() for x in m.groups())
        times.add(f"20{yy}-{mo}-{dd}T{hh}:{mm}:{ss}")
    return times


def run_case(fmt, state, budget):
    """What gpsd reported while the sender sent fmt in the given clock state."""
    print(f"--- --format {fmt}, clock {state}")
    work = tempfile.mkdtemp(prefix="nmea-gpsd-")
    port = free_port()
    sender_master, sender_slave, sender_path = raw_pty()
    gpsd_master, gpsd_slave, gpsd_path = raw_pty()
    # gpsd gives up root for an unprivileged user before it opens the device.
    os.chmod(gpsd_path, 0o666)
    relay = Relay(sender_master, gpsd_master)
    relay.start()
    procs = []
    reports = []
    try:
        # A control socket and a port of the test's own: a system gpsd is never touched.
        gpsd = subprocess.Popen(["gpsd", "-n", "-N", "-r", "-S", str(port),
                                 "-F", os.path.join(work, "control"), gpsd_path],
                                stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "gpsd.err"), "w"))
        procs.append(gpsd)
        # The shim is preloaded ahead of a sanitizer's runtime; it only wraps adjtimex.
        env = dict(os.environ, LD_PRELOAD=SHIM, CHRONVANE_TEST_CLOCK_STATE=state,
                   TZ="CET-1CEST,M3.5.0,M10.5.0/3",
                   ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0")
        sender = subprocess.Popen([PROGRAM, "--console", "--device", f"COM1={sender_path}",
                                   "--format", fmt], env=env, stdout=open(os.path.join(work, "sender.out"), "w"),
                                  stderr=subprocess.STDOUT)
        procs.append(sender)
        # gpsd listens a moment after it starts.
        deadline = time.monotonic() + 10
        pipe = None
        while time.monotonic() < deadline and pipe is None:
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                pipe = subprocess.Popen(["gpspipe", "-w", f"127.0.0.1:{port}"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                procs.append(pipe)
            except OSError:
                time.sleep(0.2)
        if pipe is None:
            fail(f"{fmt}/{state}: gpsd did not listen on port {port}: "
                 + open(os.path.join(work, "gpsd.err")).read())
            return [], b""
        os.set_blocking(pipe.stdout.fileno(), False)
        end = time.monotonic() + budget
        buffered = b""
        while time.monotonic() < end:
            ready, _, _ = select.select([pipe.stdout], [], [], 0.5)
            if ready:
                chunk = pipe.stdout.read() or b""
                buffered += chunk
                *lines, buffered = buffered.split(b"\n")
                for line in lines:
                    try:
                        report = json.loads(line)
                    except ValueError:
                        continue
                    if report.get("class") == "TPV":
                        reports.append(report)
                        print("gpsd:", line.decode())
        if sender.poll() is not None:
            fail(f"{fmt}/{state}: the sender ended early: " + open(os.path.join(work, "sender.out")).read())
        return reports, bytes(relay.sent)
    finally:
        for p in reversed(procs):
            p.terminate()
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
        relay.stop = True
        relay.join()
        for fd in (sender_master, sender_slave, gpsd_master, gpsd_slave):
            os.close(fd)
        shutil.rmtree(work, ignore_errors=True)


def main():
    for tool in ("gpsd", "gpspipe"):
        if shutil.which(tool) is None:
            print(f"FAIL: {tool} is missing: run scripts/deps (gpsd, gpsd-clients)", file=sys.stderr)
            return 1
    for fmt in ("nmea-rmc", "nmea"):
        reports, sent = run_case(fmt, "synchronised", 8)
        sent_at = sent_times(sent)
        if b",A,,,,,,," not in sent:
            fail(f"{fmt}: no RMC with A was sent while synchronised: {sent[:200]!r}")
        timed = [r for r in reports if "time" in r]
        if not timed:
            fail(f"{fmt}: gpsd reported no time while synchronised")
        for r in timed:
            if r["time"][:19] not in sent_at:
                fail(f"{fmt}: gpsd's time {r['time']} is none of those sent {sorted(sent_at)}")
        if fmt == "nmea" and b"ZDA," not in sent:
            fail("nmea: no ZDA was sent")

    reports, sent = run_case("nmea-rmc", "not-synchronised", 6)
    if b",V,,,,,,," not in sent:
        fail(f"nmea-rmc: no RMC with V was sent while not synchronised: {sent[:200]!r}")
    for r in reports:
        if "time" in r or r.get("mode", 0) >= 2:
            fail(f"nmea-rmc: gpsd took a time or fix from V: {r}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
