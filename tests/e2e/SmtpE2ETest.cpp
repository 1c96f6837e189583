#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "e2e/E2eHarness.h"
#include "support/FreePort.h"

namespace meldrix::testing {
namespace {

// Sends mails with Python's smtplib, as a real mail client would.
// argv: port, client threads, mails per thread (0 0 = the one umlaut mail).
constexpr const char* kSender = R"PY(
import smtplib, sys, threading, time
port, threads, mails = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])

def connect():
    for _ in range(200):
        try:
            return smtplib.SMTP("127.0.0.1", port, timeout=20)
        except OSError:
            time.sleep(0.05)
    raise SystemExit("cannot connect")

if threads == 0:
    s = connect()
    s.sendmail("alarm@plant.example", ["pager@example.org"],
               "From: Alarm <alarm@plant.example>\r\nTo: pager@example.org\r\n"
               "Subject: =?UTF-8?Q?T=C3=BCr_offen?=\r\nMIME-Version: 1.0\r\n"
               "Content-Type: text/plain; charset=utf-8\r\n"
               "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
               "Fenster =C3=B6ffnen, Stra=C3=9Fe=\r\n r=C3=A4umen\r\nzweite Zeile\r\n")
    s.quit()
    sys.exit(0)

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
)PY";

int RunSender(const std::string& folder, int port, int threads, int mails) {
  const std::string script = folder + "/send_mail.py";
  WriteFile(script, kSender);
  const std::string command = "python3 " + script + " " + std::to_string(port) + " " +
                              std::to_string(threads) + " " + std::to_string(mails) + " >" + folder +
                              "/send_mail.out 2>&1";
  return std::system(command.c_str());
}

// A mail with an encoded subject and a quoted-printable body becomes one
// message per subject and body line, umlauts as UTF-8; then many clients at
// once lose no mail.
TEST(SmtpE2eTest, MailsBecomeMessagesAndNoneIsLostUnderLoad) {
  E2eSetup setup;
  const int port = FreePort();
  setup.WriteConfig("[Settings]\nAutoActivate=1\n"
                    "[MailServer]\nSmtpPort=" + std::to_string(port) +
                    "\n[Message1]\nName=All\nReceiver=4711\nLeftTrigger=\n"
                    "Text={{$MESSAGE}}/{{$INPORT}}\n");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  ASSERT_EQ(RunSender(setup.DataFolder(), port, 0, 0), 0)
      << ReadFile(setup.DataFolder() + "/send_mail.out") << meldrix.Output() << meldrix.Errors();
  ASSERT_TRUE(setup.WaitForCommand("zweite Zeile")) << meldrix.Output() << meldrix.Errors();
  EXPECT_EQ(setup.SentCommands("|4711|"),
            (std::vector<std::string>{"[send(*|4711|T\xC3\xBCr offen/Mail|||||)]",
                                      "[send(*|4711|Fenster \xC3\xB6" "ffnen, Stra\xC3\x9F" "e r\xC3\xA4umen/Mail|||||)]",
                                      "[send(*|4711|zweite Zeile/Mail|||||)]"}));
  constexpr int kClients = 20, kMailsEach = 50;
  ASSERT_EQ(RunSender(setup.DataFolder(), port, kClients, kMailsEach), 0)
      << ReadFile(setup.DataFolder() + "/send_mail.out");
  // Every mail was answered "ok", so every one must arrive.
  EXPECT_TRUE(WaitUntil([&] { return setup.SentCommands("|load ").size() >= kClients * kMailsEach; },
                        std::chrono::seconds(30)))
      << setup.SentCommands("|load ").size();
  // Once the program has ended nothing more can arrive.
  EXPECT_EQ(meldrix.Stop(), 0);
  auto load = setup.SentCommands("|load ");
  EXPECT_EQ(load.size(), static_cast<std::size_t>(kClients * kMailsEach));
  // Each mail exactly once.
  std::sort(load.begin(), load.end());
  EXPECT_EQ(std::unique(load.begin(), load.end()), load.end());
}

}  // namespace
}  // namespace meldrix::testing
