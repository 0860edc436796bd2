#!/usr/bin/env python3
"""The desktop program driven end to end under Wine, as a person would use it.

Each scenario prepares a store and the registry, starts the real program in the
background, acts on its windows through e2e-driver (running as a server, since every
Wine process start costs about a second), closes the program and waits for it to end,
then checks what the program left behind: attachment files, backups, rewritten
mailboxes and message files, and the settings stored in the registry. klovin-extract,
which runs the same engine, serves as the oracle for the attachments of a pristine copy
of the same store; expected.txt of make-demo-store as the independent record of their
bytes.

Screenshots of every window and question box the scenarios meet go into the folder
given by --screenshots, for the user guide. Each is taken by the id of the window's own
X window (a capture of the whole screen shows the later windows black) and must look
like a window: its size, a light background, text on it. Beyond that they are compared
with nothing.

Every wait is bounded. When a scenario cannot go on, the prefix's processes are killed
(wineserver -k) and the next scenario starts afresh; the exit status is 1 when any check
failed.
"""

import argparse
import hashlib
import os
import queue
import re
import shlex
import shutil
import subprocess
import sys
import threading
import time
import traceback
from pathlib import Path

DISPLAY_NAME = "Klovin Attachment Extractor"
OPTIONS = "Extract All Attachments"
PROGRESS = "Extracting All Attachments"
ABOUT = "About " + DISPLAY_NAME
QUESTION_TITLES = ("Error", "Warning", "Information")
SETTINGS_KEY = "HKCU\\Software\\Klovinware\\Klovin Attachment Extractor"
IDENTITY = "{6A1E2E00-0000-4000-8000-00000000E2E0}"
# The client's own files, never sources.
NOT_MAILBOXES = {"folders.dbx", "offline.dbx", "pop3uidl.dbx"}

OE_TASKS = ["Show Mailboxes", "Browse for Outlook Mailboxes", "Browse for Windows Mail Emails",
            "Extract Attachments", "Run Outlook Express"]
WM_TASKS = OE_TASKS[:4] + ["Run Windows Mail"]
WLM_TASKS = OE_TASKS[:2] + ["Browse for Windows Live Mail Emails", "Extract Attachments",
                            "Run Windows Live Mail"]
NO_STORE_NOTE = ('No mail store was found. Use "Browse for Outlook Mailboxes" or '
                 '"Browse for Windows Mail Emails".')
CUT_BOX = "Cut out attachments from e-mail messages."
BACKUP_BOX = "Make a backup of .dbx files to this location:"
EXTRACT_BUTTON = "Extract Attachments!"
CLOSE_OE_TEXT = "Please close Outlook Express if it is open."
CLOSE_OE_BUTTON = "I have closed Outlook Express"
CAUTION_START = "CAUTION! Please read the following warning carefully."
CAUTION_QUESTION = "Do you wish to continue without making backups?"
CUT_INFORMATION_START = "The attachments have been cut from your emails"


class Failed(Exception):
    """A step that the scenario cannot go on without."""


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            out.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def fields(line):
    return [unescape(f) for f in line.split("\t")]


def files_by_name(folder):
    """name -> bytes of the plain files directly inside folder."""
    if not folder.is_dir():
        return {}
    return {p.name: p.read_bytes() for p in sorted(folder.iterdir()) if p.is_file()}


class Context:
    def __init__(self, args):
        self.args = args
        self.prefix = Path(args.prefix).resolve()
        self.work = Path(args.work).resolve()
        self.shots = Path(args.screenshots).resolve()
        self.drive = self.prefix / "drive_c" / "e2e"
        self.main_title = "%s v%s" % (DISPLAY_NAME, args.version)
        self.env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        # The prefix's own Xvfb, started by wine-run: the same screen on every machine.
        self.env["WINEDEBUG"] = "-all"
        self.driver = None
        self.failures = []
        self.scenario = "setup"

    # ---- checks ----

    def check(self, condition, what, detail=""):
        if condition:
            print("  ok   %s" % what)
        else:
            print("  FAIL %s%s" % (what, (": " + detail) if detail else ""))
            self.failures.append("%s: %s" % (self.scenario, what))
        return condition

    # ---- Wine ----

    def winpath(self, path):
        path = Path(path)
        drive_c = self.prefix / "drive_c"
        try:
            return "C:\\" + str(path.relative_to(drive_c)).replace("/", "\\")
        except ValueError:
            return "Z:" + str(path).replace("/", "\\")

    def wine(self, args, limit=120, check=True):
        try:
            result = subprocess.run([self.args.wine_run, "--prefix", str(self.prefix)] + args,
                                    stdin=subprocess.DEVNULL, capture_output=True,
                                    env=self.env, timeout=limit)
        except subprocess.TimeoutExpired:
            raise Failed("%s did not end within %d s" % (" ".join(args[:2]), limit))
        if check and result.returncode != 0:
            raise Failed("%s ended with status %d: %s" % (
                " ".join(args[:2]), result.returncode,
                result.stderr.decode("utf-8", "replace").strip()[-800:]))
        return result

    def kill_prefix(self):
        """Ends every process of the prefix: the program, its boxes, the driver."""
        if self.driver:
            self.driver.abandon()
            self.driver = None
        env = dict(self.env, WINEPREFIX=str(self.prefix))
        for option in ("-k", "-w"):
            try:
                subprocess.run(["wineserver", option], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
            except subprocess.TimeoutExpired:
                pass

    def import_registry(self, lines):
        reg = self.work / "scenario.reg"
        # REGEDIT4 files are read in the ANSI code page: every text here is ASCII.
        reg.write_bytes(("\r\n".join(lines) + "\r\n").encode("ascii"))
        self.wine(["reg", "import", self.winpath(reg)], limit=60)

    def prepare_registry(self, version, oe_root, wm_root, extract, backup, create_backups, cut,
                         wlm_root=None):
        def text(value):
            return '"%s"' % value.replace("\\", "\\\\").replace('"', '\\"')
        self.import_registry([
            "REGEDIT4", "",
            "[HKEY_CURRENT_USER\\Software\\Wine]", '"Version"=%s' % text(version), "",
            # Without a window manager Wine draws the frames itself, so a window's
            # rectangle is what the screen shows.
            "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]", '"Decorated"="N"', "",
            "[-HKEY_CURRENT_USER\\Identities]", "",
            "[HKEY_CURRENT_USER\\Identities]", '"Default User ID"=%s' % text(IDENTITY), "",
            "[HKEY_CURRENT_USER\\Identities\\%s\\Software\\Microsoft\\Outlook Express\\5.0]"
            % IDENTITY, '"Store Root"=%s' % text(oe_root), "",
            "[-HKEY_CURRENT_USER\\Software\\Microsoft\\Windows Mail]", "",
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows Mail]",
            '"Store Root"=%s' % text(wm_root), "",
            "[-HKEY_CURRENT_USER\\Software\\Microsoft\\Windows Live Mail]", "",
        ] + ([
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows Live Mail]",
            '"Store Root"=%s' % text(wlm_root), "",
        ] if wlm_root else []) + [
            "[-HKEY_CURRENT_USER\\Software\\Klovinware]", "",
            "[HKEY_CURRENT_USER\\Software\\Klovinware\\Klovin Attachment Extractor]",
            '"BackupFolder"=%s' % text(backup),
            '"ExtractFolder"=%s' % text(extract),
            '"CreateBackups"=dword:%08x' % int(create_backups),
            '"CutAttachments"=dword:%08x' % int(cut),
        ])

    def stored_settings(self):
        result = self.wine(["reg", "query", SETTINGS_KEY], limit=60, check=False)
        if result.returncode != 0:
            return {}
        values = {}
        for line in result.stdout.decode("utf-8", "replace").splitlines():
            m = re.match(r"^\s+(\S+)\s+(REG_\w+)\s*(.*?)\s*$", line)
            if m:
                values[m.group(1)] = (m.group(2), m.group(3))
        return values

    def klovin_extract(self, args, limit=120):
        result = self.wine([self.args.klovin_extract] + args, limit=limit, check=False)
        return result.returncode, result.stdout.decode("utf-8", "replace")

    def display(self):
        try:
            return ":" + (self.prefix / ".xvfb").read_text().split()[0]
        except (OSError, IndexError):
            return None

    def screenshot(self, name, title):
        """The window TITLE as a PNG, taken by the id of its own X window.

        Without a window manager a capture of the whole screen shows the windows after the
        first black or out of date; the window's own X window holds what it shows now. The
        picture must look like a window: the window's size, a light background, text.
        """
        target = self.shots / (name + ".png")
        display = self.display()
        if not display:
            print("  (no screenshot %s: no Xvfb of the prefix)" % name)
            return
        window = self.driver.lines("x-window", title)[0].strip()
        w, h = (int(v) for v in self.driver.lines("rect", title)[0].split()[2:])
        # A window just shown may not have painted yet: the posted messages first, then
        # a few more tries while it paints.
        self.driver.settle(title)
        command = ("xwd -id %s -silent -display %s | convert xwd:- png:%s"
                   % (shlex.quote(window), display, shlex.quote(str(target))))
        for attempt in range(10):
            if attempt:
                time.sleep(0.3)
            result = subprocess.run(command, shell=True, capture_output=True, timeout=60)
            made = result.returncode == 0 and target.is_file() and target.stat().st_size > 0
            looks = picture_looks(target) if made else None
            if looks and looks.is_window_picture(w, h):
                break
        if not self.check(made, "screenshot %s saved" % target.name,
                          result.stderr.decode("utf-8", "replace").strip()):
            return
        self.check(looks.is_window_picture(w, h), "screenshot %s shows the window" % target.name,
                   looks.describe())


