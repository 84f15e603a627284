#!/usr/bin/env python3
"""The window as a person uses it: a real X server (Xvfb) with a window manager (openbox), the
application in its own process, driven by keyboard through xdotool, its files read by quillgen.

Offscreen, modality, stacking, focus and the window manager's close request do not exist; here
they do. Each test launches the application with a preferences folder of its own.

    window_on_x.py --app PATH/quillwavecaster --quillgen PATH/quillgen [unittest options]
"""
import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

APP = QUILLGEN = None
DISPLAY = None
SHOTS = None  # pictures of the screen when a test fails
# Under a sanitizer the application is several times slower, most of all when it quits.
SLOW = "ASAN_OPTIONS" in os.environ or "TSAN_OPTIONS" in os.environ
QUIT_SECONDS = 30 if SLOW else 5
HERE = os.path.dirname(os.path.abspath(__file__))


def xdo(*args, check=True):
    result = subprocess.run(["xdotool", *args], env=dict(os.environ, DISPLAY=DISPLAY),
                            capture_output=True, text=True, timeout=20)
    if check and result.returncode != 0:
        raise AssertionError(f"xdotool {' '.join(args)}: {result.stderr.strip()}")
    return result.stdout.strip()


def visible(title):
    """Ids of the visible windows whose title is exactly `title`."""
    out = xdo("search", "--onlyvisible", "--name", f"^{title}$", check=False)
    return out.split() if out else []


def wait_for(condition, seconds, what):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return
        time.sleep(0.1)
    raise AssertionError(f"{what}: not within {seconds} s")


def keys(*names):
    for name in names:
        xdo("key", "--clearmodifiers", name)
        time.sleep(0.15)


def type_text(text):
    xdo("type", "--delay", "20", text)
    time.sleep(0.1)


