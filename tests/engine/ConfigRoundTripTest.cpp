// Every section read and saved again: a file with every key set comes back
// byte for byte; keys at their default are left out where the section does
// that; an empty section reads as the defaults.
#include <gtest/gtest.h>

#include "engine/ConfigTestSupport.h"

using namespace meldrix;
using meldrix::profiletest::ProfileConfigFixture;

namespace {

struct SectionCase {
  const char* name;
  bool (CMeldrixDoc::*save)();
  std::string everyKeySet;      // no key at its default, keys in the order they are saved
  std::string everyKeyDefault;  // every key written out at its default
  std::string empty;            // only what keeps the section in its list
  std::string savedDefaults;    // what saving the defaults writes
};

// Sources and outputs are saved whole, defaults included (Source and Id keep
// the section in its list).
const char* const kSourceDefaults =
    "[InSource1]\nName=\nSource=1\nFile=\nRemoveFile=0\nSocketPort=2000\nMailServer=\n"
    "MailUser=\nMailPort=110\nMailPassword=\nMailAuth=PLAIN\nMailSSLMode=1\nMailFields=1\n"
    "Port=0\nBaud=9600\nDataBit=8\nParity=0\nStopBit=1\nMode=1\nProtocol=0\nOutId=0\n";
// The settings at their defaults, split where EndOfMessage goes: a save
// leaves it out at its default but writes all the others.
const std::string kSettingsHead =
    "[Settings]\nAutoActivate=0\nUsedCharset=0\nMoreLineMessages=0\nMultilineTimeout=1000\nFilterEscapes=0\n"
    "RemoveLeadingSpaces=0\nShowInMessages=1\nShowSentMessages=1\nUseLineTimeout=0\nLineTimeout=1000\n";
const std::string kSettingsTail = "MaxMessageLength=250\nMaxPackedLength=160\nReplaceControlChars=0\n";
const char* const kOutputDefaults =
    "[OutDest1]\nName=\nId=1\nDest=1\nFile=\nPort=9\nBaud=9600\nDataBit=8\nParity=0\n"
    "StopBit=1\nMode=1\nFileMode=1\n";

const SectionCase kCases[] = {
    {"Settings", &CMeldrixDoc::SaveSettings,
     "[Settings]\nAutoActivate=1\nUsedCharset=2\nMoreLineMessages=1\nMultilineTimeout=3000\n"
     "FilterEscapes=1\nRemoveLeadingSpaces=1\nShowInMessages=0\nShowSentMessages=0\n"
     "UseLineTimeout=1\nLineTimeout=250\nEndOfMessage=\\r\\n\nCtrlReplaceChar=#\n"
     "MaxMessageLength=80\nMaxPackedLength=500\nReplaceControlChars=1\nPassword=secret\n",
     kSettingsHead + "EndOfMessage=\\n\n" + kSettingsTail, "[Settings]\n",
     kSettingsHead + kSettingsTail},
    {"MailServer", &CMeldrixDoc::SaveMailSettings,
     "[MailServer]\nUseSubject=0\nUseBody=0\nPackBody=1\nIncMailFrom=1\nIncMailTo=1\n"
     "SmtpPort=2526\n",
     "[MailServer]\nUseSubject=1\nUseBody=1\nPackBody=0\nIncMailFrom=0\nIncMailTo=0\nSmtpPort=26\n",
     "[MailServer]\n",
     "[MailServer]\nUseSubject=1\nUseBody=1\nPackBody=0\nIncMailFrom=0\nIncMailTo=0\n"},
    {"InSource", &CMeldrixDoc::SaveInPorts,
     "[InSource1]\nName=\" Door \"\nSource=6\nFile=/in/x.txt\nRemoveFile=1\nSocketPort=4000\nIdleTimeout=30\n"
     "MailServer=mail.example\nMailUser=u\nMailPort=995\nMailPassword=p w\nMailAuth=LOGIN\n"
     "MailSSLMode=2\nMailFields=3\nPort=2\nBaud=19200\nDataBit=7\nParity=2\nStopBit=2\nMode=2\n"
     "Protocol=3\nOutId=4\n",
     kSourceDefaults,
     "[InSource1]\nSource=1\n",
     kSourceDefaults},
    {"OutDest", &CMeldrixDoc::SaveOutPorts,
     "[OutDest1]\nName=Printer\nId=3\nDest=2\nFile=/out/log.txt\nPort=1\nBaud=2400\nDataBit=7\n"
     "Parity=1\nStopBit=2\nMode=0\nFileMode=0\n",
     kOutputDefaults,
     "[OutDest1]\nId=1\n",
     kOutputDefaults},
    {"Message", &CMeldrixDoc::SaveMessages,
     "[Message1]\nName=\" Fire \"\nReceiver=G1,G2\nText=Fire {{$MESSAGE}}\nLeftTrigger=AL?RM\n"
     "CaseSensitive=0\nContinueChecking=1\nPackMessages=1\nActive=0\nMidTrigger1=a\n"
     "MidTrigger2=\"\"b\"\"\nMidTrigger3=\"c \"\n",
     "[Message1]\nName=M\nReceiver=\nText=\nLeftTrigger=\nCaseSensitive=1\nContinueChecking=0\n"
     "PackMessages=0\nActive=1\nMidTrigger1=\nMidTrigger2=\nMidTrigger3=\n",
     "[Message1]\nName=M\n",
     "[Message1]\nName=M\n"},
};

void PrintTo(const SectionCase& c, std::ostream* os) { *os << c.name; }

class ConfigRoundTrip : public ::testing::TestWithParam<SectionCase> {};

TEST_P(ConfigRoundTrip, EveryKeySetIsSavedUnchangedAndDefaultsAsTheDefaults) {
  const SectionCase& c = GetParam();
  for (const auto& [input, expected] : {std::pair{c.everyKeySet, c.everyKeySet},
                                        std::pair{c.everyKeyDefault, c.savedDefaults},
                                        std::pair{c.empty, c.savedDefaults}}) {
    ProfileConfigFixture fx;
    auto doc = fx.Load(input);
    ASSERT_TRUE((*doc.*c.save)());
    EXPECT_EQ(fx.File(), expected) << input;
  }
}

INSTANTIATE_TEST_SUITE_P(Sections, ConfigRoundTrip, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigRoundTrip, CtrlReplaceCharIsReadButNeverWritten) {
  ProfileConfigFixture fx;
  auto doc = fx.Load(kCases[0].everyKeySet);
  EXPECT_EQ(doc->m_CtrlReplaceChar, '#');
  doc->m_CtrlReplaceChar = '!';  // read only: never written
  ASSERT_TRUE(doc->SaveSettings());
  EXPECT_EQ(fx.File(), kCases[0].everyKeySet);
}

}  // namespace
