#!/usr/bin/env python3
"""The installer under a real X server, driven with real key presses.

Starts Xvfb, runs the built veltrosetup from the distribution folder with a
throwaway HOME (a user install), walks the wizard with xdotool as a person
would (Next, the licence's Accept, a typed install folder, Finish), takes a
screenshot of each page, then removes the installation with "/x" the same
way and checks that the album stayed.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

DIST = os.environ.get("VELTRO_DIST_DIR", "")
SHOTS = os.path.join(os.getcwd(), "screenshots")


def run(*args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


def wait_for(predicate, seconds, what):
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError(f"timed out waiting for {what}")


class Display:
    def __init__(self):
        for number in range(91, 140):
            if not os.path.exists(f"/tmp/.X{number}-lock"):
                break
        self.name = f":{number}"
        self.server = subprocess.Popen(["Xvfb", self.name, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env = dict(os.environ, DISPLAY=self.name, QT_QPA_PLATFORM="xcb")
        wait_for(lambda: run("xdpyinfo", env=self.env).returncode == 0, 20, "Xvfb")

    def xdo(self, *args):
        return run("xdotool", *args, env=self.env)

    def window(self, title, seconds=30):
        def find():
            found = self.xdo("search", "--onlyvisible", "--name", "^" + title + "$")
            ids = found.stdout.split()
            return ids[-1] if ids else None
        return wait_for(find, seconds, f'the window "{title}"')

    def keys(self, window, *keys):
        for key in keys:
            self.xdo("windowactivate", "--sync", window)
            self.xdo("key", "--window", window, "--clearmodifiers", key)
            time.sleep(0.4)

    def type(self, window, text):
        self.xdo("windowactivate", "--sync", window)
        self.xdo("type", "--window", window, "--delay", "20", text)
        time.sleep(0.3)

    def shot(self, window, name):
        os.makedirs(SHOTS, exist_ok=True)
        run("import", "-window", window, os.path.join(SHOTS, name), env=self.env)

    def close(self):
        self.server.terminate()
        self.server.wait(10)


def main():
    if not DIST or not os.path.exists(os.path.join(DIST, "veltrosetup")):
        print("setup_x11_test: VELTRO_DIST_DIR has no veltrosetup", file=sys.stderr)
        return 1
    work = tempfile.mkdtemp(prefix="veltro-setup-x11-")
    display = Display()
    try:
        home = os.path.join(work, "home")
        os.makedirs(home)
        env = dict(display.env, HOME=home, XDG_DATA_HOME=os.path.join(home, ".local/share"),
                   XDG_CONFIG_HOME=os.path.join(home, ".config"))
        # A small distribution folder of our own, so the test copies little.
        dist = os.path.join(work, "dist")
        for name in ("res", "doc", "template"):
            shutil.copytree(os.path.join(DIST, name), os.path.join(dist, name))
        shutil.copy(os.path.join(DIST, "veltrosetup"), dist)
        shutil.copy(os.path.join(DIST, "license.txt"), dist)
        with open(os.path.join(dist, "veltrolt"), "w") as program:
            program.write("#!/bin/sh\ntouch \"$HOME/started\"\n")
        os.chmod(os.path.join(dist, "veltrolt"), 0o755)
        target = os.path.join(work, "apps", "VELTRO Lite")

        setup = subprocess.Popen([os.path.join(dist, "veltrosetup"), "--user"], env=env,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        window = display.window("Installing VELTRO Lite")
        time.sleep(0.5)
        display.shot(window, "setup_1_welcome.png")
        display.keys(window, "Return")                      # Next
        display.shot(window, "setup_2_licence.png")
        display.keys(window, "Return")                      # Next is off until Accept
        display.keys(window, "alt+a")                       # Accept, by its underlined letter
        display.keys(window, "Return")                      # Next
        display.keys(window, "ctrl+a")                      # the folder field has the focus
        display.type(window, target)
        display.shot(window, "setup_3_folder.png")
        display.keys(window, "Return")                      # Next: copying starts
        wait_for(lambda: os.path.exists(os.path.join(target, "res", "res.txt")), 30, "the copied files")
        time.sleep(1.0)
        display.shot(window, "setup_5_finish.png")
        display.keys(window, "Return")                      # Finish starts the program
        status = setup.wait(30)
        log = setup.stdout.read()
        assert status == 1, f"the wizard ended with {status}: {log}"
        wait_for(lambda: os.path.exists(os.path.join(home, "started")), 10, "the program to start")
        launcher = os.path.join(home, ".local/share/applications/veltro-lite.desktop")
        assert os.path.exists(launcher), "the launcher is missing"
        assert run("desktop-file-validate", launcher).returncode == 0
        rc = os.path.join(target, "veltrolt.rc")
        assert oct(os.stat(rc).st_mode & 0o777) == oct(0o600), "the settings file must be private"

        # The user's page, then removal through the installed copy with /x.
        os.makedirs(os.path.join(target, "pages", "new0"))
        with open(os.path.join(target, "pages", "new0", "index.html"), "w") as page:
            page.write("mine")
        remove = subprocess.Popen([os.path.join(target, "veltrosetup"), "/x", "--user"], env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        window = display.window("Uninstalling VELTRO Lite")
        wait_for(lambda: not os.path.exists(os.path.join(target, "res")), 30, "the removal")
        time.sleep(1.0)
        display.shot(window, "setup_6_removed.png")
        display.keys(window, "Return")                      # Finish
        status = remove.wait(30)
        assert status == 1, f"the removal ended with {status}: {remove.stdout.read()}"
        assert os.path.exists(os.path.join(target, "pages", "new0", "index.html")), "the album must stay"
        assert not os.path.exists(launcher), "the launcher must go"
        print("setup_x11_test: 1 passed, 0 failed")
        return 0
    finally:
        display.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
