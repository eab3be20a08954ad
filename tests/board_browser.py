#!/usr/bin/python3
"""The live results board in a real browser, from the real program on an X server.

The program starts with the board on (loopback, a free port) and a publish folder that
nginx serves on another loopback port. Headless Chromium, phone-sized, opens the board;
the test types a row into the grid with real keys and imports a heat that a timing
machine sends over a pseudo-terminal, and each must show on the page within a second,
both from the program's own server and through the publish folder and nginx; a row
typed while hostile clients hold, stall and flood the server shows all the same, and
the program's own memory stays where it was; a row typed while the board's program is
killed shows once it is back.

    board_browser.py PROGRAM BOARD [--screenshot FILE]

Run on an X server of its own with a window manager (tests/with-xvfb --wm).
"""

import argparse
import os
import resource
import signal
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chromium.service import ChromiumService
from selenium.webdriver.common.by import By

MAIN_TITLE = "Ordavex_Version 3.2 by_quillon"
# A track heat as the first timing machine sends it: the wind, then place, lane, bib and
# time after a leading field, each line framed STX ... ETX CR LF.
HEAT = [b"+1.2", b"R,1,3,113,10.34", b"R,2,1,111,10.39", b"R,3,2,112,10.69"]
# The heat's start list, lane 6 left out; lane 2's starter is markup, shown as text.
STARTERS = {1: ("佐藤 花子", "大阪陸協"), 2: ("<img src=x onerror=alert(1)>", "\"&amp;"), 3: ("鈴木 一郎", ""),
            4: ("山田 太郎", "東京陸協"), 5: ("田中 次郎", "京都陸協"), 7: ("高橋 三郎", "兵庫陸協")}


def starter(lane):
    name, team = STARTERS.get(lane, ("", ""))
    return f"{name} {team}".strip()
# Within a second of the change, as the official's neighbours expect; the published
# page polls, so its own period is part of that second.
WITHIN = 1.0


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def xdotool(*args, check=True):
    done = subprocess.run(["xdotool", *args], capture_output=True, text=True, check=False)
    if check and done.returncode != 0:
        raise RuntimeError(f"xdotool {' '.join(args)}: {done.stderr.strip()}")
    return done.stdout.strip()


def wait_until(what, probe, seconds=30.0, step=0.05):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = probe()
        if value:
            return value
        time.sleep(step)
    raise AssertionError(f"timed out waiting for {what}")


def find_window(title, pid=None):
    args = ["search", "--onlyvisible"]
    if pid is not None:
        args += ["--pid", str(pid)]
    args += ["--name", f"^{title}$"]
    found = xdotool(*args, check=False)
    return found.splitlines()[0] if found else None


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError(f"no VmRSS for {pid}")


def children(pid):
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as stat:
                    fields = stat.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if int(fields[1]) == pid and fields[0] != "Z":
                found.append(int(entry))
    return found


def http_ok(url):
    try:
        with urllib.request.urlopen(url, timeout=2) as reply:
            return reply.status == 200
    except OSError:
        return False


class Board:
    """The page in the browser: the rows of its table as the cells shown (place, number, time;
    the name column shows only with a start list)."""

    def __init__(self, driver, url):
        self.driver = driver
        self.url = url
        driver.get(url)

    # One round trip to the browser: a call per cell took seconds on a loaded machine, and
    # that time was counted against the board.
    ROWS = ("var body = document.getElementById('rows'); if (!body) return null;"
            "return Array.from(body.rows, function (tr) { return Array.from(tr.cells)"
            ".filter(function (td) { return td.getClientRects().length > 0; })"
            ".map(function (td) { return td.innerText.trim(); }); });")

    def rows(self):
        try:
            rows = self.driver.execute_script(self.ROWS)
        except Exception:  # the page is being replaced (reload without JavaScript)
            return None
        return None if rows is None else [tuple(row) for row in rows]

    def recent(self):
        """The saved heats listed below the heat, as (shown text, the link's full address)."""
        try:
            return [tuple(pair) for pair in self.driver.execute_script(
                "return Array.from(document.querySelectorAll('#recent a'), function (a) {"
                " return [a.textContent, a.href]; });")]
        except Exception:
            return None

    def text(self, element_id):
        try:
            return self.driver.find_element(By.ID, element_id).text.strip()
        except Exception:
            return None

    def shows(self, expected, since, what):
        """Waits until the table holds the rows; fails when that took longer than WITHIN."""
        try:
            wait_until(f"{what} on {self.url}", lambda: self.rows() == expected, seconds=10)
        except AssertionError:
            raise AssertionError(f"{what}: {self.url} shows {self.rows()!r}, not {expected!r}") from None
        took = time.monotonic() - since
        print(f"{what}: on {self.url} after {took * 1000:.0f} ms")
        if took > WITHIN:
            raise AssertionError(f"{what} took {took:.2f} s to show on {self.url}")


