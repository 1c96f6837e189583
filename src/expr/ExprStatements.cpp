// Statements and the operands that read variables and the outside world.
#include "expr/DataValueStorage.h"
#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/StringStorage.h"
#include "platform/Dio.h"
#include "util/TextHelpers.h"

namespace meldrix {

namespace {
const char kReadOnly[] = "Systemvariablen sind schreibgesch\xFCtzt";  // Windows-1252
}

std::string yy_parse::IndexedName(ExprValue& name, ExprValue& index) {
  std::string base = NameOf(name);
  return base + "[" + TrimWhiteSpace(Take(index)) + "]";
}

void yy_parse::StoreVariable(const std::string& name, ExprValue& v, bool refuseSystem) {
  if (refuseSystem && !name.empty() && name[0] == '$') {
    scanner_.Error(kReadOnly);
    return;
  }
  if (!Active()) return;
  // The result record keeps the value, so a string is read, not consumed.
  ExprValue copy = v;
  std::string text = v.type == kExprString ? strings_.Get(v.sref) : Take(copy);
  store_->Set(name, text);
}

// ---- reads ----

ExprValue yy_parse::ReadIdent(ExprValue name) {
  std::string text = NameOf(name);
  if (!Active()) return MakeInteger(0);
  std::string value;
  store_->Get(text, value);
  return Str(value);
}

ExprValue yy_parse::ReadIndexed(ExprValue name, ExprValue index) {
  std::string text = IndexedName(name, index);
  if (!Active()) return MakeInteger(0);
  std::string value;
  store_->Get(text, value);
  return Str(value);
}

ExprValue yy_parse::ReadVar(ExprValue name) {
  std::string text = Take(name);
  if (!Active()) return MakeInteger(0);
  std::string value;
  store_->Get(text, value);
  return Str(value);
}

ExprValue yy_parse::ReadDin(ExprValue channel) {
  if (!Active()) return MakeInteger(0);
  return MakeInteger(CurrentDio()->GetInput(channel.ival - 1) ? 1 : 0);
}

ExprValue yy_parse::ReadDout(ExprValue channel) {
  if (!Active()) return MakeInteger(0);
  return MakeInteger(CurrentDio()->GetOutput(channel.ival - 1) ? 1 : 0);
}

ExprValue yy_parse::ReadDde(ExprValue service, ExprValue topic, ExprValue item) {
  std::string s = Take(service), t = Take(topic), i = Take(item);
  if (!Active()) return MakeInteger(0);
  std::string value;
  store_->DdeRead(s, t, i, value);  // a failed read gives "" and sets $ERROR
  return Str(value);
}

ExprValue yy_parse::ReadOpc(ExprValue server, ExprValue item) {
  std::string s = Take(server), i = Take(item);
  if (!Active()) return MakeInteger(0);
  std::string value;
  store_->OpcRead(s, i, value);
  return Str(value);
}

// ---- statements ----

void yy_parse::ExpressionStatement(ExprValue v) { SetResult(v); }

void yy_parse::AssignIdent(ExprValue name, ExprValue v) {
  SetResult(v);
  StoreVariable(NameOf(name), v, true);
}

void yy_parse::AssignIndexed(ExprValue name, ExprValue index, ExprValue v) {
  SetResult(v);
  StoreVariable(IndexedName(name, index), v, true);
}

void yy_parse::AssignVar(ExprValue name, ExprValue v) {
  SetResult(v);
  StoreVariable(Take(name), v, false);
}

void yy_parse::AssignDbField(ExprValue name, ExprValue v) {
  SetResult(v);
  StoreVariable("DB_" + Take(name), v, false);
}

void yy_parse::AssignDout(ExprValue channel, ExprValue v) {
  int32_t on = Int(v);
  SetResult(v);
  if (!Active()) return;
  CurrentDio()->SetOutput(channel.ival - 1, on != 0 ? 1 : 0);
}

void yy_parse::AssignAout(ExprValue /*channel*/, ExprValue v) {
  Real(v);  // analog outputs are not wired; the value is only converted
  SetResult(v);
}

void yy_parse::AssignDde(ExprValue service, ExprValue topic, ExprValue item, ExprValue v) {
  std::string s = Take(service), t = Take(topic), i = Take(item);
  Convert(v, kExprString);
  SetResult(v);
  if (!Active()) return;
  store_->DdePoke(s, t, i, strings_.Get(v.sref));
}

void yy_parse::AssignOpc(ExprValue server, ExprValue item, ExprValue v) {
  std::string s = Take(server), i = Take(item);
  Convert(v, kExprString);
  SetResult(v);
  if (!Active()) return;
  store_->OpcWrite(s, i, strings_.Get(v.sref));
}

void yy_parse::DdeExec(ExprValue service, ExprValue topic, ExprValue command) {
  std::string s = Take(service), t = Take(topic), c = Take(command);
  if (!Active()) return;
  SetResult(MakeInteger(store_->DdeExecute(s, t, c) ? 1 : 0));
}

void yy_parse::ClrVar(ExprValue name) {
  std::string text = Take(name);
  if (!Active()) return;
  store_->Remove(text);
  SetResult(MakeInteger(0));
}

}  // namespace meldrix
