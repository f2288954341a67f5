#!/usr/bin/python3
"""kstrn view under attack from a local client, on the loopback address only:
what a client without the token can send (heads too large, bodies, many
ranges, a wrong Host, idle and slow connections), an answer that takes
seconds, interruption, files that are not files, and the browser's opener.
Each attack is bounded in bytes and time; the whole run takes about 15 s.

    tests/view/view_limits_test.py build/tools/kstrn/kstrn
"""

import http.client
import os
import signal
import socket
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from kstrn_view_process import ViewProcess  # noqa: E402

WAIT = 10  # seconds for any one step
PEAK_MB = 64  # resident memory the server may not pass (10 MB; 41 MB under ASan)
FAILURES = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        FAILURES.append(what)


def container(root_entries, children=b""):
    body = root_entries + struct.pack("<H", 0) + children
    return b"KESTRON v1.00 file\x1a" + struct.pack("<I", len(body)) + body


def wide_file(path):
    """One block with 52,535 distinct item TIDs: its block answer takes seconds
    while lookups by TID are linear."""
    tids = [t for t in range(1, 65536) if not 1000 <= t <= 13999][:52535]
    path.write_bytes(container(b"".join(struct.pack("<HH", t, 0) for t in tids)))


def small_file(path):
    name = b"abc\0"
    entries = struct.pack("<H", 1002) + bytes([len(name)]) + name + struct.pack("<H", 0)
    path.write_bytes(container(struct.pack("<HH", 2, 1), struct.pack("<I", len(entries)) + entries))


def peak_mb(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1]) / 1024
    return 0.0


class Client:
    """A raw connection to the server: what is sent is exactly what is given."""

    def __init__(self, server):
        host, port = server.base.split("//", 1)[1].rsplit(":", 1)
        self.host = f"{host}:{port}"
        self.sock = socket.create_connection((host, int(port)), timeout=WAIT)

    def send(self, data):
        """Sends data, stopping quietly when the server has closed."""
        try:
            self.sock.sendall(data)
            return True
        except OSError:
            return False

    def answer(self, timeout=WAIT):
        """Everything the server sends until it closes or pauses, as bytes."""
        self.sock.settimeout(timeout)
        data = b""
        try:
            while True:
                chunk = self.sock.recv(65536)
                if not chunk:
                    break
                data += chunk
                if b"\r\n\r\n" in data:
                    head, _, rest = data.partition(b"\r\n\r\n")
                    length = [int(line.split(b":")[1]) for line in head.split(b"\r\n")
                              if line.lower().startswith(b"content-length:")]
                    if length and len(rest) >= length[0]:
                        break
                self.sock.settimeout(1)
        except OSError:
            pass
        return data

    def close(self):
        self.sock.close()


def status_of(data):
    try:
        return int(data.split(b" ", 2)[1])
    except (IndexError, ValueError):
        return None


def has_security_headers(data):
    head = data.partition(b"\r\n\r\n")[0].lower()
    return b"content-security-policy:" in head and b"x-content-type-options: nosniff" in head


def send_while_reading(client, head, body_pieces):
    """Sends head, then the body in the background, returning the answer read
    meanwhile; a server that reads the whole body first answers late."""
    client.send(head)
    sender = threading.Thread(target=lambda: [client.send(p) for p in body_pieces], daemon=True)
    sender.start()
    answer = client.answer(timeout=3)
    return answer


