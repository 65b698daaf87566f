#!/usr/bin/env python3
"""The anchor for the host's browser engine figures: a bare DevTools client with nothing but the
standard library. Starts the browser headless with a profile of its own, then prints the time to
its port file, the time from Page.navigate to Page.loadEventFired for a local page (median of N),
and the browser's resident memory."""
import base64, json, os, shutil, socket, statistics, struct, subprocess, sys, tempfile, threading, time
from http.server import HTTPServer, SimpleHTTPRequestHandler

browser, loads = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 10

class Page(SimpleHTTPRequestHandler):
    def do_GET(self):
        body = b"<html><head><title>Bench</title></head><body><p>bench page</p></body></html>"
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass

server = HTTPServer(("127.0.0.1", 0), Page)
server.handle_error = lambda request, address: None  # the browser drops requests it no longer needs
threading.Thread(target=server.serve_forever, daemon=True).start()
url = "http://127.0.0.1:%d/page.html" % server.server_port

profile = tempfile.mkdtemp()
start = time.monotonic()
proc = subprocess.Popen([browser, "--headless=new", "--remote-debugging-port=0", "--user-data-dir=" + profile,
                         "--no-sandbox", "--no-first-run", "--disable-background-networking",
                         "--disable-component-update", "--disable-sync", "--disable-quic", "about:blank"],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
port_file = os.path.join(profile, "DevToolsActivePort")
while not (os.path.exists(port_file) and open(port_file).read().count("\n") >= 1):
    time.sleep(0.005)
started_ms = (time.monotonic() - start) * 1000
port, path = open(port_file).read().split("\n")[:2]

sock = socket.create_connection(("127.0.0.1", int(port)))
key = base64.b64encode(os.urandom(16)).decode()
sock.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1:%s\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n" % (path, port, key)).encode())
buffer = b""
while b"\r\n\r\n" not in buffer:
    buffer += sock.recv(4096)
buffer = buffer.split(b"\r\n\r\n", 1)[1]

def send(message):
    data = json.dumps(message).encode()
    mask = os.urandom(4)
    header = bytes([0x81])
    n = len(data)
    header += bytes([0x80 | n]) if n < 126 else bytes([0x80 | 126]) + struct.pack(">H", n) if n < 65536 else \
        bytes([0x80 | 127]) + struct.pack(">Q", n)
    sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

def receive():
    global buffer
    while True:
        if len(buffer) >= 2:
            n, at = buffer[1] & 0x7F, 2
            if n == 126:
                n, at = struct.unpack(">H", buffer[2:4])[0], 4
            elif n == 127:
                n, at = struct.unpack(">Q", buffer[2:10])[0], 10
            if len(buffer) >= at + n:
                payload, buffer = buffer[at:at + n], buffer[at + n:]
                return json.loads(payload)
        buffer += sock.recv(65536)

next_id = [0]
def command(method, params=None, session=None):
    next_id[0] += 1
    message = {"id": next_id[0], "method": method, "params": params or {}}
    if session:
        message["sessionId"] = session
    send(message)
    while True:
        reply = receive()
        if reply.get("id") == next_id[0]:
            return reply.get("result", {})

target = command("Target.createTarget", {"url": "about:blank"})["targetId"]
session = command("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
command("Page.enable", session=session)
times = []
for _ in range(loads):
    begin = time.monotonic()
    command("Page.navigate", {"url": url}, session)
    while True:
        event = receive()
        if event.get("method") == "Page.loadEventFired" and event.get("sessionId") == session:
            break
    times.append((time.monotonic() - begin) * 1000)

# Proportional set size, so pages shared between the browser's processes count once.
pss_kb = 0
for pid in os.listdir("/proc"):
    try:
        if pid.isdigit() and profile.encode() in open("/proc/%s/cmdline" % pid, "rb").read():
            pss_kb += int([l for l in open("/proc/%s/smaps_rollup" % pid) if l.startswith("Pss:")][0].split()[1])
    except (OSError, IndexError):
        pass
print("bare DevTools client: browser start to port file %.0f ms; navigate to load event median %.0f ms "
      "(%d loads); browser memory (PSS) %.0f MB" % (started_ms, statistics.median(times), loads, pss_kb / 1024))
try:
    command("Browser.close")
except Exception:
    pass
proc.wait(timeout=10)
shutil.rmtree(profile, ignore_errors=True)
