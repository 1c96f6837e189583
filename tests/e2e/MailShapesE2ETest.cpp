// Mails shaped by Python's email package, as mail clients and alarm devices
// send them, reach Korvane as readable texts; mails answered "250 ok." just
// before SIGTERM are still sent.
#include <gtest/gtest.h>

#include <cstdlib>

#include "e2e/E2eHarness.h"
#include "support/FreePort.h"
#include "sources/SocketClient.h"

namespace meldrix::testing {
namespace {

// argv: port.
constexpr const char* kSender = R"PY(
import smtplib, sys, time
from email import policy
from email.message import EmailMessage
from email.mime.application import MIMEApplication
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText

port = int(sys.argv[1])
for _ in range(200):
    try:
        s = smtplib.SMTP("127.0.0.1", port, timeout=20)
        break
    except OSError:
        time.sleep(0.05)

def send(m):
    s.sendmail("alarm@plant.example", ["pager@example.org"], m if isinstance(m, (str, bytes)) else m.as_bytes())

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

int RunSender(const std::string& folder, int port) {
  const std::string script = folder + "/send_shapes.py";
  WriteFile(script, kSender);
  const std::string command = "python3 " + script + " " + std::to_string(port) + " >" + folder +
                              "/send_shapes.out 2>&1";
  return std::system(command.c_str());
}

// The texts of the send commands, in order.
std::vector<std::string> SentTexts(E2eSetup& setup) {
  std::vector<std::string> texts;
  for (const auto& line : setup.Korvane().Journal()) {
    if (line.rfind("[send(*|4711|", 0) != 0) continue;
    const std::string rest = line.substr(13);
    texts.push_back(rest.substr(0, rest.find('|')));
  }
  return texts;
}

std::string Config(int port) {
  return "[Settings]\nAutoActivate=1\n[MailServer]\nSmtpPort=" + std::to_string(port) +
         "\n[Message1]\nName=All\nReceiver=4711\nLeftTrigger=\n";
}

TEST(MailShapesE2eTest, RealMailShapesArriveAsText) {
  E2eSetup setup;
  const int port = FreePort();
  setup.WriteConfig(Config(port));
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  ASSERT_EQ(RunSender(setup.DataFolder(), port), 0)
      << ReadFile(setup.DataFolder() + "/send_shapes.out") << meldrix.Output();
  ASSERT_TRUE(setup.WaitForCommand("nur Kopf")) << meldrix.Output() << meldrix.Errors();
  EXPECT_EQ(SentTexts(setup), (std::vector<std::string>{
                                  "alternative", "Alarm Halle 3",                    //
                                  "html only", "Brand & Rauch", "Tor Nord",          //
                                  "folded", "Caf\xC3\xA9 ge\xC3\xB6" "ffnet",         //
                                  "St\xC3\xB6rung Halle 3", "Melder \"Halle 3\"",    //
                                  "Leck an 3\" Rohr", "Wert_1 = 5", "nur Kopf"}));
  EXPECT_EQ(meldrix.Stop(), 0);
}

// SIGTERM comes the moment the last "250 ok." is read, well before the next
// delivery pass would have taken the queued lines.
TEST(MailShapesE2eTest, MailsTakenJustBeforeSigtermAreSent) {
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
  std::string replies;
  std::size_t ok = 0;
  for (const auto giveUp = std::chrono::steady_clock::now() + kE2eTimeout;
       ok < kMails && std::chrono::steady_clock::now() < giveUp;) {
    std::string piece;
    if (client.Receive(piece) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    replies += piece;
    ok = 0;
    for (std::size_t pos = 0; (pos = replies.find("250 ok.\r\n", pos)) != std::string::npos; ++pos) ++ok;
  }
  ASSERT_EQ(ok, static_cast<std::size_t>(kMails)) << replies;
  EXPECT_EQ(meldrix.Stop(), 0);
  std::size_t burst = 0;
  for (const std::string& text : SentTexts(setup)) burst += text.rfind("burst ", 0) == 0;
  EXPECT_EQ(burst, static_cast<std::size_t>(kMails)) << meldrix.Output();
}

}  // namespace
}  // namespace meldrix::testing