def attacks_before_the_token(server):
    token = server.token
    get = f"GET /?token={token} HTTP/1.1\r\nHost: %s\r\n"

    c = Client(server)
    c.send((get % c.host).encode() + b"X-Long: ")
    answer = send_while_reading(c, b"", [b"a" * 65536] * 16)  # 1 MiB in one line
    check(status_of(answer) == 431 and has_security_headers(answer),
          f"a 1 MiB header line is refused with 431 and our headers ({answer[:40]!r})")
    c.close()

    c = Client(server)
    lines = b"".join(b"X-%d: %d\r\n" % (i, i) for i in range(100))
    c.send((get % c.host).encode() + lines + b"\r\n")
    answer = c.answer()
    check(status_of(answer) == 431, f"100 header lines are refused with 431 ({answer[:40]!r})")
    c.close()

    c = Client(server)
    many = b"".join(b"X-%d: %d\r\n" % (i, i) for i in range(60000))  # 700 KB of lines
    answer = send_while_reading(c, (get % c.host).encode(), [many[i:i + 65536]
                                                              for i in range(0, len(many), 65536)])
    check(status_of(answer) == 431,
          f"700 KB of header lines are refused with 431 ({answer[:40]!r})")
    c.close()

    c = Client(server)
    head = (f"POST /api/info?token={token} HTTP/1.1\r\nHost: {c.host}\r\n"
            "Transfer-Encoding: chunked\r\n\r\n").encode()
    chunk = b"10000\r\n" + b"x" * 65536 + b"\r\n"
    answer = send_while_reading(c, head, [chunk] * 512)  # 32 MiB
    check(status_of(answer) == 413, f"a chunked body is refused with 413 unread ({answer[:40]!r})")
    c.close()

    c = Client(server)
    size = 32 << 20
    head = (f"GET /api/info?token={token} HTTP/1.1\r\nHost: {c.host}\r\n"
            f"Content-Length: {size}\r\n\r\n").encode()
    answer = send_while_reading(c, head, [b"y" * 65536] * (size // 65536))
    check(status_of(answer) == 413,
          f"a GET with a 32 MiB body is refused with 413 ({answer[:40]!r})")
    c.close()

    c = Client(server)
    whole = http.client.HTTPConnection(c.host, timeout=WAIT)
    whole.request("GET", f"/uPlot.iife.min.js?token={token}")
    plain = whole.getresponse().read()
    whole.close()
    ranges = "bytes=" + ",".join(["0-"] * 1300)
    c.send((f"GET /uPlot.iife.min.js?token={token} HTTP/1.1\r\nHost: {c.host}\r\n"
            f"Range: {ranges}\r\nConnection: close\r\n\r\n").encode())
    answer = c.answer()
    body = answer.partition(b"\r\n\r\n")[2]
    check(status_of(answer) == 200 and body == plain,
          f"1,300 ranges get the file once, whole ({len(body)} bytes, {answer[:12]!r})")
    c.close()

    for host in ("evil.example:80", None, c.host + "\r\nHost: " + c.host):
        c = Client(server)
        line = f"Host: {host}\r\n" if host else ""
        c.send(f"GET /api/info?token={token} HTTP/1.1\r\n{line}\r\n".encode())
        answer = c.answer()
        check(status_of(answer) == 403 and has_security_headers(answer),
              f"Host {host!r} is refused with 403 even with the token ({answer[:40]!r})")
        c.close()

    c = Client(server)
    c.send(f"GET /{'a' * 9000} HTTP/1.1\r\nHost: {c.host}\r\n\r\n".encode())
    answer = c.answer()
    check(status_of(answer) == 414 and has_security_headers(answer),
          f"the library's own 414 carries our security headers ({answer[:40]!r})")
    c.close()


def idle_and_slow(server):
    idle = [Client(server) for _ in range(200)]
    slow = [Client(server) for _ in range(8)]
    stop = threading.Event()
    for s in slow:
        s.send(b"GET / HTTP/1.1\r\n")

    def trickle():
        while not stop.wait(1):
            for s in slow:
                s.send(b"X")

    threading.Thread(target=trickle, daemon=True).start()
    time.sleep(0.3)
    start = time.monotonic()
    try:
        real = http.client.HTTPConnection(idle[0].host, timeout=1)
        real.request("GET", "/api/info", headers={"X-Kstrn-Token": server.token})
        ok = real.getresponse().status == 200
        real.close()
    except OSError:
        ok = False
    took = time.monotonic() - start
    check(ok and took < 1, f"a real client is answered in {took:.2f} s beside 200 idle and 8 "
          "slow connections")
    # The slow ones are cut off when their head is late, well before their bytes end.
    answers = [s.answer(timeout=8) for s in slow]
    stop.set()
    check(all(status_of(a) == 408 for a in answers),
          f"slow heads are ended with 408 ({[a[:12] for a in answers[:2]]!r})")
    for c in idle + slow:
        c.close()


def slow_answer_and_interrupt(kstrn, work):
    wide = work / "wide.kst"
    wide_file(wide)
    server = ViewProcess(kstrn, wide, WAIT)
    try:
        slow = Client(server)
        slow.send(f"GET /api/block?path=/&token={server.token} HTTP/1.1\r\n"
                  f"Host: {slow.host}\r\n\r\n".encode())
        time.sleep(0.3)
        start = time.monotonic()
        try:
            other = http.client.HTTPConnection(slow.host, timeout=2)
            other.request("GET", "/api/info", headers={"X-Kstrn-Token": server.token})
            ok = other.getresponse().status == 200
        except OSError:
            ok = False
        took = time.monotonic() - start
        check(ok and took < 1, f"another request is answered in {took:.2f} s during a slow answer")
        start = time.monotonic()
        server.process.send_signal(signal.SIGINT)
        try:
            code = server.process.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            code = None
        took = time.monotonic() - start
        check(code == 0 and took < 1,
              f"SIGINT ends the server in {took:.2f} s during a slow answer")
        slow.close()
    finally:
        server.close()


def not_files(kstrn, work):
    fifo = work / "fifo"
    os.mkfifo(fifo)
    for args, what in (([str(fifo)], "a FIFO as FILE"), (["/dev/zero"], "a device as FILE"),
                       (["--host", "", str(work / "s.kst")], '--host ""')):
        try:
            run = subprocess.run([kstrn, "view", "--no-browser", *args], capture_output=True,
                                 timeout=5)
            refused = run.returncode == 2 and b"kstrn view: http" not in run.stdout
        except subprocess.TimeoutExpired:
            refused = False
        check(refused, f"{what} is refused at once, before any address")


def opener(kstrn, work):
    """The browser is opened on a private page; no command line holds the token."""
    bin_dir = work / "bin"
    bin_dir.mkdir()
    record = work / "opened"
    opener = bin_dir / "xdg-open"
    opener.write_text("#!/bin/sh\n"
                      f"{{ echo \"$@\"; stat -c %a \"${{1#file://}}\"; "
                      f"stat -c %a \"$(dirname \"${{1#file://}}\")\"; cat \"${{1#file://}}\"; }} "
                      f"> {record}.part 2>&1\nmv {record}.part {record}\n"
                      "sleep 5\nexit 0\n")  # the shell stays, with its command line
    opener.chmod(0o755)
    env = dict(os.environ, DISPLAY=":99", PATH=f"{bin_dir}:{os.environ['PATH']}")
    process = subprocess.Popen([kstrn, "view", str(work / "s.kst")], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        line = process.stdout.readline().decode()
        token = line.rsplit("token=", 1)[-1].strip()
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline and not record.exists():
            time.sleep(0.05)
        children = []
        for task in Path(f"/proc/{process.pid}/task").iterdir():
            children += (task / "children").read_text().split()
        cmdlines = [Path(f"/proc/{child}/cmdline").read_bytes() for child in children]
        check(len(token) == 32 and children and not any(token.encode() in c for c in cmdlines),
              f"the token is on no child's command line ({len(children)} children)")
        lines = record.read_text().splitlines() if record.exists() else ["", "", ""]
        check(token not in lines[0] and lines[1:3] == ["600", "700"] and
              any(token in rest for rest in lines[3:]),
              f"the browser gets a private page holding the address ({lines[:3]})")
        page = Path(lines[0].split("file://", 1)[-1])
        process.send_signal(signal.SIGTERM)
        process.wait(timeout=WAIT)
        check(not page.exists() and not page.parent.exists(), "the page is removed at the end")
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        process.stdout.close()
        process.stderr.close()


def main():
    kstrn = str(Path(sys.argv[1]).resolve())
    with tempfile.TemporaryDirectory(prefix="kstrn-view-limits.") as name:
        work = Path(name)
        small_file(work / "s.kst")
        server = ViewProcess(kstrn, work / "s.kst", WAIT)
        try:
            attacks_before_the_token(server)
            idle_and_slow(server)
            peak = peak_mb(server.process.pid)
            check(peak < PEAK_MB, f"the server's peak RSS stays at {peak:.0f} MB")
        finally:
            server.close()
        slow_answer_and_interrupt(kstrn, work)
        not_files(kstrn, work)
        opener(kstrn, work)
    print(f"{len(FAILURES)} failed" if FAILURES else "all passed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
