#!/usr/bin/python3
"""The user's flows through the real window: kestrun on a desktop of
desktops.py (X11 with openbox; Wayland natively or through Xwayland), driven
as a user drives it and read through AT-SPI as a screen reader reads it. Run
inside a D-Bus session:

    dbus-run-session -- tests/e2e/e2e.py build/kestrun FLOW [x11|wayland|xwayland]

FLOW is one of the functions named in FLOWS below. Every wait is for a
condition with a timeout; nothing relies on a sleep alone.
"""
import fcntl
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from desktops import Failure, TIMEOUT, X11, Wayland

HUMAN = 30   # ms between keys, as a person types
FAST = 1
DESKTOP = None   # the desktop the flow runs on (desktops.py)


def wait(what, condition, timeout=TIMEOUT):
    """Polls condition until it returns something true; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        EVENTS.pump()
        try:
            value = condition()
        except Exception:  # the tree changes under us while windows come and go
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.05)


def check(what, ok):
    if not ok:
        raise Failure(what)
    note(what)


def note(what):
    """Logs a step whose condition a wait has already asserted."""
    print("ok   " + what, flush=True)


class Events:
    """What the program announces on the accessibility bus, as a screen reader
    hears it: (event type, source, detail1). Sources are compared as objects,
    so that no call back into a busy program is needed while listening."""

    TYPES = ("window:activate", "window:deactivate", "object:state-changed:focused", "focus:")

    def __init__(self):
        self.heard = []
        self.context = None

    def listen(self):
        from gi.repository import GLib
        self.context = GLib.MainContext.default()
        pyatspi.Registry.registerEventListener(self.record, *self.TYPES)

    def record(self, event):
        self.heard.append((event.type, event.source, event.detail1))

    def pump(self):
        while self.context is not None and self.context.pending():
            self.context.iteration(False)

    def mark(self):
        """A point to look for events after."""
        self.pump()
        return len(self.heard)

    def since(self, mark, kind, source):
        return [e for e in self.heard[mark:] if e[0].startswith(kind) and e[1] == source]


EVENTS = Events()


def keys(*names):
    DESKTOP.keys(*names)


def type_text(text, delay):
    DESKTOP.type(text, delay)


def click(node, button=1, offset=None):
    DESKTOP.click(node, button, offset)


def type_over(node, text, delay, what):
    """Types text over all that node holds, and checks every key arrived: a
    new virtual keyboard (each run of wtype) can lose its first keys while
    the program takes in its keymap. A loss is typed over once more."""
    for attempt in range(3):
        keys("ctrl+a")
        type_text(text, delay)
        try:
            wait("%s to read %r" % (what, text[:80]), lambda: text_of(node) == text,
                 TIMEOUT if attempt == 2 else 15)
            return
        except Failure:
            if attempt == 2:
                raise
            print("a key was lost on the way to %s (it reads %r); typed again" % (what, text_of(node)[:80]),
                  flush=True)


def find(node, predicate, depth=0):
    """The first accessible below node (itself included) that predicate takes."""
    if predicate(node):
        return node
    if depth > 14:
        return None
    for child in node:
        if child is not None:
            found = find(child, predicate, depth + 1)
            if found is not None:
                return found
    return None


def find_all(node, predicate, depth=0):
    """Every accessible below node that predicate takes."""
    found = [node] if predicate(node) else []
    if depth < 14:
        for child in node:
            if child is not None:
                found += find_all(child, predicate, depth + 1)
    return found


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def has_state(node, state):
    return node is not None and node.getState().contains(state)


def dump(node, depth=0):
    """What a screen reader sees below node, for the log of a failed run."""
    try:
        print("  " * depth + "%s %r %s" % (node.getRoleName(), node.name,
                                          "showing" if showing(node) else "hidden"))
        for child in node:
            if child is not None and depth < 8:
                dump(child, depth + 1)
    except Exception as error:
        print("  " * depth + "(gone: %s)" % error)


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)



class Kestrun:
    # The names a screen reader finds the controls by, and Qt's own captions
    # of the file dialog: English unless a flow starts the program in
    # another language.
    memo_name = "File tail"
    field_name = "Last MB to open"
    open_name = "Open file"
    about_name = "About Kestrun"
    open_title = "Open"
    name_label = "File name:"
    cancel = "Cancel"

    def __init__(self, program, workdir, texts=None, **environment):
        self.__dict__.update(texts or {})
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", **DESKTOP.env, **environment)
        self.mark = 0
        self.process = subprocess.Popen([program], cwd=workdir, env=env)
        self.app = wait("kestrun on the accessibility bus", lambda: find(
            pyatspi.Registry.getDesktop(0), lambda a: a.getRoleName() == "application" and a.name == "kestrun"
            and any(c is not None and c.name == "Kestrun 1.0" for c in a)))
        self.frame = next(c for c in self.app if c is not None and c.name == "Kestrun 1.0")
        self.memo = find(self.frame, lambda a: a.name == self.memo_name)
        self.field = find(self.frame, lambda a: a.getRole() == pyatspi.ROLE_TEXT and a.name == self.field_name)
        self.open_button = find(self.frame, lambda a: a.name == self.open_name)
        self.about_button = find(self.frame, lambda a: a.name == self.about_name)
        # On a busy machine the window can be on the bus before the window
        # manager has placed and activated it; a click before then misses.
        wait("the main window to be active", lambda: has_state(self.frame, pyatspi.STATE_ACTIVE))

    def close(self):
        self.process.terminate()
        self.process.wait(10)

    def windows(self):
        """The program's top-level windows that show."""
        return [w for w in self.app if w is not None and showing(w)]

    def shown_windows(self):
        """The titles of the program's windows on screen (on X11 popups too)."""
        return DESKTOP.windows(self.process.pid)

    def window(self, predicate, what):
        return wait(what, lambda: next((w for w in self.windows() if predicate(w)), None))

    def gone(self, window, what, timeout=TIMEOUT):
        wait(what, lambda: all(w is None or w.name != window for w in self.windows()), timeout)

    def count(self):
        return self.memo.queryText().characterCount

    def set_number(self, number, delay=HUMAN):
        click(self.field)
        wait("the field to have the focus", lambda: has_state(self.field, pyatspi.STATE_FOCUSED))
        type_over(self.field, number, delay, "the field")

    def open_dialog(self, by_keyboard=False, key="space"):
        if by_keyboard:
            self.open_button.queryComponent().grabFocus()
            wait("the open button to have the focus", lambda: has_state(self.open_button, pyatspi.STATE_FOCUSED))
            keys(key)
        else:
            click(self.open_button)
        dialog = self.dialog()
        name_box = find(dialog, lambda a: a.getRole() == pyatspi.ROLE_TEXT and a.name == self.name_label)
        wait("the dialog's name box to have the focus",
             lambda: has_state(dialog, pyatspi.STATE_ACTIVE) and has_state(name_box, pyatspi.STATE_FOCUSED))
        self.mark = EVENTS.mark()
        return name_box

    def dialog(self):
        return self.window(lambda w: w.getRole() == pyatspi.ROLE_DIALOG and w.name == self.open_title,
                           "the file dialog")

    def choose(self, path, delay=HUMAN, by_keyboard=False):
        """Opens the dialog, types the path over whatever it holds, Enter."""
        name_box = self.open_dialog(by_keyboard)
        type_over(name_box, path, delay, "the name box")
        keys("Return")
        self.gone(self.open_title, "the file dialog to close")

    def back_in_main_window(self, focused):
        """After a dialog or box: the main window active, the focus where it was,
        and nothing else of ours on screen."""
        wait("the main window to be active again", lambda: has_state(self.frame, pyatspi.STATE_ACTIVE))
        wait("the focus back on %s" % focused.name, lambda: has_state(focused, pyatspi.STATE_FOCUSED))
        wait("only the main window to show", lambda: len(self.shown_windows()) == 1)
        # What a screen reader needs to go on speaking: the main window and
        # the focus announced after the dialog or box went.
        wait("the main window announced active",
             lambda: EVENTS.since(self.mark, "window:activate", self.frame))
        wait("the focus announced on %s" % focused.name,
             lambda: EVENTS.since(self.mark, "focus:", focused))

    def error_box(self, expected):
        # Captioned with the application title, from the executable's name.
        box = self.window(lambda w: w.getRole() == pyatspi.ROLE_ALERT and w.name == "kestrun",
                          "an error box")
        label = find(box, lambda a: a.getRole() == pyatspi.ROLE_LABEL and a.name == expected)
        check("the error box says %r" % expected, label is not None)
        # Keys reach the box once the window manager has activated it.
        wait("the error box to be active", lambda: has_state(box, pyatspi.STATE_ACTIVE))
        self.mark = EVENTS.mark()
        keys("Return")
        self.gone("kestrun", "the error box to close")


