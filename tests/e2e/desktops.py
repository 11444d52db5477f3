"""The desktops the flows run on, each with what a user does there: keys,
typing, the pointer, what the screen shows and which windows are up.

- X11: Xvfb with openbox, xdotool, ImageMagick's import.
- Wayland: sway headless, wtype for keys, wayvnc's pointer (vncpointer.py),
  grim, swaymsg. The program talks Wayland natively, or X11 through
  Xwayland (xwayland=True).

Every desktop also runs the accessibility bus of the D-Bus session it is
started in. Screen places come from AT-SPI as the program knows them: on
X11 they are the screen's; on Wayland a program does not know where its
windows are, so a place is taken relative to its window and added to where
sway shows that window."""
import json
import os
import socket
import subprocess
import tempfile
import time

TIMEOUT = float(os.environ.get("E2E_TIMEOUT", "120"))   # generous: CI machines can be busy


class Failure(Exception):
    pass


def poll(what, condition, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.05)


# Orca, its debug log written line by line rather than in 8 KB blocks, so a
# flow can read what it says as it says it.
ORCA_LINE_BY_LINE = """
import builtins, runpy, sys
opened = builtins.open
builtins.open = lambda name, mode="r", *rest, **named: (
    opened(name, mode, 1) if mode == "w" and not rest and not named else opened(name, mode, *rest, **named))
sys.argv[0] = "/usr/bin/orca"
runpy.run_path("/usr/bin/orca", run_name="__main__")
"""


class Desktop:
    def __init__(self):
        self.processes = []

    def start(self, argv, **kwargs):
        process = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)
        self.processes.append(process)
        return process

    def start_accessibility(self):
        self.start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        # E2E_ORCA=FILE: Orca listens too (speech off), its debug log in FILE,
        # to read what it would present.
        if os.environ.get("E2E_ORCA"):
            self.start(["/usr/bin/python3", "-c", ORCA_LINE_BY_LINE, "--replace", "-d", "speech",
                        "--debug-file", os.environ["E2E_ORCA"]])

    def close(self):
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()

    @staticmethod
    def desktop_extents(node):
        import pyatspi   # once the accessibility bus is up
        return node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)

    def extents(self, node):
        """(x, y, width, height) of an accessible on the screen."""
        e = self.desktop_extents(node)
        x, y = self.origin(node)
        return e.x + x, e.y + y, e.width, e.height

    def character_extents(self, node, offset):
        import pyatspi
        x, y, w, h = node.queryText().getCharacterExtents(offset, pyatspi.DESKTOP_COORDS)
        ox, oy = self.origin(node)
        return x + ox, y + oy, w, h

    def click(self, node, button=1, offset=None):
        x, y, w, h = self.extents(node)
        dx, dy = offset if offset else (w // 2, h // 2)
        self.click_at(x + dx, y + dy, button)


class X11(Desktop):
    """Xvfb on a free display, openbox, the accessibility bus."""
    name = "x11"

    def __init__(self):
        super().__init__()
        read_fd, write_fd = os.pipe()
        self.start(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24",
                    "-nolisten", "tcp"], pass_fds=(write_fd,))
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            display = pipe.readline().strip()
        if not display:
            raise Failure("Xvfb did not start")
        os.environ["DISPLAY"] = ":" + display
        self.env = {"QT_QPA_PLATFORM": "xcb"}
        try:
            self.start_window_manager()
            self.start_accessibility()
        except Failure:
            self.close()
            raise

    def start_window_manager(self):
        # Openbox now and then dies as it starts on a busy machine (signal 11,
        # seen a few times in a hundred); another one then takes over.
        managed = lambda: b"_NET_SUPPORTING_WM_CHECK(WINDOW)" in subprocess.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True).stdout
        for attempt in range(3):
            openbox = self.start(["openbox", "--sm-disable"])
            try:
                poll("openbox to manage the screen", lambda: managed() or openbox.poll() is not None)
            except Failure:
                pass
            if managed():
                return
            print("openbox did not start (exit status %s); again" % openbox.poll(), flush=True)
            openbox.kill()
        raise Failure("openbox did not manage the screen")

    @staticmethod
    def xdo(*args):
        subprocess.run(["xdotool", *map(str, args)], check=True)

    def origin(self, node):
        return 0, 0

    def keys(self, *names):
        self.xdo("key", "--delay", 20, *names)

    def repeat_key(self, name, count):
        self.xdo("key", "--repeat", count, "--delay", 1, name)

    def type(self, text, delay):
        self.xdo("type", "--delay", delay, text)

    def move(self, x, y):
        self.xdo("mousemove", "--sync", x, y)

    def click_at(self, x, y, button=1):
        self.xdo("mousemove", "--sync", x, y, "click", button)

    def grab(self, x, y, w, h, path="rgb:-"):
        return subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                               "+repage", path], capture_output=True).stdout

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path])

    def windows(self, pid):
        """The titles of every window of the program that is mapped, popups included."""
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                               capture_output=True, text=True).stdout.split()
        shown = []
        for w in found:
            info = subprocess.run(["xwininfo", "-id", w], capture_output=True, text=True).stdout
            if "IsViewable" in info:
                title = info.split('"')[1] if '"' in info else ""
                shown.append(title)
        return shown

    def clipboard(self):
        return subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True,
                              text=True).stdout


