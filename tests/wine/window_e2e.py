#!/usr/bin/env python3
"""The Windows program's window under Wine, on an Xvfb display of its own.

The prefix's virtual desktop (wine-prefix.sh) lets Wine draw the frames and route
the keyboard itself, so no window manager is needed; xdotool types on the X side,
and window_probe.exe (a test tool) reads the dialogs from inside Wine. COM1 is sent
with --device to \\\\.\\COM3, which the harness maps to ROOT/ports/com3; that is
pointed here at a fresh pseudo-terminal, so the messages reach only this test, and
a run that ignored --device would find COM1 unassigned. Checks: the window's
caption, radios and four log lines; the time messages at the far end while the
window runs (and while the About box is open), as the native monitor reads them; the last system-menu item opens the
About box with its pane closed; F1 opens it with the pane open, foldPixels taller,
set in the face its template names, every text within its control; Escape twice
ends the program with status 0; COM3 was this test's terminal.

Usage: window_e2e.py --root ROOT --exe chronvane32.exe --probe window_probe.exe
                     --monitor-build NATIVE_BUILD [--screenshots DIR] [--bench SECONDS]
With --screenshots, the two dialogs are also saved as PNG files in DIR.
With --bench, measures instead how late each message's first byte arrives after the
change of second while the window runs untouched, and prints p50/p99 (not a test).
"""

import argparse
import os
import re
import select
import struct
import subprocess
import tempfile
import time
import zlib

from wine_harness import (HERE, WINE64, MonitorLine, PortLine, fail, native_monitor,
                          prepared_root, print_lateness, restart_prefix, wine_env)

MAIN_CAPTION = "Chronvane32"
ABOUT_CAPTION = "About Chronvane32"
ESE_LENGTH = 12


def fold_pixels():
    """How far the About box grows as its help folds out: the window's own constant."""
    with open(os.path.join(HERE, "..", "..", "src", "win32ui", "about_dialog.h"),
              encoding="utf-8") as header:
        return int(re.search(r"foldPixels = ([0-9]+);", header.read()).group(1))


