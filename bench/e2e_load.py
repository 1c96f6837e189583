#!/usr/bin/env python3
"""End-to-end load driver: the real meldrix and korvane-stub, messages per second.

Starts the program of a build folder on a temporary data folder with a socket
source, a file source and the SMTP sink, all sending to one receiver of a
Korvane stand-in, and measures what users feel: from the first byte in to the
last command in the stand-in's journal. Every message carries a sequence
number, so each scenario also reports lost, duplicated and reordered messages.

Scenarios:
  a  one line per TCP segment (TCP_NODELAY, one send() per line), sustained
  b  one burst: all lines in one sendall()
  c  a dropped file: written under another name, renamed into the pattern;
     timed from the rename
  d  SMTP: parallel clients, one mail per connection; with Postfix's
     smtp-source/smtp-sink also the reference sink and our ratio to it
  o  OPC: a burst over the socket whose text reads a value of a node-opcua
     test server; first the time of one message that starts the bridge
     and connects, then the burst, answered from the cache
  idle  wake-ups per second of the idle program (all sources open, no traffic),
     and once with processing inactive

Exit status: 0 when nothing was lost, duplicated or reordered, 1 otherwise, 2
when the programs could not be started. Slowness never fails the run: the
targets are printed beside the numbers.
"""

import argparse
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RECEIVER = "4711"
SEND_PREFIX = "[send(*|" + RECEIVER + "|"
SEND_SUFFIX = "|||||)]"
LOAD_RE = re.compile(r"LOAD (\w+) (\d+) (\d+)")
SMTP_SOURCE = "/usr/sbin/smtp-source"
SMTP_SINK = "/usr/sbin/smtp-sink"


class StartError(Exception):
    pass


# ---------------------------------------------------------------- processes

class Child:
    """A child process that is always stopped: SIGTERM, then SIGKILL."""

    children = []

    def __init__(self, argv, env=None, stdout=None, stderr=None, stdin=subprocess.DEVNULL):
        out = open(stdout, "wb") if stdout else subprocess.DEVNULL
        err = open(stderr, "wb") if stderr else subprocess.DEVNULL
        try:
            self.proc = subprocess.Popen(argv, env=env, stdin=stdin, stdout=out,
                                         stderr=err, start_new_session=True)
        finally:
            for f in (out, err):
                if f is not subprocess.DEVNULL:
                    f.close()
        Child.children.append(self)

    @property
    def pid(self):
        return self.proc.pid

    def running(self):
        return self.proc.poll() is None

    def stop(self, grace=15.0):
        """The exit status (None when it had to be killed)."""
        if self.proc.poll() is None:
            try:
                self.proc.send_signal(signal.SIGTERM)
                return self.proc.wait(timeout=grace)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=10)
                return None
            except ProcessLookupError:
                pass
        return self.proc.returncode

    @classmethod
    def stop_all(cls):
        while cls.children:
            cls.children.pop().stop(grace=5.0)


def wait_for(condition, timeout, interval=0.01):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(interval)
    return condition()


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# ---------------------------------------------------------------- journal

