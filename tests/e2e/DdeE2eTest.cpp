// Other programs and Meldrix over DDE, all real processes: meldrix-dde
// executes on "Meldrix|Signal" and reads "Result"; expressions of a message
// read, poke and execute on a meldrix-dde server.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "e2e/DdeToolProcess.h"
#include "e2e/E2eHarness.h"

namespace meldrix::testing {
namespace {

namespace fs = std::filesystem;

std::string SignalConfig(const std::string& active) {
  return "[Settings]\nLanguage=1\nAutoActivate=" + active + "\n[MailServer]\nSmtpPort=0\n"
         "[Message1]\nName=Any\nReceiver=Brigade\nLeftTrigger=\nText={{$MESSAGE}}\n";
}

TEST(DdeE2eTest, SignalTopicTakesMessageIdsAndResultTellsTheOutcome) {
  E2eSetup setup;
  setup.WriteConfig(SignalConfig("1"));
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  ASSERT_TRUE(WaitForDdeService(setup, "Meldrix")) << meldrix.Errors();

  auto ok = RunDdeTool(setup, {"execute", "Meldrix", "Signal", "[MESSAGEID(Fire hall 2)]"});
  EXPECT_EQ(ok.status, 0) << ok.err;
  ASSERT_TRUE(setup.WaitForCommand("|Fire hall 2|")) << meldrix.Output();
  EXPECT_EQ(RunDdeTool(setup, {"request", "Meldrix", "Signal", "Result"}).out, "1\n");

  // A refused command is an error for the caller, and Result falls to 0.
  auto refused = RunDdeTool(setup, {"execute", "Meldrix", "Signal", "hello"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("0x4009"), std::string::npos) << refused.err;
  EXPECT_EQ(RunDdeTool(setup, {"request", "meldrix", "signal", "result"}).out, "0\n");

  // The System topic, asked in Unicode.
  EXPECT_EQ(RunDdeTool(setup, {"--unicode", "request", "Meldrix", "System", "Topics"}).out, "System\tSignal\n");

  // An advise loop on Result hears every change: a refused command sets 0, an
  // accepted one 1. A Unicode command with an umlaut reaches Korvane as UTF-8.
  DdeToolProcess advise(setup.RuntimeFolder() + "/dde", setup.File("advise"),
                        {"advise", "Meldrix", "Signal", "Result"});
  ASSERT_TRUE(WaitUntil([&] {
    RunDdeTool(setup, {"execute", "Meldrix", "Signal", "hello"});
    RunDdeTool(setup, {"--unicode", "execute", "Meldrix", "Signal", "[messageid(T\xC3\xBCr 4)]"});
    return !advise.Output().empty();
  })) << advise.Errors();
  EXPECT_EQ(advise.Stop(), 0);
  std::string changes = advise.Output();
  for (std::size_t i = 0; i < changes.size(); i += 2)
    EXPECT_EQ(changes.substr(i, 2), i % 4 == 0 ? "1\n" : "0\n") << changes;
  EXPECT_TRUE(setup.WaitForCommand("|T\xC3\xBCr 4|"));

  auto unknown = RunDdeTool(setup, {"execute", "Meldrix", "Nope", "[messageid(x)]"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("0x400A"), std::string::npos) << unknown.err;
  EXPECT_EQ(meldrix.Stop(), 0);
}

// Both instances are inactive: an accepted command sends nothing.
TEST(DdeE2eTest, TwoInstancesBothServeAndEachCanBeAddressed) {
  E2eSetup setup;
  setup.WriteConfig(SignalConfig("0"), "A");
  setup.WriteConfig(SignalConfig("0"), "B");
  MeldrixProcess a(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE", "A"}, "a");
  ASSERT_TRUE(WaitForDdeService(setup, "Meldrix")) << a.Errors();
  MeldrixProcess b(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE", "B"}, "b");
  std::string list;
  ASSERT_TRUE(WaitUntil([&] {
    list = RunDdeTool(setup, {"list"}).out;
    return std::count(list.begin(), list.end(), '\n') == 4;  // System and Signal each
  })) << list << b.Errors();

  // The service name alone reaches the first; "Meldrix@pid" each one.
  EXPECT_EQ(RunDdeTool(setup, {"execute", "Meldrix", "Signal", "[messageid(to a)]"}).status, 0);
  std::vector<std::string> results;
  std::istringstream lines(list);
  for (std::string service, pid, topic; lines >> service >> pid >> topic;)
    if (topic == "Signal") results.push_back(RunDdeTool(setup, {"request", "Meldrix@" + pid, "Signal", "Result"}).out);
  EXPECT_EQ(results, (std::vector<std::string>{"1\n", "0\n"}));
  EXPECT_EQ(a.Stop(), 0);
  EXPECT_EQ(b.Stop(), 0);
  EXPECT_TRUE(setup.SentCommands().empty());
}

TEST(DdeE2eTest, ServiceThatCannotRegisterEndsStartUp) {
  E2eSetup setup;
  setup.WriteConfig(SignalConfig("0"));
  fs::create_directories(setup.RuntimeFolder() + "/dde");
  chmod((setup.RuntimeFolder() + "/dde").c_str(), 0777);  // others could write: refused
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  EXPECT_EQ(meldrix.WaitForExit(), 1);
  EXPECT_NE(meldrix.Errors().find("The DDE Connection to Korvane could not be established."),
            std::string::npos)
      << meldrix.Errors();
}

TEST(DdeE2eTest, ExpressionsReadPokeAndExecuteOnAnotherProgram) {
  E2eSetup setup;
  setup.WriteConfig("[Settings]\nAutoActivate=1\n[MailServer]\nSmtpPort=0\n" + setup.DropSource() +
                    "[Message1]\nName=All\nReceiver=R\nLeftTrigger=\n"
                    "Text={{$MESSAGE}} T={{DDE('Plant','Line1','Temp')}}"
                    " V={{VAR('Plant|Line1!Temp')}}"
                    "{{DDE('Plant','Line1','Last') := $MESSAGE; ''}}"
                    " X={{DDEEXEC('Plant','Line1','[ack]')}}"
                    " N={{DDE('Nope','Line1','Temp'); $ERROR}}\n");
  DdeToolProcess plant(setup.RuntimeFolder() + "/dde", setup.File("plant"),
                       {"serve", "Plant", "Line1", "Temp=21.5"});
  ASSERT_TRUE(WaitForDdeService(setup, "Plant"));
  WriteFile(setup.File("in/a.txt"), "alarm\r\n");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  ASSERT_TRUE(setup.WaitForCommand("alarm T=")) << meldrix.Output() << meldrix.Errors() << plant.Errors();
  const std::string sent = setup.SentCommands("alarm T=").at(0);
  EXPECT_NE(sent.find("alarm T=21.5 V=21.5 X=1 N=Der Wert DDE('Nope','Line1','Temp') konnte "
                      "nicht gelesen werden (0000400A)"),
            std::string::npos)
      << sent;
  EXPECT_TRUE(WaitUntil([&] {
    return plant.Output().find("POKE Last=alarm\nEXECUTE [ack]\n") != std::string::npos;
  })) << plant.Output();
  EXPECT_EQ(RunDdeTool(setup, {"request", "Plant", "Line1", "Last"}).out, "alarm\n");
  EXPECT_EQ(meldrix.Stop(), 0);
  EXPECT_EQ(plant.Stop(), 0);
}

}  // namespace
}  // namespace meldrix::testing
