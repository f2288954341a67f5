#!/usr/bin/python3
"""Measures kstrn view, each figure the median over fresh server processes:

(a) the sparse 4 GiB container of tools/make-kstrn-big.py: time from starting
    `kstrn view` until the page's first tree is served (its address printed,
    then /api/info and /api/block of the root, which the page draws first),
    and the server's peak resident memory afterwards;
(b) a channel of 10,000,000 16-bit samples: the first plot of the whole
    channel (which builds the coarse summary), then one zoom step (a quarter
    of the span, 1,000 buckets): time of the request and bytes sent.

With --browser, (a) also in headless Chromium, already running: from the
start of `kstrn view` until the page has drawn the root's items.

    bench/view_bench.py [path/to/kstrn] [--runs N] [--browser]
"""

import argparse
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tools"))
from kstrn_view_process import ViewProcess  # noqa: E402

SOURCE = Path(__file__).resolve().parents[1]
TIMEOUT = 60


def u16(v):
    return struct.pack("<H", v)


def u32(v):
    return struct.pack("<I", v)


def block(entries, children=b""):
    body = entries + u16(0) + children
    return u32(len(body)) + body


def long_channel(path, samples):
    """A logger block whose one module records samples at 1 ms (rate index 0)."""
    layout = block(u16(1050) + bytes([0]))
    head = u16(1066) + u32(2 * samples) + u16(1063)
    with open(path, "wb") as f:
        data_size = len(head) + 2 * samples + 2
        logger_entries = u16(133) + u16(1) + u16(135) + u16(1)
        logger_size = len(logger_entries) + 2 + len(layout) + 4 + data_size
        root_entries = u16(2) + u16(1)
        f.write(b"KESTRON v1.00 file\x1a" + u32(len(root_entries) + 2 + 4 + logger_size))
        f.write(root_entries + u16(0) + u32(logger_size) + logger_entries + u16(0) + layout)
        f.write(u32(data_size) + head)
        wave = struct.pack("<1000H", *((i * 37 + (i * i) % 1009) % 4096 for i in range(1000)))
        for _ in range(samples // 1000):
            f.write(wave)
        f.write(u16(0))


class Server(ViewProcess):
    def __init__(self, kstrn, file):
        self.started = time.perf_counter()
        super().__init__(kstrn, file, TIMEOUT)

    def get(self, path):
        request = urllib.request.Request(self.base + path, headers={"X-Kstrn-Token": self.token})
        start = time.perf_counter()
        with urllib.request.urlopen(request, timeout=TIMEOUT) as reply:
            body = reply.read()
            sent = len(body) + sum(len(k) + len(v) + 4 for k, v in reply.getheaders())
        return time.perf_counter() - start, sent

    def peak_mb(self):
        for line in Path(f"/proc/{self.process.pid}/status").read_text().splitlines():
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
        return float("nan")



def browser_paint(kstrn, file, runs, work):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait

    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 f"--user-data-dir={work / 'profile'}"):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(executable_path="/usr/bin/chromedriver"), options=options)
    times, in_page = [], []
    try:
        driver.set_page_load_timeout(TIMEOUT)
        for _ in range(runs):
            driver.get("about:blank")
            server = Server(kstrn, file)
            try:
                driver.get(server.base + "/?token=" + server.token)
                WebDriverWait(driver, TIMEOUT, poll_frequency=0.002).until(
                    lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-ready"))
                times.append(time.perf_counter() - server.started)
                in_page.append(float(driver.find_element(By.TAG_NAME, "body").get_attribute("data-tree-ms")))
            finally:
                server.close()
    finally:
        driver.quit()
    return times, in_page


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kstrn", nargs="?", default=str(SOURCE / "build/tools/kstrn/kstrn"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--browser", action="store_true")
    options = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="kstrn-view-bench.") as work:
        big = Path(work) / "big.kst"
        subprocess.run(["python3", str(SOURCE / "tools/make-kstrn-big.py"), str(big)], check=True,
                       timeout=TIMEOUT)
        paint, memory = [], []
        for _ in range(options.runs):
            server = Server(options.kstrn, big)
            try:
                server.get("/api/info")
                server.get("/api/block?path=/")
                paint.append(time.perf_counter() - server.started)
                server.get("/api/block?path=/2:0")
                server.get("/api/children?path=/2:0&tid=100")
                memory.append(server.peak_mb())
            finally:
                server.close()
        print(f"(a) {big.stat().st_size} byte sparse container, {options.runs} fresh processes:")
        print(f"    first tree served {statistics.median(paint) * 1000:.1f} ms after start (median), "
              f"peak RSS {statistics.median(memory):.1f} MB (median, after opening 2:0 and its "
              "first 500 channels)")

        if options.browser:
            painted, in_page = browser_paint(options.kstrn, big, options.runs, Path(work))
            print(f"    in headless Chromium: tree drawn {statistics.median(painted) * 1000:.1f} ms "
                  f"after start as WebDriver sees it, {statistics.median(in_page):.0f} ms after "
                  "navigation began as the page sees it (medians)")

        samples = 10_000_000
        long = Path(work) / "long.kst"
        long_channel(long, samples)
        whole, zoom, sent = [], [], []
        for _ in range(options.runs):
            server = Server(options.kstrn, long)
            try:
                whole.append(server.get(f"/api/buckets?ch=0&from=0&to={samples}&n=1000")[0])
                seconds, size = server.get(f"/api/buckets?ch=0&from={samples // 2}"
                                           f"&to={samples // 2 + samples // 4}&n=1000")
                zoom.append(seconds)
                sent.append(size)
            finally:
                server.close()
        print(f"(b) channel of {samples} samples, {options.runs} fresh processes:")
        print(f"    first plot (builds the summary) {statistics.median(whole) * 1000:.1f} ms, "
              f"zoom step {statistics.median(zoom) * 1000:.1f} ms and "
              f"{statistics.median(sent) / 1024:.1f} KB sent (medians, 1000 buckets)")


if __name__ == "__main__":
    main()