def write_log(path, size):
    """An ASCII log with LF line ends: each byte one character in the text area."""
    line = b"2026-12-09 14:00:00 INFO request served in 12 ms from the cache #"
    with open(path, "wb") as out:
        written = 0
        n = 0
        while written < size:
            chunk = line + b"%08d\n" % n
            chunk = chunk[:size - written]
            out.write(chunk)
            written += len(chunk)
            n += 1
    with open(path, "rb") as data:
        return data.read()


def shows_tail(kestrun, data, number):
    n = min(len(data), int(float(number) * 1000000))
    tail = data[len(data) - n:].decode()
    wait("the last %d bytes in the text area" % n, lambda: kestrun.count() == n)
    text = kestrun.memo.queryText()
    check("%s MB: %d characters, the file's last ones" % (number, n),
          text.getText(0, 64) == tail[:64] and text.getText(n - 64, n) == tail[-64:])


def first_load(kestrun, work, size, name="good.log"):
    """Loads 1 MB of a fresh log of `size` bytes; its path and bytes."""
    path = os.path.join(work, name)
    data = write_log(path, size)
    kestrun.set_number("1")
    kestrun.choose(path)
    shows_tail(kestrun, data, "1")
    return path, data


def flow_startup(kestrun, work):
    check("one window captioned Kestrun 1.0", kestrun.shown_windows().count("Kestrun 1.0") == 1)
    if isinstance(DESKTOP, Wayland):
        # Where a window goes is the compositor's choice here; what the
        # program can promise is that it is whole on the output and found
        # by its desktop entry.
        view = next(v for v in DESKTOP.views(kestrun.process.pid) if v.get("name") == "Kestrun 1.0")
        x, y, w, h = view["content"]
        check("the window lies whole on the output at %d,%d %dx%d" % (x, y, w, h),
              x >= 0 and y >= 0 and x + w <= 1280 and y + h <= 1024)
        if DESKTOP.name == "wayland":
            check("its app id is the desktop entry's", view.get("app_id") == "example.kestrun.Kestrun")
    wait("the main window to be active", lambda: has_state(kestrun.frame, pyatspi.STATE_ACTIVE))
    check("the field reads 0.5", text_of(kestrun.field) == "0.5")
    wait("the focus in the text area", lambda: has_state(kestrun.memo, pyatspi.STATE_FOCUSED))
    check("the text area is empty", kestrun.count() == 0)


