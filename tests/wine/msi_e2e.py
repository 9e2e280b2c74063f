#!/usr/bin/env python3
"""The installer under Wine's msiexec, in the test prefix.

`msiexec /i PACKAGE /qn` must put the program, the README and the licence under
Program Files, the Start-menu shortcut and the Event Log source in
place; the installed program must run (--version); a service it registers must be
stopped and removed by `msiexec /x PACKAGE /qn`, which leaves nothing behind that
the package installed. Then the upgrade in place: with the package installed, a
service for COM1 running (its line a pseudo-terminal) and one for COM2 stopped, a
newer package built from the same files (wixl run again with a higher Version)
installed over it must leave both services as they were, options and all, and the
running one sending.

Usage: msi_e2e.py --root ROOT --msi chronvane32-VERSION-windows-x64.msi --version V
                  --wixl WIXL --stage DIR --msi-version X.Y.Z
DIR is where the build ran wixl (its chronvane32.wxs and the files it names).
"""

import argparse
import os
import shutil
import subprocess
import tempfile
import time

from wine_harness import (PortLine, Prefix, fail, line_reports, native_monitor, prepared_root,
                          restart_prefix, whole_messages)

PROGRAM = "C:\\Program Files\\Chronvane32\\chronvane32.exe"
SERVICES_KEY = "HKLM\\System\\CurrentControlSet\\Services\\"
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

    def image_path(self, service):
        """The command line the service manager keeps for service, None without one."""
        _, out, _ = self.run("reg.exe", "query", SERVICES_KEY + service, "/v", "ImagePath")
        for line in out.splitlines():
            parts = line.split(None, 2)
            if len(parts) == 3 and parts[0] == "ImagePath":
                return parts[2].strip()
        return None

    def gone(self, service, seconds=15):
        """Whether service is unknown to the service manager within seconds. A
        service marked for deletion stays listed until every handle to it has
        been closed, which Wine's own processes may still be doing."""
        deadline = time.monotonic() + seconds
        while self.service_state(service) is not None:
            if time.monotonic() > deadline:
                return False
            time.sleep(0.5)
        return True

    def install_package(self, package, what):
        status, out, err = self.run("msiexec.exe", "/i", package, "/qn")
        if status != 0:
            fail("%s: msiexec /i: status %d %r %r" % (what, status, out, err))


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
        if not prefix.gone("Chronvane32-COM3"):
            fail("the service is still there 15 s after msiexec /x (%s)" %
                 prefix.service_state("Chronvane32-COM3"))
        status, _, _ = prefix.run("reg.exe", "query", EVENT_SOURCE)
        if status == 0:
            fail("the Event Log source is still registered after msiexec /x")
        print("msi: installed (program, README, licence, shortcut, Event Log source), "
              "--version ran, a service and everything else removed")


def newer_package(args, workdir):
    """The package again, from the same files, one patch version higher."""
    major, minor, patch = args.msi_version.split(".")
    version = "%s.%s.%d" % (major, minor, int(patch) + 1)
    package = os.path.join(workdir, "chronvane32-%s-windows-x64.msi" % version)
    result = subprocess.run([args.wixl, "-a", "x64", "-D", "Version=" + version, "-o", package,
                             "chronvane32.wxs"], cwd=args.stage, stdin=subprocess.DEVNULL,
                            capture_output=True, text=True)
    if result.returncode != 0:
        fail("wixl for %s: status %d %s" % (version, result.returncode, result.stderr))
    return package, version


def upgrade(args):
    with tempfile.TemporaryDirectory(prefix="chronvane-wine-msi-upgrade-") as workdir:
        prefix = InstallPrefix(args.root, workdir)
        older = os.path.join(workdir, os.path.basename(args.msi))
        shutil.copy(args.msi, older)
        newer, version = newer_package(args, workdir)
        # In a prefix made in the same run, after msiexec had run there, Wine's
        # service manager refused to start the service ("Could not get handle to
        # service", request timeouts) until the prefix's Wine processes were
        # started afresh.
        if not restart_prefix(args.root):
            fail("could not restart the Wine prefix")
        line = PortLine(args.root, "com1")
        try:
            prefix.install_package("Z:" + older.replace("/", "\\"), args.msi_version)
            installs = {"Chronvane32-COM1": ["-com1", "--device", "COM1=\\\\.\\COM1"],
                        "Chronvane32-COM2": ["-com2", "-ostrel8", "--flow", "none"]}
            for service, options in installs.items():
                status, out, err = prefix.run(PROGRAM, "--install-service", *options)
                if status != 0:
                    fail("--install-service %s: status %d %r %r" %
                         (" ".join(options), status, out, err))
            before = {service: prefix.image_path(service) for service in installs}
            # Wine's service manager has answered "Service database locked" while it
            # was still busy with another service; asked again, it started it.
            deadline = time.monotonic() + 60
            while True:
                status, out, err = prefix.run("net.exe", "start", "Chronvane32-COM1")
                if status == 0 or "database locked" not in out or time.monotonic() > deadline:
                    break
                time.sleep(1)
            if status != 0:
                fail("net start Chronvane32-COM1: status %d %r %r" % (status, out, err))
            # A loaded machine can take Wine seconds to start the service.
            if whole_messages(line_reports(args.monitor_path, line.master, 10), "ese") < 1:
                fail("the COM1 service sends nothing before the upgrade")

            prefix.install_package("Z:" + newer.replace("/", "\\"), version)
            status, out, _ = prefix.run(PROGRAM, "--version")
            if status != 0 or not out.startswith("Chronvane32 Version"):
                fail("after the upgrade the program does not run: status %d %r" % (status, out))
            for service, command in before.items():
                after = prefix.image_path(service)
                if after != command:
                    fail("the upgrade changed %s: its command line was %r, is %r" %
                         (service, command, after))
            states = {service: prefix.service_state(service) for service in installs}
            if states != {"Chronvane32-COM1": "RUNNING", "Chronvane32-COM2": "STOPPED"}:
                fail("after the upgrade the services are %s" % states)
            if whole_messages(line_reports(args.monitor_path, line.master, 3.5), "ese") < 2:
                fail("the COM1 service does not send after the upgrade")
            line.check_was_ours()
            status, out, err = prefix.run("msiexec.exe", "/x", "Z:" + newer.replace("/", "\\"),
                                          "/qn")
            if status != 0:
                fail("msiexec /x of %s: status %d %r %r" % (version, status, out, err))
            left = [s for s in installs if not prefix.gone(s)]
            if left:
                fail("services left after msiexec /x of the upgrade: %s" % left)
            print("msi upgrade %s to %s: both services kept with their command lines, the "
                  "running one sending, both removed with the package" %
                  (args.msi_version, version))
        finally:
            for service in ("Chronvane32-COM1", "Chronvane32-COM2"):
                if prefix.service_state(service) is not None:
                    prefix.run("net.exe", "stop", service)
                    prefix.run("sc.exe", "delete", service)
            prefix.run("msiexec.exe", "/x", "Z:" + newer.replace("/", "\\"), "/qn")
            prefix.run("msiexec.exe", "/x", "Z:" + older.replace("/", "\\"), "/qn")
            line.close(unassign=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--msi", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--wixl", required=True)
    parser.add_argument("--stage", required=True)
    parser.add_argument("--msi-version", required=True)
    parser.add_argument("--monitor-build", help="the native build whose monitor reads the line")
    args = parser.parse_args()
    args.monitor_path = native_monitor(args.monitor_build)
    args.root = prepared_root(args.root)
    e2e(args)
    upgrade(args)


if __name__ == "__main__":
    main()
