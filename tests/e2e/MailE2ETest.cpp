// Mails from Python's smtplib and email package, shaped as mail clients and
// alarm devices send them, reach Korvane as readable texts, one message per
// subject and body line; many clients at once lose no mail; mails answered
// "250 ok." just before SIGTERM are still sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "e2e/E2eHarness.h"
#include "support/FreePort.h"
#include "sources/SocketClient.h"

namespace meldrix::testing {
namespace {

// argv: port, client threads, mails per thread (0 0 = the shapes below).
constexpr const char* kSender = R"PY(
import smtplib, sys, threading, time
from email import policy
from email.message import EmailMessage
from email.mime.application import MIMEApplication
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText

port, threads, mails = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])

def connect():
    for _ in range(200):
        try:
            return smtplib.SMTP("127.0.0.1", port, timeout=20)
        except OSError:
            time.sleep(0.05)
    raise SystemExit("cannot connect")

if threads > 0:
    failures = []
    def client(t):
        try:
            s = connect()
            for m in range(mails):
                s.sendmail("load@example.org", ["pager@example.org"],
                           "Subject: load %d-%d\r\n\r\nb\r\n" % (t, m))
            s.quit()
        except Exception as e:
            failures.append(repr(e))
    workers = [threading.Thread(target=client, args=(t,)) for t in range(threads)]
    for w in workers: w.start()
    for w in workers: w.join()
    if failures:
        print(failures[:3])
        sys.exit(1)
    sys.exit(0)

s = connect()
def send(m):
    s.sendmail("alarm@plant.example", ["pager@example.org"], m if isinstance(m, (str, bytes)) else m.as_bytes())

# An encoded subject; a quoted-printable body with a soft line break.
send("From: Alarm <alarm@plant.example>\r\nTo: pager@example.org\r\n"
     "Subject: =?UTF-8?Q?T=C3=BCr_offen?=\r\nMIME-Version: 1.0\r\n"
     "Content-Type: text/plain; charset=utf-8\r\n"
     "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
     "Fenster =C3=B6ffnen, Stra=C3=9Fe=\r\n r=C3=A4umen\r\nzweite Zeile\r\n")

# multipart/alternative: the plain part only.
m = EmailMessage()
m["Subject"] = "alternative"
m.set_content("Alarm Halle 3\n")
m.add_alternative("<p>Alarm <b>Halle 3</b></p>", subtype="html")
send(m)

# HTML only, with an attachment.
m = EmailMessage()
m["Subject"] = "html only"
m.set_content("<html><body><p>Brand &amp; Rauch</p><p>Tor Nord</p></body></html>", subtype="html")
m.add_attachment(b"%PDF-1.4 plan", maintype="application", subtype="pdf", filename="plan.pdf")
send(m)

# A folded part header carrying the charset.
m = MIMEMultipart()
m["Subject"] = "folded"
t = MIMEText("Caf\u00e9 ge\u00f6ffnet\n", "plain", "utf-8")
del t["Content-Type"]
t["Content-Type"] = "text/plain;\n\tcharset=utf-8"
m.attach(t)
m.attach(MIMEApplication(b"xx", Name="a.bin"))
send(m.as_string())

# A raw 8-bit UTF-8 subject; quotes and underscores in the body.
m = EmailMessage(policy=policy.SMTPUTF8)
m["Subject"] = "St\u00f6rung Halle 3"
m.set_content('Melder "Halle 3"\nLeck an 3" Rohr\nWert_1 = 5\n', cte="quoted-printable")
send(m)

# Headers only.
send("Subject: nur Kopf\r\n")
s.quit()
)PY";

int RunSender(const std::string& folder, int port, int threads = 0, int mails = 0) {
  const std::string script = folder + "/send_mail.py";
  WriteFile(script, kSender);
  const std::string command = "python3 " + script + " " + std::to_string(port) + " " +
                              std::to_string(threads) + " " + std::to_string(mails) + " >" + folder +
                              "/send_mail.out 2>&1";
  return std::system(command.c_str());
}

// The texts of the send commands that came in by mail, in order.
std::vector<std::string> SentTexts(const E2eSetup& setup) {
  const std::size_t start = std::string("[send(*|4711|Mail:").size();
  std::vector<std::string> texts;
  for (const auto& line : setup.SentCommands("[send(*|4711|Mail:"))
    texts.push_back(line.substr(start, line.find('|', start) - start));
  return texts;
}