def flow_load(kestrun, work):
    data = write_log(os.path.join(work, "big.log"), 3000000)
    path = os.path.join(work, "big.log")
    # Three loads in a row, as a mouse user and as a keyboard user, slow and fast.
    for number, delay, by_keyboard in (("1", HUMAN, False), ("2", FAST, False), ("0.5", HUMAN, True),
                                       ("1.5", FAST, True)):
        kestrun.set_number(number, delay)
        kestrun.choose(path, delay, by_keyboard)
        shows_tail(kestrun, data, number)
        kestrun.back_in_main_window(kestrun.open_button)


def flow_cancel(kestrun, work):
    _, data = first_load(kestrun, work, 5000)
    kestrun.set_number("abc")
    for key in ("Escape", None):
        kestrun.open_dialog()
        if key:
            keys(key)
        else:   # the Cancel button
            click(find(kestrun.dialog(), lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON
                       and a.name == kestrun.cancel))
        kestrun.gone(kestrun.open_title, "the file dialog to close")
        # Back in the main window with nothing else showing: no error box, though the number is bad.
        kestrun.back_in_main_window(kestrun.open_button)
        check("the text stays", kestrun.count() == len(data))


def flow_errors(kestrun, work):
    path, data = first_load(kestrun, work, 5000)
    kestrun.set_number("abc")
    kestrun.choose(path)
    kestrun.error_box("'abc' is not a valid floating point value.")
    kestrun.back_in_main_window(kestrun.open_button)
    check("the field keeps abc", text_of(kestrun.field) == "abc")
    missing = os.path.join(work, "missing.log")
    kestrun.set_number("0.5")
    kestrun.choose(missing, FAST)
    kestrun.error_box("Cannot open file %s." % missing)
    kestrun.back_in_main_window(kestrun.open_button)
    check("the text stays after both errors", kestrun.count() == len(data) and
          kestrun.memo.queryText().getText(0, 64) == data[:64].decode())


