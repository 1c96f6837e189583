#include <gtest/gtest.h>

#include <regex>

#include "sources/MailMessageSource.h"
#include "sources/MailServiceClient.h"
#include "sources/MailServiceProtocol.h"
#include "sources/MailFakeService.h"

namespace meldrix::testing {
namespace {

const std::string kGuid = "{01234567-89AB-CDEF-0123-456789ABCDEF}";
const std::string kHead = "<?xml version=\"1.0\" encoding=\"ansi\"?> <MailXML><ProvID>-1</ProvID><GUID>" + kGuid +
                          "</GUID>";

TEST(MailServiceProtocolTest, RequestTextsByteForByte) {
  MailboxSettings mailbox;
  mailbox.server = "pop.example.org";
  mailbox.port = "995";
  mailbox.user = "M\xFCller & S\xF6hne";
  mailbox.password = "a<b&c'\"\xDF";
  mailbox.sslMode = "1";
  mailbox.auth = "PLAIN";
  EXPECT_EQ(GetPOP3MsgRequest(mailbox, kGuid),
            kHead + "<FKTName>GetPOP3Msg</FKTName><FktType>INT</FktType><Server>pop.example.org</Server>"
                    "<Port>995</Port><User>M&#252;ller &#x26; S&#246;hne</User>"
                    "<Pass>a&lt;b&#x26;c&apos;&quot;&#223;</Pass><Timeout>10000</Timeout>"
                    "<SSLMode>1</SSLMode><Auth>PLAIN</Auth></MailXML>");
  const std::string key = MailServerKey(mailbox);
  EXPECT_EQ(key, "pop.example.org995M\xFCller & S\xF6hne");
  const std::string escapedKey = "<ServerKey>pop.example.org995M&#252;ller &#x26; S&#246;hne</ServerKey>";
  EXPECT_EQ(GetUnreadedMailsCountRequest(key, kGuid),
            kHead + "<FKTName>GetUnreadedMailsCount</FKTName><FktType>INT</FktType>" + escapedKey + "</MailXML>");
  EXPECT_EQ(GetNewUnreadMailRequest(key, kGuid),
            kHead + "<FKTName>GetNewUnreadMail</FKTName><FktType>INT</FktType>" + escapedKey + "</MailXML>");
  EXPECT_EQ(SetMailReadedRequest("t<1>", key, kGuid),
            kHead + "<FKTName>SetMailReaded</FKTName><FktType>INT</FktType><Token>t&lt;1&gt;</Token>" + escapedKey +
                "</MailXML>");
  // What the client escapes, the service reads back as it was.
  const auto parsed = CMailXmlDocument::Parse(GetPOP3MsgRequest(mailbox, kGuid));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->Value("Pass"), mailbox.password);
  EXPECT_EQ(parsed->Value("User"), mailbox.user);
}

TEST(MailServiceProtocolTest, ReplyReading) {
  const auto reply = CMailXmlDocument::Parse(
      "<?xml version=\"1.0\" encoding=\"ansi\"?> <MailXML><ResultText>ok</ResultText>"
      "<UnreadedMails>0x1F</UnreadedMails><Subject>T&#252;r \xF6" "ffnen &#8364;</Subject>"
      "<Body>a&#13;\nb\r\nc</Body><Token>1</Token><Token>2</Token><Empty/></MailXML>");
  ASSERT_TRUE(reply);
  EXPECT_FALSE(reply->Has("ResultCode"));
  EXPECT_EQ(reply->Integer("ResultCode"), 0);  // missing counts as success
  EXPECT_EQ(reply->Integer("UnreadedMails"), 31);
  EXPECT_EQ(reply->Value("Subject"), "T\xFCr \xF6" "ffnen \x80");
  EXPECT_EQ(reply->Value("Body"), "a\r\nb\r\nc");  // line ends survive as sent
  EXPECT_EQ(reply->Value("Token"), "1");
  EXPECT_TRUE(reply->Has("Empty"));
  EXPECT_EQ(reply->Value("Missing"), "");

  for (const char* malformed : {"", "not xml", "<MailXML><ResultCode>0</ResultCode>", "<a></b>",
                                "<MailXML><ResultCode>0</ResultCode></MailXML><extra/>"}) {
    EXPECT_FALSE(CMailXmlDocument::Parse(malformed)) << malformed;
    EXPECT_FALSE(CMailXmlDocument::IsComplete(malformed)) << malformed;
  }
  struct Case {
    const char* text;
    long value;
  } integers[] = {{"42", 42}, {" 0x10", 16}, {"-7", -7}, {"010", 10}, {"12abc", 12}, {"x", 0}, {"99999999999", 0x7FFFFFFF}};
  for (const Case& c : integers) EXPECT_EQ(ParseAutoBaseInteger(c.text), c.value) << c.text;

  // Control characters go out as references and come back; a zero byte is dropped.
  const std::string text("line\r\nbell\x07tab\t<&>\xE4", 19);
  const auto back = CMailXmlDocument::Parse(MailXmlDocumentText({{"Body", MailXmlEscapeText(text)}}));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Value("Body"), text);
  EXPECT_EQ(MailXmlEscapeText(std::string("a\0b", 3)), "ab");
}