def start_x():
    global DISPLAY
    for number in range(70, 100):
        if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(
                f"/tmp/.X{number}-lock"):
            break
    DISPLAY = f":{number}"
    server = subprocess.Popen(["Xvfb", DISPLAY, "-screen", "0", "1280x900x24", "-nolisten", "tcp"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for(lambda: os.path.exists(f"/tmp/.X11-unix/X{number}"), 10, "the X server")
    manager = subprocess.Popen(["openbox"], env=dict(os.environ, DISPLAY=DISPLAY),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(0.5)
    return server, manager


class WindowOnX(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="quill-x-")
        self.work = os.path.join(self.home, "work")
        os.makedirs(self.work)
        # "Show in Folder" hands the folder to xdg-open: this one writes down what it was given.
        bin_dir = os.path.join(self.home, "bin")
        os.makedirs(bin_dir)
        self.opened = os.path.join(self.home, "opened")
        with open(os.path.join(bin_dir, "xdg-open"), "w") as stub:
            stub.write(f'#!/bin/sh\necho "$1" >> "{self.opened}"\n')
        os.chmod(os.path.join(bin_dir, "xdg-open"), 0o755)
        env = {k: v for k, v in os.environ.items() if not k.startswith("QT_QPA")}
        env.update(DISPLAY=DISPLAY, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, "cfg"),
                   PATH=bin_dir + os.pathsep + os.environ["PATH"], LANG="C.UTF-8",
                   LSAN_OPTIONS="suppressions=" + os.path.join(HERE, "lsan-system.supp"))
        self.app = subprocess.Popen([APP], cwd=self.work, env=env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        wait_for(lambda: visible("Quillwavecaster"), 15, "the main window")
        self.main = visible("Quillwavecaster")[0]
        xdo("windowactivate", "--sync", self.main)
        time.sleep(0.3)

    def tearDown(self):
        failed = any(error for _, error in (self._outcome.result.errors +
                                            self._outcome.result.failures)
                     if _ is self)
        if failed and SHOTS and shutil.which("import"):
            os.makedirs(SHOTS, exist_ok=True)
            subprocess.run(["import", "-display", DISPLAY, "-window", "root",
                            os.path.join(SHOTS, self.id().split(".")[-1] + ".png")])
        if self.app.poll() is None:
            self.app.kill()
            self.app.wait()
        shutil.rmtree(self.home, ignore_errors=True)

    # What a person does.
    def entry(self, mnemonic, text):
        keys(f"alt+{mnemonic}", "ctrl+a")
        type_text(text)
        keys("Tab")

    def save_as(self, path, title="Save Sound File"):
        keys("ctrl+g")
        wait_for(lambda: visible(title), 10, "the save panel")
        keys("ctrl+a")
        type_text(path)
        keys("Return")

    def written(self, path, what):
        """Waits for `path` and for the window to take input again (its next progress tick)."""
        wait_for(lambda: os.path.exists(path) and not self.leftovers(), 10, what)
        time.sleep(0.6)

    def exits(self, seconds=QUIT_SECONDS):
        try:
            return self.app.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the application was still running after {seconds} s")

    def leftovers(self, folder=None):
        folder = folder or self.work
        return [name for name in os.listdir(folder) if name.startswith("quilfile")]

    def info(self, path):
        out = subprocess.run([QUILLGEN, "info", "--json", "--levels", path], capture_output=True,
                             text=True, check=True).stdout
        return json.loads(out)

    def long_phase_check(self, folder):
        """A phase check that runs for seconds: 10.2 at 384 kHz with many repeats."""
        keys("alt+p")
        keys("alt+y")
        type_text("10.2")
        self.entry("e", "20")
        self.entry("s", "2")
        keys("alt+r")
        type_text("384000")
        self.save_as(folder, "Save Phase Check Files")
        wait_for(lambda: visible("Writing"), 10, "the progress sheet")

    # The tests.
    def test_typos_keep_the_last_value_and_the_extension_chooses_the_format(self):
        self.entry("l", "abc")       # not a number: the level stays -10
        self.entry("q", "2k")        # 2000 Hz
        self.entry("n", "0,5x")      # not a number: the length stays 10
        self.entry("n", "0.5")
        keys("alt+a")                # no announcement
        self.save_as(os.path.join(self.work, "tone.WAV"))
        target = os.path.join(self.work, "tone.WAV")
        self.written(target, "the file")
        self.assertEqual(sorted(os.listdir(self.work)), ["tone.WAV"])
        info = self.info(target)
        self.assertEqual(info["format"], "BWF")
        self.assertEqual(info["frames"], 22050)
        self.assertAlmostEqual(info["levels"][0]["peak"], -10.0, places=1)
        self.assertEqual(info["markers"][0]["name"], "2.000 kHz/-10.000 dB")
        keys("alt+i")                # Inspect: the file just written
        wait_for(lambda: visible("tone.WAV — Inspect Sound File"), 5, "the inspector")
        keys("Escape")
        wait_for(lambda: not visible("tone.WAV — Inspect Sound File"), 5, "the inspector's end")
        xdo("windowactivate", "--sync", self.main)
        keys("alt+d")                # Show in Folder
        wait_for(lambda: os.path.exists(self.opened), 5, "the file manager")
        with open(self.opened) as opened:
            self.assertEqual(opened.read().strip(), "file://" + self.work)

    def test_every_sweep_tab_writes_its_file(self):
        keys("alt+u")
        self.entry("n", "0.5")
        self.save_as(os.path.join(self.work, "full"))
        self.written(os.path.join(self.work, "full.aif"), "the full sweep")
        keys("alt+c")
        self.entry("n", "0.5")
        self.entry("r", "12345.6")   # rates are whole numbers
        self.save_as(os.path.join(self.work, "custom"))
        path = os.path.join(self.work, "custom.aif")
        self.written(path, "the custom sweep")
        self.assertEqual(self.info(path)["sampleRate"], 12346)

    def test_the_noise_and_level_check_pages_write_their_jobs(self):
        keys("alt+o", "Tab", "ctrl+a")  # the noise page's first entry: its length
        type_text("0.5")
        keys("Tab")
        self.save_as(os.path.join(self.work, "noise.wav"))
        path = os.path.join(self.work, "noise.wav")
        self.written(path, "the noise")
        names = [marker["name"] for marker in self.info(path)["markers"]]
        self.assertIn("Pink -20.0dB RMS", " ".join(names))
        keys("alt+v", "Tab", "Tab", "ctrl+a")  # past the layout pop-up: the length per speaker
        type_text("0.2")
        keys("Tab")
        folder = os.path.join(self.work, "levels")
        self.save_as(folder, "Save Level Check Files")
        self.written(folder, "the level check")
        self.assertEqual(len(os.listdir(folder)), 6)  # 5.1

    def test_the_lineup_page_writes_blits_as_one_file_or_one_per_speaker(self):
        keys("alt+v", "Right")       # the last tab, beside the level check
        keys("alt+s", "b")           # the signal pop-up: BLITS
        # BLITS has channels and no picture rate of its own: past the timecode to the length.
        keys("Tab", "Tab", "ctrl+a")
        type_text("14")              # a cycle and a bit: rounded up to two, 26.8 s
        keys("Tab")
        path = os.path.join(self.work, "blits.wav")
        self.save_as(path)
        self.written(path, "the file")
        info = self.info(path)
        self.assertEqual((info["format"], info["channels"], info["frames"]),
                         ("BWF", 6, 1286400))
        names = [marker["name"] for marker in info["markers"]]
        self.assertEqual(names[:3], ["BLITS channel ident", "BLITS stereo ident",
                                     "BLITS phase check"])
        keys("alt+k")                # one file per speaker
        folder = os.path.join(self.work, "blits")
        self.save_as(folder, "Save Sound Files")
        self.written(folder, "the folder")
        self.assertEqual(len(os.listdir(folder)), 6)

    def failing_phase_check(self):
        """A phase check into a folder of the user's: it fails at once, with an alert."""
        folder = os.path.join(self.work, "mine")
        os.makedirs(folder)
        with open(os.path.join(folder, "notes.txt"), "w") as notes:
            notes.write("keep me")
        keys("alt+p")
        self.save_as(folder, "Save Phase Check Files")
        wait_for(lambda: visible("Replace"), 5, "the question")
        keys("alt+y")
        wait_for(lambda: visible("Could not save sound files"), 5, "the alert")
        return folder

    def test_a_failure_at_once_keeps_its_alert_on_top_and_answerable(self):
        folder = self.failing_phase_check()
        time.sleep(2)  # past the second after which a running job shows its sheet
        self.assertEqual(visible("Writing"), [])
        self.assertEqual(xdo("getactivewindow", "getwindowname"), "Could not save sound files")
        keys("Return")
        wait_for(lambda: not visible("Could not save sound files"), 5, "the alert's end")
        self.assertEqual(os.listdir(folder), ["notes.txt"])
        self.assertEqual(self.leftovers(), [])
        xdo("windowactivate", "--sync", self.main)
        keys("ctrl+q")
        self.assertEqual(self.exits(), 0)

    def quit_during_a_job(self, how, status):
        folder = os.path.join(self.work, "set")
        self.long_phase_check(folder)
        how()
        self.assertEqual(self.exits(), status)
        self.assertEqual(self.leftovers(), [])
        self.assertFalse(os.path.exists(folder))

    def test_quit_from_the_sheet_stops_the_job(self):
        self.quit_during_a_job(lambda: keys("ctrl+q"), 0)

    def test_the_close_button_stops_the_job(self):
        def close():
            xdo("windowactivate", "--sync", self.main)
            keys("alt+F4")  # openbox: close the active window
        self.quit_during_a_job(close, 0)

    def test_quit_from_help_stops_the_job(self):
        def quit_from_help():
            xdo("windowactivate", "--sync", self.main)
            keys("F1")
            wait_for(lambda: visible("Quillwavecaster Help"), 5, "Help")
            keys("ctrl+q")
        self.quit_during_a_job(quit_from_help, 0)

    def test_signals_stop_the_job(self):
        self.quit_during_a_job(lambda: self.app.send_signal(signal.SIGTERM), 128 + signal.SIGTERM)

    def test_a_signal_while_an_alert_is_up_quits(self):
        self.failing_phase_check()
        self.app.send_signal(signal.SIGHUP)
        self.assertEqual(self.exits(), 128 + signal.SIGHUP)

    def test_the_set_folder_is_chosen_not_opened(self):
        keys("alt+p")
        self.entry("e", "0")
        self.entry("s", "0")
        folder = os.path.join(self.work, "set")
        for attempt in range(2):
            self.save_as(folder, "Save Phase Check Files")
            if attempt:
                wait_for(lambda: visible("Replace"), 5, "the question")
                keys("alt+y")
            self.written(folder, "the set")
        names = sorted(os.listdir(folder))
        self.assertEqual(len(names), 2)
        self.assertTrue(all(name.endswith(".aif") for name in names), names)
        with open(os.path.join(self.work, "afile"), "w") as other:
            other.write("x")
        self.save_as(os.path.join(self.work, "afile"), "Save Phase Check Files")
        wait_for(lambda: len(visible("Save Phase Check Files")) == 2, 5, "the refusal")
        keys("Return", "Escape")
        wait_for(lambda: not visible("Save Phase Check Files"), 5, "the panel's end")
        with open(os.path.join(self.work, "afile")) as other:
            self.assertEqual(other.read(), "x")

    def test_the_keyboard_reaches_everything(self):
        keys(*["Tab"] * 6, "space")  # tab bar, three entries, rate, check box, Generate
        wait_for(lambda: visible("Save Sound File"), 5, "the save panel")
        keys("Escape")
        wait_for(lambda: not visible("Save Sound File"), 5, "the panel's end")
        keys("F1")
        wait_for(lambda: visible("Quillwavecaster Help"), 5, "Help")
        keys("Escape")
        wait_for(lambda: not visible("Quillwavecaster Help"), 5, "Help's end")
        keys("alt+h", "a")
        wait_for(lambda: visible("About Quillwavecaster"), 5, "About")
        keys("Escape")
        wait_for(lambda: not visible("About Quillwavecaster"), 5, "About's end")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--quillgen", required=True)
    parser.add_argument("--shots", help="where pictures of failures go")
    options, rest = parser.parse_known_args()
    APP, QUILLGEN = os.path.abspath(options.app), os.path.abspath(options.quillgen)
    SHOTS = options.shots
    server, manager = start_x()
    try:
        result = unittest.main(argv=[sys.argv[0], *rest], exit=False).result
    finally:
        for process in (manager, server):
            process.terminate()
            process.wait()
    sys.exit(0 if result.wasSuccessful() else 1)
