#!/usr/bin/env python3
"""The sender's metrics file as Prometheus sees it: node_exporter's textfile
collector on a loopback port reads the folder the console program writes with
--metrics, on a pseudo-terminal that goes away and comes back.

Usage: node_exporter_scrape.py CHRONVANE32"""

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

PROGRAM = sys.argv[1]
EXPORTER = shutil.which("prometheus-node-exporter")
failures = []


def fail(text):
    print("FAIL: " + text, file=sys.stderr)
    failures.append(text)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def scrape(port):
    """{series text before the value: value} of one GET /metrics."""
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/metrics", timeout=5) as reply:
        text = reply.read().decode()
    series = {}
    for line in text.splitlines():
        if line and not line.startswith("#"):
            name, _, value = line.rpartition(" ")
            series[name] = float(value)
    return text, series


def value(series, prefix):
    found = [v for k, v in series.items() if k.startswith(prefix)]
    return found[0] if found else None


def wait_for(what, check, budget):
    """Polls check() (None: not yet) on the real clock until budget seconds pass."""
    end = time.monotonic() + budget
    while time.monotonic() < end:
        result = check()
        if result is not None:
            return result
        time.sleep(0.5)
    fail(f"{what}: not seen within {budget} s")
    return None


def main():
    if EXPORTER is None:
        print("FAIL: prometheus-node-exporter is missing: run scripts/deps", file=sys.stderr)
        return 1
    work = tempfile.mkdtemp(prefix="chronvane-metrics-")
    folder = os.path.join(work, "textfile")
    os.mkdir(folder)
    link = os.path.join(work, "com1")

    def point_link_at(target):
        fresh = link + ".new"
        if os.path.lexists(fresh):
            os.unlink(fresh)
        os.symlink(target, fresh)
        os.replace(fresh, link)

    master, slave = os.openpty()
    point_link_at(os.ttyname(slave))
    os.close(slave)
    port = free_port()
    exporter = subprocess.Popen(
        [EXPORTER, f"--web.listen-address=127.0.0.1:{port}", "--collector.disable-defaults",
         "--collector.textfile", f"--collector.textfile.directory={folder}"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    sender = subprocess.Popen([PROGRAM, "--console", "--device", "COM1=" + link,
                               "--metrics", folder],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    mtime_key = 'node_textfile_mtime_seconds{file="' + os.path.join(folder, "chronvane32_com1.prom")
    try:
        def sender_seen():
            try:
                _, series = scrape(port)
            except OSError:
                return None
            return series if value(series, "chronvane32_messages_sent_total") else None

        series = wait_for("the sender's series", sender_seen, 20)
        if series is None:
            return 1
        text, _ = scrape(port)
        print("\n".join(line for line in text.splitlines()
                        if "chronvane32" in line and not line.startswith("#")))
        for name in ["chronvane32_messages_late_total", "chronvane32_seconds_missed_total",
                     "chronvane32_reopens_total", "chronvane32_write_failures_total",
                     "chronvane32_device_open", "chronvane32_last_message_time_seconds",
                     "chronvane32_send_delay_max_seconds", "chronvane32_info", mtime_key]:
            if value(series, name) is None:
                fail(name + " is missing")
        if series.get('chronvane32_device_open{com="COM1",device="' + link + '"}') != 1:
            fail("chronvane32_device_open is not 1 with its device and com labels")

        # About one message a second, by the file's own times.
        first = (value(series, mtime_key), value(series, "chronvane32_messages_sent_total"))

        def ten_seconds_on():
            _, s = scrape(port)
            m = value(s, mtime_key)
            return (m, value(s, "chronvane32_messages_sent_total")) if m - first[0] >= 10 else None

        later = wait_for("the file written 10 s later", ten_seconds_on, 30)
        if later:
            rate = (later[1] - first[1]) / (later[0] - first[0])
            if not 0.8 <= rate <= 1.2:
                fail(f"sent grew by {rate:.2f} a second")

        # The device goes away (both ends close, the name is gone), then comes back.
        os.close(master)
        point_link_at("/nonexistent/chronvane-test-gone")
        wait_for("device_open 0",
                 lambda: True if value(scrape(port)[1], "chronvane32_device_open") == 0 else None, 20)
        # Plugged in again, with nobody on the line.
        master, slave = os.openpty()
        point_link_at(os.ttyname(slave))
        os.close(slave)
        wait_for("device_open 1 again",
                 lambda: True if value(scrape(port)[1], "chronvane32_device_open") == 1 else None, 20)
        if (value(scrape(port)[1], "chronvane32_reopens_total") or 0) < 1:
            fail("the reopen is not counted")

        # A stopped sender's file stops: its time holds while the collector goes on.
        sender.send_signal(signal.SIGSTOP)
        stopped_at = value(scrape(port)[1], mtime_key)
        end = time.monotonic() + 2 * 5 + 2
        while time.monotonic() < end:
            if value(scrape(port)[1], mtime_key) != stopped_at:
                fail("the file was written while the sender was stopped")
                break
            time.sleep(0.5)
        sender.send_signal(signal.SIGCONT)
        wait_for("the file written again after SIGCONT",
                 lambda: True if value(scrape(port)[1], mtime_key) != stopped_at else None, 15)
        sender.send_signal(signal.SIGTERM)
        status = sender.wait(10)
        if status != 0:
            fail(f"the sender ended with status {status}")
        os.close(master)
    finally:
        for process in (sender, exporter):
            if process.poll() is None:
                process.send_signal(signal.SIGCONT)
                process.kill()
                process.wait()
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
