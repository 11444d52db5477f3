"""A pointer on a headless Wayland seat: wayvnc makes one for as long as a VNC
client is connected, and this client moves, presses and releases it. Only
what a pointer needs of RFB 3.8: the handshake with security type "none", a
shared ClientInit, then PointerEvent messages."""
import socket
import struct
import time


class VncPointer:
    def __init__(self, port, timeout=60):
        deadline = time.monotonic() + timeout
        while True:
            try:
                self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.1)
        self.sock.settimeout(30)
        version = self.read(12)
        if not version.startswith(b"RFB "):
            raise OSError("not a VNC server: %r" % version)
        self.sock.sendall(b"RFB 003.008\n")
        types = self.read(self.read(1)[0])
        if 1 not in types:
            raise OSError("the VNC server asks for a password (types %s)" % list(types))
        self.sock.sendall(b"\x01")
        if struct.unpack(">I", self.read(4))[0] != 0:
            raise OSError("the VNC server refused the connection")
        self.sock.sendall(b"\x01")   # shared: other clients may stay
        width, height = struct.unpack(">HH", self.read(4))
        self.read(16)   # pixel format
        self.read(struct.unpack(">I", self.read(4))[0])   # desktop name
        self.size = (width, height)
        self.at = (0, 0)
        self.buttons = 0

    def read(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise OSError("the VNC server closed the connection")
            data += chunk
        return data

    def send(self):
        self.sock.sendall(struct.pack(">BBHH", 5, self.buttons, *self.at))

    def move(self, x, y):
        self.at = (max(0, int(x)), max(0, int(y)))
        self.send()

    def press(self, button=1):
        self.buttons |= 1 << (button - 1)
        self.send()

    def release(self, button=1):
        self.buttons &= ~(1 << (button - 1))
        self.send()

    def close(self):
        self.sock.close()
