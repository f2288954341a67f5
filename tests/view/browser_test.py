#!/usr/bin/python3
"""kstrn view in a real browser: headless Chromium driven by Selenium over the
converted sample. Every wait has a timeout, and the server and the browser
are ended whatever happens.

    tests/view/browser_test.py build/tools/kstrn/kstrn [screenshot.png]
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import urllib.error
import urllib.request
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from kstrn_view_process import ViewProcess  # noqa: E402

SOURCE = Path(__file__).resolve().parents[2]
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
WAIT = 15  # seconds for any one step


def kstrn(binary, *args):
    return subprocess.run([binary, *map(str, args)], check=True, capture_output=True,
                          timeout=WAIT).stdout


class Server(ViewProcess):
    """kstrn view --no-browser on a file, its address read from its output."""

    def __init__(self, binary, file):
        super().__init__(binary, file, WAIT)

    def status(self, path):
        try:
            with urllib.request.urlopen(self.base + path, timeout=WAIT) as reply:
                return reply.status
        except urllib.error.HTTPError as e:
            return e.code



def container(root_entries, children):
    """A container file: the root block's entries, its end marker, its item blocks."""
    body = root_entries + struct.pack("<H", 0) + children
    return b"KESTRON v1.00 file\x1a" + struct.pack("<I", len(body)) + body


def markup_file(path):
    name = b"<img src=x onerror=\"document.title='pwned'\"><b>bold</b>\0"
    entries = struct.pack("<H", 1002) + bytes([len(name)]) + name + struct.pack("<H", 0)
    block = struct.pack("<I", len(entries)) + entries
    path.write_bytes(container(struct.pack("<HH", 2, 1), block))
    return name[:-1].decode()


def samples_of(binary, file, module, width):
    raw = kstrn(binary, "extract", file, f"/2:0/135:{module}", "-o", "-")
    return list(struct.unpack(f"<{len(raw) // width}{'B' if width == 1 else 'H'}", raw))