MailServiceLimits ShortLimits() {
  MailServiceLimits limits;
  limits.connectMs = 500;
  limits.replyMs = 600;
  limits.countReplyMs = 600;
  return limits;
}

TEST(MailServiceClientTest, ReplyInPiecesHangAndNoService) {
  const std::string reply = FakeMailService::Reply({{"ResultCode", "0"}, {"ResultText", "fine"}});
  FakeMailService split([&](const CMailXmlDocument& request) -> std::vector<std::string> {
    if (request.Value("FKTName") == "GetUnreadedMailsCount") return {};  // hangs
    return {reply.substr(0, 30), reply.substr(30)};
  });
  CMailServiceClient client("127.0.0.1", split.Port(), ShortLimits());
  MailboxSettings mailbox;
  const auto registered = client.Register(mailbox);
  ASSERT_TRUE(registered.ok()) << client.LastError();
  EXPECT_EQ(registered.reply->Value("ResultText"), "fine");

  const auto counted = client.CountUnread("key");
  EXPECT_EQ(counted.status, CMailServiceClient::Status::NoReply);

  FakeMailService garbage([](const CMailXmlDocument&) { return std::vector<std::string>{"<MailXML><Result"}; });
  CMailServiceClient confused("127.0.0.1", garbage.Port(), ShortLimits());
  EXPECT_EQ(confused.NextUnread("key").status, CMailServiceClient::Status::Unparsable);

  CMailServiceClient nobody("127.0.0.1", 1, ShortLimits());
  EXPECT_EQ(nobody.Register(mailbox).status, CMailServiceClient::Status::NoConnection);
  EXPECT_NE(nobody.LastError(), "");
}

// Records what a source hands to the assembly.
struct RecordingSink : IMessageSink {
  bool TakeByte(unsigned char byte) override {
    if (lines.empty() || !lines.back().second) lines.emplace_back("", true);
    lines.back().first += static_cast<char>(byte);
    if (byte == '\n') lines.back().second = false;
    return false;  // the source must go on regardless
  }
  void CopyRaw(unsigned char) override {}
  void TakeTelegram(std::string line) override { lines.emplace_back("[" + line + "]", false); }
  void EndOfText() override {}
  // Telegrams in brackets, byte runs up to their line feed.
  std::vector<std::pair<std::string, bool>> lines;
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& line : lines) texts.push_back(line.first);
    return texts;
  }
};

