#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "ExprTestSupport.h"
#include "expr/ExternalReference.h"

namespace meldrix {
namespace {

using test::Eval;

// Records what the store asks of the DDE and OPC layers.
class FakeExternal : public DdeValueAccess, public OpcValueAccess {
 public:
  bool RequestValue(const std::string& s, const std::string& t, const std::string& i,
                    std::string& value) override {
    calls.push_back("req " + s + "|" + t + "|" + i);
    if (s == "bad") return false;
    value = "v:" + i;
    return true;
  }
  bool PokeValue(const std::string& s, const std::string& t, const std::string& i,
                 const std::string& value) override {
    calls.push_back("poke " + s + "|" + t + "|" + i + "=" + value);
    return s != "bad";
  }
  bool ExecuteCommand(const std::string& s, const std::string& t, const std::string& c) override {
    calls.push_back("exec " + s + "|" + t + "|" + c);
    return s != "bad";
  }
  uint32_t LastDdeError() const override { return 0x4009; }
  bool ReadValue(const std::string& server, const std::string& node, const std::string& item,
                 std::string& value) override {
    calls.push_back("read " + server + "@" + node + "::" + item);
    value = "42";
    return server != "bad";
  }
  bool WriteValue(const std::string& server, const std::string& node, const std::string& item,
                  const std::string& value) override {
    calls.push_back("write " + server + "@" + node + "::" + item + "=" + value);
    return server != "bad";
  }
  std::string LastErrorText() const override { return "Unknown:x"; }
  std::vector<std::string> calls;
};

TEST(DataValueStorage, LookupOrderAndEnvironment) {
  CDataValueStorage store(false);
  std::string value;
  EXPECT_FALSE(store.Get("nothing-here", value));
  EXPECT_EQ(value, "");
  ::setenv("MELDRIX_TEST_ENV", "from-env", 1);
  ASSERT_TRUE(store.Get("MELDRIX_TEST_ENV", value));
  EXPECT_EQ(value, "from-env");
  store.Set("MELDRIX_TEST_ENV", "from-map");
  ASSERT_TRUE(store.Get("MELDRIX_TEST_ENV", value));
  EXPECT_EQ(value, "from-map");
  EXPECT_EQ(Eval("PATH", store), std::getenv("PATH"));
  ::unsetenv("MELDRIX_TEST_ENV");
}

TEST(DataValueStorage, RemoveArrayCopyAndErrors) {
  CDataValueStorage store(false);
  store.Set("$MSGFIELD[1]", "a");
  store.Set("$MSGFIELD[2]", "b");
  store.Set("$MSGFIELDX", "keep");
  store.Set("other", "o");
  store.RemoveArray("$MSGFIELD");
  std::string value;
  EXPECT_FALSE(store.Get("$MSGFIELD[1]", value));
  EXPECT_TRUE(store.Get("$MSGFIELDX", value));
  CDataValueStorage copy(false);
  store.CopyTo(copy);
  EXPECT_EQ(copy.Count(), 2u);
  store.SetError("boom");
  EXPECT_EQ(Eval("$ERROR", store), "");  // each evaluation starts without an error
}

TEST(DataValueStorage, ReferenceForms) {
  // Text, then service|topic|item or server|node|item, "-" when it is no reference.
  const std::pair<const char*, const char*> dde[] = {
      {"srv|'my topic'!'item 1'", "srv|my topic|item 1"}, {"\"a|b!c\"", "a|b|c"}, {"a!b|c", "-"},
      {"DDE('srv','top','itm')", "srv|top|itm"}, {"DDE('srv','top')", "-"}, {"DDE('srv','','itm')", "-"}};
  for (const auto& [text, parts] : dde) {
    auto ref = ParseDdeReference(text);
    EXPECT_EQ(ref ? ref->service + "|" + ref->topic + "|" + ref->item : "-", parts) << text;
  }
  const std::pair<const char*, const char*> opc[] = {
      {"OPC('Srv.1','a.b')", "Srv.1||a.b"}, {"\"Srv@host::Chan.Tag\"", "Srv|host|Chan.Tag"}, {"a b::c", "-"},
      {"plain", "-"}};
  for (const auto& [text, parts] : opc) {
    auto ref = ParseOpcReference(text);
    EXPECT_EQ(ref ? ref->server + "|" + ref->node + "|" + ref->item : "-", parts) << text;
  }
}

TEST(DataValueStorage, DdeReadsThroughEveryForm) {
  auto dde = std::make_shared<FakeExternal>();
  CDataValueStorage store(true, dde);
  EXPECT_EQ(Eval("DDE('srv','top','itm')", store), "v:itm");
  EXPECT_EQ(Eval("VAR('DDE($'srv$',$'top$',$'itm$')')", store), "v:itm");
  EXPECT_EQ(Eval("VAR('srv|top!itm')", store), "v:itm");
  ASSERT_EQ(dde->calls.size(), 3u);
  for (const auto& call : dde->calls) EXPECT_EQ(call, "req srv|top|itm");
  // A part left empty fails at once, without a message.
  EXPECT_EQ(Eval("DDE('srv','','itm')", store), "");
  EXPECT_EQ(store.LastError(), "");
  EXPECT_EQ(dde->calls.size(), 3u);
  // A failed read yields "" and tells why in $ERROR; the evaluation succeeds.
  EXPECT_EQ(Eval("DDE('bad','t','i')", store), "");
  EXPECT_EQ(store.LastError(), "Der Wert DDE('bad','t','i') konnte nicht gelesen werden (00004009)");
}

TEST(DataValueStorage, DdeWritesAndExecutes) {
  auto dde = std::make_shared<FakeExternal>();
  CDataValueStorage store(true, dde);
  EXPECT_EQ(Eval("DDE('s','t','i') := 5; DDEEXEC('s','t','[go]')", store), "1");
  EXPECT_EQ(Eval("DDEEXEC('bad','t','[go]')", store), "0");
  EXPECT_EQ(store.LastError(), "Das DDE-Kommando \"bad|t([go])\" konnte nicht ausgef\xFChrt werden (00004009)");
  store.SetRouted("s|t!routed", "x");
  store.SetRouted("$MESSAGE", "text");
  EXPECT_EQ(dde->calls, (std::vector<std::string>{"poke s|t|i=5", "exec s|t|[go]", "exec bad|t|[go]",
                                                  "poke s|t|routed=x"}));
  EXPECT_EQ(Eval("$MESSAGE", store), "text");
  // Skipped branches send nothing.
  EXPECT_EQ(Eval("IF 0 THEN DDE('s','t','i') := 1; DDEEXEC('s','t','c'); x := DDE('s','t','i') END_IF; 1",
                 store),
            "1");
  EXPECT_EQ(dde->calls.size(), 4u);
}

TEST(DataValueStorage, WithoutDdeLayerConnectionsFailWithCodeZero) {
  CDataValueStorage store(true);
  EXPECT_EQ(Eval("DDE('s','t','i')", store), "");
  EXPECT_EQ(store.LastError(), "Der Wert DDE('s','t','i') konnte nicht gelesen werden (00000000)");
  EXPECT_EQ(Eval("OPC('Srv','Tag')", store), "");
  EXPECT_EQ(store.LastError(),
            "Der Wert OPC('Srv','Tag') konnte nicht gelesen werden, Could not load OPC.Automation");
  // Without external references the forms are plain names.
  CDataValueStorage plain(false);
  EXPECT_EQ(Eval("VAR('s|t!i')", plain), "");
  EXPECT_EQ(plain.LastError(), "");
}

TEST(DataValueStorage, OpcReadsAndWrites) {
  auto opc = std::make_shared<FakeExternal>();
  CDataValueStorage store(true, nullptr, opc);
  EXPECT_EQ(Eval("OPC('Srv','Tag') + 1", store), "43");
  EXPECT_EQ(Eval("VAR('Srv@node::Tag')", store), "42");
  EXPECT_EQ(Eval("OPC('bad','Tag') := 'x'", store), "x");
  EXPECT_EQ(store.LastError(), "Der Wert OPC('bad','Tag') konnte nicht gesetzt werden, Unknown:x");
  EXPECT_EQ(opc->calls, (std::vector<std::string>{"read Srv@::Tag", "read Srv@node::Tag",
                                                  "write bad@::Tag=x"}));
}

TEST(DataValueStorage, ConcurrentEvaluations) {
  CDataValueStorage shared(false);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&shared, t] {
      CDataValueStorage own(false);
      const std::string name = "v" + std::to_string(t);
      for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(Eval(name + " := " + std::to_string(i) + "; " + name + " + 1", shared), std::to_string(i + 1));
        shared.SetRouted("$INPORT", "COM" + std::to_string(t));
        // Separate stores share nothing, not even inside the parser or EVAL.
        const std::string expected = std::to_string(t * 1000 + i);
        EXPECT_EQ(Eval("IF 1 THEN v := " + expected + " END_IF; CONCAT(v, EVAL('1'))", own), expected + "1");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::string value;
  EXPECT_TRUE(shared.Get("v3", value));
  EXPECT_EQ(value, "199");
}

}  // namespace
}  // namespace meldrix
