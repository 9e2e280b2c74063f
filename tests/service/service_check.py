#!/usr/bin/env python3
"""The packaged service under a real systemd: boots a Debian root file system with
systemd-nspawn, installs the .deb in it and drives chronvane32@.service there, with a
pseudo-terminal of this script's own standing in for the serial device.

Run by scripts/service-check, which makes the root and the package; needs root.

The pseudo-terminal comes from a devpts instance of its own, bound into the
container as /dev/cvtest, so the device is /dev/cvtest/0 and the instance
chronvane32@cvtest-0. A fresh instance numbers its terminals from 0 and nobody else
opens terminals in it: closing the line's host end and opening a new one brings back
the same device (136:0), which is what the unit's DeviceAllow= admits. That is how a
USB adapter pulled out and plugged in again looks to the program.

udev does not run in a container, so the device unit the packaged unit binds to
never appears there: the test runs a copy of the packaged unit without its two
device lines (BindsTo=, After=), put in /etc/systemd/system, and nothing else
changed. The drop-in it adds sets TZ=UTC so that this script knows which time to
expect, and later the protocol option, as an operator would.
"""
import argparse
import fcntl
import json
import os
import re
import resource
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time

DEVICE_DIR = "/dev/cvtest"
DEVICE = DEVICE_DIR + "/0"
UNIT = "chronvane32@cvtest-0.service"
PACKAGED_UNIT = "/usr/lib/systemd/system/chronvane32@.service"
TEST_UNIT = "/etc/systemd/system/chronvane32@.service"
DROP_IN_DIR = f"/etc/systemd/system/{UNIT}.d"
# Linux's ioctls for a pseudo-terminal's master: unlock the device end, ask its number.
TIOCSPTLCK = 0x40045431
TIOCGPTN = 0x80045430
TIOCGEXCL = 0x80045440
PACKET_HEADER = bytes([0xF5, 0x00, 0x00, 0x03, 0x28])
# How late after the change of second a message may start, as seen from the host.
ON_TIME = 0.002
LATE_AT_MOST = 0.010

HERE = os.path.dirname(os.path.abspath(__file__))
METRICS_DIR = "/var/lib/prometheus/node-exporter"
METRICS_DROP_IN = "/etc/systemd/system/chronvane32@.service.d/metrics.conf"

failures = []


def message_id(kind):
    """The journal's MESSAGE_ID for a kind, from the program's own table."""
    table = open(os.path.join(HERE, "..", "..", "src", "service", "event_ids.h")).read()
    found = re.search(r"LogKind::%s:\s*return EventIds\{\"([0-9a-f]{32})\"" % kind, table)
    return found.group(1) if found else None


def check(ok, what, detail=""):
    print(("  ok: " if ok else "  FAILED: ") + what + (f"\n    {detail}" if detail and not ok else ""),
          flush=True)
    if not ok:
        failures.append(what)
    return ok