class Meet:
    def __init__(self, program, board, folder):
        self.folder = folder
        self.board_port = free_port()
        self.nginx_port = free_port()
        self.publish = os.path.join(folder, "publish")
        os.makedirs(self.publish)
        os.makedirs(os.path.join(folder, "log"))
        self.program = os.path.join(folder, "ordavex")
        shutil.copy(program, self.program)
        shutil.copy(board, folder)
        self.master, slave = os.openpty()
        self.device = os.ttyname(slave)
        # The program opens the device itself; the test keeps only the machine's end.
        self.slave = slave
        ini = ("[WorkFiles]\r\nexFilePath={work}\r\nexLogFilePath={log}\r\n"
               "[Params]\r\nMaxrunner=8\r\nCurStyle=3\r\nautoInc=1\r\nautoClear=0\r\ncCheckAutoLog=0\r\n"
               "[Ports]\r\nCOM1={device}\r\n"
               "[Board]\r\nEnabled=1\r\nAddress=127.0.0.1\r\nPort={port}\r\nPublishFolder={publish}\r\n").format(
            work=folder, log=os.path.join(folder, "log"), device=self.device, port=self.board_port,
            publish=self.publish)
        with open(os.path.join(folder, "ordavex.INI"), "wb") as f:
            f.write(ini.encode("cp932"))
        os.makedirs(os.path.join(folder, "startlists"))
        with open(os.path.join(folder, "startlists", "Untitled.csv"), "wb") as f:
            lines = ["ﾚｰﾝ,ﾅﾝﾊﾞｰ,氏名,所属"] + [
                f'{lane},,"{name.replace(chr(34), chr(34) * 2)}","{team.replace(chr(34), chr(34) * 2)}"'
                for lane, (name, team) in STARTERS.items()]
            f.write("\r\n".join(lines).encode("cp932") + b"\r\n")
        self.process = None
        self.nginx = None

    def start(self):
        self.process = subprocess.Popen([self.program], cwd=self.folder)
        self.window = wait_until("the main window", lambda: find_window(MAIN_TITLE, self.process.pid))
        wait_until("the board", lambda: http_ok(f"http://127.0.0.1:{self.board_port}/api/current.json"))
        conf = os.path.join(self.folder, "nginx.conf")
        with open(conf, "w") as f:
            # One process, the test's own user: the folder is the test's alone, and no
            # worker outlives the test.
            f.write(f"""daemon off;
master_process off;
pid {self.folder}/nginx.pid;
error_log {self.folder}/nginx-error.log;
events {{ worker_connections 64; }}
http {{
    access_log off;
    types {{ text/html html; application/json json; }}
    default_type application/octet-stream;
    client_body_temp_path {self.folder}/nginx-body;
    server {{
        listen 127.0.0.1:{self.nginx_port};
        root {self.publish};
        location / {{ add_header Cache-Control no-store; }}
    }}
}}
""")
        nginx = shutil.which("nginx") or "/usr/sbin/nginx"
        self.nginx = subprocess.Popen([nginx, "-c", conf, "-p", self.folder], stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
        try:
            wait_until("nginx", lambda: http_ok(f"http://127.0.0.1:{self.nginx_port}/index.html"))
        except AssertionError:
            with open(os.path.join(self.folder, "nginx-error.log"), errors="replace") as log:
                sys.stderr.write(log.read())
            sys.stderr.write(f"published: {sorted(os.listdir(self.publish))}\n")
            raise

    def stop(self):
        for process in (self.nginx, self.process):
            if process and process.poll() is None:
                process.kill()
                process.wait()
        os.close(self.master)
        os.close(self.slave)

    def focus_main(self):
        xdotool("windowactivate", "--sync", self.window)
        xdotool("windowfocus", "--sync", self.window)
        time.sleep(0.3)

    def type_keys(self, keys):
        """Real keys, each Enter named; returns when the last key is sent."""
        for key in keys:
            xdotool("key", "--delay", "40", "Return" if key == "\n" else key)

    def open_monitor(self):
        # ﾒﾆｭｰ, then the serial link's entry: clicked open, the menu highlights nothing,
        # so the first Down is its first entry; separators are passed over.
        before = set(xdotool("search", "--onlyvisible", "--pid", str(self.process.pid), check=False).splitlines())
        xdotool("mousemove", "--window", self.window, "15", "10", "click", "1")
        # On a loaded machine the menu can take longer than any fixed pause: keys sent
        # before it shows go to the grid instead.
        wait_until("the menu", lambda: set(xdotool("search", "--onlyvisible", "--pid", str(self.process.pid),
                                                    check=False).splitlines()) - before, seconds=10)
        time.sleep(0.2)
        entries = ["AC_OpenTTBL", "AC_OpenFile", "FileSaveAS", "ClipCopy", "RenameCsvFile",
                   "PrintHeatSheet", "Board", "RS232COpen"]
        self.type_keys(["Down"] * len(entries) + ["\n"])
        # 画面ﾃﾞｰﾀを消去して先に進んでもいいですか？
        box = wait_until("the question", lambda: find_window("確認", self.process.pid), seconds=10)
        xdotool("windowactivate", "--sync", box)
        self.type_keys(["\n"])
        return wait_until("the monitor", self.monitor_window, seconds=10)

    def monitor_window(self):
        found = xdotool("search", "--onlyvisible", "--pid", str(self.process.pid), check=False)
        for window in found.splitlines():
            if window != self.window and xdotool("getwindowname", window, check=False).startswith("RS232C"):
                return window
        return None

    def send_heat(self):
        os.write(self.master, b"".join(b"\x02" + line + b"\x03\r\n" for line in HEAT))


class Hostile:
    """Clients that try to hold, stall, flood or escape the board."""

    HELD = 1000
    ESCAPES = ["/../../../../etc/passwd", "/heats/..%2f..%2f..%2fetc%2fpasswd", "/%2e%2e/%2e%2e/etc/passwd",
               "/heats/%2e%2e", "/heats/..\\..\\etc\\passwd", "/api/heats/%00.json", "/etc/passwd",
               "//etc/passwd", "/heats/%ff%fe.json"]

    def __init__(self, port):
        self.port = port
        self.sockets = []
        self.leaks = []
        limit = resource.getrlimit(resource.RLIMIT_NOFILE)
        wanted = self.HELD + 256
        if limit[0] < wanted:
            resource.setrlimit(resource.RLIMIT_NOFILE, (min(wanted, limit[1]), limit[1]))

    def connect(self):
        s = socket.create_connection(("127.0.0.1", self.port), timeout=5)
        self.sockets.append(s)
        return s

    def attack(self):
        # Paths out of the board first, while it still takes new visitors.
        for path in self.ESCAPES:
            s = self.connect()
            s.sendall(f"GET {path} HTTP/1.1\r\nHost: x\r\n\r\n".encode("latin-1"))
            reply = b""
            try:
                while len(reply) < 65536:
                    chunk = s.recv(65536)
                    if not chunk:
                        break
                    reply += chunk
                    if b"\r\n\r\n" in reply:
                        break
            except OSError:
                pass
            status = reply.split(b" ", 2)[1] if reply.count(b" ") >= 2 else b""
            if status != b"404" or b"root:" in reply:
                self.leaks.append((path, reply[:200]))
        s = self.connect()
        s.sendall(os.urandom(4096))
        s = self.connect()
        s.sendall(b"GET / HTTP/1.1\r\nHost: x\r\nX-Slow: ")
        s = self.connect()
        try:
            s.sendall(b"GET / HTTP/1.1\r\n" + b"X-Big: " + b"a" * (1 << 20) + b"\r\n\r\n")
        except OSError:
            pass    # cut before the megabyte was taken, as it should be
        for _ in range(self.HELD):
            try:
                self.connect()
            except OSError:
                break

    def pipelined_gets(self, count=20000):
        """A keep-alive connection that asks again and again and never reads."""
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.settimeout(5)
        s.connect(("127.0.0.1", self.port))
        self.sockets.append(s)
        request = b"GET /api/current.json HTTP/1.1\r\nHost: x\r\n\r\n"
        sent = 0
        try:
            for _ in range(count // 100):
                s.sendall(request * 100)
                sent += 100
        except OSError:
            pass    # dropped, as a client that does not read must be
        return sent

    def ping_flood(self, megabytes=300):
        """A WebSocket client that pings as fast as it can and never reads the pongs."""
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.settimeout(5)
        s.connect(("127.0.0.1", self.port))
        self.sockets.append(s)
        s.sendall(b"GET /ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                  b"Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n")
        mask = b"\x01\x02\x03\x04"
        payload = bytes(b ^ mask[i % 4] for i, b in enumerate(b"p" * 125))
        frames = (b"\x89\xfd" + mask + payload) * 500
        sent = 0
        end = time.monotonic() + 20
        try:
            while sent < megabytes << 20 and time.monotonic() < end:
                s.sendall(frames)
                sent += len(frames)
        except OSError:
            pass
        return sent

    def check_nothing_leaked(self):
        if self.leaks:
            raise AssertionError(f"served outside the board: {self.leaks}")

    def release(self):
        for s in self.sockets:
            s.close()
        self.sockets.clear()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("board")
    parser.add_argument("--screenshot")
    args = parser.parse_args()

    folder = tempfile.mkdtemp(prefix="board-browser.")
    meet = Meet(args.program, args.board, folder)
    drivers = []

    def browser(profile):
        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                         "--window-size=390,844", f"--user-data-dir={folder}/{profile}"):
            options.add_argument(argument)
        driver = webdriver.Chrome(options=options, service=ChromiumService(
            executable_path=shutil.which("chromedriver") or "/usr/bin/chromedriver"))
        drivers.append(driver)
        # A phone's screen: a window is never narrower than 500 pixels.
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                               {"width": 390, "height": 844, "deviceScaleFactor": 1, "mobile": True})
        return driver

    try:
        meet.start()
        served = Board(browser("served"), f"http://127.0.0.1:{meet.board_port}/")
        published = Board(browser("published"), f"http://127.0.0.1:{meet.nginx_port}/index.html")
        for board in (served, published):
            wait_until(f"the empty heat on {board.url}", lambda: board.rows() is not None, seconds=10)

        # A row typed by the official: lane 4, 10.52.
        meet.focus_main()
        meet.type_keys(["4", "\n", "1", "0", "5", "2"])
        since = time.monotonic()
        meet.type_keys(["\n"])
        typed = [("1", "4", starter(4), "10.52")]
        served.shows(typed, since, "a typed row")
        published.shows(typed, since, "a typed row")

        # Hostile visitors while the official types on: a thousand connections held, a
        # client that sends its headers a byte at a time, a megabyte of headers, garbage
        # and paths out of the board. The page keeps following the grid, and nothing
        # outside the board's routes is ever served.
        program_before = resident_kib(meet.process.pid)
        hostile = Hostile(meet.board_port)
        try:
            gets = hostile.pipelined_gets()
            pings = hostile.ping_flood()
            hostile.attack()
            print(f"hostile: {gets} pipelined GETs, {pings >> 20} MiB of pings sent before the board let go")
            meet.focus_main()
            meet.type_keys(["5", "\n", "1", "0", "6"])
            since = time.monotonic()
            meet.type_keys(["1", "\n"])
            typed.append(("2", "5", starter(5), "10.61"))
            served.shows(typed, since, "a row typed under attack")
            hostile.check_nothing_leaked()
            # A fresh visitor gets the page while the thousand are held.
            since = time.monotonic()
            if not http_ok(f"http://127.0.0.1:{meet.board_port}/"):
                raise AssertionError("a new visitor was turned away while the attack held")
            print(f"a new visitor under attack: the page after {(time.monotonic() - since) * 1000:.0f} ms")
            program_after = resident_kib(meet.process.pid)
            print(f"the program's resident memory: {program_before} KiB before, {program_after} KiB under attack")
            if program_after > program_before * 1.05:
                raise AssertionError(f"the program grew from {program_before} to {program_after} KiB under attack")
        finally:
            hostile.release()
        wait_until("the board for a new visitor", lambda: http_ok(f"http://127.0.0.1:{meet.board_port}/"), seconds=15)

        # The board's program killed while the official types: the row typed meanwhile
        # is on the page once the program has started it again.
        boards = children(meet.process.pid)
        if len(boards) != 1:
            raise AssertionError(f"expected the board's program as the one child, found {boards}")
        meet.focus_main()
        meet.type_keys(["6", "\n", "1", "0"])
        os.kill(boards[0], signal.SIGKILL)
        meet.type_keys(["7", "0", "\n"])
        since = time.monotonic()
        typed.append(("3", "6", starter(6), "10.70"))
        wait_until("the board started again", lambda: children(meet.process.pid) not in ([], boards), seconds=10)
        wait_until("the board serving again", lambda: http_ok(f"http://127.0.0.1:{meet.board_port}/"), seconds=10)
        served.driver.get(served.url)
        wait_until("the rows typed", lambda: served.rows() == typed, seconds=10)
        print(f"the board killed: back with every row after {(time.monotonic() - since) * 1000:.0f} ms")

        # A heat from the timing machine, imported from the monitor. The grid is not
        # empty, so opening the link asks first, Yes by default; the grid is then emptied.
        meet.focus_main()
        meet.open_monitor()
        served.shows([], time.monotonic(), "the emptied grid")
        meet.send_heat()
        time.sleep(1.0)
        monitor = wait_until("the monitor", meet.monitor_window, seconds=10)
        # 取込, at its place in the monitor.
        since = time.monotonic()
        xdotool("mousemove", "--window", monitor, "125", "19", "click", "1")
        imported = [("1", "3", starter(3), "10.34"), ("2", "1", starter(1), "10.39"), ("3", "2", starter(2), "10.69")]
        served.shows(imported, since, "an imported heat")
        published.shows(imported, since, "an imported heat")
        for board in (served, published):
            if board.text("wind") is None or "+1.2" not in board.text("wind"):
                raise AssertionError(f"the wind is not on {board.url}: {board.text('wind')!r}")

        # A heat saved into the work folder by another program: both pages list it below
        # the heat, linked to its own page.
        saved = '"順位","ﾚｰﾝ","ﾀｲﾑ"\r\n"1","4","10.52"\r\n'.encode("cp932")
        with open(os.path.join(folder, ".R2w_105.tmp"), "wb") as f:
            f.write(saved)
        os.rename(os.path.join(folder, ".R2w_105.tmp"), os.path.join(folder, "R2w_105.csv"))
        for board in (served, published):
            wait_until(f"the saved heat below the heat on {board.url}",
                       lambda: [text for text, _ in board.recent() or []] == ["R2w_105"], seconds=10)
            link = board.recent()[0][1]
            if not http_ok(link):
                raise AssertionError(f"the saved heat's link {link} on {board.url} does not answer")

        if args.screenshot:
            served.driver.save_screenshot(args.screenshot)
    finally:
        for driver in drivers:
            driver.quit()
        meet.stop()
        shutil.rmtree(folder, ignore_errors=True)
    print("board_browser: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