class Journal:
    """Reads the stand-in's journal as it grows: one command per line."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.partial = b""
        self.texts = []       # texts of the send commands, in order
        self.checks = 0

    def refresh(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return
        self.offset += len(data)
        lines = (self.partial + data).split(b"\n")
        self.partial = lines.pop()
        for raw in lines:
            line = raw.decode("utf-8", "replace")
            if line == "[check(Meldrix)]":
                self.checks += 1
            elif line.startswith(SEND_PREFIX) and line.endswith(SEND_SUFFIX):
                self.texts.append(line[len(SEND_PREFIX):-len(SEND_SUFFIX)])
            elif line.startswith("[send("):
                self.texts.append(line)

    def modified(self):
        try:
            return os.stat(self.path).st_mtime_ns / 1e9
        except FileNotFoundError:
            return None


# ---------------------------------------------------------------- the program

class Meldrix:
    """meldrix and korvane-stub on a temporary data folder."""

    def __init__(self, build, root, mail_server="UseSubject=1\nUseBody=0", auto_activate=True,
                 text="", extra=""):
        self.build = build
        self.data = os.path.join(root, "data")
        self.run = os.path.join(root, "run")
        self.drop = os.path.join(self.data, "in")
        for folder in (self.data, self.run, self.drop):
            os.makedirs(folder, exist_ok=True)
        self.socket_port = free_port()
        self.smtp_port = free_port()
        stub_folder = os.path.join(root, "korvane")
        os.makedirs(stub_folder)
        ready = os.path.join(stub_folder, "ready")
        self.journal = Journal(os.path.join(stub_folder, "journal.txt"))
        self.stub = Child([os.path.join(build, "korvane-stub"), "--endpoint",
                           "unix:" + os.path.join(stub_folder, "k.sock"), "--journal",
                           self.journal.path, "--ready-file", ready],
                          stderr=os.path.join(stub_folder, "stub.err"))
        if not wait_for(lambda: os.path.exists(ready) or not self.stub.running(), 10) or \
                not self.stub.running():
            raise StartError("korvane-stub did not get ready")
        with open(ready) as f:
            endpoint = f.read().strip()
        with open(os.path.join(self.data, "meldrix.cfg"), "w") as f:
            f.write("[Settings]\nAutoActivate=%d\nLanguage=1\n"
                    "[MailServer]\nSmtpPort=%d\n%s\n"
                    "[InSource1]\nName=Net\nSource=5\nSocketPort=%d\n"
                    "[InSource2]\nName=Drop\nSource=2\nFile=%s\nRemoveFile=1\n"
                    "[Message1]\nName=All\nReceiver=%s\nLeftTrigger=\n%s"
                    "[Korvane]\nEndpoint=%s\n%s"
                    % (1 if auto_activate else 0, self.smtp_port, mail_server, self.socket_port,
                       os.path.join(self.drop, "*.txt"), RECEIVER,
                       "Text=%s\n" % text if text else "", endpoint, extra))
        env = {k: v for k, v in os.environ.items() if not k.startswith("MELDRIX_")}
        env.update(MELDRIX_DATA=self.data, MELDRIX_RUNTIME_DIR=self.run,
                   MELDRIX_DDE_DIR=os.path.join(self.run, "dde"))
        self.out = os.path.join(self.data, "meldrix.out")
        self.err = os.path.join(self.data, "meldrix.err")
        self.proc = Child([os.path.join(build, "meldrix"), "-HIDE"], env=env, stdout=self.out,
                          stderr=self.err)
        if auto_activate:
            # Activation opens every source and starts the sink, then checks Korvane.
            def active():
                self.journal.refresh()
                return self.journal.checks > 0 or not self.proc.running()
            if not wait_for(active, 30) or not self.proc.running():
                raise StartError("meldrix did not activate:\n" + self.diagnostics())
        elif not wait_for(lambda: any(n.endswith(".sock") for n in os.listdir(self.run))
                          or not self.proc.running(), 30) or not self.proc.running():
            raise StartError("meldrix did not start:\n" + self.diagnostics())

    def diagnostics(self):
        text = ""
        for path in (self.out, self.err):
            try:
                with open(path, "rb") as f:
                    text += f.read()[-2000:].decode("utf-8", "replace")
            except FileNotFoundError:
                pass
        return text

    def stop(self):
        status = self.proc.stop()
        self.stub.stop()
        self.journal.refresh()
        return status


# ---------------------------------------------------------------- counting

class Tally:
    """Lost, duplicated and reordered messages of one scenario. A message is
    'LOAD <scenario> <stream> <sequence>'; order is kept per stream."""

    def __init__(self, scenario, expected):
        self.scenario = scenario
        self.expected = expected    # {stream: count}, sequences 0..count-1

    def count(self, texts):
        seen, last = {}, {}
        duplicated = reordered = foreign = 0
        for text in texts:
            m = LOAD_RE.search(text)
            if not m or m.group(1) != self.scenario:
                foreign += 1
                continue
            key = (int(m.group(2)), int(m.group(3)))
            if key in seen:
                duplicated += 1
                continue
            seen[key] = True
            if key[1] < last.get(key[0], -1):
                reordered += 1
            last[key[0]] = max(key[1], last.get(key[0], -1))
        wanted = sum(self.expected.values())
        present = sum(1 for (stream, seq) in seen
                      if seq < self.expected.get(stream, 0))
        return {"received": present, "lost": wanted - present, "duplicated": duplicated,
                "reordered": reordered, "foreign": foreign + len(seen) - present}


def wait_for_all(meldrix, tally, start, timeout, stall):
    """Waits until every expected message is at the stand-in (or time is up,
    or nothing new came for `stall` seconds); the moment the last one arrived."""
    wanted = sum(tally.expected.values())
    end = time.monotonic() + timeout
    progress_at, count = time.monotonic(), 0
    while time.monotonic() < end:
        meldrix.journal.refresh()
        if len(meldrix.journal.texts) != count:
            count, progress_at = len(meldrix.journal.texts), time.monotonic()
            if count >= wanted and tally.count(meldrix.journal.texts)["lost"] == 0:
                seen = time.time()
                modified = meldrix.journal.modified()
                # The journal's time stamp is the last write; the observation
                # is a few milliseconds later at most.
                return modified if modified and start <= modified <= seen else seen
        elif time.monotonic() - progress_at > stall:
            break
        if not meldrix.proc.running():
            break
        time.sleep(0.002)
    return None


# ---------------------------------------------------------------- scenarios

def lines(scenario, count, stream=0):
    return ["LOAD %s %02d %06d\r\n" % (scenario, stream, i) for i in range(count)]


def connect(port):
    s = socket.create_connection(("127.0.0.1", port), timeout=30)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def run_socket(meldrix, scenario, count, args, burst):
    payload = [line.encode() for line in lines(scenario, count)]
    with connect(meldrix.socket_port) as s:
        start = time.time()
        if burst:
            s.sendall(b"".join(payload))
        else:
            for line in payload:
                s.sendall(line)
        sent = time.time() - start
        tally = Tally(scenario, {0: count})
        done = wait_for_all(meldrix, tally, start, args.timeout, args.stall)
    return tally, start, done, "sent in %.3f s" % sent


def run_file(meldrix, count, args):
    temporary = os.path.join(meldrix.drop, ".load.tmp")
    with open(temporary, "wb") as f:
        f.write("".join(lines("c", count)).encode())
    start = time.time()
    os.rename(temporary, os.path.join(meldrix.drop, "load.txt"))
    tally = Tally("c", {0: count})
    return tally, start, wait_for_all(meldrix, tally, start, args.timeout, args.stall), ""


def smtp_reply(sock, buffer):
    """Reads one (possibly multi-line) reply; its code, the rest of the buffer."""
    while True:
        while b"\r\n" in buffer:
            line, buffer = buffer.split(b"\r\n", 1)
            if len(line) < 4 or line[3:4] != b"-":
                return line[:3], buffer
        chunk = sock.recv(4096)
        if not chunk:
            raise ConnectionError("connection closed by the sink")
        buffer += chunk


def smtp_mail(port, subject, body):
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        buffer = b""
        steps = [(None, b"220"), (b"EHLO load\r\n", b"250"),
                 (b"MAIL From: <load@example.org>\r\n", b"250"),
                 (b"RCPT To: <pager@example.org>\r\n", b"250"), (b"DATA\r\n", b"354"),
                 (b"Subject: " + subject.encode() + b"\r\n\r\n" + body + b".\r\n", b"250"),
                 (b"QUIT\r\n", b"221")]
        for command, expected in steps:
            if command:
                s.sendall(command)
            code, buffer = smtp_reply(s, buffer)
            if code != expected:
                raise ConnectionError("sink answered %r, expected %r" % (code, expected))


def run_smtp_python(meldrix, mails, clients, args):
    per_client = [mails // clients + (1 if c < mails % clients else 0) for c in range(clients)]
    body = b"".join(b"La la la la la la la la la la la la la la la la la la la la la la la\r\n"
                    for _ in range(14))   # about 1000 bytes, as smtp-source -l 1000
    failures = []

    def client(c):
        try:
            for i in range(per_client[c]):
                smtp_mail(meldrix.smtp_port, "LOAD d %02d %06d" % (c, i), body)
        except (OSError, ConnectionError) as e:
            failures.append("client %d: %s" % (c, e))

    workers = [threading.Thread(target=client, args=(c,), daemon=True) for c in range(clients)]
    start = time.time()
    for w in workers:
        w.start()
    for w in workers:
        w.join(args.timeout)
    sent = time.time() - start
    tally = Tally("d", dict(enumerate(per_client)))
    done = wait_for_all(meldrix, tally, start, args.timeout, args.stall)
    note = "clients done in %.3f s" % sent
    if failures:
        note += "; %d client failures, first: %s" % (len(failures), failures[0])
    return tally, start, done, note


def run_smtp_source(port, mails, clients, timeout):
    """smtp-source's run time against a sink on `port`, or None."""
    start = time.time()
    try:
        result = subprocess.run([SMTP_SOURCE, "-s", str(clients), "-m", str(mails), "-l", "1000",
                                 "-N", "127.0.0.1:%d" % port], stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, "smtp-source did not finish in %d s" % timeout
    if result.returncode != 0:
        return None, "smtp-source failed: " + result.stderr.decode(errors="replace")[-300:]
    return time.time() - start, ""


def postfix_tools():
    return os.access(SMTP_SOURCE, os.X_OK) and os.access(SMTP_SINK, os.X_OK)


def install_postfix():
    if os.geteuid() != 0:
        print("--install-postfix needs root; not installing")
        return
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(["apt-get", "install", "-y", "postfix"], env=env, stdin=subprocess.DEVNULL,
                   timeout=600)


def reference_sink(mails, clients, timeout):
    """Mails per second of Postfix's smtp-sink driven by smtp-source."""
    port = free_port()
    # As root smtp-sink must drop its privileges to a named user.
    user = ["-u", "nobody"] if os.geteuid() == 0 else []
    sink = Child([SMTP_SINK] + user + ["-c", "127.0.0.1:%d" % port, "100"])
    try:
        up = wait_for(lambda: probe(port), 10, 0.05)
        if not up:
            return None, "smtp-sink did not listen"
        seconds, error = run_smtp_source(port, mails, clients, timeout)
        return (mails / seconds if seconds else None), error
    finally:
        sink.stop()


def probe(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def run_smtp_with_source(meldrix, mails, clients, args):
    """Our sink with smtp-source as the client; the moment all mails are at the
    stand-in, or None, and smtp-source's own time."""
    start = time.time()
    seconds, error = run_smtp_source(meldrix.smtp_port, mails, clients, args.timeout)
    if seconds is None:
        return start, None, error, None
    end = time.monotonic() + args.timeout
    while time.monotonic() < end and meldrix.proc.running():
        meldrix.journal.refresh()
        if len(meldrix.journal.texts) >= mails:
            return start, time.time(), "smtp-source done in %.3f s" % seconds, seconds
        time.sleep(0.002)
    return start, None, "smtp-source done in %.3f s" % seconds, seconds


def count_numbered(texts, mails):
    """Lost and duplicated mails of smtp-source: its mails have no subject, so
    the line is the packed body after "[TO:" and the recipient, which -N
    numbers. Order is not judged: the numbers are shared by 20 sessions."""
    numbers = {}
    unnumbered = 0
    for text in texts:
        m = re.match(r"\[TO:(\d+)", text)
        if m:
            numbers[m.group(1)] = numbers.get(m.group(1), 0) + 1
        else:
            unnumbered += 1
    duplicated = sum(n - 1 for n in numbers.values())
    distinct = len(numbers) + unnumbered
    return {"lost": max(0, mails - distinct), "duplicated": duplicated + max(0, distinct - mails),
            "reordered": 0}


def wakeups(pid, seconds):
    """Context switches of every thread of `pid` over `seconds`, per second."""
    def total():
        count = 0
        task = "/proc/%d/task" % pid
        for tid in os.listdir(task):
            try:
                with open(os.path.join(task, tid, "status")) as f:
                    for line in f:
                        if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                            count += int(line.split()[1])
            except FileNotFoundError:
                pass
        return count, len(os.listdir(task))
    before, threads = total()
    time.sleep(seconds)
    after, _ = total()
    return (after - before) / seconds, threads


# ---------------------------------------------------------------- reporting

def verdict(value, target, higher_is_better=True):
    if value is None:
        return "n/a"
    good = value >= target if higher_is_better else value <= target
    return "met" if good else "below" if higher_is_better else "above"


def report_row(name, messages, seconds, counts, target, note):
    rate = messages / seconds if seconds else None
    print("%-34s %8d %8s %9s %5d %5d %5d  %s%s" % (
        name, messages, "%.3f" % seconds if seconds else "-", "%.0f" % rate if rate else "-",
        counts["lost"], counts["duplicated"], counts["reordered"], target(rate, seconds),
        ("  (" + note + ")") if note else ""))
    if counts.get("foreign"):
        print("%34s %d commands at the stand-in that are not this scenario's" % ("", counts["foreign"]))
    return rate


def main():
    parser = argparse.ArgumentParser(
        description="End-to-end load driver: starts the real meldrix and korvane-stub and "
                    "reports messages per second and lost/duplicated/reordered messages.",
        epilog="Build first: cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release && "
               "cmake --build build/release --target meldrix korvane-stub")
    parser.add_argument("build", nargs="?", default=os.path.join(REPO, "build", "release"),
                        help="build folder with meldrix and korvane-stub (default build/release)")
    parser.add_argument("-s", "--scenarios", default="a,b,c,d,idle",
                        help="comma-separated scenarios: a, b, c, d, idle (default all)")
    parser.add_argument("--lines-a", type=int, default=20000, help="lines of scenario a")
    parser.add_argument("--lines-b", type=int, default=10000, help="lines of scenario b")
    parser.add_argument("--lines-c", type=int, default=10000, help="lines of the dropped file")
    parser.add_argument("--lines-o", type=int, default=2000, help="lines of the OPC burst")
    parser.add_argument("--mails", type=int, default=2000, help="mails of scenario d in all")
    parser.add_argument("--clients", type=int, default=20, help="parallel SMTP clients")
    parser.add_argument("--idle-seconds", type=float, default=10.0, help="idle measurement time")
    parser.add_argument("--timeout", type=float, default=600.0,
                        help="longest wait for one scenario's messages, seconds")
    parser.add_argument("--stall", type=float, default=45.0,
                        help="give up when nothing new arrives for this long (longer than the "
                             "file source's poll interval), seconds")
    parser.add_argument("--install-postfix", action="store_true",
                        help="as root, install postfix for the SMTP reference when smtp-source "
                             "and smtp-sink are missing (never done otherwise)")
    args = parser.parse_args()
    scenarios = [s.strip() for s in args.scenarios.split(",") if s.strip()]
    unknown = set(scenarios) - {"a", "b", "c", "d", "o", "idle"}
    if unknown:
        parser.error("unknown scenarios: " + ", ".join(sorted(unknown)))
    build = os.path.abspath(args.build)
    for program in ("meldrix", "korvane-stub"):
        if not os.access(os.path.join(build, program), os.X_OK):
            print("%s/%s is missing; build it first (see --help)" % (build, program), file=sys.stderr)
            return 2

    def on_signal(signum, frame):
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, on_signal)

    root = tempfile.mkdtemp(prefix="meldrix-load-")
    faults = False
    try:
        print("build: %s   cores: %d" % (build, os.cpu_count() or 0))
        print("%-34s %8s %8s %9s %5s %5s %5s  %s" % ("scenario", "messages", "seconds", "msgs/s",
                                                     "lost", "dup", "reord", "target"))
        for n, scenario in enumerate(scenarios):
            folder = os.path.join(root, "%d-%s" % (n, scenario))
            os.makedirs(folder)
            if scenario == "idle":
                run_idle(build, folder, args)
                continue
            if scenario == "o":
                faults |= run_opc(build, folder, args)
                continue
            faults |= run_scenario(build, folder, scenario, args)
    except StartError as e:
        print("cannot start: %s" % e, file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("interrupted", file=sys.stderr)
        return 2
    except OSError as e:
        print("failed: %s" % e, file=sys.stderr)
        return 2
    finally:
        Child.stop_all()
        shutil.rmtree(root, ignore_errors=True)
    return 1 if faults else 0


def run_scenario(build, folder, scenario, args):
    """Runs one traffic scenario; whether something was lost, duplicated or reordered."""
    if scenario == "d" and not postfix_tools() and args.install_postfix:
        install_postfix()
    meldrix = Meldrix(build, folder)
    try:
        if scenario == "a":
            name, count = "(a) one line per TCP segment", args.lines_a
            tally, start, done, note = run_socket(meldrix, "a", count, args, burst=False)
            target = lambda rate, s: "target 5000/s sustained: " + verdict(rate, 5000)
        elif scenario == "b":
            name, count = "(b) %d-line burst in one send" % args.lines_b, args.lines_b
            tally, start, done, note = run_socket(meldrix, "b", count, args, burst=True)
            target = lambda rate, s: "target < 2 s: " + verdict(s, 2.0, False)
        elif scenario == "c":
            name, count = "(c) dropped %d-line file" % args.lines_c, args.lines_c
            tally, start, done, note = run_file(meldrix, count, args)
            target = lambda rate, s: "target < 3 s from the rename: " + verdict(s, 3.0, False)
        else:
            name, count = "(d) SMTP, %d clients, Python" % args.clients, args.mails
            tally, start, done, note = run_smtp_python(meldrix, count, args.clients, args)
            target = lambda rate, s: "mails/s, 1 mail per connection"
    finally:
        meldrix.stop()
    counts = tally.count(meldrix.journal.texts)
    seconds = done - start if done else None
    if done is None:
        note = ("not complete after the wait; " + note).strip("; ")
    report_row(name, count, seconds, counts, target, note)
    faulty = counts["lost"] or counts["duplicated"] or counts["reordered"]
    if scenario == "d":
        faulty |= run_smtp_reference(build, folder, args)
    return bool(faulty)


def run_smtp_reference(build, folder, args):
    if not postfix_tools():
        print("%34s Postfix's smtp-source/smtp-sink are not installed: no reference "
              "(--install-postfix as root installs them)" % "")
        return False
    reference, error = reference_sink(args.mails, args.clients, args.timeout)
    ref_note = "%.0f mails/s" % reference if reference else error
    print("%-34s %8d %8s %9s %5s %5s %5s  %s" % (
        "    reference: Postfix smtp-sink", args.mails,
        "%.3f" % (args.mails / reference) if reference else "-",
        "%.0f" % reference if reference else "-", "", "", "", "smtp-source -s %d -l 1000" % args.clients
        if reference else ref_note))
    meldrix = Meldrix(build, os.path.join(folder, "with-smtp-source"),
                      mail_server="UseSubject=0\nUseBody=1\nPackBody=1\nIncMailTo=1")
    try:
        start, done, note, sink_seconds = run_smtp_with_source(meldrix, args.mails, args.clients, args)
    finally:
        meldrix.stop()
    if done is None and not meldrix.journal.texts:
        print("%34s our sink with smtp-source: %s" % ("", note))
        return False
    counts = count_numbered(meldrix.journal.texts, args.mails)
    seconds = done - start if done else None
    accepted = args.mails / sink_seconds if sink_seconds else None

    # The reference sink only accepts mails; ours also turns each into a
    # Korvane command. The target compares what both do (mails accepted per
    # second, smtp-source's time); the end-to-end ratio is shown beside it.
    def target(rate, s):
        if not accepted or not reference:
            return "target 0.8 x reference: n/a"
        return "sink %.2f x reference, target 0.8: %s; to Korvane %.2f x" % (
            accepted / reference, verdict(accepted / reference, 0.8), (rate or 0) / reference)
    report_row("(d) SMTP, smtp-source -s %d" % args.clients, args.mails, seconds, counts, target,
               note if done else "not complete after the wait; " + note)
    return bool(counts["lost"] or counts["duplicated"])


class OpcServer:
    """The node-opcua test server of the tests, on a free port."""

    def __init__(self, folder):
        modules = os.path.join(REPO, "build", "opc-bridge", "node_modules")
        if not os.path.isdir(modules) or not shutil.which("node"):
            raise StartError("node and %s are needed (scripts/install-deps)" % modules)
        self.port = free_port()
        out = os.path.join(folder, "opc-server.out")
        env = dict(os.environ, NODE_PATH=modules)
        self.proc = Child(["node", os.path.join(REPO, "tests", "support", "opc-test-server.js"),
                           str(self.port)], env=env, stdout=out,
                          stderr=os.path.join(folder, "opc-server.err"),
                          stdin=subprocess.PIPE)  # it ends when its input closes
        if not wait_for(lambda: "ready" in open(out).read() or not self.proc.running(), 60) or \
                not self.proc.running():
            raise StartError("the OPC UA test server did not start")

    def url(self):
        return "opc.tcp://127.0.0.1:%d" % self.port


def run_opc(build, folder, args):
    """Scenario o: socket lines whose text reads an OPC UA value. The first
    message starts the bridge and connects; the burst after it reads from the
    cache. Faulty when a message is lost, duplicated, reordered or lacks the
    value."""
    server = OpcServer(folder)
    meldrix = None
    try:
        meldrix = Meldrix(build, folder, text="{{$MESSAGE}} C={{OPC('Sim','ns=1;s=Counter')}}",
                          extra="[OPC]\nSim=%s\n" % server.url())
        first = run_socket(meldrix, "f", 1, args, burst=True)
        count = args.lines_o
        tally, start, done, note = run_socket(meldrix, "o", count, args, burst=True)
    finally:
        if meldrix:
            meldrix.stop()
        server.proc.stop()
    faulty = False
    for label, (t, s, d, n), messages in (("(o) first OPC message, cold bridge", first, 1),
                                          ("(o) %d-line burst, OPC value each" % count,
                                           (tally, start, done, note), count)):
        counts = t.count([text for text in meldrix.journal.texts if ("LOAD %s " % t.scenario) in text])
        valued = sum(1 for text in meldrix.journal.texts
                     if ("LOAD %s " % t.scenario) in text and " C=42" in text)
        counts["lost"] = max(counts["lost"], messages - valued)
        seconds = d - s if d else None
        report_row(label, messages, seconds, counts, lambda rate, sec: "", n or "value C=42 in each")
        faulty |= bool(counts["lost"] or counts["duplicated"] or counts["reordered"])
    return faulty


def run_idle(build, folder, args):
    for active in (True, False):
        meldrix = Meldrix(build, os.path.join(folder, "active" if active else "inactive"),
                          auto_activate=active)
        try:
            time.sleep(1.0)     # let start-up settle
            rate, threads = wakeups(meldrix.proc.pid, args.idle_seconds)
        finally:
            meldrix.stop()
        name = "idle wake-ups/s, " + ("active" if active else "inactive")
        target = ("target <= 12/s: " + verdict(rate, 12, False)) if active else "(no target)"
        print("%-34s %8s %8.1f %9s %5s %5s %5s  %s" % (
            name, "-", args.idle_seconds, "%.1f" % rate, "", "", "",
            "%s (%d threads)" % (target, threads)))


if __name__ == "__main__":
    sys.exit(main())