SWAY_CONFIG = """\
output HEADLESS-1 resolution 1280x1024
for_window [app_id=".*"] floating enable
for_window [class=".*"] floating enable
focus_on_window_activation {activation}
xwayland {xwayland}
exec sh -c 'echo "$DISPLAY" > "$XDG_RUNTIME_DIR/display.new" && mv "$XDG_RUNTIME_DIR/display.new" "$XDG_RUNTIME_DIR/display"'
"""


class Wayland(Desktop):
    """sway headless as this (ordinary) user, wayvnc for a pointer, the
    accessibility bus. The program talks Wayland, or X11 through Xwayland."""

    def __init__(self, xwayland=False, grants_activation=False):
        """grants_activation: the desktop hands a window the keyboard when
        the program asks for it through xdg-activation, as GNOME and KDE
        do; sway's default only marks such a window urgent."""
        super().__init__()
        from vncpointer import VncPointer
        self.name = "xwayland" if xwayland else "wayland"
        if os.getuid() == 0:
            raise Failure("sway refuses to run as root: run the Wayland flows as an ordinary user")
        self.runtime = tempfile.mkdtemp(prefix="kestrun-wl-")   # mode 700, as Wayland asks
        config = os.path.join(self.runtime, "sway.conf")
        with open(config, "w") as out:
            out.write(SWAY_CONFIG.format(xwayland="enable" if xwayland else "disable",
                                         activation="focus" if grants_activation else "urgent"))
        os.environ.update(XDG_RUNTIME_DIR=self.runtime, WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
                          WLR_RENDERER="pixman")
        os.environ.pop("DISPLAY", None)
        self.log = open(os.path.join(self.runtime, "sway.log"), "w")
        self.sway = subprocess.Popen(["sway", "-c", config], stdout=self.log, stderr=subprocess.STDOUT)
        self.processes.append(self.sway)
        try:
            poll("sway to start", lambda: self.sway.poll() is not None or (
                os.path.exists(os.path.join(self.runtime, "display")) and self.socket("sway-ipc.")))
            if self.sway.poll() is not None:
                raise Failure("sway exited as it started (status %s)" % self.sway.poll())
            os.environ["WAYLAND_DISPLAY"] = self.socket("wayland-")
            os.environ["SWAYSOCK"] = os.path.join(self.runtime, self.socket("sway-ipc."))
            self.env = {"QT_QPA_PLATFORM": "wayland"}
            if xwayland:
                with open(os.path.join(self.runtime, "display")) as display:
                    self.env = {"QT_QPA_PLATFORM": "xcb", "DISPLAY": display.read().strip()}
            port = self.free_port()
            self.start(["wayvnc", "127.0.0.1", str(port)])
            self.pointer = VncPointer(port, timeout=TIMEOUT)
            poll("the seat's pointer", lambda: any(
                d.get("type") == "pointer" for d in self.sway_json("get_inputs")))
            self.start_accessibility()
        except Exception:
            self.close()
            raise

    def socket(self, prefix):
        return next((n for n in sorted(os.listdir(self.runtime)) if n.startswith(prefix)
                     and not n.endswith(".lock")), None)

    @staticmethod
    def free_port():
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            return probe.getsockname()[1]

    def close(self):
        if getattr(self, "pointer", None):
            self.pointer.close()
        super().close()

    @staticmethod
    def sway_json(kind):
        return json.loads(subprocess.run(["swaymsg", "-r", "-t", kind], capture_output=True, check=True,
                                         text=True).stdout)

    def views(self, pid=None):
        """sway's windows (of the process pid): dicts with name, app_id,
        focused, and content: (x, y, width, height) on the output."""
        found = []

        def walk(node):
            if node.get("pid") and (pid is None or node["pid"] == pid) and node.get("visible", True):
                r, w = node["rect"], node["window_rect"]
                node["content"] = (r["x"] + w["x"], r["y"] + w["y"], w["width"], w["height"])
                found.append(node)
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)
        walk(self.sway_json("get_tree"))
        return found

    def origin(self, node):
        """What to add to a place the program gives to have it on the output:
        where sway shows the node's window less where the program thinks the
        window is. The window is sway's window of the program with the
        title of the node's top-level window, the focused one among equals."""
        top = node
        while top.parent is not None and top.parent.getRoleName() != "application":
            top = top.parent
        candidates = [v for v in self.views(top.get_process_id()) if v.get("name") == top.name]
        if not candidates:
            raise Failure("no window titled %r on the output" % top.name)
        x, y, _, _ = next((v for v in candidates if v.get("focused")), candidates[-1])["content"]
        known = self.desktop_extents(top)
        return x - known.x, y - known.y

    @staticmethod
    def wtype(*args):
        # Each run brings a new virtual keyboard and keymap, which a client
        # may take in after the first keys: a pause first.
        subprocess.run(["wtype", "-s", "300", *map(str, args)], check=True)

    @staticmethod
    def wtype_key(name):
        """A key as xdotool names it (ctrl+shift+Right) in wtype's words."""
        *modifiers, key = name.split("+")
        modifiers = ["logo" if m == "super" else m for m in modifiers]
        return [a for m in modifiers for a in ("-M", m)] + ["-k", key] + [a for m in modifiers for a in ("-m", m)]

    def keys(self, *names):
        args = []
        for name in names:
            args += self.wtype_key(name) + ["-s", "20"]
        self.wtype(*args)

    def repeat_key(self, name, count):
        self.wtype(*self.wtype_key(name) * count)

    def type(self, text, delay):
        self.wtype("-d", max(delay, 1), text)

    def move(self, x, y):
        self.pointer.move(x, y)
        # What sway does with a move shows in its idea of the pointer's
        # place only indirectly; a short pause lets the client hear it.
        time.sleep(0.05)

    def click_at(self, x, y, button=1):
        self.move(x, y)
        self.pointer.press(button)
        time.sleep(0.03)
        self.pointer.release(button)

    def grab(self, x, y, w, h, path=None):
        shot = subprocess.run(["grim", "-t", "ppm", "-g", "%d,%d %dx%d" % (x, y, w, h), "-"],
                              capture_output=True).stdout
        if path:
            subprocess.run(["convert", "ppm:-", path], input=shot, check=True)
        return shot

    def screenshot(self, path):
        subprocess.run(["grim", path])

    def windows(self, pid):
        """The titles of the program's top-level windows (popups are not sway's windows)."""
        return [v.get("name") for v in self.views(pid)]

    def clipboard(self):
        return subprocess.run(["wl-paste", "--no-newline"], capture_output=True, text=True).stdout