class Line:
    """The host's end of the serial line: reads everything that arrives, with the
    time it arrived, on a real-time thread of its own, so that the arrival times
    say when the program sent and not when this script got round to reading."""

    def __init__(self, devpts):
        self.devpts = devpts
        self.lock = threading.Lock()
        self.chunks = []  # (arrival time, bytes)
        self.master = None
        self.stop = False
        self.open()
        self.thread = threading.Thread(target=self.read_loop, daemon=True)
        self.thread.start()

    def open(self):
        master = os.open(os.path.join(self.devpts, "ptmx"), os.O_RDWR | os.O_NOCTTY)
        fcntl.ioctl(master, TIOCSPTLCK, struct.pack("i", 0))
        number = struct.unpack("i", fcntl.ioctl(master, TIOCGPTN, struct.pack("i", 0)))[0]
        if number != 0:
            os.close(master)
            return False
        with self.lock:
            self.master = master
        return True

    def exclusive(self):
        """Whether the device end's exclusive flag (TIOCEXCL) is set. It lives on
        while this end is open, as it does on a serial line a monitor holds, so a
        program killed without giving it up would lock every new instance out.
        Asked through a descriptor of the device end, which root may open whatever
        the flag says; the program never sees it (it looks only at other holders
        when it finds the flag set, and the flag is clear here whenever it opens)."""
        device = os.open(os.path.join(self.devpts, "0"), os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            return struct.unpack("i", fcntl.ioctl(device, TIOCGEXCL, struct.pack("i", 0)))[0] != 0
        finally:
            os.close(device)

    def close(self):
        with self.lock:
            master, self.master = self.master, None
        if master is not None:
            os.close(master)

    def read_loop(self):
        try:
            os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(20))
        except OSError:
            pass
        while not self.stop:
            with self.lock:
                master = self.master
            if master is None:
                time.sleep(0.01)
                continue
            try:
                ready, _, _ = select.select([master], [], [], 0.05)
                if not ready:
                    continue
                data = os.read(master, 4096)
                now = time.time()
            except OSError:
                # EIO while no one has the device end open (the service between
                # two runs); EBADF when the end was just closed.
                time.sleep(0.01)
                continue
            with self.lock:
                self.chunks.append((now, data))

    def take(self):
        with self.lock:
            chunks, self.chunks = self.chunks, []
        return chunks

    def wait_for_bytes(self, timeout):
        """The time the first byte arrives after now, or None."""
        end = time.monotonic() + timeout
        self.take()
        while time.monotonic() < end:
            with self.lock:
                if self.chunks:
                    return self.chunks[0][0]
            time.sleep(0.01)
        return None


def ese_expected(t):
    tm = time.gmtime(t)
    return b"%02d:%02d:%02d   \r" % (tm.tm_hour, tm.tm_min, tm.tm_sec)


def date_time_expected(t):
    tm = time.gmtime(t)
    weekday = (tm.tm_wday + 1) % 7 + 1  # one-based from Sunday
    values = [tm.tm_mon, tm.tm_mday, weekday, tm.tm_hour, tm.tm_min, tm.tm_sec]
    out = b""
    for k, value in enumerate(values):
        variable = 0x19 + k
        out += PACKET_HEADER + bytes([variable, value, (0x03 + 0x28 + variable + value) % 256])
    return out


def messages(chunks, length):
    """Splits what arrived into messages of length bytes, each with the arrival time
    of its first byte; a tail shorter than a message is left out."""
    data, stamps = b"", []
    for stamp, chunk in chunks:
        stamps += [stamp] * len(chunk)
        data += chunk
    return [(stamps[i], data[i:i + length]) for i in range(0, len(data) - length + 1, length)]


def check_messages(label, chunks, length, expected):
    found = messages(chunks, length)
    wrong = [(t, m) for t, m in found if m != expected(t)]
    offsets = sorted((t - int(t)) * 1000 for t, _ in found)
    figures = (f"{len(found)} messages, first byte {offsets[0]:.2f} to {offsets[-1]:.2f} ms "
               f"after the change of second" if found else "no messages")
    check(len(found) >= 3 and not wrong,
          f"{label}: exact messages for the second they arrive in ({figures})",
          f"wrong: {[(round(t, 3), m) for t, m in wrong[:3]]}")
    # A pseudo-terminal hands bytes to its reader through a kernel work queue at
    # normal priority, which a loaded machine delays by a few milliseconds whatever
    # the sender does; a sender that is late itself is late every second. So the
    # rule holds for three messages in four, and none may be later than LATE_AT_MOST.
    late = [x for x in offsets if x >= ON_TIME * 1000]
    check(found and len(late) * 4 <= len(found) and offsets[-1] < LATE_AT_MOST * 1000,
          f"{label}: starts within {ON_TIME * 1000:.0f} ms of a change of second"
          + (f" ({len(late)} of {len(found)} later, at most {offsets[-1]:.2f} ms: the host's delivery)"
             if late else ""),
          f"late: {[round(x, 2) for x in late]} ms")
    return found


