"""A `kstrn view --no-browser` process and the address it prints, for the
scripts that drive the view (its browser test, its benchmark)."""

import os
import select
import subprocess
import time


class ViewProcess:
    """Starts `kstrn view` on a file and reads its address; every wait is
    bounded by `wait` seconds."""

    def __init__(self, kstrn, file, wait):
        self.process = subprocess.Popen([kstrn, "view", "--no-browser", "--port", "0", str(file)],
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            self.address = self._address(wait)
        except BaseException:
            self.close()
            raise
        self.base = self.address.split("?", 1)[0].rstrip("/")
        self.token = self.address.split("token=", 1)[1]

    def _address(self, wait):
        line = b""
        deadline = time.monotonic() + wait
        while not line.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.process.stdout], [], [], left)[0]:
                raise RuntimeError("kstrn view printed no address")
            chunk = os.read(self.process.stdout.fileno(), 1)
            if not chunk:
                raise RuntimeError("kstrn view ended: " + self.process.stderr.read().decode())
            line += chunk
        return line.decode().split("kstrn view: ", 1)[1].strip()

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(timeout=5)
        self.process.stdout.close()
        self.process.stderr.close()
