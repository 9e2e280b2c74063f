#!/usr/bin/env python3
"""The installer under Wine's msiexec, in the test prefix.

`msiexec /i PACKAGE /qn` must put the program, the README and the licence under
Program Files, the Start-menu shortcut and the Event Log source in
place; the installed program must run (--version); a service it registers must be
stopped and removed by `msiexec /x PACKAGE /qn`, which leaves nothing behind that
the package installed.

Usage: msi_e2e.py --root ROOT --msi chronvane32-VERSION-windows-x64.msi --version V
"""

import argparse
import os
import shutil
import tempfile

from wine_harness import Prefix, fail, prepared_root

EVENT_SOURCE = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Chronvane32"


class InstallPrefix(Prefix):
    def __init__(self, root, workdir):
        super().__init__(root, workdir)
        self.drive_c = os.path.join(root, "prefix", "drive_c")

    def installed(self):
        """Every path under drive_c that names the program, relative to it."""
        found = []
        for top, dirs, files in os.walk(self.drive_c):
            for name in dirs + files:
                if "chronvane" in name.lower():
                    found.append(os.path.relpath(os.path.join(top, name), self.drive_c))
        return sorted(found)


def e2e(args):
    with tempfile.TemporaryDirectory(prefix="chronvane-wine-msi-") as workdir:
        prefix = InstallPrefix(args.root, workdir)
        package = os.path.join(workdir, os.path.basename(args.msi))
        shutil.copy(args.msi, package)
        windows_package = "Z:" + package.replace("/", "\\")
        before = prefix.installed()

        status, out, err = prefix.run("msiexec.exe", "/i", windows_package, "/qn")
        if status != 0:
            fail("msiexec /i: status %d %r %r" % (status, out, err))
        folder = os.path.join(prefix.drive_c, "Program Files", "Chronvane32")
        for name in ("chronvane32.exe", "README.md", "LICENSE.txt"):
            if not os.path.isfile(os.path.join(folder, name)):
                fail("%s is not installed; Program Files holds %s" %
                     (name, os.listdir(folder) if os.path.isdir(folder) else "no Chronvane32"))
        # Windows puts a per-machine package's shortcut in the common Start menu;
        # Wine 8 puts it in the installing user's. Either will do here.
        shortcuts = [p for p in prefix.installed()
                     if p.endswith(os.path.join("Start Menu", "Programs", "Chronvane32.lnk"))]
        if not shortcuts:
            fail("no Start-menu shortcut; installed: %s" % prefix.installed())
        program = "C:\\Program Files\\Chronvane32\\chronvane32.exe"
        status, out, err = prefix.run(program, "--version")
        if status != 0 or out.strip() != "Chronvane32 Version " + args.version:
            fail("the installed program's --version: status %d, %r %r" % (status, out, err))
        status, out, _ = prefix.run("reg.exe", "query", EVENT_SOURCE, "/v", "EventMessageFile")
        if status != 0 or program not in out:
            fail("the Event Log source does not name the installed program: %r" % out)
        # A service registered by the installed program goes with the package.
        status, out, err = prefix.run(program, "--install-service", "-com3")
        if status != 0:
            fail("--install-service -com3: status %d %r %r" % (status, out, err))

        status, out, err = prefix.run("msiexec.exe", "/x", windows_package, "/qn")
        if status != 0:
            fail("msiexec /x: status %d %r %r" % (status, out, err))
        left = [p for p in prefix.installed() if p not in before]
        if left:
            fail("left behind after msiexec /x: %s" % left)
        state = prefix.service_state("Chronvane32-COM3")
        if state is not None:
            fail("the service is still there after msiexec /x (%s)" % state)
        status, _, _ = prefix.run("reg.exe", "query", EVENT_SOURCE)
        if status == 0:
            fail("the Event Log source is still registered after msiexec /x")
        print("msi: installed (program, README, licence, shortcut, Event Log source), "
              "--version ran, a service and everything else removed")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--msi", required=True)
    parser.add_argument("--version", required=True)
    args = parser.parse_args()
    args.root = prepared_root(args.root)
    e2e(args)


if __name__ == "__main__":
    main()