class PictureLooks:
    """What a picture's pixels say, as ImageMagick measures them."""

    def __init__(self, width, height, colours, brightness, dark):
        self.width, self.height = width, height
        self.colours = colours        # distinct colours
        self.brightness = brightness  # mean, 0 black to 1 white
        self.dark = dark              # share of pixels darker than a third

    def is_window_picture(self, width, height):
        # A window here is light grey or white with dark text on it: a black, blank or
        # one-colour capture fails, and so does one of another window's size.
        return ((self.width, self.height) == (width, height) and self.colours >= 4
                and self.brightness > 0.5 and 0 < self.dark < 0.5)

    def describe(self):
        return ("%dx%d, %d colours, brightness %.2f, dark share %.4f"
                % (self.width, self.height, self.colours, self.brightness, self.dark))


def differing_pixels(first, second):
    """How many pixels two pictures of one size differ in; None when they cannot be
    compared."""
    result = subprocess.run(["compare", "-metric", "AE", str(first), str(second), "null:"],
                            capture_output=True, timeout=60)
    try:
        return int(float(result.stderr.decode("ascii", "replace").split()[0]))
    except (ValueError, IndexError):
        return None


def picture_looks(path):
    command = ["convert", str(path), "-format", "%w %h %k %[fx:mean]\n", "+write", "info:-",
               "-colorspace", "gray", "-threshold", "33%", "-format", "%[fx:1-mean]\n", "info:-"]
    result = subprocess.run(command, capture_output=True, timeout=60)
    values = result.stdout.decode("ascii", "replace").split()
    if result.returncode != 0 or len(values) != 5:
        return PictureLooks(0, 0, 0, 0.0, 0.0)
    return PictureLooks(int(values[0]), int(values[1]), int(values[2]), float(values[3]),
                        float(values[4]))