std::string Config(int port) {
  return "[Settings]\nAutoActivate=1\n[MailServer]\nSmtpPort=" + std::to_string(port) +
         "\n[Message1]\nName=All\nReceiver=4711\nLeftTrigger=\nText={{$INPORT}}:{{$MESSAGE}}\n";
}

TEST(MailE2eTest, RealMailShapesArriveAsTextAndNoneIsLostUnderLoad) {
  E2eSetup setup;
  const int port = FreePort();
  setup.WriteConfig(Config(port));
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  ASSERT_EQ(RunSender(setup.DataFolder(), port), 0)
      << ReadFile(setup.DataFolder() + "/send_mail.out") << meldrix.Output();
  ASSERT_TRUE(setup.WaitForCommand("nur Kopf")) << meldrix.Output() << meldrix.Errors();
  EXPECT_EQ(SentTexts(setup), (std::vector<std::string>{
                                  "T\xC3\xBCr offen", "Fenster \xC3\xB6" "ffnen, Stra\xC3\x9F" "e r\xC3\xA4umen",
                                  "zweite Zeile",                                    //
                                  "alternative", "Alarm Halle 3",                    //
                                  "html only", "Brand & Rauch", "Tor Nord",          //
                                  "folded", "Caf\xC3\xA9 ge\xC3\xB6" "ffnet",         //
                                  "St\xC3\xB6rung Halle 3", "Melder \"Halle 3\"",    //
                                  "Leck an 3\" Rohr", "Wert_1 = 5", "nur Kopf"}));

  constexpr int kClients = 20, kMailsEach = 50;
  ASSERT_EQ(RunSender(setup.DataFolder(), port, kClients, kMailsEach), 0)
      << ReadFile(setup.DataFolder() + "/send_mail.out");
  auto load = [&] {
    std::vector<std::string> texts = SentTexts(setup);
    std::erase_if(texts, [](const std::string& text) { return text.rfind("load ", 0) != 0; });
    return texts;
  };
  // Every mail was answered "ok", so every one must arrive, exactly once.
  EXPECT_TRUE(WaitUntil([&] { return load().size() >= kClients * kMailsEach; }, std::chrono::seconds(30)))
      << load().size();
  EXPECT_EQ(meldrix.Stop(), 0);
  auto loaded = load();
  EXPECT_EQ(loaded.size(), static_cast<std::size_t>(kClients * kMailsEach));
  std::sort(loaded.begin(), loaded.end());
  EXPECT_EQ(std::unique(loaded.begin(), loaded.end()), loaded.end());
}

// SIGTERM comes the moment the last "250 ok." is read, well before the next
// delivery pass would have taken the queued lines.
TEST(MailE2eTest, MailsTakenJustBeforeSigtermAreSent) {
  E2eSetup setup;
  const int port = FreePort();
  setup.WriteConfig(Config(port));
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  CSocketClient client;
  ASSERT_TRUE(WaitUntil([&] { return client.Connect("127.0.0.1", static_cast<std::uint16_t>(port), 1000); }))
      << meldrix.Output();
  constexpr int kMails = 20;
  std::string script = "EHLO x\r\n";
  for (int i = 0; i < kMails; ++i)
    script += "MAIL From: <a@x>\r\nRCPT To: <b@x>\r\nDATA\r\nSubject: burst " + std::to_string(i) + "\r\n\r\nb\r\n.\r\n";
  ASSERT_TRUE(client.Send(script));
  std::string replies, piece;
  ASSERT_TRUE(WaitUntil([&] {
    while (client.Receive(piece) > 0) replies += piece;
    int ok = 0;
    for (std::size_t pos = 0; (pos = replies.find("250 ok.\r\n", pos)) != std::string::npos; ++pos) ++ok;
    return ok == kMails;
  }, kE2eTimeout, std::chrono::milliseconds(1))) << replies;
  EXPECT_EQ(meldrix.Stop(), 0);
  std::size_t burst = 0;
  for (const std::string& text : SentTexts(setup)) burst += text.rfind("burst ", 0) == 0;
  EXPECT_EQ(burst, static_cast<std::size_t>(kMails)) << meldrix.Output();
}

}  // namespace
}  // namespace meldrix::testing