def main():
    binary = Path(sys.argv[1]).resolve()
    screenshot = Path(sys.argv[2]) if len(sys.argv) > 2 else None
    if not (os.access(CHROMIUM, os.X_OK) and os.access(CHROMEDRIVER, os.X_OK)):
        print(f"SKIPPED: no {CHROMIUM} or {CHROMEDRIVER} (install chromium and chromium-driver)")
        return 0
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait

    work = Path(tempfile.mkdtemp(prefix="kstrn-view-test."))
    servers, driver = [], None
    try:
        sample = work / "sample.kst"
        kstrn(binary, "convert", SOURCE / "samples" / "logger_data_v2.dat", "-o", sample)
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--window-size=1400,1000",
                     f"--user-data-dir={work / 'profile'}"):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service(executable_path=CHROMEDRIVER),
                                  options=options)
        driver.set_page_load_timeout(WAIT)
        driver.set_script_timeout(WAIT)
        wait = WebDriverWait(driver, WAIT)

        def css(selector):
            return wait.until(lambda d: d.find_element(By.CSS_SELECTOR, selector))

        def text_of(selector, changed_from=None):
            return wait.until(lambda d: (lambda t: t if t and t != changed_from else None)(
                d.find_element(By.CSS_SELECTOR, selector).text))

        def open_page(file, ready="all"):
            server = Server(binary, file)
            servers.append(server)
            driver.get(server.address)
            if ready:
                wait.until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-ready") == ready)
            return server

        def block_row(path):
            return css(f'#tree li.block[data-path="{path}"]')

        # The sample: the tree, a value, a reference, a blob.
        server = open_page(sample)
        assert server.status("/") == 403 and server.status("/api/info") == 403, "no token must give 403"
        assert server.status("/api/info?token=" + "0" * 32) == 403
        css('#tree li.item[data-tid="2"] .toggle').click()
        block_row("/2:0").find_element(By.CSS_SELECTOR, ".toggle").click()
        item = css('#tree li.item[data-parent="/2:0"][data-tid="107"]')
        assert "channel_ref" in item.text and "\u00d77" in item.text, item.text
        item.find_element(By.CSS_SELECTOR, ".toggle").click()
        block_row("/2:0/107:0").find_element(By.CSS_SELECTOR, ".label").click()
        name = text_of('#values tr[data-tid="1002"] td.shown')
        assert name == kstrn(binary, "get", sample, "/2:0/107:0", "1002").decode().strip(), name
        links = wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#block-refs li.reference a"))
        target = links[0].text
        links[0].click()
        wait.until(lambda d: d.find_element(By.ID, "block-path").text == target)
        target_tid = kstrn(binary, "get", sample, "/2:0/107:0/112:0", "1024").decode().strip()
        assert target.startswith(f"/2:0/{target_tid}:"), (target, target_tid)
        assert "sensor" in driver.find_element(By.ID, "block-item").text
        path = driver.find_element(By.ID, "path")
        path.clear()
        path.send_keys("/logger:0/135:0\n")
        wait.until(lambda d: d.find_element(By.ID, "block-path").text == "/2:0/135:0")
        css('#values tr[data-tid="1063"] button.open-bytes').click()
        first = text_of("#bytes-lines").splitlines()[0]
        head = kstrn(binary, "extract", sample, "/2:0/135:0", "--count", "16", "-o", "-").hex(" ")
        assert first.startswith("00000000  " + head), (first, head)

        # find and check, as kstrn has them.
        for field, text in (("find-item", "channel_ref"), ("find-keytid", "name"), ("find-key", "Oil Press\n")):
            driver.find_element(By.ID, field).send_keys(text)
        found = kstrn(binary, "find", sample, "channel_ref", "name", "Oil Press").decode().split()
        wait.until(lambda d: [a.text for a in d.find_elements(By.CSS_SELECTOR, "#results-list a")] == found)
        driver.find_element(By.ID, "check-run").click()
        summary = subprocess.run([binary, "check", sample], capture_output=True, timeout=WAIT).stdout
        wait.until(lambda d: d.find_element(By.ID, "results-title").text == summary.decode().splitlines()[-1])

        # Two channels plotted, then zoomed; the numbers against the stored samples.
        channels = driver.find_elements(By.CSS_SELECTOR, "#channels tbody input")
        assert len(channels) == 3, len(channels)
        channels[0].click()
        channels[2].click()
        driver.find_element(By.ID, "plot-draw").click()

        def check_readout(before=None):
            window = text_of("#plot-window", before)
            rows = wait.until(lambda d: (lambda r: r if len(r) == 2 else None)(
                d.find_elements(By.CSS_SELECTOR, "#readout tbody tr")))
            for row, module, width in zip(rows, (0, 2), (2, 2)):
                cell = lambda c: row.find_element(By.CSS_SELECTOR, "td." + c).text
                shown = samples_of(binary, sample, module, width)[int(cell("first")):int(cell("end"))]
                assert cell("min") == str(min(shown)) and cell("max") == str(max(shown)), \
                    (module, cell("min"), cell("max"), min(shown), max(shown))
            css("#plot canvas")
            return window

        whole = check_readout()
        driver.find_element(By.ID, "zoom-in").click()
        zoomed = check_readout(whole)
        first_zoomed = driver.find_element(By.CSS_SELECTOR, "#readout td.first").text
        assert first_zoomed != "0", "zooming in moved no window edge"
        if screenshot:
            driver.execute_script("document.getElementById('bytes').hidden = true;"
                                  "document.getElementById('recording').scrollIntoView()")
            driver.save_screenshot(str(screenshot))
        driver.find_element(By.ID, "pan-left").click()
        check_readout(zoomed)

        # Names holding markup stay text.
        markup = markup_file(work / "markup.kst")
        open_page(work / "markup.kst")
        css('#tree li.item[data-tid="2"] .toggle').click()
        label = block_row("/2:0").find_element(By.CSS_SELECTOR, ".label")
        assert markup in label.text, label.text
        assert not driver.find_elements(By.CSS_SELECTOR, "#tree img, #tree b")
        assert driver.title != "pwned"

        # A file that is no container: the page says why; the server lives on.
        junk = work / "junk.kst"
        junk.write_bytes(b"KESTRON v1.00 file\x1a\xff\xff\xff\x7f" + b"\x02\x00" * 64)
        server = open_page(junk, ready=None)
        assert text_of("#status"), "no error shown"
        assert server.status("/api/info?token=" + server.address.split("token=")[1]) == 422
        assert server.process.poll() is None
        print("browser test passed")
        return 0
    finally:
        if driver is not None:
            driver.quit()
        for server in servers:
            server.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