class Driver:
    """e2e-driver in its serving mode: one command a line, one answer a command."""

    def __init__(self, ctx):
        self.ctx = ctx
        log = open(ctx.work / "driver.log", "ab")
        self.process = subprocess.Popen(
            [ctx.args.wine_run, "--prefix", str(ctx.prefix), ctx.args.driver, "serve"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log, env=ctx.env)
        log.close()
        self.answers = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            self.answers.put(raw.decode("utf-8", "replace").rstrip("\r\n"))
        self.answers.put(None)

    def abandon(self):
        try:
            self.process.stdin.close()
        except OSError:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()

    def call(self, *args, limit=30.0):
        """(status, message, lines) of one command; lines are still escaped."""
        try:
            self.process.stdin.write(("\t".join(args) + "\n").encode("utf-8"))
            self.process.stdin.flush()
        except OSError:
            raise Failed("the driver has ended")
        lines = []
        deadline = time.monotonic() + limit
        while True:
            try:
                line = self.answers.get(timeout=max(deadline - time.monotonic(), 0.01))
            except queue.Empty:
                raise Failed("the driver did not answer %r within %.0f s" % (args, limit))
            if line is None:
                raise Failed("the driver ended while answering %r" % (args,))
            if line.startswith("|"):
                lines.append(line[1:])
            elif line.startswith("."):
                status, _, message = line[1:].partition(" ")
                return int(status), unescape(message), lines

    def lines(self, *args, limit=30.0):
        status, message, lines = self.call(*args, limit=limit)
        if status != 0:
            raise Failed("%s: %s" % (" ".join(args[:2]), message))
        return lines

    def wait(self, title, seconds=20):
        self.lines("wait", title, str(seconds), limit=seconds + 30)

    def wait_gone(self, title, seconds=20):
        self.lines("wait-gone", title, str(seconds), limit=seconds + 30)

    def exists(self, title):
        return self.call("wait", title, "0")[0] == 0

    def dump(self, title):
        keys = ("handle", "parent", "cls", "enabled", "visible", "check", "x", "y", "w", "h",
                "text")
        out = []
        for line in self.lines("dump", title):
            values = fields(line)
            item = dict(zip(keys, values))
            for k in ("enabled", "visible", "check", "x", "y", "w", "h"):
                item[k] = int(item[k])
            out.append(item)
        return out

    def click(self, title, caption, post=False):
        self.lines(*(["click", title, caption] + (["--post"] if post else [])))

    def press(self, title, text):
        self.lines("press", title, text)

    def settle(self, title):
        self.lines("settle", title, "20", limit=50)

    def rows(self, title):
        return [(f[0] == "1", f[1], f[2])
                for f in (fields(line) for line in self.lines("rows", title))]

    def tick(self, title, row, flag):
        self.lines("tick", title, str(row), "1" if flag else "0")

    def set_edit(self, title, index, text):
        self.lines("set-edit", title, str(index), text)

    def get_edit(self, title, index):
        return unescape(self.lines("get-edit", title, str(index))[0])

    def message(self, title):
        return unescape(self.lines("message", title)[0])

    def close(self, title, post=False):
        self.lines(*(["close", title] + (["--post"] if post else [])))


def control(items, text, cls=None):
    found = [i for i in items[1:] if i["text"] == text and (cls is None or i["cls"].lower() == cls)]
    if len(found) != 1:
        raise Failed("expected one control %r, found %d" % (text, len(found)))
    return found[0]


def buttons(items):
    """The push buttons' captions, left to right."""
    return [i["text"] for i in sorted(items[1:], key=lambda i: (i["y"], i["x"]))
            if i["cls"].lower() == "button" and i["check"] == -1]


def normalized(text):
    return "\n".join(line.rstrip() for line in text.replace("\r\n", "\n").replace("\r", "\n")
                     .strip().split("\n"))


class Program:
    """The desktop program, started in the background through wine-run."""

    def __init__(self, ctx, name):
        self.ctx = ctx
        if ctx.driver.exists(ctx.main_title):
            raise Failed("a main window is still open from before")
        self.log = ctx.work / ("program-%s.log" % name)
        with open(self.log, "wb") as log:
            self.process = subprocess.Popen(
                [ctx.args.wine_run, "--prefix", str(ctx.prefix), ctx.args.app],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, env=ctx.env)

    def alive(self):
        return self.process.poll() is None

    def ensure_alive(self):
        if not self.alive():
            raise Failed("the program ended with status %s (output in %s)"
                         % (self.process.returncode, self.log))

    def await_window(self, title, seconds=30, expected_boxes=()):
        """Waits for a window; any question box not expected here fails the step at once."""
        d = self.ctx.driver
        deadline = time.monotonic() + seconds
        while True:
            if d.exists(title):
                return
            for box in QUESTION_TITLES:
                if box != title and box not in expected_boxes and d.exists(box):
                    raise Failed("unexpected %r box while waiting for %r: %s"
                                 % (box, title, d.message(box)))
            self.ensure_alive()
            if time.monotonic() > deadline:
                raise Failed("window %r did not appear within %d s" % (title, seconds))
            time.sleep(0.1)

    def close_and_wait(self, seconds=30):
        d = self.ctx.driver
        d.close(self.ctx.main_title)
        try:
            status = self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise Failed("the program did not end within %d s of closing its main window" % seconds)
        self.ctx.check(status == 0, "the program ended with status 0", "status %d" % status)

    def stop(self):
        if self.alive():
            self.ctx.kill_prefix()
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()


# ---------------------------------------------------------------------------------------
# The store


def read_expected(path):
    sources, attachments = {}, {}
    for line in path.read_text(encoding="utf-8").splitlines():
        parts = line.split("\t")
        if parts[0] == "source":
            sources[parts[1]] = {"kind": parts[2], "messages": int(parts[3]),
                                 "attachments": int(parts[4])}
            attachments.setdefault(parts[1], [])
        elif parts[0] == "attachment":
            attachments.setdefault(parts[1], []).append(
                {"name": parts[2], "size": int(parts[3]), "sha": parts[4]})
    return sources, attachments


def make_store(ctx):
    """The demo store, made by the project's tool with the Windows dbx-writer under Wine."""
    demo = ctx.work / "demo"
    shutil.rmtree(demo, ignore_errors=True)
    wrapper = ctx.work / "dbx-writer"
    # make-demo-store wants a plain command and passes Unix paths; Wine sees / as Z:.
    wrapper.write_text(
        "#!/bin/bash\n"
        "args=()\n"
        "for a in \"$@\"; do\n"
        "    case \"$a\" in /*) a=\"Z:${a//\\//\\\\}\" ;; esac\n"
        "    args+=(\"$a\")\n"
        "done\n"
        "exec %s --prefix %s %s \"${args[@]}\"\n"
        % (shlex.quote(ctx.args.wine_run), shlex.quote(str(ctx.prefix)),
           shlex.quote(ctx.args.dbx_writer)))
    wrapper.chmod(0o755)
    try:
        result = subprocess.run([sys.executable, ctx.args.make_demo_store, "--dbx-writer",
                                 str(wrapper), "--large", str(ctx.args.large), str(demo)],
                                stdin=subprocess.DEVNULL, capture_output=True, env=ctx.env,
                                timeout=600)
    except subprocess.TimeoutExpired:
        raise Failed("make-demo-store did not end within 600 s")
    if result.returncode != 0:
        raise Failed("make-demo-store failed: %s"
                     % result.stderr.decode("utf-8", "replace")[-2000:])
    # The large mailbox goes apart: only the long job uses it.
    (demo / "large").mkdir()
    os.replace(demo / "Outlook Express" / "Large.dbx", demo / "large" / "Large.dbx")
    return demo


def dbx_names(folder):
    return sorted(p.stem for p in folder.iterdir()
                  if p.suffix.lower() == ".dbx" and p.name.lower() not in NOT_MAILBOXES)


def eml_folders(root):
    """Every folder at or below root that directly holds a file with the extension eml."""
    found = []
    for folder, _, files in os.walk(root):
        if any(f.rsplit(".", 1)[-1] == "eml" for f in files if "." in f):
            found.append(Path(folder))
    return found


# ---------------------------------------------------------------------------------------
# Steps shared by the scenarios


def main_window_checks(ctx, tasks):
    d = ctx.driver
    items = d.dump(ctx.main_title)
    heading = [i for i in items if i["text"] == "Tasks"]
    if len(heading) != 1:
        raise Failed("the main window has no task list heading")
    entries = sorted((i for i in items
                      if i["parent"] == heading[0]["parent"] and i is not heading[0]),
                     key=lambda i: i["y"])
    ctx.check([e["text"] for e in entries] == tasks, "the task list reads %s" % " / ".join(tasks),
              repr([e["text"] for e in entries]))
    ctx.check(items[0]["enabled"] == 1, "the main window is enabled")


def tick_all(ctx):
    d = ctx.driver
    d.click(ctx.main_title, "Select All")
    rows = d.rows(ctx.main_title)
    ctx.check(rows and all(r[0] for r in rows), "\"Select All\" ticks every row")
    return rows


def open_options(ctx, program):
    d = ctx.driver
    d.press(ctx.main_title, "Extract Attachments")
    program.await_window(OPTIONS, 20)
    items = d.dump(OPTIONS)
    ctx.check(items[0]["enabled"] == 1 and d.dump(ctx.main_title)[0]["enabled"] == 0,
              "the options window is open and the main window disabled under it")
    return items


def wait_for_done(ctx, program, seconds=120, expected_boxes=()):
    """Waits for the job's final state, failing at once on a box nobody expected."""
    d = ctx.driver
    deadline = time.monotonic() + seconds
    while True:
        if d.exists(PROGRESS):
            if any(i["text"] == "Done" for i in d.dump(PROGRESS)):
                # Counters are posted, "Done" is sent: let the posted texts arrive first.
                d.settle(PROGRESS)
                return d.dump(PROGRESS)
        for box in QUESTION_TITLES:
            if box not in expected_boxes and d.exists(box):
                raise Failed("unexpected %r box during the job: %s" % (box, d.message(box)))
        program.ensure_alive()
        if time.monotonic() > deadline:
            raise Failed("the job did not reach its final state within %d s" % seconds)
        time.sleep(0.1)


def counters(items):
    """Caption -> value text of the progress window, paired by their rows."""
    labels = [i for i in items[1:] if i["cls"].lower() not in ("button", "msctls_progress32")]
    captions = {"Mailboxes:", "Emails:", "Attachments:", "- Encoded:", "- Decoded:", "Skipped:"}
    values = {}
    for caption in (i for i in labels if i["text"] in captions):
        beside = [i for i in labels if i is not caption and i["text"] not in captions
                  and abs(i["y"] - caption["y"]) <= 3 and i["x"] > caption["x"]]
        nearest = min(beside, key=lambda i: i["x"]) if beside else None
        values[caption["text"]] = nearest["text"].strip() if nearest else None
    return values


def finish_job(ctx, program):
    """Presses "Done" and checks that the progress window goes and the main window wakes."""
    d = ctx.driver
    d.click(PROGRESS, "Done")
    d.wait_gone(PROGRESS, 20)
    ctx.check(d.dump(ctx.main_title)[0]["enabled"] == 1,
              "after \"Done\" the progress window is gone and the main window enabled again")


def compare_with_oracle(ctx, got, oracle, what):
    missing = sorted(set(oracle) - set(got))
    extra = sorted(set(got) - set(oracle))
    different = sorted(n for n in set(got) & set(oracle) if got[n] != oracle[n])
    ctx.check(oracle and not missing and not extra and not different,
              "%s: the same %d files, names and bytes, as klovin-extract on a pristine copy"
              % (what, len(oracle)),
              "missing %s, extra %s, different %s" % (missing[:5], extra[:5], different[:5]))


def numbered(name, n):
    stem, dot, extension = name.rpartition(".")
    return "%s_%d.%s" % (stem, n, extension) if dot else "%s_%d" % (name, n)


def compare_with_expected(ctx, got, expected_records, what):
    want = {a["sha"] for a in expected_records}
    have = {sha256(b) for b in got.values()}
    ctx.check(want == have, "%s: every attachment of expected.txt is there, byte for byte, "
              "and nothing else" % what,
              "%d expected contents missing, %d unexpected files"
              % (len(want - have), len(have - want)))
    # Under the name expected.txt gives (Unicode, cleaned), or a numbered one beside it.
    digests = {name: sha256(b) for name, b in got.items()}
    misnamed = []
    for a in expected_records:
        names = [a["name"]] + [numbered(a["name"], n) for n in range(1, len(expected_records) + 1)]
        if not any(digests.get(n) == a["sha"] for n in names):
            misnamed.append(a["name"])
    ctx.check(not misnamed, "%s: each file has the name expected.txt gives" % what,
              "not found under their names: %s; files: %s" % (misnamed[:5], sorted(got)[:20]))


# ---------------------------------------------------------------------------------------
# Scenarios


def picture_check_refuses_non_windows(ctx):
    """The screenshot check itself: a black, a blank and a dark noise picture of the right
    size must not pass for a window, and neither must a good one of another size."""
    made = {
        "black": ["-size", "300x120", "xc:black"],
        "blank": ["-size", "300x120", "xc:#f4f4f4"],
        "dark noise": ["-size", "300x120", "plasma:black-navy"],
        # Strokes of text, a white edit and a grey button edge, as a box has them.
        "text on light grey": ["-size", "300x120", "xc:#f4f4f4", "-fill", "black", "-draw",
                               "rectangle 10,10 120,24 rectangle 10,40 200,52", "-fill",
                               "white", "-draw", "rectangle 10,70 280,110", "-fill", "gray60",
                               "-draw", "rectangle 200,10 230,24"],
    }
    looks = {}
    for name, recipe in made.items():
        path = ctx.work / ("picture-%s.png" % name.replace(" ", "-"))
        subprocess.run(["convert"] + recipe + ["png:" + str(path)], check=True,
                       capture_output=True, timeout=60)
        looks[name] = picture_looks(path)
    refused = [n for n in ("black", "blank", "dark noise") if looks[n].is_window_picture(300, 120)]
    ctx.check(not refused, "the screenshot check refuses black, blank and dark pictures",
              repr(refused))
    ctx.check(looks["text on light grey"].is_window_picture(300, 120)
              and not looks["text on light grey"].is_window_picture(301, 120),
              "it takes text on a light background of the window's size, and only that size",
              looks["text on light grey"].describe())


def scenario_outlook_express_main_window(ctx, demo):
    """Outlook Express mode: the list, the tasks, extracting with nothing ticked, ticks."""
    store = ctx.drive / "a" / "Outlook Express"
    shutil.copytree(demo / "Outlook Express", store)
    ctx.prepare_registry("winxp", ctx.winpath(store), ctx.winpath(ctx.drive / "nowhere"),
                         ctx.winpath(ctx.drive / "a" / "attachments"), "", False, False)
    d = ctx.driver
    program = Program(ctx, "a")
    try:
        program.await_window(ctx.main_title, 60)
        d.settle(ctx.main_title)
        main_window_checks(ctx, OE_TASKS)

        rows = d.rows(ctx.main_title)
        want = dbx_names(store)
        ctx.check(sorted(r[1] for r in rows) == want and len(rows) == len(want),
                  "the list shows the store's mailboxes, without Folders.dbx",
                  repr([r[1] for r in rows]))
        sizes_ok = all((store / (r[1] + ".dbx")).is_file() and
                       r[2] == "%d KB" % ((store / (r[1] + ".dbx")).stat().st_size // 1024)
                       for r in rows)
        ctx.check(sizes_ok, "each row shows its mailbox's size in KB", repr([r[2] for r in rows]))
        ctx.check(not any(r[0] for r in rows), "every row starts unticked")
        ctx.screenshot("main-window-outlook-express", ctx.main_title)

        d.press(ctx.main_title, "Extract Attachments")
        program.await_window("Error", 20, expected_boxes=("Error",))
        items = d.dump("Error")
        ctx.screenshot("question-select-mailboxes", "Error")
        ctx.check(d.message("Error").strip() == "Select some mailboxes first!",
                  "with nothing ticked, \"Extract Attachments\" says "
                  "\"Select some mailboxes first!\"")
        ctx.check(buttons(items) == ["Ok"], "the box offers the single button \"Ok\"",
                  repr(buttons(items)))
        d.click("Error", "Ok")
        d.wait_gone("Error", 10)
        ctx.check(not d.exists(OPTIONS) and d.dump(ctx.main_title)[0]["enabled"] == 1,
                  "after \"Ok\" no options window opened and the main window is enabled")

        # The About window runs its own message loop inside the click.
        d.click(ctx.main_title, "?", post=True)
        program.await_window(ABOUT, 20)
        items = d.dump(ABOUT)
        ctx.screenshot("about-window", ABOUT)
        ctx.check(any(i["text"] == ctx.main_title for i in items[1:]) and buttons(items) == ["Ok"],
                  "\"?\" shows the About window with the name and version")
        d.click(ABOUT, "Ok")
        d.wait_gone(ABOUT, 10)

        tick_all(ctx)
        d.click(ctx.main_title, "Select None")
        ctx.check(not any(r[0] for r in d.rows(ctx.main_title)),
                  "\"Select None\" unticks every row")
        tick_all(ctx)
        d.press(ctx.main_title, "Show Mailboxes")
        d.settle(ctx.main_title)
        rows = d.rows(ctx.main_title)
        ctx.check(sorted(r[1] for r in rows) == want and not any(r[0] for r in rows),
                  "\"Show Mailboxes\" lists the mailboxes again, every row unticked")
        program.close_and_wait()
    finally:
        program.stop()


def scenario_full_extraction(ctx, demo, expected):
    """Cutting with backups, options set through the options window's controls."""
    base = ctx.drive / "b"
    store = base / "Outlook Express"
    pristine = demo / "Outlook Express"
    shutil.copytree(pristine, store)
    destination = base / "attachments"
    destination.mkdir()
    backups = base / "backups"
    ctx.prepare_registry("winxp", ctx.winpath(store), ctx.winpath(ctx.drive / "nowhere"),
                         ctx.winpath(base / "earlier"), "", False, False)
    d = ctx.driver
    program = Program(ctx, "b")
    try:
        program.await_window(ctx.main_title, 60)
        rows = tick_all(ctx)
        names = [r[1] for r in rows]
        if sorted(names) != dbx_names(store):
            raise Failed("the list does not show the store's mailboxes: %r" % names)

        items = open_options(ctx, program)
        ctx.check(d.get_edit(OPTIONS, 0) == ctx.winpath(base / "earlier")
                  and d.get_edit(OPTIONS, 1) == "",
                  "the edits show the stored destination and backup folders")
        cut, backup = control(items, CUT_BOX), control(items, BACKUP_BOX)
        edits = [i for i in items if i["cls"].lower() == "edit"]
        ctx.check(cut["check"] == 0 and backup["check"] == 0 and backup["enabled"] == 0
                  and edits[1]["enabled"] == 0,
                  "stored options without cutting: both boxes unticked, the backup box and "
                  "edit disabled")

        d.set_edit(OPTIONS, 0, ctx.winpath(destination))
        d.click(OPTIONS, CUT_BOX)
        items = d.dump(OPTIONS)
        ctx.check(control(items, CUT_BOX)["check"] == 1
                  and control(items, BACKUP_BOX)["enabled"] == 1
                  and [i for i in items if i["cls"].lower() == "edit"][1]["enabled"] == 0,
                  "ticking the cut box enables the backup box, the backup edit stays disabled")
        d.click(OPTIONS, BACKUP_BOX)
        items = d.dump(OPTIONS)
        ctx.check(control(items, BACKUP_BOX)["check"] == 1
                  and [i for i in items if i["cls"].lower() == "edit"][1]["enabled"] == 1,
                  "ticking the backup box enables the backup edit")
        d.set_edit(OPTIONS, 1, ctx.winpath(backups))
        ctx.screenshot("options-window-outlook-express", OPTIONS)

        d.click(OPTIONS, EXTRACT_BUTTON, post=True)
        program.await_window("Warning", 20, expected_boxes=("Warning",))
        ctx.screenshot("question-close-outlook-express", "Warning")
        ctx.check(d.message("Warning").strip() == CLOSE_OE_TEXT,
                  "cutting Outlook Express mailboxes first asks to close Outlook Express")
        ctx.check(buttons(d.dump("Warning")) == [CLOSE_OE_BUTTON],
                  "its one button reads \"%s\"" % CLOSE_OE_BUTTON)
        d.click("Warning", CLOSE_OE_BUTTON)
        program.await_window(PROGRESS, 20, expected_boxes=("Information",))
        ctx.check(not d.exists("Warning") and not d.exists(OPTIONS),
                  "with backups ticked no caution follows; the options window has gone")

        program.await_window("Information", 120, expected_boxes=("Information",))
        ctx.screenshot("question-compact-after-cutting", "Information")
        ctx.check(d.message("Information").strip().startswith(CUT_INFORMATION_START),
                  "after cutting the job tells how to compact the mailboxes")
        d.click("Information", "Ok")
        items = wait_for_done(ctx, program)
        ctx.screenshot("progress-window-done", PROGRESS)
        values = counters(items)
        sources = ["Outlook Express/%s.dbx" % n for n in names]
        messages = sum(expected[0][s]["messages"] for s in sources)
        attachments = sum(expected[0][s]["attachments"] for s in sources)
        ctx.check(values.get("Mailboxes:") == str(len(names))
                  and values.get("Emails:") == str(messages)
                  and values.get("Attachments:") == str(attachments),
                  "the counters show %d mailboxes, %d e-mails, %d attachments"
                  % (len(names), messages, attachments), repr(values))
        ctx.check(control(items, "Pause", "button")["enabled"] == 0,
                  "in the final state the Pause button is disabled")
        finish_job(ctx, program)
        program.close_and_wait()
    finally:
        program.stop()

    settings = ctx.stored_settings()
    ctx.check(settings.get("ExtractFolder") == ("REG_SZ", ctx.winpath(destination))
              and settings.get("BackupFolder") == ("REG_SZ", ctx.winpath(backups))
              and settings.get("CreateBackups") == ("REG_DWORD", "0x1")
              and settings.get("CutAttachments") == ("REG_DWORD", "0x1"),
              "the registry holds the typed folders and both ticks after exit", repr(settings))

    backup_files = files_by_name(backups)
    ctx.check(sorted(backup_files) == sorted(n + ".dbx" for n in names)
              and all(backup_files[n + ".dbx"] == (pristine / (n + ".dbx")).read_bytes()
                      for n in names),
              "each ticked mailbox has a byte-identical backup, and only those",
              repr(sorted(backup_files)))

    got = files_by_name(destination)
    oracle_dir = ctx.work / "oracle-b"
    shutil.rmtree(oracle_dir, ignore_errors=True)
    status, output = ctx.klovin_extract(["-o", ctx.winpath(oracle_dir), "--yes"]
                                        + [ctx.winpath(pristine / (n + ".dbx")) for n in names])
    ctx.check(status == 0, "klovin-extract on the pristine store succeeds", output[-400:])
    compare_with_oracle(ctx, got, files_by_name(oracle_dir), "attachments")
    compare_with_expected(ctx, got, [a for s in sources for a in expected[1][s]], "attachments")

    changed = [n for n in names
               if (store / (n + ".dbx")).read_bytes() != (pristine / (n + ".dbx")).read_bytes()]
    with_attachments = [n for n in names
                        if expected[0]["Outlook Express/%s.dbx" % n]["attachments"]]
    ctx.check(sorted(changed) == sorted(with_attachments),
              "exactly the mailboxes that held attachments were rewritten", repr(changed))
    status, output = ctx.klovin_extract(["--list", ctx.winpath(store)])
    listed = sorted(line.split("  ")[0].strip() for line in output.splitlines() if line.strip())
    ctx.check(status == 0 and listed == sorted(names),
              "klovin-extract --list still lists every mailbox", output[-400:])
    again = ctx.work / "again-b"
    shutil.rmtree(again, ignore_errors=True)
    status, output = ctx.klovin_extract(["-o", ctx.winpath(again), "--yes"]
                                        + [ctx.winpath(store / (n + ".dbx")) for n in names])
    ctx.check(status == 0 and "Emails: %d" % messages in output,
              "the rewritten mailboxes read completely, every message still there", output[-400:])
    ctx.check(files_by_name(again) == {}, "a second extraction from them finds no attachment left",
              repr(sorted(files_by_name(again))[:5]))


def scenario_caution(ctx, demo):
    """Cut ticked, backup unticked: both questions, and cancelling keeps the options open."""
    base = ctx.drive / "c"
    store = base / "Outlook Express"
    shutil.copytree(demo / "Outlook Express", store)
    destination = base / "attachments"
    backups = base / "backups"
    ctx.prepare_registry("winxp", ctx.winpath(store), ctx.winpath(ctx.drive / "nowhere"),
                         ctx.winpath(destination), ctx.winpath(backups), True, True)
    d = ctx.driver
    program = Program(ctx, "c")
    try:
        program.await_window(ctx.main_title, 60)
        rows = d.rows(ctx.main_title)
        if not rows:
            raise Failed("the list is empty")
        d.tick(ctx.main_title, 0, True)
        items = open_options(ctx, program)
        ctx.check(control(items, CUT_BOX)["check"] == 1 and control(items, BACKUP_BOX)["check"] == 1
                  and control(items, BACKUP_BOX)["enabled"] == 1,
                  "stored options with cutting and backups: both boxes ticked and enabled")
        d.click(OPTIONS, BACKUP_BOX)
        items = d.dump(OPTIONS)
        ctx.check(control(items, BACKUP_BOX)["check"] == 0
                  and [i for i in items if i["cls"].lower() == "edit"][1]["enabled"] == 0,
                  "unticking the backup box disables the backup edit")

        d.click(OPTIONS, EXTRACT_BUTTON, post=True)
        program.await_window("Warning", 20, expected_boxes=("Warning",))
        ctx.check(d.message("Warning").strip() == CLOSE_OE_TEXT,
                  "first comes \"%s\"" % CLOSE_OE_TEXT)
        d.click("Warning", CLOSE_OE_BUTTON)
        program.await_window("Warning", 20, expected_boxes=("Warning",))
        text = normalized(d.message("Warning"))
        ctx.screenshot("question-cut-without-backups", "Warning")
        ctx.check(text.startswith(CAUTION_START) and CAUTION_QUESTION in text,
                  "then the caution about cutting without backups", text[:120])
        ctx.check(buttons(d.dump("Warning")) == ["Continue without backups", "Cancel extraction"],
                  "it offers \"Continue without backups\" and \"Cancel extraction\"",
                  repr(buttons(d.dump("Warning"))))
        d.click("Warning", "Cancel extraction")
        d.wait_gone("Warning", 10)
        items = d.dump(OPTIONS)
        ctx.check(items[0]["enabled"] == 1 and not d.exists(PROGRESS)
                  and control(items, CUT_BOX)["check"] == 1
                  and control(items, BACKUP_BOX)["check"] == 0,
                  "\"Cancel extraction\" leaves the options window open as it was, no job started")
        d.close(OPTIONS)
        ctx.check(not d.exists(OPTIONS), "the options window's close box closes it")
        ctx.check(d.dump(ctx.main_title)[0]["enabled"] == 1, "and the main window is enabled again")
        program.close_and_wait()
    finally:
        program.stop()

    settings = ctx.stored_settings()
    ctx.check(settings.get("CutAttachments") == ("REG_DWORD", "0x1")
              and settings.get("CreateBackups") == ("REG_DWORD", "0x0")
              and settings.get("ExtractFolder") == ("REG_SZ", ctx.winpath(destination)),
              "the choices of the closed options window are stored at exit", repr(settings))
    ctx.check(not destination.exists() and not backups.exists(),
              "nothing was extracted or backed up")
    pristine = demo / "Outlook Express"
    ctx.check(all((store / (n + ".dbx")).read_bytes() == (pristine / (n + ".dbx")).read_bytes()
                  for n in dbx_names(store)), "no mailbox was changed")


def scenario_pause_and_stop(ctx, demo, expected):
    """A long job: Pause, Start, the close box, Stop, Done."""
    base = ctx.drive / "d"
    store = base / "Outlook Express"
    store.mkdir(parents=True)
    large = demo / "large" / "Large.dbx"
    # Many names for one big mailbox: a job of several seconds without making gigabytes.
    names = ["Large %02d" % i for i in range(1, ctx.args.copies + 1)]
    for n in names:
        try:
            os.link(large, store / (n + ".dbx"))
        except OSError:
            os.symlink(large, store / (n + ".dbx"))
    destination = base / "attachments"
    ctx.prepare_registry("winxp", ctx.winpath(store), ctx.winpath(ctx.drive / "nowhere"),
                         ctx.winpath(destination), "", False, False)
    d = ctx.driver
    program = Program(ctx, "d")
    try:
        program.await_window(ctx.main_title, 60)
        rows = tick_all(ctx)
        ctx.check(sorted(r[1] for r in rows) == names,
                  "the list shows the %d large mailboxes" % len(names))
        items = open_options(ctx, program)
        ctx.check(control(items, CUT_BOX)["check"] == 0, "the cut box starts unticked")
        d.click(OPTIONS, EXTRACT_BUTTON, post=True)
        # Not cutting: no question from the options window; the job asks for the folder.
        program.await_window("Error", 30, expected_boxes=("Error",))
        ctx.check(not d.exists("Warning"), "without cutting no warning came before the job")
        ctx.screenshot("question-create-destination", "Error")
        ctx.check(d.message("Error").strip() ==
                  "The destination path \"%s\" does not exist. Do you wish to create it?"
                  % ctx.winpath(destination), "the job asks to create the missing destination")
        d.click("Error", "Yes")
        d.wait(PROGRESS, 20)
        # Paused and stopped while it extracts, not while it counts.
        def emails_read():
            items = d.dump(PROGRESS)
            if any(i["text"] == "Done" for i in items):
                raise Failed("the job ended before it could be paused")
            value = counters(items).get("Emails:") or ""
            return int(value) if value.isdigit() else 0

        deadline = time.monotonic() + 60
        while emails_read() == 0:
            if time.monotonic() > deadline:
                raise Failed("the job read no e-mail within 60 s")
            time.sleep(0.05)
        ctx.screenshot("progress-window", PROGRESS)
        d.click(PROGRESS, "Pause")
        items = d.dump(PROGRESS)
        ctx.screenshot("progress-window-paused", PROGRESS)
        # "Pause" became "Start" and the counters moved on: a capture that showed what the
        # window was before would be the same picture again.
        changed = differing_pixels(ctx.shots / "progress-window.png",
                                   ctx.shots / "progress-window-paused.png")
        ctx.check(changed is not None and changed > 0,
                  "the capture after \"Pause\" shows the window as it is now",
                  "%s pixels differ" % changed)
        ctx.check(any(i["text"] == "Start" for i in items)
                  and not any(i["text"] == "Pause" for i in items),
                  "\"Pause\" turns the button into \"Start\"")
        d.close(PROGRESS)
        ctx.check(d.exists(PROGRESS) and any(i["text"] == "Start" for i in d.dump(PROGRESS)),
                  "the progress window's close box does nothing")
        d.click(PROGRESS, "Start")
        ctx.check(any(i["text"] == "Pause" for i in d.dump(PROGRESS)),
                  "\"Start\" turns it back into \"Pause\"")
        d.click(PROGRESS, "Stop")
        items = wait_for_done(ctx, program, 60)
        ctx.check(control(items, "Pause", "button")["enabled"] == 0,
                  "after Stop the Stop button reads \"Done\" and Pause is disabled")
        total = ctx.args.copies * expected[0]["Outlook Express/Large.dbx"]["messages"]
        emails = counters(items).get("Emails:") or "0"
        ctx.check(emails.isdigit() and 0 < int(emails) < total,
                  "the job stopped while extracting: %s of %d e-mails read" % (emails, total))
        ctx.check(not d.exists("Information"), "no information box without cutting")
        finish_job(ctx, program)
        program.close_and_wait()
    finally:
        program.stop()

    want = {a["sha"] for a in expected[1]["Outlook Express/Large.dbx"]}
    got = files_by_name(destination)
    ctx.check(destination.is_dir() and got and all(sha256(b) in want for b in got.values()),
              "the destination was created and holds true attachments only (%d files)" % len(got))


def scenario_windows_mail(ctx, demo, expected):
    """Windows Mail mode: .eml folders, no backup option, no question, files rewritten."""
    base = ctx.drive / "e"
    store = base / "Windows Mail"
    pristine = demo / "Windows Mail"
    shutil.copytree(pristine, store)
    destination = base / "attachments"
    destination.mkdir()
    backups = base / "backups"
    ctx.prepare_registry("vista", ctx.winpath(ctx.drive / "nowhere"), ctx.winpath(store),
                         ctx.winpath(destination), ctx.winpath(backups), True, False)
    d = ctx.driver
    program = Program(ctx, "e")
    try:
        program.await_window(ctx.main_title, 60)
        d.settle(ctx.main_title)
        main_window_checks(ctx, WM_TASKS)
        rows = d.rows(ctx.main_title)
        folders = eml_folders(store)
        ctx.check(sorted(r[1] for r in rows) == sorted(ctx.winpath(f) for f in folders)
                  and all(r[2] == "" for r in rows),
                  "the list shows the folders that hold .eml files, without sizes",
                  repr([r[1] for r in rows]))
        ctx.screenshot("main-window-windows-mail", ctx.main_title)
        rows = tick_all(ctx)

        items = open_options(ctx, program)
        edits = [i for i in items if i["cls"].lower() == "edit"]
        ctx.check(len(edits) == 3 and not any(i["text"] == BACKUP_BOX for i in items)
                  and sum(1 for i in items if i["text"] == "Browse..") == 1,
                  "the options window has no backup controls")
        d.click(OPTIONS, CUT_BOX)
        ctx.check(control(d.dump(OPTIONS), CUT_BOX)["check"] == 1, "the cut box is ticked")
        ctx.screenshot("options-window-windows-mail", OPTIONS)
        d.click(OPTIONS, EXTRACT_BUTTON, post=True)
        program.await_window(PROGRESS, 20)
        # Any question box during the job fails the wait at once.
        items = wait_for_done(ctx, program)
        sources = ["Windows Mail/" + str(Path(f).relative_to(store)) for f in folders]
        messages = sum(expected[0][s]["messages"] for s in sources)
        values = counters(items)
        ctx.check(values.get("Mailboxes:") == str(len(rows))
                  and values.get("Emails:") == str(messages),
                  "the counters show %d folders and %d e-mails" % (len(rows), messages),
                  repr(values))
        finish_job(ctx, program)
        program.close_and_wait()
    finally:
        program.stop()

    settings = ctx.stored_settings()
    ctx.check(settings.get("CutAttachments") == ("REG_DWORD", "0x1")
              and settings.get("CreateBackups") == ("REG_DWORD", "0x1")
              and settings.get("BackupFolder") == ("REG_SZ", ctx.winpath(backups)),
              "the cut tick is stored; the backup choices, absent from the window, are kept",
              repr(settings))
    ctx.check(not backups.exists(), "no backup was made of message files")

    order = [r[1] for r in rows]
    got = files_by_name(destination)
    oracle_dir = ctx.work / "oracle-e"
    shutil.rmtree(oracle_dir, ignore_errors=True)
    pristine_of = {ctx.winpath(f): pristine / f.relative_to(store) for f in folders}
    if set(order) != set(pristine_of):
        raise Failed("the list's folders are not the store's")
    status, output = ctx.klovin_extract(["-o", ctx.winpath(oracle_dir), "--yes", "--eml"]
                                        + [ctx.winpath(pristine_of[p]) for p in order])
    ctx.check(status == 0, "klovin-extract --eml on the pristine store succeeds", output[-400:])
    compare_with_oracle(ctx, got, files_by_name(oracle_dir), "attachments")
    compare_with_expected(ctx, got, [a for s in sources for a in expected[1][s]], "attachments")

    originals = {p.relative_to(pristine): p.read_bytes() for p in pristine.rglob("*.eml")}
    now = {p.relative_to(store): p.read_bytes() for p in store.rglob("*.eml")}
    changed = {k for k in originals if now.get(k) != originals[k]}
    ctx.check(set(now) == set(originals) and changed
              and all(len(now[k]) < len(originals[k]) for k in changed),
              "the message files are all there, %d of them rewritten shorter" % len(changed))
    again = ctx.work / "again-e"
    shutil.rmtree(again, ignore_errors=True)
    status, output = ctx.klovin_extract(["-o", ctx.winpath(again), "--yes", "--eml"] + order)
    ctx.check(status == 0 and "Emails: %d" % messages in output,
              "the rewritten files still parse, every message read", output[-400:])
    ctx.check(files_by_name(again) == {}, "a second extraction from them finds no attachment left",
              repr(sorted(files_by_name(again))[:5]))


def scenario_windows_live_mail(ctx, demo, expected):
    """Windows 10 with only a Windows Live Mail store: its folders listed, one extracted."""
    base = ctx.drive / "f"
    store = base / "Windows Live Mail"
    pristine = demo / "Windows Mail"
    shutil.copytree(pristine, store)
    destination = base / "attachments"
    destination.mkdir()
    ctx.prepare_registry("win10", ctx.winpath(ctx.drive / "nowhere"),
                         ctx.winpath(ctx.drive / "nowhere"), ctx.winpath(destination), "",
                         False, False, wlm_root=ctx.winpath(store))
    status, output = ctx.klovin_extract(["--list"])
    ctx.check(status == 0 and ("Windows Live Mail store: %s" % ctx.winpath(store)) in output
              and "Outlook Express store" not in output,
              "klovin-extract --list without a folder names the Windows Live Mail store",
              output[-400:])
    d = ctx.driver
    program = Program(ctx, "f")
    try:
        program.await_window(ctx.main_title, 60)
        d.settle(ctx.main_title)
        main_window_checks(ctx, WLM_TASKS)
        items = d.dump(ctx.main_title)
        ctx.check(any(i["text"] == "Windows Live Mail store: %s" % ctx.winpath(store)
                      for i in items),
                  "the list's note names the Windows Live Mail store")
        rows = d.rows(ctx.main_title)
        folders = eml_folders(store)
        ctx.check(sorted(r[1] for r in rows) == sorted(ctx.winpath(f) for f in folders)
                  and all(r[2] == "" for r in rows),
                  "the list shows the Windows Live Mail folders that hold .eml files",
                  repr([r[1] for r in rows]))
        ctx.screenshot("main-window-windows-live-mail", ctx.main_title)
        # The first folder with an attachment, alone.
        sources = {ctx.winpath(f): "Windows Mail/" + str(Path(f).relative_to(store))
                   for f in folders}
        chosen = next((i for i, r in enumerate(rows)
                       if expected[0][sources[r[1]]]["attachments"] > 0), None)
        if chosen is None:
            raise Failed("no listed folder holds an attachment")
        d.tick(ctx.main_title, chosen, 1)
        items = open_options(ctx, program)
        ctx.check(not any(i["text"] == BACKUP_BOX for i in items),
                  "the options window has no backup controls")
        d.click(OPTIONS, EXTRACT_BUTTON, post=True)
        program.await_window(PROGRESS, 20)
        items = wait_for_done(ctx, program)
        source = sources[rows[chosen][1]]
        values = counters(items)
        ctx.check(values.get("Mailboxes:") == "1"
                  and values.get("Emails:") == str(expected[0][source]["messages"]),
                  "the counters show one folder and its e-mails", repr(values))
        finish_job(ctx, program)
        program.close_and_wait()
    finally:
        program.stop()
    got = files_by_name(destination)
    compare_with_expected(ctx, got, expected[1][source], "attachments of the ticked folder")
    originals = {p.relative_to(pristine): p.read_bytes() for p in pristine.rglob("*.eml")}
    ctx.check(all((store / k).read_bytes() == v for k, v in originals.items()),
              "without cutting, the message files are as they were")


def scenario_no_store(ctx):
    """Windows 10 with no store anywhere: an empty list and a line that says what to do."""
    ctx.prepare_registry("win10", ctx.winpath(ctx.drive / "nowhere"),
                         ctx.winpath(ctx.drive / "nowhere"), ctx.winpath(ctx.drive / "g"), "",
                         False, False)
    d = ctx.driver
    program = Program(ctx, "g")
    try:
        program.await_window(ctx.main_title, 60)
        d.settle(ctx.main_title)
        main_window_checks(ctx, OE_TASKS)
        ctx.check(d.rows(ctx.main_title) == [], "the list is empty")
        ctx.check(any(i["text"] == NO_STORE_NOTE for i in d.dump(ctx.main_title)),
                  "the list's note says no store was found and names the browse tasks")
        ctx.screenshot("main-window-no-store", ctx.main_title)
        program.close_and_wait()
    finally:
        program.stop()


class Ending:
    FINAL_STATE = "final state"  # the progress window waits for "Done"
    CLOSED = "closed"            # the job closes its window itself


def answer_boxes(ctx, program, answers, ending=Ending.FINAL_STATE, seconds=120):
    """Answers the job's boxes until its ending; each box's text must hold the words of
    one entry of answers, (title, words, button, screenshot name[, check box to tick
    first]), and each entry is met once, in any order. The boxes are captured before
    they are answered (those with a name)."""
    d = ctx.driver
    left = list(answers)
    deadline = time.monotonic() + seconds
    while True:
        if ending == Ending.FINAL_STATE:
            if d.exists(PROGRESS) and any(i["text"] == "Done" for i in d.dump(PROGRESS)):
                break
        elif not left and not d.exists(PROGRESS) and not d.exists(OPTIONS):
            break
        for title in QUESTION_TITLES:
            if not d.exists(title):
                continue
            text = normalized(d.message(title))
            entry = next((a for a in left if a[0] == title and a[1] in text), None)
            if entry is None:
                raise Failed("unexpected %r box: %s" % (title, text[:300]))
            if entry[3]:
                ctx.screenshot(entry[3], title)
            if len(entry) > 4:
                d.click(title, entry[4])
            d.click(title, entry[2])
            d.wait_gone(title, 10)
            left.remove(entry)
        program.ensure_alive()
        if time.monotonic() > deadline:
            raise Failed("the job did not reach its final state within %d s" % seconds)
        time.sleep(0.1)
    ctx.check(not left, "the job asked every expected question",
              "not asked: %r" % [a[1] for a in left])
    if ending == Ending.FINAL_STATE:
        finish_job(ctx, program)
    else:
        ctx.check(d.dump(ctx.main_title)[0]["enabled"] == 1,
                  "the job closed its window, and the main window is enabled again")


def damage_index(path):
    """Points the mailbox's index root past the end of the file: the index is lost, the
    message blocks are all still there."""
    data = bytearray(path.read_bytes())
    data[0xE4:0xE8] = (len(data) + 100).to_bytes(4, "little")
    path.write_bytes(bytes(data))


def scenario_mailbox_questions(ctx, demo, expected):
    """The questions of mailboxes that are not whole and of backups that would not do."""
    base = ctx.drive / "h"
    store = base / "Outlook Express"
    shutil.copytree(demo / "Outlook Express", store)
    with_attachments = [n for n in dbx_names(store)
                        if expected[0]["Outlook Express/%s.dbx" % n]["attachments"]]
    if len(with_attachments) < 2:
        raise Failed("the demo store has fewer than two mailboxes with attachments")
    damaged, whole = with_attachments[0], with_attachments[1]
    damage_index(store / (damaged + ".dbx"))
    (store / "Not a mailbox.dbx").write_bytes(b"This is a letter, not a mailbox.\r\n" * 40)
    destination = base / "attachments"
    destination.mkdir()
    backups = base / "backups"
    backups.mkdir()
    (backups / (whole + ".dbx")).write_bytes(b"an earlier backup")
    ctx.prepare_registry("winxp", ctx.winpath(store), ctx.winpath(ctx.drive / "nowhere"),
                         ctx.winpath(destination), ctx.winpath(backups), False, False)
    d = ctx.driver
    program = Program(ctx, "h")
    try:
        program.await_window(ctx.main_title, 60)
        d.settle(ctx.main_title)

        def job(tick, cut, backup_folder, answers, ending=Ending.FINAL_STATE, target=None):
            d.click(ctx.main_title, "Select None")
            rows = d.rows(ctx.main_title)
            for name in tick:
                d.tick(ctx.main_title, [r[1] for r in rows].index(name), True)
            items = open_options(ctx, program)
            # The backup box can be changed only while the cut box is ticked, and a
            # ticked backup box makes backups also of a job that does not cut.
            for box in (CUT_BOX, BACKUP_BOX) if cut else (BACKUP_BOX, CUT_BOX):
                if control(items, box)["check"] != int(cut) and control(items, box)["enabled"]:
                    d.click(OPTIONS, box)
                    items = d.dump(OPTIONS)
            if cut:
                d.set_edit(OPTIONS, 1, ctx.winpath(backup_folder))
            d.set_edit(OPTIONS, 0, ctx.winpath(target or destination))
            d.click(OPTIONS, EXTRACT_BUTTON, post=True)
            answer_boxes(ctx, program, answers, ending)

        # Apart: a file that is no mailbox halts the job while it counts, before any
        # other mailbox is read.
        job([damaged], False, None, [
            ("Error", "%s is corrupt" % ctx.winpath(store / (damaged + ".dbx")),
             "Recover attachments", "question-recover-damaged-mailbox")])
        want = {a["sha"] for a in expected[1]["Outlook Express/%s.dbx" % damaged]}
        got = {sha256(b) for b in files_by_name(destination).values()}
        ctx.check(got and got <= want,
                  "the attachments recovered from the damaged mailbox are true ones (%d of %d)"
                  % (len(got), len(want)))
        job(["Not a mailbox"], False, None, [
            ("Error", "%s is not an Outlook Express mailbox"
             % ctx.winpath(store / "Not a mailbox.dbx"), "Ok", "question-not-a-mailbox")])
        job([whole], True, backups, [
            ("Warning", CLOSE_OE_TEXT, CLOSE_OE_BUTTON, None),
            ("Information", "Backups of your mailboxes already exist",
             "Cancel and choose another backup location", "question-overwrite-backups")],
            Ending.CLOSED)
        job([whole], True, store, [
            ("Warning", CLOSE_OE_TEXT, CLOSE_OE_BUTTON, None),
            ("Error", "The backup folder %s is the mailbox folder" % ctx.winpath(store), "Ok",
             "question-backup-inside-store")], Ending.CLOSED)
        # Cutting leaves a damaged mailbox as it is, and says so.
        job([damaged], True, base / "fresh backups", [
            ("Warning", CLOSE_OE_TEXT, CLOSE_OE_BUTTON, None),
            ("Error", "%s is corrupt" % ctx.winpath(store / (damaged + ".dbx")), "Ok",
             "question-damaged-mailbox-left-alone"),
            ("Information", CUT_INFORMATION_START, "Ok", None)])
        # A folder where the backup file should go: the copy fails.
        (base / "blocked backups" / (whole + ".dbx")).mkdir(parents=True)
        job([whole], True, base / "blocked backups", [
            ("Warning", CLOSE_OE_TEXT, CLOSE_OE_BUTTON, None),
            ("Information", "Backups of your mailboxes already exist", "Overwrite old backups",
             None),
            ("Error", "Backup of mailbox %s.dbx to " % whole, "Ok", "question-backup-failed")],
            Ending.CLOSED)
        # Bytes beside the mailbox under its journal's name that are no journal: they are
        # put aside, and the mailbox, which may be half-written, is read but not cut.
        journal = store / (whole + ".dbx.klovin-undo")
        journal.write_bytes(b"no journal at all" * 8)
        job([whole], True, base / "journal backups", [
            ("Warning", CLOSE_OE_TEXT, CLOSE_OE_BUTTON, None),
            ("Error", "%s.dbx may hold messages that an interrupted run left half-written"
             % whole, "Ok", "question-journal-set-aside"),
            ("Information", CUT_INFORMATION_START, "Ok", None)])
        ctx.check(not journal.exists()
                  and any(p.name.startswith(journal.name) for p in store.iterdir()),
                  "the bytes under the journal's name were renamed aside, not deleted")
        # Another program has the mailbox open, as Outlook Express would.
        held = ctx.winpath(store / (whole + ".dbx"))
        d.lines("hold", held)
        try:
            job([whole], False, None, [
                ("Error", "%s is in use by another program" % held, "Ok",
                 "question-mailbox-in-use")])
        finally:
            d.lines("release", held)
        # A file where a folder of the destination's path should be.
        (base / "a file").write_bytes(b"not a folder")
        job([whole], False, None, [
            ("Error", "The destination path", "Yes", None),
            ("Error", "Could not create destination path.", "Ok",
             "question-destination-not-created")], target=base / "a file" / "attachments")
        program.close_and_wait()
    finally:
        program.stop()
    ctx.check((backups / (whole + ".dbx")).read_bytes() == b"an earlier backup",
              "the earlier backup that was not to be overwritten is as it was")
    ctx.check((store / (whole + ".dbx")).read_bytes()
              == (demo / "Outlook Express" / (whole + ".dbx")).read_bytes(),
              "no mailbox was cut when its backup could not be made")


def scenario_destination_inside_store(ctx, demo):
    """Windows Mail mode, the destination inside a ticked message folder: refused."""
    base = ctx.drive / "i"
    store = base / "Windows Mail"
    shutil.copytree(demo / "Windows Mail", store)
    folders = eml_folders(store)
    if not folders:
        raise Failed("the demo store has no message folder")
    destination = folders[0] / "saved attachments"
    destination.mkdir()
    ctx.prepare_registry("vista", ctx.winpath(ctx.drive / "nowhere"), ctx.winpath(store),
                         ctx.winpath(destination), "", False, False)
    d = ctx.driver
    program = Program(ctx, "i")
    try:
        program.await_window(ctx.main_title, 60)
        d.settle(ctx.main_title)
        tick_all(ctx)
        open_options(ctx, program)
        d.click(OPTIONS, EXTRACT_BUTTON, post=True)
        answer_boxes(ctx, program, [
            ("Error", "The destination folder %s is the message folder" % ctx.winpath(destination),
             "Ok", "question-destination-inside-store")])
        program.close_and_wait()
    finally:
        program.stop()
    ctx.check(list(destination.iterdir()) == [], "nothing was saved inside the message folder")


def scenario_save_error(ctx, demo, expected):
    """A folder per mailbox, where a file already has the mailbox's name: every save fails,
    and the box says so until it is told not to."""
    base = ctx.drive / "j"
    store = base / "Outlook Express"
    shutil.copytree(demo / "Outlook Express", store)
    chosen = next((n for n in dbx_names(store)
                   if expected[0]["Outlook Express/%s.dbx" % n]["attachments"] > 1), None)
    if chosen is None:
        raise Failed("no mailbox of the demo store holds two attachments")
    destination = base / "attachments"
    destination.mkdir()
    (destination / chosen).write_bytes(b"a file where the mailbox's folder would go")
    ctx.prepare_registry("winxp", ctx.winpath(store), ctx.winpath(ctx.drive / "nowhere"),
                         ctx.winpath(destination), "", False, False)
    ctx.import_registry(["REGEDIT4", "", "[%s]" % SETTINGS_KEY.replace(
        "HKCU", "HKEY_CURRENT_USER"), '"FolderPerMailbox"=dword:00000001'])
    d = ctx.driver
    program = Program(ctx, "j")
    try:
        program.await_window(ctx.main_title, 60)
        rows = d.rows(ctx.main_title)
        d.tick(ctx.main_title, [r[1] for r in rows].index(chosen), True)
        open_options(ctx, program)
        d.click(OPTIONS, EXTRACT_BUTTON, post=True)
        # Once "Don't show me again" is ticked, the other failed saves ask nothing.
        answer_boxes(ctx, program, [
            ("Error", "Error saving file %s\\" % ctx.winpath(destination / chosen), "Ok",
             "question-error-saving-file", "Don't show me again until next extraction")])
        program.close_and_wait()
    finally:
        program.stop()
    ctx.check(sorted(p.name for p in destination.iterdir()) == [chosen]
              and (destination / chosen).is_file(),
              "nothing was saved, and the file in the mailbox folder's place is as it was")


# ---------------------------------------------------------------------------------------


def scenario_choices(ctx, demo, expected):
    """The options window's choices set through its controls, stored, and used by the job."""
    import csv
    import io
    import struct
    note_box = "Leave a &note in each message where its attachment went"
    list_box = "&Write a list of the saved attachments"
    folder_box = "A &folder for each mailbox"
    inline_box = "Skip &pictures shown in the message text"
    images = {"png", "gif", "jpg", "jpeg", "bmp"}

    def extension(name):
        return name.rsplit(".", 1)[-1].lower() if "." in name else ""

    def tree(folder):
        """relative path with "\\" -> bytes of every file below folder."""
        return {str(p.relative_to(folder)).replace("/", "\\"): p.read_bytes()
                for p in sorted(folder.rglob("*")) if p.is_file()}

    def dbx_chains(data):
        """The texts of every chain of data blocks: a message split over blocks whole."""
        blocks = {}
        # A chain that was rewritten may go on at any offset, aligned or not.
        for p in range(0, len(data) - 16):
            own, capacity, used, following = struct.unpack_from("<IIHxxI", data, p)
            if own == p and 0 < capacity <= 0x10000 and used <= capacity:
                blocks[p] = (data[p + 16:p + 16 + used], following)
        followers = {b[1] for b in blocks.values()}
        texts = []
        for start in (p for p in blocks if p not in followers):
            text, at, seen = b"", start, set()
            while at in blocks and at not in seen:
                seen.add(at)
                text += blocks[at][0]
                at = blocks[at][1]
            texts.append(text)
        return texts

    base = ctx.drive / "k"
    store = base / "Outlook Express"
    pristine = demo / "Outlook Express"
    shutil.copytree(pristine, store)
    destination = base / "attachments"
    destination.mkdir()
    backups = base / "backups"
    ctx.prepare_registry("winxp", ctx.winpath(store), ctx.winpath(ctx.drive / "nowhere"),
                         ctx.winpath(destination), ctx.winpath(backups), True, False)
    # Types and a smallest size chosen from the store so that each choice leaves some
    # attachments out: every type but the rarest, and the median size of the rest.
    records = [a for s, v in expected[1].items() if s.startswith("Outlook Express/")
               and s != "Outlook Express/Large.dbx" for a in v]
    counts = {}
    for a in records:
        counts[extension(a["name"])] = counts.get(extension(a["name"]), 0) + 1
    kinds = sorted((e for e in counts if e), key=lambda e: (-counts[e], e))
    if len(kinds) < 2:
        raise Failed("the demo store has too few kinds of attachment: %r" % kinds)
    types = kinds[:-1]
    sizes = sorted(a["size"] for a in records if extension(a["name"]) in types)
    min_kb = max(1, sizes[len(sizes) // 2] // 1024)
    typed_types = " ".join(t.upper() if i == 0 else t for i, t in enumerate(types))

    d = ctx.driver
    program = Program(ctx, "k")
    try:
        program.await_window(ctx.main_title, 60)
        rows = tick_all(ctx)
        names = [r[1] for r in rows]
        if sorted(names) != dbx_names(store):
            raise Failed("the list does not show the store's mailboxes: %r" % names)
        items = open_options(ctx, program)
        boxes = [control(items, t) for t in (note_box, list_box, folder_box, inline_box)]
        edits = [i for i in items if i["cls"].lower() == "edit"]
        ctx.check(all(b["check"] == 0 for b in boxes) and boxes[0]["enabled"] == 0
                  and len(edits) == 4 and edits[2]["text"] == "" and edits[3]["text"] == "",
                  "with no choice stored: the new boxes unticked, the note box disabled while "
                  "cutting is off, the two new edits empty")
        d.click(OPTIONS, CUT_BOX)
        ctx.check(control(d.dump(OPTIONS), note_box)["enabled"] == 1,
                  "ticking the cut box enables the note box")
        for box in (note_box, list_box, folder_box, inline_box):
            d.click(OPTIONS, box)
        d.set_edit(OPTIONS, 2, typed_types)
        d.set_edit(OPTIONS, 3, str(min_kb))
        items = d.dump(OPTIONS)
        ctx.check(all(control(items, t)["check"] == 1
                      for t in (CUT_BOX, BACKUP_BOX, note_box, list_box, folder_box, inline_box)),
                  "every box is ticked")

        d.click(OPTIONS, EXTRACT_BUTTON, post=True)
        program.await_window("Warning", 20, expected_boxes=("Warning",))
        d.click("Warning", CLOSE_OE_BUTTON)
        program.await_window(PROGRESS, 20, expected_boxes=("Information",))
        program.await_window("Information", 120, expected_boxes=("Information",))
        d.click("Information", "Ok")
        items = wait_for_done(ctx, program)
        skipped_shown = counters(items).get("Skipped:")
        finish_job(ctx, program)
        program.close_and_wait()
    finally:
        program.stop()

    settings = ctx.stored_settings()
    want = {"WriteAttachmentList": ("REG_DWORD", "0x1"), "FolderPerMailbox": ("REG_DWORD", "0x1"),
            "SkipInlineImages": ("REG_DWORD", "0x1"), "LeaveNote": ("REG_DWORD", "0x1"),
            "OnlyFileTypes": ("REG_SZ", typed_types),
            "MinimumSizeKB": ("REG_DWORD", "0x%x" % min_kb)}
    ctx.check(all(settings.get(k) == v for k, v in want.items()),
              "the registry holds the choices made in the window", repr(settings))

    # The oracle: klovin-extract with the same choices, on a pristine copy.
    oracle_dir = ctx.work / "oracle-h"
    shutil.rmtree(oracle_dir, ignore_errors=True)
    status, output = ctx.klovin_extract(
        ["-o", ctx.winpath(oracle_dir), "--yes", "--by-mailbox", "--skip-inline-images",
         "--only", ",".join(types), "--min-size", "%dK" % min_kb]
        + [ctx.winpath(pristine / (n + ".dbx")) for n in names])
    ctx.check(status == 0, "klovin-extract with the same choices succeeds", output[-400:])
    got = tree(destination)
    listing = got.pop("attachments.csv", None)
    oracle = tree(oracle_dir)
    ctx.check(oracle and got == oracle,
              "the same %d files in the same mailbox folders as klovin-extract with the same "
              "choices" % len(oracle),
              "only here %s, only there %s" % (sorted(set(got) - set(oracle))[:5],
                                              sorted(set(oracle) - set(got))[:5]))
    ctx.check(all("\\" in path and path.split("\\")[0] in names for path in got),
              "every file is in the folder of a ticked mailbox", repr(sorted(got)[:5]))
    m = re.search(r"Attachments skipped: (\d+)", output)
    ctx.check(m and skipped_shown == m.group(1) and int(m.group(1)) > 0,
              "the progress window's \"Skipped:\" shows the %s attachments left out"
              % (m.group(1) if m else "?"), "shown %r" % skipped_shown)

    saved = {sha256(b) for b in got.values()}
    allowed = [a for a in records if extension(a["name"]) in types
               and a["size"] >= min_kb * 1024]
    ctx.check(all(any(sha256(b) == a["sha"] for a in allowed) for b in got.values())
              and all(a["sha"] in saved for a in allowed if extension(a["name"]) not in images),
              "exactly the attachments of the chosen types and sizes are saved (pictures "
              "shown in the text aside)")
    if not ctx.check(listing is not None and listing.startswith(b"\xef\xbb\xbf"),
                     "attachments.csv is in the destination, UTF-8 with a byte-order mark"):
        return
    table = list(csv.reader(io.StringIO(listing.decode("utf-8-sig"), newline="")))
    header, rows = table[0], table[1:]
    ctx.check(header == ["file", "size", "sha256", "name", "mailbox", "message", "date", "from",
                         "subject", "cut"], "the list's columns", repr(header))
    column = {name: i for i, name in enumerate(header)}
    ctx.check(rows and {r[column["file"]] for r in rows} == set(got)
              and all(r[column["size"]] == str(len(got[r[column["file"]]]))
                      and r[column["sha256"]] == sha256(got[r[column["file"]]]) for r in rows
                      if r[column["file"]] in got),
              "the list names every saved file, with its size and SHA-256 (%d rows)" % len(rows))

    # What was skipped is still in the mailboxes; what was cut is not.
    kept = {r[column["sha256"]] for r in rows if not r[column["cut"]].startswith("cut")}
    cut = {r[column["sha256"]] for r in rows if r[column["cut"]].startswith("cut")} - kept
    left = [a for a in records if a["sha"] not in saved]
    again = ctx.work / "again-h"
    shutil.rmtree(again, ignore_errors=True)
    status, output = ctx.klovin_extract(["-o", ctx.winpath(again), "--yes"]
                                        + [ctx.winpath(store / (n + ".dbx")) for n in names])
    still = {sha256(b) for b in tree(again).values()}
    ctx.check(status == 0 and left and cut and all(a["sha"] in still for a in left)
              and not (still & cut),
              "the %d skipped attachments stay in the mailboxes; the %d cut ones are gone"
              % (len(left), len(cut)), output[-400:])
    noted = [r for r in rows if r[column["cut"]] == "cut with a note"]
    ctx.check(noted, "the list says which attachments were cut with a note (%d)" % len(noted))
    texts = b"\n".join(t for n in names for t in dbx_chains((store / (n + ".dbx")).read_bytes()))
    missing = [r[column["name"]] for r in noted if r[column["name"]].isascii()
               and ("The attachment %s (" % r[column["name"]]).encode("ascii") not in texts]
    ctx.check(not missing, "each cut message holds the note where its attachment was",
              "no note for %s" % missing[:5])


# ---------------------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    for name in ("wine-run", "prefix", "work", "screenshots", "make-demo-store", "app", "driver",
                 "klovin-extract", "dbx-writer", "version"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--large", type=int, default=40, help="megabytes of the large mailbox")
    parser.add_argument("--copies", type=int, default=12, help="names under which it is listed")
    args = parser.parse_args()
    for tool in ("xwd", "convert", "compare", "wineserver"):
        if not shutil.which(tool):
            print("desktop_e2e: %s is missing" % tool, file=sys.stderr)
            return 1

    ctx = Context(args)
    started = time.monotonic()
    ctx.work.mkdir(parents=True, exist_ok=True)
    ctx.shots.mkdir(parents=True, exist_ok=True)
    for old in ctx.shots.glob("*.png"):
        old.unlink()
    for old in ctx.work.glob("*.log"):
        old.unlink()

    def phase(name, run):
        ctx.scenario = name
        print("== %s" % name, flush=True)
        t = time.monotonic()
        try:
            if ctx.driver is None:
                ctx.driver = Driver(ctx)
            run()
        except Failed as e:
            print("  FAIL %s" % e)
            ctx.failures.append("%s: %s" % (name, e))
            ctx.kill_prefix()
        except Exception:
            traceback.print_exc()
            ctx.failures.append("%s: %s" % (name, "the script itself failed"))
            ctx.kill_prefix()
        print("   (%.1f s)" % (time.monotonic() - t), flush=True)

    demo = None
    expected = None
    try:
        # The prefix and its server come up once, before anything is timed by a wait.
        ctx.wine(["cmd", "/c", "exit"], limit=300)
        shutil.rmtree(ctx.drive, ignore_errors=True)
        ctx.drive.mkdir(parents=True)
        print("== making the demo store", flush=True)
        demo = make_store(ctx)
        expected = read_expected(demo / "expected.txt")
        print("   (set up in %.1f s)" % (time.monotonic() - started), flush=True)
    except Failed as e:
        print("desktop_e2e: %s" % e, file=sys.stderr)
        ctx.kill_prefix()
        return 1

    phase("the screenshot check", lambda: picture_check_refuses_non_windows(ctx))
    phase("a. Outlook Express main window", lambda: scenario_outlook_express_main_window(ctx, demo))
    phase("b. extraction with cutting and backups",
          lambda: scenario_full_extraction(ctx, demo, expected))
    phase("c. the caution box", lambda: scenario_caution(ctx, demo))
    phase("d. pause, start and stop", lambda: scenario_pause_and_stop(ctx, demo, expected))
    phase("e. Windows Mail mode", lambda: scenario_windows_mail(ctx, demo, expected))
    phase("f. Windows Live Mail on Windows 10",
          lambda: scenario_windows_live_mail(ctx, demo, expected))
    phase("g. no store on Windows 10", lambda: scenario_no_store(ctx))
    phase("h. the questions of damaged mailboxes and backups",
          lambda: scenario_mailbox_questions(ctx, demo, expected))
    phase("i. a destination inside the message folders",
          lambda: scenario_destination_inside_store(ctx, demo))
    phase("j. a file saved where it cannot be",
          lambda: scenario_save_error(ctx, demo, expected))
    phase("k. the choices of the options window", lambda: scenario_choices(ctx, demo, expected))

    if ctx.driver:
        ctx.driver.abandon()
        ctx.driver = None
    print("desktop_e2e: %.1f s, screenshots in %s" % (time.monotonic() - started, ctx.shots))
    if ctx.failures:
        print("desktop_e2e: %d failure(s):" % len(ctx.failures))
        for f in ctx.failures:
            print("  - " + f)
        return 1
    print("desktop_e2e: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
