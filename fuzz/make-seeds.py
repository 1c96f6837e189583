#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/<target>/: mails made with
Python's email package, device telegrams, SMTP dialogues, expressions,
configuration files and the other inputs the targets read. Seeds are named
after their content's hash, so running this again adds nothing twice.
Usage: fuzz/make-seeds.py [corpus folder]"""
import hashlib
import os
import struct
import sys
from email import policy
from email.header import Header
from email.message import EmailMessage, Message
from email.mime.base import MIMEBase
from email.mime.message import MIMEMessage
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email.utils import format_datetime
import datetime

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "corpus")


def put(target, data):
    if isinstance(data, str):
        data = data.encode("latin-1")
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    name = "seed-" + hashlib.sha1(data).hexdigest()[:16]
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- mails (fuzz_mail takes a whole mail; fuzz_smtp a whole dialogue)
def mails():
    when = datetime.datetime(2026, 12, 7, 1, 0, 0, tzinfo=datetime.timezone(datetime.timedelta(hours=1)))
    out = []

    m = MIMEText("Brand Halle 3\r\nMelder 7 ausgeloest\r\n", "plain", "us-ascii")
    m["Subject"] = "Alarm"
    m["From"] = "Panel <panel@example.org>"
    m["To"] = "alarm@example.org"
    m["Date"] = format_datetime(when)
    out.append(m)

    m = MIMEText("T\u00fcr \u00f6ffnen, 20 \u00b0C, Stra\u00dfe\n" * 3, "plain", "utf-8")
    m["Subject"] = Header("T\u00fcr \u00f6ffnen \u20ac", "utf-8").encode()
    m["From"] = "=?iso-8859-1?q?M=FCller?= <mueller@example.org>"
    m["To"] = "alarm@example.org"
    out.append(m)

    from email import charset as cs
    qp = cs.Charset("utf-8")
    qp.body_encoding = cs.QP
    m = MIMEText("", "plain")
    m.set_payload("Wert_1 = 3 \u00e4\u00f6\u00fc \u00df\n" + "x" * 90 + "\n", qp)
    m["Subject"] = "=?utf-8?b?" + "w4RuZGVydW5n" + "?="
    out.append(m)

    m = MIMEText("Alarm 1\nAlarm 2\n.\n..dot\n", "plain", "iso-8859-1")
    out.append(m)
    b = Message()
    b["Content-Type"] = 'text/plain; charset="iso-8859-1"'
    b["Content-Transfer-Encoding"] = "base64"
    b.set_payload("QnJhbmQgSGFsbGUgMw0KTWVsZGVyIDc=\r\n")
    b["Subject"] = "base64"
    out.append(b)

    mp = MIMEMultipart("alternative")
    mp["Subject"] = "multipart"
    mp["From"] = "a@example.org"
    mp["To"] = "b@example.org, c@example.org"
    mp.attach(MIMEText("plain \u00e4 text\n", "plain", "utf-8"))
    mp.set_boundary("==alt-1==")
    mp.attach(MIMEText("<html><head><style>p{}</style></head><body><p>Brand &amp; Rauch</p>"
                       "<br>Halle&nbsp;3<script>x()</script></body></html>", "html", "utf-8"))
    out.append(mp)

    html = MIMEText("<div>Nur&lt;HTML&gt;</div><ul><li>eins</li><li>zwei</li></ul><!-- c -->", "html", "iso-8859-1")
    html["Subject"] = "html only"
    out.append(html)

    mixed = MIMEMultipart("mixed")
    mixed["Subject"] = "=?ISO-8859-1?Q?Anhang_f=FCr_dich?="
    mixed.set_boundary("----=_Part_7_mixed")
    mixed.attach(MIMEText("Siehe Anhang\n", "plain", "utf-8"))
    att = MIMEBase("application", "octet-stream")
    att.set_payload(b"\x00\x01\x02binary\xff" * 4)
    from email import encoders
    encoders.encode_base64(att)
    att.add_header("Content-Disposition", "attachment", filename="bericht.bin")
    mixed.attach(att)
    inner = MIMEText("inner alarm\n", "plain", "us-ascii")
    inner["Subject"] = "inner"
    mixed.attach(MIMEMessage(inner))
    nested = MIMEMultipart("alternative")
    nested.set_boundary("nested-2")
    nested.attach(MIMEText("nested plain\n", "plain", "utf-8"))
    nested.attach(MIMEText("<b>nested</b>", "html", "utf-8"))
    mixed.attach(nested)
    out.append(mixed)

    e = EmailMessage(policy=policy.SMTP)
    e["Subject"] = "Sehr langer Betreff " * 6 + "\u00c4rger"
    e["From"] = "\"Leitstelle, Nord\" <leitstelle@example.org>"
    e["To"] = "alarm@example.org"
    e["Message-ID"] = "<1@example.org>"
    e["X-Mailer"] = "fuzz"
    e.set_content("Zeile 1\nZeile 2 mit \u00fc\n")
    e.add_alternative("<p>Zeile 1</p>", subtype="html")
    e.set_boundary("alt-3")
    out.append(e)

    texts = []
    for m in out:
        data = m.as_bytes(policy=policy.SMTP) if not isinstance(m, EmailMessage) else m.as_bytes()
        texts.append(data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n"))
    return texts


def dot_stuff(mail):
    lines = mail.split(b"\r\n")
    return b"\r\n".join((b"." + l) if l.startswith(b".") else l for l in lines)


def smtp_dialogues(all_mails):
    out = []
    for i, mail in enumerate(all_mails[:4]):
        head = bytes([0x03 if i % 2 else 0x02, 40, 200, 255 if i < 2 else 7])
        out.append(head + b"EHLO panel\r\nMAIL From:<panel@example.org>\r\nRCPT To:<alarm@example.org>\r\n"
                   b"RCPT To:Name <b@example.org>\r\nDATA\r\n" + dot_stuff(mail) + b"\r\n.\r\n"
                   b"MAIL From:<x@y>\r\nDATA\r\nSubject: second\r\n\r\nbody\r\n.\r\nQUIT\r\n")
    out.append(bytes([0x01, 0, 0, 0]) + b"HELO a\nVRFY x\nNOOP\nmail from:<a>\nrcpt to:<b>\ndata\nTo: c\n"
               b"Content-Type: multipart/mixed;\n boundary=\"b\"\n\n--b\nContent-Type: text/plain\n\nx\n--b--\n.\nquit\n")
    out.append(bytes([0x00, 2, 1, 0]) + b"HELO " + b"x" * 100 + b"\r\nMAIL From:<" + b"y" * 60 + b">\r\nDATA\r\n"
               b"Subject: " + b"s" * 80 + b"\r\n\r\n" + b"line\r\n" * 20 + b".\r\n")
    return out


# ---- device telegrams
STX, ETX, DLE, RS = 0x02, 0x03, 0x10, 0x1E


def siedle(receiver, function, sender, info, delta=0):
    wire = bytearray()
    total = 0
    for c in bytes([receiver, function, sender]) + info:
        if c in (ETX, DLE):
            wire.append(DLE)
            total += DLE
        wire.append(c)
        total += c
    checksum = (-total) & 0xFF
    if checksum in (ETX, DLE):
        checksum = (-(total + DLE)) & 0xFF
        wire.append(DLE)
    wire.append((checksum + delta) & 0xFF)
    return bytes([STX]) + bytes(wire) + bytes([ETX])


def event_info(code, p, s):
    return bytes([0x12, 0x34, 0x56, 0xAB, 0xCD, 0xEF, code >> 8, code & 0xFF, 0x00, p, s, 0x01, 0x02, 0x04])


def crc16(data):
    crc = 0xFFFF
    for c in data:
        crc ^= c
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def ilper(fields, high_first=False):
    body = bytes([STX]) + bytes([RS]).join(f.encode("latin-1") for f in fields) + bytes([ETX])
    crc = crc16(body)
    lo, hi = crc & 0xFF, crc >> 8
    return body + (bytes([hi, lo]) if high_first else bytes([lo, hi]))


# ---- DDE frames
def dde_frame(kind, seq, typ, fmt, value, name1, name2, data):
    body = struct.pack("<BIHHI", kind, seq, typ, fmt, value)
    body += struct.pack("<I", len(name1)) + name1 + struct.pack("<I", len(name2)) + name2 + data
    return struct.pack("<I", len(body)) + body


def service_topics(pairs):
    out = b""
    for service, pid, topic in pairs:
        out += struct.pack("<I", len(service)) + service + struct.pack("<I", pid) + struct.pack("<I", len(topic)) + topic
    return out


def main():
    all_mails = mails()
    for m in all_mails:
        put("fuzz_mail", m)
    for d in smtp_dialogues(all_mails):
        put("fuzz_smtp", d)

    for wire in [siedle(0x01, 0x4A, 0x02, event_info(0x0400, 0x05, 0x00)),
                 siedle(0xFF, 0x4A, 0x02, event_info(0x0200, 0, 0)),
                 siedle(0x01, 0x33, 0x7F, bytes([0xDE, 0xAD])),
                 siedle(0x01, 0x33, 0x02, bytes([0x03, 0x10, 0x41])),
                 b"xyz" + siedle(0x01, 0x33, 0x02, b""),
                 siedle(0x01, 0x4A, 0x02, event_info(0x0200, 0, 0), 1),
                 siedle(0x01, 0x33, 0x02, b"a" * 49) + siedle(0x03, 0x10, 0x02, b"")]:
        put("fuzz_siedle", bytes([0xFF]) + wire)
        put("fuzz_siedle", bytes([0x03]) + wire)

    for proto, wire in [(0, ilper(["A1", "zz", "Brand", "Halle 3", "77"])),
                        (1, ilper(["A1", "5F5E1000", "Brand", "Halle 3", "77", "x"], True)),
                        (0, ilper(["1", "2", "3", "4"])),
                        (1, ilper(["a;b", "65000000", 'say "hi";now', "", "e"])),
                        (0, b"\x02junk\x03\x00\x00" + ilper(["a", "t", "c", "d", "e"])),
                        (1, ilper(["x" * 300, "t", "c", "d", "e"]))]:
        put("fuzz_ilper", bytes([0xFE | proto]) + wire)
        put("fuzz_ilper", bytes([0x06 | proto]) + wire)

    for head, stream in [(bytes([0, 40, 8, 16, 5, 3, 2]) + b"\\n", b"Brand Halle 3\nMelder 7\n  weiter\r\nAlarm\x1b[1m x\x01\n"),
                         (bytes([7, 10, 1, 0, 0, 0x85, 4]) + b"\\r\\n", b"a\r\nb\r\n  c\r\n" + b"x" * 40 + b"\r\n"),
                         (bytes([8, 0, 255, 255, 255, 1, 6]) + b"\\x03\\x04", b"one\x03\x04two\x03\x04\xc3\xa4\xc3\xb6\n"),
                         (bytes([1, 3, 0, 1, 2, 0, 0]), b"\n\n\f\r abc\n")]:
        put("fuzz_socket", head + stream)

    for s in [b"\x00" + dde_frame(3, 1, 0x1062, 0, 0, b"Meldrix", b"client@42", b""),
              b"\x03" + dde_frame(1, 2, 0x20B0, 1, 0, b"Message1", b"", b"Brand\x00"),
              b"\xff" + dde_frame(2, 2, 0x20B0, 1, 0x8000, b"", b"", b"ok") + dde_frame(4, 3, 0, 0, 0, b"", b"", b""),
              b"\x07" + dde_frame(2, 5, 0, 0, 1, b"", b"", service_topics([(b"Meldrix", 100, b"Signal"), (b"Excel", 7, b"")])),
              b"\x01" + struct.pack("<I", 0x7FFFFFFF) + b"x" * 30]:
        put("fuzz_dde", s)

    for s in [b"\x10" + b"06.12.26 14:31:05;RING;0;0711123456;0711987654;SIP0;\n06.12.26 14:31:09;CALL;0;4;0711987654;0711123456;SIP0;\r\n",
              b"\x00" + b"06.12.26 14:31:05;RING;1;;0711987654;SIP0;\nRING\n" + b"y" * 100 + b"\n",
              b"\xff" + b"tcp:192.168.178.1:1012",
              b"\x02" + b" tcp:fritz.box:1012 "]:
        put("fuzz_callmonitor", s)

    for s in [b"\x08" + b"\n" + struct.pack("<I", 4) + b"\xff\x00\x00\x00",
              b"\x08" + b"tracehost:24004\n" + struct.pack("<I", 12) + b"\x01\x02\x03\x04longer.." + struct.pack("<I", 0),
              b"\x00" + b"[::1]:9\n" + struct.pack("<I", 0x00100001),
              b"\x10" + b".\n" + struct.pack("<I", 2) + b"ab"]:
        put("fuzz_trace", s)

    for s in [" \tMeier[1]|Schulz[a[2]|Lager.1[3]|Halle.12[4]|Nord.123[5]", "A||B|", "[1]|.1[2]",
              "a.b[1]|x[2]", "M\xfcller[1]|Team.1[2]|m\xdcLLER[9]", "0007", " \t+42 jobs", "e" * 32, "-3"]:
        put("fuzz_korvane", s)

    head = '<?xml version="1.0" encoding="ansi"?> <MailXML>'
    for s in [head + "<ResultText>ok</ResultText><UnreadedMails>0x1F</UnreadedMails><Subject>T&#252;r \xf6ffnen &#8364;</Subject>"
                     "<Body>a&#13;\nb\r\nc</Body><Token>1</Token><Token>2</Token><Empty/></MailXML>",
              head + "<FKTName>GetPOP3Msg</FKTName><FktType>INT</FktType><Server>pop.example.org</Server><Port>995</Port>"
                     "<User>u</User><Pass>p&lt;&amp;</Pass><SSL>1</SSL><Auth>PLAIN</Auth><GUID>{0}</GUID></MailXML>",
              head + "<ResultCode>-7</ResultCode><ResultText><![CDATA[x]]></ResultText></MailXML>",
              "<MailXML><ResultCode>0</ResultCode>"]:
        put("fuzz_mailservice", s)

    exprs = [
        "x := 5; x * 2",
        "IF a = 1 THEN b := 'x' ELSIF a > 2 THEN b := 2.5 ELSE b := -1 END_IF; b",
        "CONCAT('Alarm ', MID($MESSAGE, 3, 4), FORMAT(12.345, '+###0.00'))",
        "GETCSV('a;\"b;c\";d', 2) + REPLACE('abcdef', 'XY', 2, 2)",
        "DT#2019-01-02-03:04:05 + 86400 - DT#2019-01-01-00:00:00",
        "16#FF AND 2#1010 OR 8#17 XOR NOT 0 ** 2 MOD 3 / 0",
        "'str$x41$101$n$$' <> 'abc' = 1",
        "a[ 1 + 2 ] := SEL(1, 'y', 'n'); VAR('a[3]')",
        "EVAL('z := 1; z + EVAL($'2$')')",
        "REGEXP('abbbc', '(b+)', '<\\1>'); REPLACEALL('a.b', '.', '/')",
        "(* comment *) SHL(1, 33) + SHR(-1, 28) + LEN(UPPERCASE('\xe4'))",
        "%Q1 := %I2; QIMPULSE(%Q3, -2); %QA1 := 1.5; %IA2",
        "DBREAD('a','b','c','d','e',1); WAKEONLAN('a','b','c',1); PING('h'); SNMP('h', MIB2)",
        "CLRVAR('x'); DBFIELD('f') := 1; DBFIELD('f')",
        "Alarm {{LEFT($MESSAGE, 5)}} in {{GETCSV($MESSAGE, 2)}} {{ {{x}} }} {{",
        "&lt;{{ 1 &lt; 2 }}&gt; {{'&amp;'}}",
        "INILOOKUP('S', '/nonexistent.ini', 'K'); FILETEXT('/nonexistent'); DDE('Excel','Sheet1','R1C1')",
        "MESSAGEBOX('t', 4); LOWERCASE(RIGHT('ABC', 2)); FIND('abc', 'c'); LEN(1.5e3)",
        "((((((((((((((((((((1))))))))))))))))))))",
        "EVAL('EVAL(''EVAL(''''1'''')'')')",
        # Nesting beyond the parser's 150 stack entries, at the top and inside EVAL
        # (the fuzzer keeps nesting shallow: deeper nesting adds no coverage).
        "(" * 160 + "1" + ")" * 160,
        "EVAL('" + "-" * 160 + "1')",
    ]
    for e in exprs:
        put("fuzz_expr", e)

    for flags, pattern, tmpl, subject in [
            (0, "(a|b)*c", "<&>", "ababababc"), (1, "^[A-Z][a-z]+ ([0-9]+)$", "\\1", "halle 12"),
            (3, "(x+x+)+y", "&", "x" * 30), (2, "[^;]*;([^;]*);", "\\1\\\\\\&", "Brand;Halle 3;Melder"),
            (0xFC, "a?a?a?a?aaaa", "", "aaaa"), (0, "\\(.\\)", "\\0", "(x)"), (0, "((((((((((a))))))))))", "\\9", "a"),
            (0, "[", "", "x"), (0, "a**", "", "aa"), (0, "(|a)+b", "", "aab"), (0x20, ".*.*.*=", "", "x" * 60)]:
        p, t, s = pattern.encode("latin-1"), tmpl.encode("latin-1"), subject.encode("latin-1")
        put("fuzz_regexp", bytes([flags, len(p), len(t)]) + p + t + s)

    for flags, text in [(0, "06.12.2026 14:31:05"), (1, "12/06/2026 2:31 PM"), (0, "2026-12-06T14:31:05.123+01:00"),
                        (0, "Fri, 04 Dec 2026 13:05:09 +0100 (CET)"), (1, "4 Dec 26 13:05 GMT"), (0, "6. Dezember 2026"),
                        (0, "2026-12-06"), (0, "14:31"), (1, "December 6, 2026 11:59:59 pm"),
                        (10, "%d.%d.%4d 12.12.2026"), (6, "%d %2d12 345"), (0, "31.02.2026 25:61:61")]:
        put("fuzz_date", bytes([flags]) + text.encode("latin-1"))

    for kind, text in [(0, b"QnJhbmQgSGFsbGUgMw0KTWVsZGVyIDc=\r\n"), (0, b"QQ\r\nQUI=QUJD"),
                       (1, b"=C3=BCber_den=20Flur=\r\nnext=3D=4"), (2, b"Wert_1 =E4=\n"),
                       (3, b"=?utf-8?q?T=C3=BCr_=C3=B6ffnen?= rest"), (3, b"=?iso-8859-1?B?SGFsbGUgM/w=?="),
                       (4, b'text/plain; charset="utf-8"; format=flowed; name="a\\"b"'),
                       (4, b"multipart/mixed; boundary=----=_Part_1"),
                       (5, b"<html><head><title>x</title></head><body><p>Brand<br>Halle &amp; 3</p><table><tr><td>a</td></tr></table></body></html>"),
                       (6, b"\xc3\xa4\xc3\xb6\xc3\xbc\xc3\x9f \xc2\xb0 =C3=BC=C3=9F"),
                       (7, b"quoted-printable;utf-8\n=C3=A4rger"), (7, b"base64;iso-8859-1\nSGFsbGU=")]:
        put("fuzz_mime", bytes([kind]) + text)

    for name in ["dist/meldrix.cfg", "examples/meldrix.cfg"]:
        with open(os.path.join(ROOT, name), "rb") as f:
            put("fuzz_config", f.read())
    put("fuzz_config", b"\xef\xbb\xbf[Settings]\r\nName=\"  T\xc3\xbcr \"\r\n; comment\r\n[settings]\r\nName=second\r\n[Ports]\r\nCOM3=/dev/ttyUSB0")
    put("fuzz_config", b"preamble\n[A]\nx = 0x1F\ny=-12abc\n[ B ]\nkey=\"\"\n[C\n]\n=\nz=0b101\n")
    put("fuzz_config", b"[Message1]\rText=old mac\r[Message2]\nText={{x}}\n")


if __name__ == "__main__":
    main()
