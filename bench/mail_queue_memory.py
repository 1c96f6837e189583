#!/usr/bin/env python3
"""Peak memory of meldrix while large mails arrive and Korvane hangs.

Started by hand (not built, not run by CTest):

    python3 bench/mail_queue_memory.py --build build/release [--mails 40] [--size 9000000] [--clients 1]

Starts `korvane-stub --hang` and `meldrix -HIDE` on a temporary data folder
with PackBody=1 (one mail is one queued text), sends the mails with smtplib
(--clients connections at once, the mails shared out among them) and reports
how many were taken ("250 ok.") or refused ("451 ..."), and the program's
peak resident memory (VmHWM of /proc/PID/status) after the last one. With the
hanging Korvane nothing leaves the mail-line queue, so the peak shows whether
the queue is bounded by bytes. Measure a build without sanitizers:
AddressSanitizer's shadow memory and quarantine inflate the peak. At the end
meldrix gets SIGTERM; the queued mails cannot be sent to the hanging Korvane
and are logged in red within the shut-down's time limit (about 10 s).
"""
import argparse
import os
import shutil
import signal
import smtplib
import socket
import subprocess
import sys
import tempfile
import threading
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def vm_hwm_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="build folder holding meldrix and korvane-stub")
    parser.add_argument("--mails", type=int, default=40)
    parser.add_argument("--size", type=int, default=9_000_000, help="body bytes per mail")
    parser.add_argument("--clients", type=int, default=1)
    args = parser.parse_args()

    folder = tempfile.mkdtemp(prefix="meldrix-mailmem-")
    run = os.path.join(folder, "run")
    os.makedirs(run)
    endpoint = "unix:" + os.path.join(folder, "korvane.sock")
    ready = os.path.join(folder, "ready")
    stub = subprocess.Popen([os.path.join(args.build, "korvane-stub"), "--endpoint", endpoint, "--journal",
                             os.path.join(folder, "journal.txt"), "--ready-file", ready, "--hang"])
    while not os.path.exists(ready):
        time.sleep(0.02)
    port = free_port()
    with open(os.path.join(folder, "meldrix.cfg"), "w") as cfg:
        cfg.write(f"[Settings]\nAutoActivate=1\n[MailServer]\nSmtpPort={port}\nPackBody=1\nUseSubject=0\n"
                  f"[Message1]\nName=All\nReceiver=4711\nLeftTrigger=\n[Korvane]\nEndpoint={endpoint}\n")
    env = dict(os.environ, MELDRIX_DATA=folder, MELDRIX_RUNTIME_DIR=run, MELDRIX_DDE_DIR=run + "/dde")
    with open(os.path.join(folder, "meldrix.out"), "wb") as out:
        meldrix = subprocess.Popen([os.path.join(args.build, "meldrix"), "-HIDE"], env=env, stdout=out,
                                   stderr=subprocess.STDOUT)
    line = ("x" * 998 + "\r\n").encode()
    body = line * (args.size // len(line))
    results = {"taken": 0, "refused": 0, "failed": 0}
    lock = threading.Lock()

    def client(count):
        # Activation first waits for the hanging Korvane's answer to
        # "[check(Meldrix)]" (30 s), then the SMTP sink listens.
        for _ in range(1200):
            try:
                s = smtplib.SMTP("127.0.0.1", port, timeout=120)
                break
            except OSError:
                time.sleep(0.05)
        else:
            with lock:
                results["failed"] += count
            return
        for _ in range(count):
            try:
                s.sendmail("load@example.org", ["pager@example.org"], b"Subject: big\r\n\r\n" + body)
                key = "taken"
            except smtplib.SMTPDataError as e:
                key = "refused" if e.smtp_code == 451 else "failed"
            with lock:
                results[key] += 1
        s.quit()

    share = [args.mails // args.clients + (1 if i < args.mails % args.clients else 0) for i in range(args.clients)]
    workers = [threading.Thread(target=client, args=(n,)) for n in share]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    peak = vm_hwm_kib(meldrix.pid)
    print(f"{args.mails} mails of {args.size} bytes, {args.clients} client(s): "
          f"taken {results['taken']}, refused {results['refused']}, failed {results['failed']}")
    print(f"meldrix peak memory (VmHWM): {peak / 1024:.1f} MiB")
    meldrix.send_signal(signal.SIGTERM)
    meldrix.wait(timeout=60)
    stub.send_signal(signal.SIGTERM)
    stub.wait(timeout=10)
    shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