// A service with `unread` mails numbered from 1; hangs on the function named
// by `hangOn`.
FakeMailService::Handler Mailbox(int unread, std::string hangOn = "") {
  auto next = std::make_shared<int>(0);
  return [=](const CMailXmlDocument& request) -> std::vector<std::string> {
    const std::string function = request.Value("FKTName");
    if (function == hangOn) return {};
    if (function == "GetPOP3Msg") return {FakeMailService::Reply({{"ResultText", "no code means success"}})};
    if (function == "GetUnreadedMailsCount")
      return {FakeMailService::Reply({{"UnreadedMails", std::to_string(unread)}})};
    if (function == "GetNewUnreadMail") {
      const std::string n = std::to_string(++*next);
      return {FakeMailService::Reply({{"Subject", "S" + n + " T&#195;&#188;r"},
                                      {"Body", "line 1&#13;\nline 2 \t&#13;\n&#13;\n"},
                                      {"Token", "tok" + n}})};
    }
    return {FakeMailService::Reply({{"ResultCode", "0"}})};
  };
}

class MailSourceTest : public ::testing::Test {
 protected:
  std::uint32_t PollWith(FakeMailService& service) {
    OutPortServices services;
    const std::string endpoint = "127.0.0.1:" + std::to_string(service.Port());
    services.config = [endpoint](const std::string& section, const std::string& key) {
      return section == "MailService" && key == "Endpoint" ? endpoint : std::string();
    };
    CMailMessageSource source(settings, ShortLimits());
    EXPECT_TRUE(source.Open(services));
    return source.Poll(sink, services);
  }
  InSourceSettings settings;
  RecordingSink sink;
};

TEST_F(MailSourceTest, MailsBecomeSubjectLineAndBodyText) {
  settings.m_MailServer = "pop";
  settings.m_MailUser = "u";
  settings.m_MailSSLMode = "SSL";
  FakeMailService service(Mailbox(2));
  EXPECT_EQ(PollWith(service), CMailMessageSource::kIdlePollMs);
  // The subject gets the UTF-8 repair; the body's line ends become blanks.
  EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"[S1 T\xFCr]", "line 1 line 2\r\n", "[S2 T\xFCr]",
                                                    "line 1 line 2\r\n"}));
  EXPECT_EQ(service.Functions(),
            (std::vector<std::string>{"GetPOP3Msg", "GetUnreadedMailsCount", "GetNewUnreadMail", "SetMailReaded",
                                      "GetNewUnreadMail", "SetMailReaded"}));
  const auto requests = service.Requests();
  EXPECT_EQ(requests[0].Value("SSLMode"), "1");
  EXPECT_EQ(requests[3].Value("Token"), "tok1");
  EXPECT_EQ(requests[3].Value("ServerKey"), "pop110u");
}

TEST_F(MailSourceTest, ManyUnreadMailsMakeTheSourceBusy) {
  FakeMailService service(Mailbox(150));
  EXPECT_EQ(PollWith(service), CMailMessageSource::kBusyPollMs);
  EXPECT_EQ(sink.Texts().size(), 300u);  // all 150 in one poll
}

TEST_F(MailSourceTest, HungOrMissingServiceEndsThePollAfterOneRequest) {
  for (const std::string hangOn : {"GetPOP3Msg", "GetUnreadedMailsCount", "GetNewUnreadMail"}) {
    FakeMailService service(Mailbox(3, hangOn));
    EXPECT_EQ(PollWith(service), CMailMessageSource::kIdlePollMs) << hangOn;
    EXPECT_EQ(service.Functions().back(), hangOn);
    EXPECT_TRUE(sink.lines.empty()) << hangOn;
  }
  // A hung SetMailReaded comes after the mail was delivered; nothing more is asked.
  FakeMailService slowMark(Mailbox(3, "SetMailReaded"));
  PollWith(slowMark);
  EXPECT_EQ(slowMark.Functions().size(), 4u);
  EXPECT_EQ(sink.lines.size(), 2u);

  // No service at all: nothing delivered, the next poll in 10 s.
  sink.lines.clear();
  OutPortServices services;
  services.config = [](const std::string&, const std::string&) { return std::string("127.0.0.1:1"); };
  CMailMessageSource source(settings, ShortLimits());
  ASSERT_TRUE(source.Open(services));
  EXPECT_EQ(source.Poll(sink, services), CMailMessageSource::kIdlePollMs);
  EXPECT_TRUE(sink.lines.empty());
}

}  // namespace
}  // namespace meldrix::testing