def flow_editing(kestrun, work):
    path = os.path.join(work, "lines.log")
    with open(path, "wb") as out:
        out.write(b"alpha beta\r\ngamma delta\nlast line")
    original = "alpha beta\ngamma delta\nlast line"
    for round_ in range(2):   # the second time after a reload
        kestrun.choose(path)
        wait("the file's text", lambda: text_of(kestrun.memo) == original)
        text = kestrun.memo.queryText()
        x, y, w, h = DESKTOP.character_extents(kestrun.memo, 6)
        DESKTOP.click_at(x, y + h // 2)
        wait("the caret before beta", lambda: kestrun.memo.queryText().caretOffset == 6)
        type_text("new ", HUMAN)
        edited = "alpha new beta\ngamma delta\nlast line"
        wait("the typed text", lambda: text_of(kestrun.memo) == edited)
        # The first word step ends after beta, the second crosses the line end.
        keys("shift+ctrl+Right", "shift+ctrl+Right")
        wait("beta and the line end selected", lambda: kestrun.memo.queryText().getSelection(0)[:2] == (10, 15))
        keys("ctrl+c")
        wait("the copy on the clipboard", lambda: DESKTOP.clipboard() == "beta\n")
        note("round %d: typed, selected and copied 'beta\\n'" % (round_ + 1))
        keys("ctrl+z")
        wait("undo to take the typing back", lambda: text_of(kestrun.memo) == original)
        type_text("XY", FAST)
        wait("more typing", lambda: text_of(kestrun.memo).startswith("alpha XYbeta"))
        # The reload at the top of the loop must replace the edited text.
    # Keys whose text is an emoji or a joiner type it, as in the number field.
    # xdotool types such characters by remapping a spare key for a moment,
    # which a busy X server can overtake; so each try goes on a line of its own.
    typed = "x\U0001F600y\u200cz"
    for attempt in range(3):
        keys("ctrl+End", "Return")
        type_text(typed, HUMAN)
        try:
            wait("an emoji and a joiner typed", lambda: text_of(kestrun.memo).endswith("\n" + typed), timeout=30)
            break
        except Failure:
            if attempt == 2:
                raise
    note("typed %r at the end" % typed)


def flow_hostile(kestrun, work):
    # Names and numbers that look like markup reach the error box as their
    # characters: no bold, no link, no picture loaded. A picture named after
    # a FIFO in the program's folder would hang it, were it ever opened.
    os.mkfifo(os.path.join(work, "pipe"))
    for number, name, expected in (
            ("0.5", "<b>bold", "Cannot open file %s."),
            ("0.5", "<img src=pipe>", "Cannot open file %s."),
            ("<a href=http:example.org>x</a>", "any.log", "'<a href=http:example.org>x</a>' is not a valid "
                                                           "floating point value.")):
        path = os.path.join(work, name)
        kestrun.set_number(number, FAST)
        kestrun.choose(path, FAST)
        shown = expected.replace("%s", path)
        box = kestrun.window(lambda w: w.getRole() == pyatspi.ROLE_ALERT, "an error box")
        # The label's name is its text as a screen reader reads it, markup
        # stripped when it is taken as rich text.
        texts = wait("the box's text", lambda: [a.name for a in find_all(
            box, lambda a: a.getRole() == pyatspi.ROLE_LABEL and a.name)])
        check("the box reads %r character for character" % shown, shown in texts and not find(
            box, lambda a: a.getRole() == pyatspi.ROLE_LINK))
        wait("the error box to be active", lambda: has_state(box, pyatspi.STATE_ACTIVE))
        keys("Return")
        kestrun.gone("kestrun", "the error box to close")
    # A name that is not UTF-8, typed as ls -b prints it, loads.
    with open(os.path.join(work.encode(), b"\xff\xfe-latin1.log"), "wb") as out:
        out.write(b"latin-1 named\n")
    kestrun.set_number("0.5", FAST)
    kestrun.choose(os.path.join(work, "\\377\\376-latin1.log"), FAST)
    wait("the file with a Latin-1 name to show", lambda: text_of(kestrun.memo) == "latin-1 named\n")
    note("a name that is not UTF-8, typed escaped, loads")
    # The dialog lists /proc without reading a file: its kmsg would block
    # the program for as long as the kernel has nothing to say.
    type_over(kestrun.open_dialog(), "/proc/", FAST, "the name box")
    keys("Return")
    wait("the dialog to show /proc", lambda: find(kestrun.dialog(), lambda a: a.name == "kmsg"))
    # The name box's completion list may show /proc too, at any moment;
    # Escape closes it first, as in every Qt dialog, and then the dialog.
    for attempt in range(3):
        keys("Escape")
        try:
            kestrun.gone(kestrun.open_title, "the file dialog to close after listing /proc",
                         TIMEOUT if attempt == 2 else 15)
            break
        except Failure:
            if attempt == 2:
                raise
    long_number = "0" * 40000 + "1"
    kestrun.field.queryEditableText().setTextContents(long_number)
    wait("the field to hold all %d characters" % len(long_number), lambda: text_of(kestrun.field) == long_number)


def flow_completion(kestrun, work):
    # Enter confirms a typed path also while the name box's completion list
    # shows, which happens when the folder's listing arrives as one types.
    for i in range(3):
        write_log(os.path.join(work, "server-%d.log" % i), 100)
    data = write_log(os.path.join(work, "server.log"), 3000)
    kestrun.set_number("1")
    for attempt in range(2):   # the second time the folder is already listed
        name_box = kestrun.open_dialog()
        keys("ctrl+a")
        type_text(os.path.join(work, "serv"), HUMAN)
        wait("the completion list", lambda: len(kestrun.shown_windows()) >= 3)
        type_text("er.log", HUMAN)
        wait("the name box to read the path", lambda: text_of(name_box).endswith("server.log"))
        check("the completion list shows as Enter is pressed", len(kestrun.shown_windows()) >= 3)
        keys("Return")
        kestrun.gone(kestrun.open_title, "the file dialog to close on the first Enter")
        shows_tail(kestrun, data, "1")
        kestrun.memo.queryEditableText().setTextContents("")


def lock_is_free(path):
    with open(path, "rb") as held:
        try:
            fcntl.flock(held, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return True
        except OSError:
            return False


def fails_and_keeps(kestrun, work, data, number, path, message):
    """A load that fails with message leaves the text, frees the file and
    lets the next load work."""
    kestrun.set_number(number, FAST)
    kestrun.choose(path, FAST)
    kestrun.error_box(message.replace("%s", path))
    kestrun.back_in_main_window(kestrun.open_button)
    check("the earlier text stays", kestrun.count() == len(data))
    if os.path.exists(path):
        check("the file is no longer locked", lock_is_free(path))


def flow_faults(kestrun, work):
    # Each fault the file system can return, through the real window.
    good, data = first_load(kestrun, work, 5000)
    for marker, message in (("eacces", "Cannot open file %s."), ("emfile", "Cannot open file %s."),
                            ("eio", "Stream read error."), ("truncated", "Stream read error.")):
        path = os.path.join(work, "fault-%s.log" % marker)
        write_log(path, 3000)
        fails_and_keeps(kestrun, work, data, "1", path, message)
    # These load: a lock the file system cannot give, interrupted and short reads.
    for marker in ("enolck", "eintr", "short"):
        path = os.path.join(work, "fault-%s.log" % marker)
        shown = write_log(path, 2000 + len(marker))
        kestrun.set_number("1", FAST)
        kestrun.choose(path, FAST)
        shows_tail(kestrun, shown, "1")
        check("%s: the file is no longer locked" % marker, lock_is_free(path))
    kestrun.choose(good, FAST)
    shows_tail(kestrun, data, "1")


def flow_memory(kestrun, work):
    # Under an address-space limit a block too large fails with its message,
    # and the loads after it work; a block read for a short file is given
    # back, so the same load again has the memory.
    good, data = first_load(kestrun, work, 15)
    # Room for one 400 MB block and a little, not for two, nor for 2 GB.
    in_use = int(open("/proc/%d/status" % kestrun.process.pid).read().split("VmSize:")[1].split()[0]) * 1024
    subprocess.run(["prlimit", "--pid", str(kestrun.process.pid), "--as=%d" % (in_use + 600 * 1000 * 1000)],
                   check=True)
    fails_and_keeps(kestrun, work, data, "2000", good, "Out of memory.")
    for round_ in range(3):
        short = os.path.join(work, "short-%d.log" % round_)
        text = write_log(short, 20 + round_)
        kestrun.set_number("400", FAST)
        kestrun.choose(short, FAST)
        shows_tail(kestrun, text, "400")


def flow_keyboard(kestrun, work):
    # From the text area, Tab reaches "..."; Return, the keypad's Enter and
    # Space each open the dialog there.
    wait("the focus in the text area", lambda: has_state(kestrun.memo, pyatspi.STATE_FOCUSED))
    keys("Tab")
    wait("Tab to reach the open button", lambda: has_state(kestrun.open_button, pyatspi.STATE_FOCUSED))
    for key in ("Return", "KP_Enter", "space"):
        kestrun.open_dialog(by_keyboard=True, key=key)
        note("%s on \"...\" opens the file dialog" % key)
        keys("Escape")
        kestrun.gone(kestrun.open_title, "the file dialog to close")
        kestrun.back_in_main_window(kestrun.open_button)


def about_window(kestrun):
    """Clicks "?"; the about window that opens, active with the focus on its panel."""
    mark = EVENTS.mark()
    click(kestrun.about_button)
    about = kestrun.window(lambda w: w.name == "About", "an about window")
    panel = wait("its panel", lambda: find(about, lambda a: a.getRole() == pyatspi.ROLE_FILLER
                                           and a.name == "About Kestrun"))
    wait("the about window active with the focus on its panel",
         lambda: has_state(about, pyatspi.STATE_ACTIVE) and has_state(panel, pyatspi.STATE_FOCUSED))
    wait("the about window announced", lambda: EVENTS.since(mark, "window:activate", about))
    wait("its panel's focus announced", lambda: EVENTS.since(mark, "focus:", panel))
    return about


def about_freed(kestrun, how):
    wait("the about window to be freed (%s)" % how,
         lambda: not any(w is not None and w.name.startswith("About") for w in kestrun.app))
    note("%s freed the about window" % how)


def button_pixels(node):
    return DESKTOP.grab(*DESKTOP.extents(node))


def flow_about(kestrun, work):
    about = about_window(kestrun)
    if isinstance(DESKTOP, Wayland):
        # The compositor places windows; the program can still ask that the
        # about window lies over the main window, as it does.
        views = DESKTOP.views(kestrun.process.pid)
        names = [v.get("name") for v in views]
        main = views[names.index("Kestrun 1.0")]["content"]
        box = views[names.index("About")]["content"]
        check("the about window lies over the main window (%s over %s)" % (box, main),
              names.index("About") > names.index("Kestrun 1.0")
              and box[0] < main[0] + main[2] and main[0] < box[0] + box[2]
              and box[1] < main[1] + main[3] and main[1] < box[1] + box[3])
    labels = {a.name for a in find_all(about, lambda a: a.getRole() in (pyatspi.ROLE_LABEL, pyatspi.ROLE_LINK))}
    check("name, copyright, version and link are read: %s" % sorted(labels),
          "Kestrun" in labels and any("\u00a9" in t for t in labels) and any("1.0" in t for t in labels)
          and "www.kestrun.example" in labels)
    keys("Return")   # before OK was tabbed to
    about_freed(kestrun, "Return")

    about = about_window(kestrun)
    ok = find(about, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON and a.name == "OK")
    unfocused = button_pixels(ok)
    keys("Tab")
    wait("Tab to reach OK", lambda: has_state(ok, pyatspi.STATE_FOCUSED))
    wait("OK to show its focus", lambda: button_pixels(ok) != unfocused)
    keys("Return")
    about_freed(kestrun, "Tab, Return")

    click(find(about_window(kestrun), lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON and a.name == "OK"))
    about_freed(kestrun, "a click on OK")


def flow_abouttwice(kestrun, work):
    # Two about windows: Return closes the one on top, and the other takes
    # the keyboard, so the next Return closes it too and types nothing into
    # the text area below.
    first = about_window(kestrun)
    click(kestrun.about_button)
    second = kestrun.window(lambda w: w.name == "About (2)", "a second about window, numbered")
    wait("the second about window active", lambda: has_state(second, pyatspi.STATE_ACTIVE))
    keys("Return")
    wait("the first about window active again", lambda: has_state(first, pyatspi.STATE_ACTIVE))
    keys("Return")
    about_freed(kestrun, "Return twice")
    check("no line end typed into the text area", kestrun.count() == 0)


class Orca:
    """What Orca would say (its speech is off), read from its debug log."""

    def __init__(self, path):
        self.path, self.offset = path, 0
        wait("Orca to be listening", lambda: "Startup complete" in self.read(0))

    def read(self, offset):
        with open(self.path, encoding="utf-8", errors="replace") as log:
            log.seek(offset)
            return log.read()

    def mark(self):
        self.offset = os.path.getsize(self.path)

    def hears(self, what, *words):
        """Waits until Orca has said every word since the mark."""
        def said():
            lines = re.findall(r"SPEECH OUTPUT: '(.*?)' ?\{", self.read(self.offset), re.S)
            return lines if all(any(w in l for l in lines) for w in words) else None
        note("Orca said for %s: %s" % (what, " | ".join(wait("Orca to say " + what, said)).replace("\n", " / ")))


def flow_orca(kestrun, work):
    # With Orca listening, as a blind user hears the program: a load's
    # outcome where the focus is, each about window as it opens (ten in a
    # row, then a second one over the first), and the first one again when
    # the second closes.
    orca = Orca(os.environ["E2E_ORCA"])
    path = os.path.join(work, "heard.log")
    write_log(path, 5000)
    orca.mark()
    kestrun.choose(path)
    orca.hears("the load", "Showing heard.log, lines: ")
    about_words = ("About", "\u00a9 2026", "Version 1.0")
    for n in range(1, 11):
        orca.mark()
        about_window(kestrun)
        orca.hears("about window %d of 10" % n, *about_words)
        keys("Return")
        about_freed(kestrun, "Return")
    orca.mark()
    first = about_window(kestrun)
    orca.hears("the first of two about windows", *about_words)
    orca.mark()
    click(kestrun.about_button)
    second = kestrun.window(lambda w: w.name == "About (2)", "a second about window, numbered")
    wait("the second about window active", lambda: has_state(second, pyatspi.STATE_ACTIVE))
    orca.hears("the second about window", "About (2)", *about_words[1:])
    orca.mark()
    keys("Return")
    wait("the first about window active again", lambda: has_state(first, pyatspi.STATE_ACTIVE))
    orca.hears("the first about window again", "About")
    keys("Return")
    about_freed(kestrun, "Return twice")


def flow_hotframe(kestrun, work):
    # The "?" button shows its hot frame under the pointer and loses it when
    # the pointer has gone, also after its click opened an about window.
    x, y, _, _ = DESKTOP.extents(kestrun.memo)
    away = (x + 40, y + 40)
    DESKTOP.move(*away)
    untouched = wait("the button's pixels", lambda: button_pixels(kestrun.about_button))
    x, y, _, _ = DESKTOP.extents(kestrun.about_button)
    over = (x + 12, y + 12)
    DESKTOP.move(*over)
    wait("the hot frame under the pointer", lambda: button_pixels(kestrun.about_button) != untouched)
    for how in ("off every window", "jumping", "gliding"):
        click(kestrun.about_button)
        about = kestrun.window(lambda w: w.name == "About", "an about window")
        if how == "jumping":
            DESKTOP.move(*away)
        elif how == "off every window":
            DESKTOP.move(5, 5)   # the bare desktop, where no window of ours is
        else:
            for step in range(1, 11):
                DESKTOP.move(over[0] + (away[0] - over[0]) * step // 10, over[1] + (away[1] - over[1]) * step // 10)
        wait("the button untouched again after the pointer went %s" % how,
             lambda: button_pixels(kestrun.about_button) == untouched)
        note("the hot frame went with the pointer (%s)" % how)
        click(find(about, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON and a.name == "OK"))
        about_freed(kestrun, "OK")
        DESKTOP.move(*over)


def flow_german(kestrun, work):
    # Kestrun's own texts in German beside Qt's: the controls were found by
    # their German names; the dialog and the error say the rest.
    data = write_log(os.path.join(work, "small.log"), 5000)
    path = os.path.join(work, "small.log")
    kestrun.set_number("0.5")
    kestrun.open_dialog()
    dialog = kestrun.dialog()
    buttons = {a.name for a in find_all(dialog, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON)}
    # Found by its German title and name box; its buttons say the rest.
    check("the dialog's buttons speak German: %s" % sorted(buttons), kestrun.cancel in buttons)
    keys("Escape")
    kestrun.gone(kestrun.open_title, "the file dialog to close")
    kestrun.back_in_main_window(kestrun.open_button)
    kestrun.choose(path)
    kestrun.error_box("\u201e0.5\u201c ist kein g\u00fcltiger Gleitkommawert \u2013 bitte mit Dezimalkomma "
                      "schreiben, z. B. 0,5.")
    kestrun.back_in_main_window(kestrun.open_button)
    kestrun.set_number("0,5")
    kestrun.choose(path)
    shows_tail(kestrun, data, "0.5")


def in_language(program, work, locale, language, texts):
    """The program as a user of another language starts it, with a locale built here."""
    locales = os.path.join(work, "locales")
    os.makedirs(locales)
    subprocess.run(["localedef", "-i", locale, "-f", "UTF-8", os.path.join(locales, locale + ".UTF-8")],
                   capture_output=True)
    if not os.path.exists(os.path.join(locales, locale + ".UTF-8", "LC_NUMERIC")):
        raise Failure("localedef could not build %s.UTF-8" % locale)
    return Kestrun(program, work, texts, LOCPATH=locales, LC_ALL=locale + ".UTF-8", LANGUAGE=language)


GERMAN = {"memo_name": "Dateiende", "field_name": "MB vom Dateiende", "open_name": "Datei \u00f6ffnen",
          "about_name": "\u00dcber Kestrun", "open_title": "\u00d6ffnen", "name_label": "Dateiname:",
          "cancel": "Abbrechen"}
ARABIC = {"memo_name": "\u0646\u0647\u0627\u064a\u0629 \u0627\u0644\u0645\u0644\u0641",
          "field_name": "\u0645\u064a\u063a\u0627\u0628\u0627\u064a\u062a \u0645\u0646 "
                        "\u0627\u0644\u0646\u0647\u0627\u064a\u0629",
          "open_name": "\u0641\u062a\u062d \u0645\u0644\u0641", "about_name": "\u062d\u0648\u0644 Kestrun"}


def flow_arabic(kestrun, work):
    # The text area's context menu in Arabic: right to left (it opens
    # leftwards from the pointer) and whole: on the screen, and nothing
    # drawn into its side borders, where a cut column of shortcuts ran.
    x, y, w, h = DESKTOP.extents(kestrun.memo)
    click_x, click_y = x + w // 2, y + h // 2
    DESKTOP.click_at(click_x, click_y, 3)
    mx, my, mw, mh = wait("the context menu", lambda: popup_at(kestrun, click_x, click_y))
    shot = os.path.join(work, "menu.png")
    DESKTOP.grab(mx, my, mw, mh, shot)
    check("the menu opens leftwards from the pointer (%d..%d, pointer at %d)" % (mx, mx + mw, click_x),
          abs(mx + mw - click_x) <= 4 and mx >= 0)
    for side, column in (("left", 3), ("right", mw - 4)):
        strip = subprocess.run(["convert", shot, "-crop", "2x%d+%d+4" % (mh - 8, column), "-format", "%k", "info:"],
                               capture_output=True, text=True).stdout.strip()
        check("nothing drawn into the menu's %s border (%s colours)" % (side, strip), strip == "1")
    keys("Escape")
    wait("the menu to close", lambda: not popup_at(kestrun, click_x, click_y))


def popup_at(kestrun, x, y):
    """The place of a window of the program's (on X11) that is not its main
    window and has the point on its edge or inside."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(kestrun.process.pid)],
                           capture_output=True, text=True).stdout.split()
    for window in found:
        name = subprocess.run(["xdotool", "getwindowname", window], capture_output=True, text=True).stdout
        if name.strip() == "Kestrun 1.0":
            continue
        shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], capture_output=True, text=True)
        g = dict(line.split("=", 1) for line in shell.stdout.split())
        wx, wy, ww, wh = (int(g[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        if wx - 4 <= x <= wx + ww + 4 and wy - 4 <= y <= wy + wh + 4:
            return wx, wy, ww, wh
    return None


def flow_longlines(kestrun, work):
    # Lines far longer than are laid out at once, through the real window.
    # Along an Arabic line past where its windows meet, each letter's place
    # on screen adjoins the next one's, with no gap and no overlap.
    arabic = "\u0645\u0631\u062d\u0628\u0627 \u0628\u0627\u0644\u0639\u0627\u0644\u0645 " * 3600
    path = os.path.join(work, "arabic.txt")
    with open(path, "w", encoding="utf-8") as out:
        out.write(arabic)
    kestrun.choose(path)
    wait("the Arabic line", lambda: kestrun.count() == len(arabic))
    click(kestrun.memo)
    keys("ctrl+Home")
    DESKTOP.repeat_key("Left", 4400)   # forward, in a right-to-left line
    wait("the caret 4,400 letters in", lambda: kestrun.memo.queryText().caretOffset == 4400)
    text = kestrun.memo.queryText()
    places = [DESKTOP.character_extents(kestrun.memo, i) for i in range(1900, 4400)]
    apart = [(1900 + i, abs((b[0] + b[2]) - a[0])) for i, (a, b) in enumerate(zip(places, places[1:]))]
    check("letters 1,900 to 4,400 adjoin, right to left (most apart: %s)" % (max(apart, key=lambda a: a[1]),),
          all(gap <= 1 for _, gap in apart))
    # Along a line of emoji with skin tones, Right stops only between whole
    # emoji, and Delete takes one whole, across where windows meet.
    thumbs = "\U0001F600" + "\U0001F44D\U0001F3FD" * 12500
    path = os.path.join(work, "thumbs.txt")
    with open(path, "w", encoding="utf-8") as out:
        out.write(thumbs)
    kestrun.choose(path)
    wait("the emoji line", lambda: text_of(kestrun.memo) == thumbs)
    click(kestrun.memo)
    keys("ctrl+Home")
    DESKTOP.repeat_key("Right", 1100)
    keys("Delete")
    wait("one emoji with its skin tone deleted", lambda: text_of(kestrun.memo) == thumbs[:-2])
    keys("ctrl+z")
    wait("undo to bring it back", lambda: text_of(kestrun.memo) == thumbs)


def memo_picture(kestrun, path):
    """The text area's pixels on screen, saved to path."""
    DESKTOP.grab(*DESKTOP.extents(kestrun.memo), path)
    return path


def pixels_apart(first, second):
    """How many pixels two pictures differ in."""
    result = subprocess.run(["compare", "-metric", "AE", first, second, "null:"], capture_output=True, text=True)
    return int(float(result.stderr.split()[0]))


def flow_ibus(kestrun, work):
    # A real input method: ibus with the pinyin engine composes "nihao" at
    # the caret, shown but not in the text; Space commits the first
    # candidate, Escape cancels.
    path = os.path.join(work, "short.log")
    with open(path, "wb") as out:
        out.write(b"first line\nsecond line")
    kestrun.choose(path)
    wait("the file's text", lambda: text_of(kestrun.memo) == "first line\nsecond line")
    click(kestrun.memo)
    wait("the text area to have the focus", lambda: has_state(kestrun.memo, pyatspi.STATE_FOCUSED))
    keys("ctrl+End")
    wait("the caret at the end", lambda: kestrun.memo.queryText().caretOffset == 22)
    # The engine's first start can outlast the command that asks for it.
    ibus = lambda *args: subprocess.run(["ibus", *args], capture_output=True, text=True)
    wait("ibus to use the pinyin engine", lambda: ibus("engine", "libpinyin").returncode == 0
         or ibus("engine").stdout.strip() == "libpinyin")
    before = memo_picture(kestrun, os.path.join(work, "before.png"))
    for attempt in ("commit", "cancel"):
        type_text("nihao", HUMAN)
        # The caret blinks: a composition is many more pixels than the caret.
        wait("the composition drawn in the text area", lambda: pixels_apart(
            before, memo_picture(kestrun, os.path.join(work, "composing.png"))) > 60)
        check("while composing the text is unchanged", text_of(kestrun.memo) == "first line\nsecond line")
        if attempt == "commit":
            keys("space")
            wait("Space to commit 你好", lambda: text_of(kestrun.memo) == "first line\nsecond line你好")
            keys("BackSpace", "BackSpace")
            wait("the commit deleted again", lambda: text_of(kestrun.memo) == "first line\nsecond line")
        else:
            keys("Escape")
            wait("Escape to take the composition away", lambda: pixels_apart(
                before, memo_picture(kestrun, os.path.join(work, "after.png"))) < 60)
            check("and leave the text as it was", text_of(kestrun.memo) == "first line\nsecond line")


def with_ibus(program, work):
    """The program with ibus as its input method, the daemon in this D-Bus session."""
    subprocess.run(["ibus-daemon", "--daemonize", "--replace", "--xim"], check=True)
    try:
        wait("ibus-daemon to answer", lambda: subprocess.run(
            ["ibus", "engine"], capture_output=True).returncode == 0, timeout=60)
    except Failure:
        raise Failure("ibus-daemon did not start: the input method cannot be tried here")
    return Kestrun(program, work, QT_IM_MODULE="ibus")


FLOWS = {name[5:]: f for name, f in globals().items() if name.startswith("flow_")}


def main():
    global DESKTOP
    program, flow = os.path.abspath(sys.argv[1]), sys.argv[2]
    platform = sys.argv[3] if len(sys.argv) > 3 else "x11"
    if flow not in FLOWS or platform not in ("x11", "wayland", "xwayland"):
        sys.exit("flows: " + ", ".join(FLOWS) + "; desktops: x11, wayland, xwayland")
    work = tempfile.mkdtemp(prefix="kestrun-e2e-")
    # Two about windows hand the keyboard from one to the other, which a
    # Wayland desktop allows only if it grants activation requests.
    DESKTOP = X11() if platform == "x11" else Wayland(xwayland=platform == "xwayland",
                                                      grants_activation=flow == "abouttwice")
    kestrun = None
    try:
        global pyatspi
        import pyatspi   # after the accessibility bus is up
        EVENTS.listen()
        if flow == "german":
            kestrun = in_language(program, work, "de_DE", "de", GERMAN)
        elif flow == "arabic":
            kestrun = in_language(program, work, "ar_EG", "ar", ARABIC)
        elif flow == "ibus":
            kestrun = with_ibus(program, work)
        elif flow == "faults":
            kestrun = Kestrun(program, work, LD_PRELOAD=os.environ["E2E_FAULTS"])
        else:
            kestrun = Kestrun(program, work)
        FLOWS[flow](kestrun, work)
        if kestrun.process.poll() is not None:
            raise Failure("kestrun exited")
        print("passed: %s on %s" % (flow, DESKTOP.name))
        return 0
    except Failure as failure:
        print("FAIL " + str(failure), flush=True)
        if kestrun:
            dump(kestrun.app)
        shot = os.environ.get("E2E_SHOT")
        if shot:
            DESKTOP.screenshot(shot)
        return 1
    finally:
        if kestrun:
            kestrun.close()
        if flow == "ibus":
            subprocess.run(["ibus", "exit"], capture_output=True)
        DESKTOP.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
