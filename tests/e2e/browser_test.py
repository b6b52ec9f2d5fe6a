#!/usr/bin/env python3
"""browser_test.py - a real browser on the demo site: headless Chromium,
driven through chromedriver's WebDriver HTTP interface, submits a form with
a non-ASCII name and uploads a file with a non-ASCII name, then the file is
downloaded back over HTTP through /owai/ and compared byte for byte.

usage: browser_test.py HTTP_PORT   (run by ctest, fixture "web")
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

CUSTOMER = "Zoë O'Brien"
FILE_NAME = "résumé 2026 (v2).pdf"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class WebDriver:
    """The few WebDriver commands the test needs, over plain HTTP."""

    def __init__(self, port, profile):
        self.root = f"http://127.0.0.1:{port}"
        options = {"args": ["--headless=new", "--no-sandbox", "--disable-gpu",
                            "--disable-dev-shm-usage", f"--user-data-dir={profile}"]}
        binary = shutil.which("chromium")
        if binary:
            options["binary"] = binary
        answer = self.call("POST", "/session", {"capabilities": {"alwaysMatch": {
            "browserName": "chrome", "goog:chromeOptions": options}}})
        self.session = f"/session/{answer['sessionId']}"

    def call(self, method, path, payload=None):
        data = None if payload is None else json.dumps(payload).encode()
        request = urllib.request.Request(self.root + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=60) as response:
                return json.load(response)["value"]
        except urllib.error.HTTPError as error:
            raise RuntimeError(f"{method} {path}: {error.read().decode(errors='replace')}")

    def command(self, method, path, payload=None):
        return self.call(method, self.session + path, payload)

    def go(self, url):
        self.command("POST", "/url", {"url": url})

    def element(self, selector):
        found = self.command("POST", "/element", {"using": "css selector", "value": selector})
        return next(iter(found.values()))

    def type_into(self, selector, text):
        self.command("POST", f"/element/{self.element(selector)}/value", {"text": text})

    def click(self, selector):
        self.command("POST", f"/element/{self.element(selector)}/click", {})

    def script(self, source):
        return self.command("POST", "/execute/sync", {"script": source, "args": []})

    def wait_for_page(self, procedure):
        """The text of the page once the browser shows the procedure's answer."""
        for _ in range(300):
            if self.script("return document.readyState === 'complete' && "
                           f"location.pathname.endsWith('/{procedure}')"):
                return self.script("return document.body.innerText")
            time.sleep(0.1)
        raise RuntimeError(f"no page of {procedure}")

    def quit(self):
        self.call("DELETE", self.session)


def wait_until_listening(port, process):
    for _ in range(200):
        if process.poll() is not None:
            raise RuntimeError("chromedriver ended at start")
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
            return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError("chromedriver did not start")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    base = f"http://127.0.0.1:{sys.argv[1]}/demo/owa/"
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)

    work = tempfile.mkdtemp()
    port = free_port()
    driver_process = subprocess.Popen(["chromedriver", f"--port={port}"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    browser = None
    try:
        wait_until_listening(port, driver_process)
        browser = WebDriver(port, os.path.join(work, "profile"))

        browser.go(base + "order_form")
        browser.type_into("input[name=customer]", CUSTOMER)
        browser.click("input[type=submit]")
        page = browser.wait_for_page("order_received")
        expect(f"Thank you, {CUSTOMER}." in page, f"the order page lacks the name: {page!r}")
        expect(browser.script("return document.characterSet") == "UTF-8",
               "the order page was not read as UTF-8")

        content = os.urandom(70000) + "% the end é".encode()
        path = os.path.join(work, FILE_NAME)
        with open(path, "wb") as f:
            f.write(content)
        browser.go(base + "upload_form")
        browser.type_into("input[name=title]", CUSTOMER)
        browser.type_into("input[name=first]", path)
        browser.click("input[type=submit]")
        page = browser.wait_for_page("upload_received")
        expect(CUSTOMER in page, f"the upload page lacks the title: {page!r}")
        expect(f"({FILE_NAME})" in page, f"the upload page lacks the file name: {page!r}")
        link = browser.script("const a = document.querySelector('li a'); return a && a.href")
        expect(bool(link) and link.endswith(".pdf"), f"no link to the stored .pdf: {link!r}")
        if link:
            with urllib.request.urlopen(link, timeout=30) as response:
                expect(response.headers.get_content_type() == "application/pdf",
                       f"served as {response.headers.get('Content-Type')}")
                expect(response.read() == content, "the downloaded bytes differ")
    finally:
        if browser is not None:
            browser.quit()
        driver_process.terminate()
        driver_process.wait(timeout=30)
        shutil.rmtree(work, ignore_errors=True)

    for failure in failures:
        print(f"FAIL: {failure}")
    print(f"browser_test: {len(failures)} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