class Display:
    """An Xvfb server of our own, its framebuffer kept as an XWD file."""

    def __init__(self, workdir):
        self.fbdir = os.path.join(workdir, "fb")
        os.mkdir(self.fbdir)
        read_end, write_end = os.pipe()
        with open(os.devnull, "wb") as null:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp", "-fbdir", self.fbdir],
                stdin=subprocess.DEVNULL, stdout=null, stderr=null, pass_fds=(write_end,))
        os.close(write_end)
        number = b""
        ready, _, _ = select.select([read_end], [], [], 15)
        while ready:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
            if number.endswith(b"\n"):
                break
            ready, _, _ = select.select([read_end], [], [], 15)
        os.close(read_end)
        if not number.strip():
            self.close()
            fail("Xvfb did not start")
        self.name = ":" + number.decode().strip()

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + list(args), env=dict(os.environ, DISPLAY=self.name),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)

    def save(self, rect, path, pointer_in_picture=False):
        """Writes the screen's rect (left, top, right, bottom) as an RGB PNG."""
        # Xvfb draws the pointer into its framebuffer: out of the picture with it,
        # unless the picture is of what the pointer brings up.
        if not pointer_in_picture:
            self.xdotool("mousemove", "1023", "767")
            time.sleep(0.3)
        with open(os.path.join(self.fbdir, "Xvfb_screen0"), "rb") as f:
            data = f.read()
        header = struct.unpack(">25I", data[:100])
        header_size, width, height = header[0], header[4], header[5]
        bits_per_pixel, bytes_per_line, ncolors = header[11], header[12], header[19]
        if bits_per_pixel != 32:
            fail("unexpected framebuffer format: %d bits per pixel" % bits_per_pixel)
        pixels = header_size + ncolors * 12
        left, top, right, bottom = (max(0, rect[0]), max(0, rect[1]), min(width, rect[2]),
                                    min(height, rect[3]))
        rows = []
        for y in range(top, bottom):
            line = data[pixels + y * bytes_per_line + left * 4:pixels + y * bytes_per_line + right * 4]
            rgb = bytearray(len(line) // 4 * 3)
            rgb[0::3], rgb[1::3], rgb[2::3] = line[2::4], line[1::4], line[0::4]
            rows.append(b"\0" + bytes(rgb))

        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body +
                    struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n")
            out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", right - left, bottom - top, 8, 2, 0, 0, 0)))
            out.write(chunk(b"IDAT", zlib.compress(b"".join(rows), 9)))
            out.write(chunk(b"IEND", b""))

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Program:
    """The program under Wine with COM1 on a fresh pseudo-terminal (as COM3)."""

    def __init__(self, args, display, workdir, extra=()):
        self.args = args
        self.line = PortLine(args.root, "com3")
        self.master = self.line.master
        # None with --bench, which times the bytes itself.
        self.monitor = (MonitorLine(args.monitor_path, env=dict(os.environ, TZ="UTC"))
                        if args.monitor_path else None)
        self.env = wine_env(args.root, DISPLAY=display.name, TZ="UTC")
        self.workdir = workdir
        self.err_path = os.path.join(workdir, "stderr.txt")
        with open(os.path.join(workdir, "stdout.txt"), "wb") as out, \
                open(self.err_path, "wb") as err:
            self.process = subprocess.Popen([WINE64, args.exe, "--device", "COM1=\\\\.\\COM3"] +
                                            list(extra),
                                            stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                            env=self.env)

    def drain(self, seconds=0.0):
        deadline = time.monotonic() + seconds
        while True:
            ready, _, _ = select.select([self.master], [], [],
                                        max(0.0, deadline - time.monotonic()))
            if ready:
                try:
                    data = os.read(self.master, 4096)
                    if self.monitor is not None:
                        self.monitor.feed(data)
                except OSError:  # the program has closed the line: nothing more comes
                    return
            if not ready or time.monotonic() >= deadline:
                return

    def probe(self, caption):
        """window_probe's report of the dialog with that caption, or None."""
        path = os.path.join(self.workdir, "probe.txt")
        with open(path, "wb") as out:
            status = subprocess.run([WINE64, self.args.probe, caption], stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=subprocess.DEVNULL, env=self.env).returncode
        self.drain()
        if status != 0:
            return None
        with open(path, encoding="latin-1") as report:
            return dict(line.rstrip("\r\n").split("=", 1) for line in report if "=" in line)

    def wait_for(self, caption, what, check, seconds=20):
        deadline = time.monotonic() + seconds
        report = None
        while time.monotonic() < deadline:
            report = self.probe(caption)
            if check(report):
                return report
            self.drain(0.2)
        fail("%s: never seen within %d s; last report: %s" % (what, seconds, report))

    def messages(self):
        """The monitor's reports of the messages so far."""
        return self.monitor.reports(seconds=0.3)

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        if self.monitor is not None:
            self.monitor.close()
        self.line.close(unassign=True)


def script_texts(caption):
    """The text of each control of the dialog with that caption, in template order,
    as resources/chronvane32.rc writes it; None for an icon, which has none. The log
    lines and the Help button are placeholders the window fills (None too)."""
    root = os.path.join(HERE, "..", "..")
    with open(os.path.join(root, "CMakeLists.txt"), encoding="utf-8") as lists:
        version = re.search(r"project\(chronvane32 VERSION ([0-9.]+)", lists.read()).group(1)
    with open(os.path.join(root, "resources", "chronvane32.rc"), encoding="utf-8") as script:
        source = script.read().replace('" CHRONVANE32_VERSION', version + '"')
    texts, inside, found = [], False, False
    for line in source.splitlines():
        words = line.split(None, 1)
        if not words:
            continue
        if words[0] == "CAPTION":
            inside = words[1].strip() == '"%s"' % caption
            found = found or inside
        elif words[0] == "END":
            inside = False
        elif inside and words[0] in ("LTEXT", "GROUPBOX", "AUTORADIOBUTTON", "PUSHBUTTON",
                                     "DEFPUSHBUTTON", "ICON", "CONTROL"):
            # The id follows on the same line, or on the next for a long text.
            literal = re.match(r'\s*"((?:[^"]|"")*)"\s*,\s*(\w*)', words[1])
            owned = literal is not None and re.match(r"IDC_(LOG_LINE|HELP_BUTTON)",
                                                     literal.group(2))
            texts.append(literal.group(1).replace('""', '"') if literal and not owned else None)
    if not found:
        fail("resources/chronvane32.rc has no dialog captioned %r" % caption)
    return texts


def check_script_texts(report, caption):
    """Each control shows the script's text in the running window."""
    texts = script_texts(caption)
    wrong = ["child%d=%r, not %r" % (i, report.get("child%d" % i), text)
             for i, text in enumerate(texts)
             if text is not None and report.get("child%d" % i) != text]
    if wrong or "child%d" % len(texts) in report:
        fail("%s: controls other than the script's: %s" % (caption, ", ".join(wrong) or
                                                          "more controls than the script's"))


def check_texts_fit(report, caption):
    """The dialog is set in the face its template names, and each of its texts fits
    its control in that face: no line beyond the control's width or height, where
    the control would cut it off."""
    named = report.get("font", "").rsplit(" ", 1)[0]
    chosen = report.get("face", "")
    if not named or not chosen.startswith(named + " "):
        fail("%s: set in %r, not the template's %r" % (caption, chosen, named))
    measured, dialog = report["width"].split()
    if measured != dialog:
        fail("%s: %s px wide, %s px in the probe's %s: not the dialog's font" %
             (caption, dialog, measured, chosen))
    rooms = sorted(int(key[4:]) for key in report if key.startswith("room"))
    if not rooms:
        fail("%s: no texts measured" % caption)
    cut = []
    for index in rooms:
        needed_width, needed_height, width, height = (int(v) for v in
                                                      report["room%d" % index].split())
        if needed_width > width or needed_height > height:
            cut.append("child%d %r needs %dx%d px, has %dx%d" %
                       (index, report["child%d" % index], needed_width, needed_height,
                        width, height))
    if cut:
        fail("%s: texts cut off in %s: %s" % (caption, chosen, "; ".join(cut)))
    return len(rooms), chosen


def height(report):
    left, top, right, bottom = (int(v) for v in report["rect"].split())
    return bottom - top


def rect(report):
    return [int(v) for v in report["rect"].split()]


def bench(program, seconds):
    """Arrival of each ESE message's first byte after its change of second, in ms."""
    program.drain()
    late = []
    pending = 0
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        ready, _, _ = select.select([program.master], [], [], 0.05)
        if not ready:
            continue
        now = time.time()
        try:
            data = os.read(program.master, 4096)
        except OSError:
            break
        for _ in data:
            if pending == 0:
                late.append((now - int(now)) * 1000)
            pending = (pending + 1) % ESE_LENGTH
    print_lateness("window ESE", late[1:])


def run(args, workdir):
    display = Display(workdir)
    program = None
    try:
        # The pointer in a corner of the desktop: out of the pictures, and keys go
        # to the window under it (no window manager), Wine's desktop.
        display.xdotool("mousemove", "1023", "767")
        # Wine's desktop belongs to the wineserver and lives on the display of the
        # process that first needed it, which may have been an earlier test with
        # none: the prefix is started afresh here, on this display.
        if not restart_prefix(args.root, DISPLAY=display.name):
            fail("could not restart the Wine prefix on %s" % display.name)
        program = Program(args, display, workdir)
        # On a loaded machine the window may first be seen when the open line has
        # already scrolled out under four messages; those show the open succeeded.
        main = program.wait_for(MAIN_CAPTION, "the main window with an open port and a message",
                                lambda r: r is not None and r.get("foreground") == "1" and
                                r.get("control1009", "").startswith(
                                    ("COM1 opened successfully.", "COM1: Transmitted")) and
                                r.get("control1010", "").startswith("COM1: "))
        wanted = {"caption": "Chronvane32", "control1000": "ESE Real Time Clock",
                  "control1001": "Ostrel 8-bit Date/Time", "checked1000": "1", "checked1001": "0",
                  "checked1002": "1", "checked1003": "0", "checked1007": "0", "checked1008": "0"}
        wrong = ["%s=%r" % (k, main.get(k)) for k, v in wanted.items() if main.get(k) != v]
        if wrong:
            fail("main window: " + ", ".join(wrong))
        check_script_texts(main, MAIN_CAPTION)
        lines = [main.get("control%d" % i) for i in range(1009, 1013)]
        if None in lines or "Line1" in lines:
            fail("main window log lines: %s" % lines)
        if args.bench:
            bench(program, args.bench)
            return
        if args.screenshots:
            program.drain(2.5)  # a full log
            main = program.probe(MAIN_CAPTION)
            display.save(rect(main), os.path.join(args.screenshots, "windows-clock-dialog.png"))
            # The clock state's tooltip: the pointer rests on the window's own
            # background between the groups, as an operator's would.
            left, top, right, bottom = rect(main)
            display.xdotool("mousemove", str(left + (right - left) // 8),
                            str(top + (bottom - top) // 2 - 8))
            program.drain(1.5)
            display.save(rect(main), os.path.join(args.screenshots, "windows-clock-state.png"),
                         pointer_in_picture=True)
            display.xdotool("mousemove", "1023", "767")

        # The About entry is the system menu's last item (Wine's own "About Wine"
        # comes before it): Alt+Space, End, Enter.
        display.xdotool("key", "alt+space")
        program.drain(0.5)
        display.xdotool("key", "End")
        display.xdotool("key", "Return")
        about = program.wait_for(ABOUT_CAPTION, "the About box from the system menu",
                                 lambda r: r is not None and r.get("foreground") == "1", 10)
        if about.get("control1013") != "Help >>":
            fail("About box from the menu: button reads %r, not 'Help >>'" % about.get("control1013"))
        check_script_texts(about, ABOUT_CAPTION)
        short = height(about)
        shown = len(program.messages())
        program.drain(2.2)
        if len(program.messages()) < shown + 2:
            fail("no messages while the About box was open")
        display.xdotool("key", "Escape")
        program.wait_for(ABOUT_CAPTION, "the About box closing", lambda r: r is None, 10)
        program.wait_for(MAIN_CAPTION, "the main window active again",
                         lambda r: r is not None and r.get("foreground") == "1", 10)
        display.xdotool("key", "F1")
        about = program.wait_for(ABOUT_CAPTION, "the About box from F1",
                                 lambda r: r is not None and r.get("foreground") == "1", 10)
        if about.get("control1013") != "<< Help" or height(about) != short + fold_pixels():
            fail("About box from F1: button %r, height %d (shortened %d)" %
                 (about.get("control1013"), height(about), short))
        texts, face = check_texts_fit(about, ABOUT_CAPTION)
        if args.screenshots:
            display.save(rect(about), os.path.join(args.screenshots, "windows-about-help.png"))

        display.xdotool("key", "Escape")
        program.wait_for(ABOUT_CAPTION, "the About box closing", lambda r: r is None, 10)
        program.wait_for(MAIN_CAPTION, "the main window active again",
                         lambda r: r is not None and r.get("foreground") == "1", 10)
        display.xdotool("key", "Escape")
        try:
            status = program.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            fail("the second Escape did not end the program")
        program.drain(0.2)
        if status != 0:
            fail("exit status %d" % status)

        program.line.check_was_ours()
        messages = program.messages()
        # The line waits while a probe runs (a Wine process of its own, which can
        # take a second to start): a message read late is the test's doing.
        bad = [m for m in messages
               if m["protocol"] != "ese" or [f for f in m["faults"] if f != "late"]]
        if len(messages) < 4 or bad:
            fail("%d ESE messages at the terminal, faults: %s" % (len(messages), bad[:3]))
        with open(program.err_path, "rb") as err:
            errors = err.read()
        if errors:
            fail("the program wrote to standard error: %r" % errors[:300])
        program.close()

        # -min: minimized once shown, and it stays so while it sends.
        program = Program(args, display, workdir, ["-min"])
        program.wait_for(MAIN_CAPTION, "the window started with -min, minimized",
                         lambda r: r is not None and r.get("iconic") == "1")
        sent = len(program.messages())
        program.drain(2.2)
        if program.probe(MAIN_CAPTION).get("iconic") != "1":
            fail("-min: the window did not stay minimized")
        if len(program.messages()) < sent + 2:
            fail("-min: no messages while minimized")
        print("window: caption, radios, log, About from the menu (pane closed, %d px) and from"
              " F1 (pane open, its %d texts fit in %s), %d messages at COM1, status 0;"
              " -min minimized and sending" % (short, texts, face, len(messages)))
    finally:
        if program is not None:
            program.close()
        display.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--screenshots")
    parser.add_argument("--bench", type=float)
    parser.add_argument("--monitor-build", help="the native build whose monitor reads the line")
    args = parser.parse_args()
    args.root = prepared_root(args.root)
    args.monitor_path = None if args.bench else native_monitor(args.monitor_build)
    if args.screenshots:
        os.makedirs(args.screenshots, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="chronvane-wine-window-") as workdir:
        run(args, workdir)


if __name__ == "__main__":
    main()