class Container:
    def __init__(self, root, devpts, log):
        self.log = open(log, "w")
        self.nspawn = subprocess.Popen(
            # nspawn's own allow list leaves out the clock calls unless the container
            # may set the clock; a real machine has no such list, so the read-only
            # calls the unit allows are let through here too (CAP_SYS_TIME is not).
            ["systemd-nspawn", "-q", "--register=no", "--keep-unit", "-D", root, "--boot",
             "--console=pipe", f"--bind={devpts}:{DEVICE_DIR}",
             "--system-call-filter=adjtimex clock_adjtime clock_adjtime64"],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT)
        self.init = None

    def find_init(self, timeout=30):
        """The container's PID 1, as the host numbers it: a descendant of nspawn whose
        own PID namespace calls it 1."""
        end = time.monotonic() + timeout
        while time.monotonic() < end and self.nspawn.poll() is None:
            parents = {}
            for entry in os.listdir("/proc"):
                if not entry.isdigit():
                    continue
                try:
                    status = open(f"/proc/{entry}/status").read()
                except OSError:
                    continue
                ppid = int(re.search(r"^PPid:\s+(\d+)", status, re.M).group(1))
                nspid = re.search(r"^NSpid:\s+(.*)$", status, re.M).group(1).split()
                parents[int(entry)] = (ppid, nspid)
            for pid, (ppid, nspid) in parents.items():
                if len(nspid) > 1 and nspid[-1] == "1":
                    ancestor = ppid
                    while ancestor in parents and ancestor != self.nspawn.pid:
                        ancestor = parents[ancestor][0]
                    if ancestor == self.nspawn.pid:
                        self.init = pid
                        return True
            time.sleep(0.1)
        return False

    def run(self, *command, timeout=30, check_status=False):
        """A command inside the container; returns (status, output)."""
        result = subprocess.run(
            ["nsenter", "-t", str(self.init), "-m", "-u", "-i", "-n", "-p", "-C", "-r", "-w",
             "env", "-i", "PATH=/usr/sbin:/usr/bin:/sbin:/bin", "SYSTEMD_PAGER=",
             "SYSTEMD_COLORS=0", "LANG=C.UTF-8", *command],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            text=True, timeout=timeout)
        if check_status and result.returncode != 0:
            raise RuntimeError(f"{' '.join(command)}: status {result.returncode}: {result.stdout}")
        return result.returncode, result.stdout

    def shell(self, script, **kwargs):
        return self.run("sh", "-c", script, **kwargs)

    def show(self, *properties):
        _, out = self.run("systemctl", "show", UNIT, *[f"-p{p}" for p in properties])
        return dict(line.split("=", 1) for line in out.splitlines() if "=" in line)

    def power_off(self):
        if self.nspawn.poll() is None and self.init:
            subprocess.run(["nsenter", "-t", str(self.init), "-m", "-p", "-r", "-w",
                            "systemctl", "--no-block", "poweroff"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.nspawn.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.nspawn.kill()
            self.nspawn.wait()
        self.log.close()


def wait_until(predicate, timeout, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


def main_pid(container):
    return int(container.show("MainPID").get("MainPID", "0"))


def scheduling(container, pid):
    """(policy, priority, locked kB) of a process in the container."""
    _, stat = container.run("cat", f"/proc/{pid}/stat")
    fields = stat[stat.rindex(")") + 2:].split()
    # After the command: field 3 is the state, so field n sits at n - 3.
    priority, policy = int(fields[40 - 3]), int(fields[41 - 3])
    _, status = container.run("cat", f"/proc/{pid}/status")
    locked = re.search(r"^VmLck:\s+(\d+)", status, re.M)
    return policy, priority, int(locked.group(1)) if locked else 0


def run_checks(container, line, deb, results):
    print("=== service-check: inside the container", flush=True)
    status, out = container.run("dpkg", "-i", deb, timeout=120)
    if not check(status == 0, "dpkg -i the package (postinst under a running systemd)", out):
        return
    # The copy without the device lines (see the top of this file).
    container.shell(
        f"sed '/^BindsTo=dev-%i.device$/d; /^After=dev-%i.device$/d' {PACKAGED_UNIT} > {TEST_UNIT}"
        f" && mkdir -p {DROP_IN_DIR} && printf '[Service]\\nEnvironment=TZ=UTC\\n' > {DROP_IN_DIR}/zone.conf"
        " && systemctl daemon-reload", check_status=True)
    _, removed = container.shell(f"diff {PACKAGED_UNIT} {TEST_UNIT} | grep -c '^<'")
    check(removed.strip() == "2", "the test's unit differs from the packaged one by the two device lines only")

    # Start: Type=notify, so start returns once the program said READY.
    line.take()
    started = time.monotonic()
    status, out = container.run("systemctl", "start", UNIT, timeout=20)
    elapsed = time.monotonic() - started
    active = container.show("ActiveState")["ActiveState"]
    check(status == 0 and active == "active" and elapsed < 5,
          f"systemctl start {UNIT}: {active} after {elapsed:.2f} s", out)
    results["start"] = f"{elapsed:.2f} s"
    time.sleep(4.2)
    check_messages("ESE", line.take(), 12, ese_expected)

    props = container.show("StatusText", "NotifyAccess", "WatchdogUSec", "Type")
    text = props.get("StatusText", "")
    results["status"] = text
    sent = re.search(r"last sent (\d\d:\d\d:\d\d)", text)
    recent = sent and abs(time.time() % 86400 - sum(
        int(x) * f for x, f in zip(sent.group(1).split(":"), (3600, 60, 1)))) < 5
    clock = re.search(r"; clock (synchronised|not synchronised|state unknown)$", text)
    check(text.startswith(DEVICE + ": sending; ESE; ") and bool(recent) and bool(clock),
          f"StatusText names the device, the protocol, the last time sent and the clock's "
          f"state: \"{text}\"")
    check(props.get("Type") == "notify" and props.get("NotifyAccess") == "main",
          f"Type={props.get('Type')}, NotifyAccess={props.get('NotifyAccess')}, "
          f"WatchdogUSec={props.get('WatchdogUSec')}")

    pid = main_pid(container)
    policy, priority, locked = scheduling(container, pid)
    check(policy == 1 and priority == 10, f"runs SCHED_FIFO at priority 10 (policy {policy}, priority {priority})")
    host_limit = resource.getrlimit(resource.RLIMIT_MEMLOCK)[1]
    memlock_limited = host_limit != resource.RLIM_INFINITY
    if memlock_limited:
        # The unit asks for LimitMEMLOCK=infinity, which this machine cannot give
        # even to root: the program then rightly runs unlocked and says so.
        print(f"  note: this machine caps locked memory at {host_limit // 1024} KiB even for root, "
              f"so LimitMEMLOCK=infinity cannot be honoured here: memory locking not checked "
              f"(locked: {locked} kB)")
    else:
        check(locked > 0, f"memory locked ({locked} kB)")

    # The other protocol, as an operator sets it.
    container.shell(f"printf '[Service]\\nEnvironment=CHRONVANE32_OPTIONS=-ostrel8\\n' > "
                    f"{DROP_IN_DIR}/protocol.conf && systemctl daemon-reload && systemctl restart {UNIT}",
                    check_status=True)
    line.take()
    time.sleep(4.2)
    check_messages("8-bit Date/Time", line.take(), 48, date_time_expected)
    text = container.show("StatusText")["StatusText"]
    check("; 8-bit Date/Time; " in text, f"StatusText after the change: \"{text}\"")

    # A stalled tick: the watchdog restarts the program. The stopped process holds
    # the line's exclusive flag; nothing here clears it: the program must give it
    # up as the watchdog ends it, or the new instance is refused for good.
    pid = main_pid(container)
    container.run("sh", "-c", f"kill -STOP {pid}", check_status=True)
    stopped = time.time()
    line.take()
    time.sleep(0.5)
    quiet = not line.take()
    back = line.wait_for_bytes(15)
    restarts = container.show("NRestarts", "ActiveState")
    _, journal = container.run("journalctl", "-u", UNIT, "--no-pager", "-o", "cat")
    check(quiet, "kill -STOP: nothing is sent while the process is stopped")
    check(back is not None and back - stopped <= 10,
          f"kill -STOP of the main process: messages again {back - stopped:.1f} s later, "
          f"the new instance not locked out" if back else
          "kill -STOP of the main process: messages again within 15 s "
          f"(exclusive flag {'still set' if line.exclusive() else 'clear'})",
          "\n    ".join(l for l in journal.splitlines()[-8:]))
    check(restarts.get("NRestarts") == "1" and "Watchdog timeout" in journal,
          f"the watchdog restarted it (NRestarts={restarts.get('NRestarts')}, "
          f"{'Watchdog timeout in the journal' if 'Watchdog timeout' in journal else 'no watchdog timeout logged'})")
    results["restart"] = f"{back - stopped:.1f} s" if back else "none within 15 s"
    time.sleep(1.5)

    # A stray ending signal, sent by anyone but systemctl stop: the program ends
    # cleanly (status 0), and a time source must still come back.
    for number, name in ((15, "SIGTERM"), (1, "SIGHUP")):
        before = container.show("NRestarts", "MainPID")
        # Never "kill 0": that would signal this script's own process group.
        if not check(int(before.get("MainPID", "0")) > 0, f"a main process to send {name} to"):
            break
        container.shell(f"kill -{number} {before['MainPID']}", check_status=True)
        sent = time.time()
        restarted = wait_until(lambda: (lambda p: p if p.get("NRestarts") != before.get("NRestarts")
                                        and p.get("ActiveState") == "active" else None)(
            container.show("NRestarts", "ActiveState", "MainPID")), 10, step=0.1)
        back = line.wait_for_bytes(5) if restarted else None
        check(bool(restarted) and back is not None,
              f"a stray {name} to the main process: restarted (NRestarts {before.get('NRestarts')} -> "
              f"{restarted.get('NRestarts')}), messages again {back - sent:.1f} s later"
              if restarted and back else f"a stray {name} to the main process: restarted and sending "
              "within 15 s", str(container.show("NRestarts", "ActiveState", "Result")))
        results[f"stray {name}"] = f"{back - sent:.1f} s" if back else "not back"
    time.sleep(1.5)

    # The line goes away and comes back.
    line.close()
    gone = wait_until(lambda: (lambda t: t if re.search(r": (reopening|cannot open)", t) else "")(
        container.show("StatusText")["StatusText"]), 5)
    check(bool(gone), f"host end closed: the status says so: \"{gone}\"")
    results["gone"] = gone
    reopened = wait_until(line.open, 5, step=0.1)
    check(reopened, "a new terminal takes the device's place")
    back = line.wait_for_bytes(5) if reopened else None
    text = wait_until(lambda: (lambda t: t if ": sending;" in t else "")(
        container.show("StatusText")["StatusText"]), 3)
    check(back is not None and bool(text),
          f"messages again on the new terminal, status \"{text}\"")

    # Stop: the device is free at once and the stop is clean.
    started = time.monotonic()
    container.run("systemctl", "stop", UNIT, timeout=20)
    elapsed = time.monotonic() - started
    free = device_free(container)
    props = container.show("ActiveState", "Result", "ExecMainStatus")
    _, status_text = container.run("systemctl", "status", "--no-pager", "-n", "0", UNIT)
    results["stopped"] = status_text
    left_claimed = line.exclusive()
    check(free and not left_claimed and elapsed <= 2,
          f"systemctl stop returned after {elapsed:.2f} s and the device is free"
          f"{' but still claimed for exclusive use' if left_claimed else ', its exclusive flag clear'}")
    check(props == {"ActiveState": "inactive", "Result": "success", "ExecMainStatus": "0"},
          f"a clean stop: {props}", status_text)

    check_security(container, results, "security")
    check_metrics_and_events(container, results)
    check_security(container, results, "security with metrics")

    _, journal = container.run("journalctl", "-b", "--no-pager", "-o", "cat", "-u", UNIT)
    _, unit_warnings = container.shell("journalctl -b --no-pager -o cat | grep -F 'chronvane32@.service:' || true")
    allowed = [
        # systemd's own, inside a container only: PrivateNetwork= cannot bring the
        # loopback device up there.
        r"Failed to configure loopback network device",
        # A stopped process cannot answer the watchdog: what the test made happen.
        r"Watchdog timeout|Killing process .* with signal SIGTERM|Failed with result 'watchdog'",
    ]
    if memlock_limited:
        allowed.append(r"^chronvane32: memory not locked")
    suspicious = re.compile(r"EPERM|not permitted|Bad system call|SIGSYS|real-time|normal priority|"
                            r"memory not locked|Permission denied|warning|ignoring|unknown", re.I)
    bad = [l for l in (journal + unit_warnings).splitlines()
           if suspicious.search(l) and not any(re.search(a, l) for a in allowed)]
    check(not bad, "the journal has no warning a correctly installed service should not have",
          "\n    ".join(bad[:10]))
    results["journal"] = journal

    # A bad option is no fault that restarting can cure: status 2, not restarted.
    container.shell(f"printf '[Service]\\nEnvironment=CHRONVANE32_OPTIONS=--no-such-option\\n' > "
                    f"{DROP_IN_DIR}/protocol.conf && systemctl daemon-reload && systemctl reset-failed {UNIT}; true")
    container.run("systemctl", "start", UNIT, timeout=20)
    time.sleep(3)
    props = container.show("ActiveState", "ExecMainStatus", "NRestarts")
    check(props == {"ActiveState": "failed", "ExecMainStatus": "2", "NRestarts": "0"},
          f"a bad option ends with status 2 and is not restarted: {props}")
    container.shell(f"rm {DROP_IN_DIR}/protocol.conf && systemctl daemon-reload && systemctl reset-failed {UNIT}",
                    check_status=True)

    # Removing the package stops what runs.
    container.run("systemctl", "start", UNIT, timeout=20)
    status, out = container.run("dpkg", "--purge", "chronvane32", timeout=60)
    active = container.show("ActiveState")["ActiveState"]
    check(status == 0 and active != "active",
          f"dpkg --purge stops a running instance (prerm through deb-systemd-invoke): {active}", out)


def check_security(container, results, label):
    status, out = container.run("systemd-analyze", "security", "--no-pager", UNIT)
    # The whole line, rating word included: the README and the manual quote it.
    level = re.search(r"Overall exposure level for \S+: (\d+\.\d+)\s+\S+", out)
    results[label] = level.group(0) if level else out[-300:]
    check(level is not None and float(level.group(1)) <= 1.0,
          f"systemd-analyze {label}: {level.group(1) if level else '?'} (at most 1.0)", out[-600:])


def check_metrics_and_events(container, results):
    """The packaged metrics drop-in, installed as its own lines tell the admin to,
    and the journal's structured events of the run it makes."""
    # The instance's own protocol drop-in would replace the options this one sets.
    status, out = container.shell(
        f"rm -f {DROP_IN_DIR}/protocol.conf && mkdir -p {METRICS_DIR} && chgrp dialout {METRICS_DIR} && chmod g+w {METRICS_DIR}"
        f" && install -D -m 0644 /usr/share/doc/chronvane32/metrics.conf.example {METRICS_DROP_IN}"
        f" && systemctl daemon-reload && systemctl start {UNIT}")
    if not check(status == 0, "the metrics drop-in installed as its example says, the service started", out):
        return
    found = wait_until(lambda: container.shell(f"ls {METRICS_DIR}/chronvane32_*.prom 2>/dev/null")[1].strip(),
                       12, step=0.2)
    _, metrics = container.shell(f"cat {METRICS_DIR}/chronvane32_*.prom 2>/dev/null; true")
    check(bool(found) and "chronvane32_" in metrics,
          f"the service writes {found or 'no .prom file'} into {METRICS_DIR}",
          container.run("journalctl", "-u", UNIT, "-n", "5", "--no-pager", "-o", "cat")[1])
    results["metrics"] = metrics

    opened = message_id("Opened")
    if not check(opened is not None, "the table in src/service/event_ids.h gives \"opened\" a MESSAGE_ID"):
        return
    _, verbose = container.run("journalctl", "--no-pager", "-o", "verbose", f"MESSAGE_ID={opened}")
    results["opened event"] = verbose
    fields = dict(re.findall(r"^\s+([A-Z0-9_]+)=(.*)$", verbose, re.M))
    check(fields.get("DEVICE") == "COM1" and fields.get("DEVICE_PATH") == DEVICE
          and fields.get("CHRONVANE32_EVENT") == "opened"
          and fields.get("MESSAGE") == "COM1 opened successfully."
          and fields.get("_SYSTEMD_UNIT") == UNIT,
          f"journalctl MESSAGE_ID={opened} finds the event with DEVICE={fields.get('DEVICE')}, "
          f"DEVICE_PATH={fields.get('DEVICE_PATH')}", verbose[-800:])
    # Once each: the line that went to the journal as an event is not also there
    # as a plain line of standard output.
    _, lines = container.run("journalctl", "-u", UNIT, "--no-pager", "-o", "json")
    entries = [json.loads(l) for l in lines.splitlines() if l.startswith("{")]
    opened_lines = [e for e in entries if "opened successfully" in str(e.get("MESSAGE", ""))]
    plain = [e for e in opened_lines if "MESSAGE_ID" not in e]
    starts = [e for e in entries if e.get("CHRONVANE32_EVENT") == "started"]
    check(opened_lines and not plain and starts,
          f"every \"opened successfully\" in the journal is one structured event, no plain copy "
          f"({len(opened_lines)} events, {len(plain)} plain), and the starts are there ({len(starts)})")
    container.run("systemctl", "stop", UNIT, timeout=20)


def device_free(container):
    """True when nobody in the container holds the device open."""
    _, out = container.shell(f"for f in /proc/[0-9]*/fd/*; do [ \"$(readlink $f)\" = {DEVICE} ] && echo $f; done; true")
    return out.strip() == ""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True, help="the Debian root to boot")
    parser.add_argument("--deb", required=True, help="the package, as the container sees it")
    parser.add_argument("--log-dir", required=True)
    args = parser.parse_args()
    group = re.search(r"^dialout:x:(\d+):", open(os.path.join(args.root, "etc/group")).read(), re.M)
    devpts = tempfile.mkdtemp(prefix="chronvane32-pts.")
    # Terminals made here belong to dialout with mode 0660, as udev leaves a serial
    # device; a service in that group opens them, others do not.
    subprocess.run(["mount", "-t", "devpts", "-o",
                    f"newinstance,gid={group.group(1)},mode=0660,ptmxmode=0600", "devpts", devpts],
                   check=True)
    container = None
    line = None
    results = {}
    try:
        line = Line(devpts)
        container = Container(args.root, devpts, os.path.join(args.log_dir, "container-console.log"))
        if not check(container.find_init(), "systemd-nspawn booted the root"):
            return 1
        # Until its manager listens, systemctl answers "offline" at once.
        state = wait_until(lambda: (lambda s: s if s in ("running", "degraded", "maintenance") else "")(
            container.run("systemctl", "is-system-running", "--wait", timeout=90)[1].strip()), 60, step=0.2)
        check(state in ("running", "degraded"), f"the container's systemd is up ({state})")
        if state == "degraded":
            print(container.run("systemctl", "--failed", "--no-pager")[1])
        run_checks(container, line, args.deb, results)
    finally:
        if container:
            container.power_off()
        if line:
            line.stop = True
            line.close()
        subprocess.run(["umount", devpts])
        os.rmdir(devpts)
    with open(os.path.join(args.log_dir, "service-journal.log"), "w") as f:
        f.write(results.get("journal", ""))
    print()
    print(f"status line: {results.get('status')}")
    print(f"line gone:   {results.get('gone')}")
    print(f"restart after kill -STOP: {results.get('restart')}")
    print(f"{results.get('security')}")
    print(f"with the metrics drop-in: {results.get('security with metrics')}")
    print("journalctl -o verbose MESSAGE_ID=<opened> (last entry):\n    " +
          "\n    ".join(results.get("opened event", "").splitlines()[-24:]))
    print("metrics:\n    " + "\n    ".join(results.get("metrics", "").splitlines()[:6]))
    print("after stop:\n    " + "\n    ".join(results.get("stopped", "").splitlines()))
    if failures:
        print(f"service-check: {len(failures)} check(s) FAILED")
        return 1
    print("service-check: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
