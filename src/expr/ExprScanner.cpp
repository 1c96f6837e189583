#include "expr/ExprScanner.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "expr/ExprNumbers.h"
#include "expr/ExprTokens.h"
#include "expr/StringStorage.h"
#include "expr/ExprDateTime.h"
#include "platform/UserInterface.h"

namespace meldrix {

namespace {

// Automaton states. Each state stands for the set of patterns still possible.
enum class St {
  Dead, Start, LParen, CommentOpen, Star, Pow, Lt, Gt, Le, Ne, Ge, Char, Amp, Colon, Assign,
  Ws, Quote, Invalid, Id, Dollar, D, DT, DTH, DTN, DTNO, DTNOW, DTD1, DTA1, DTD2, DTA2, DTD3,
  DTA3, DTD4, DTC1, DTD5, DTC2, DTD6, Int1, Int16, Int2, Int8, Int, BinH, Bin, OctH, Oct, HexH,
  Hex, RealDot, Dot, RealFrac, ExpE, ExpSign, ExpD, Pct, PI, PIA, PIX, PID, PIAD, PQ, PQA, PQX,
  PQD, PQAD
};

// What a state accepts (the first pattern in priority order).
enum class Acc {
  None, Char, Ge, Le, Ne, Pow, And, Assign, Integer, Bin, Oct, Hex, Real, DtLong, DtShort,
  DtNow, Quote, Ident, Din, Ain, Dout, Aout, Comment, Ws, Invalid
};

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsHex(int c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int HexValue(int c) { return IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

// Letters of identifiers: ASCII letters and the Windows-1252 letters.
bool IsLetter(int c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == 0xB5 ||
         (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || c >= 0xF8;
}
bool IsIdStart(int c) { return IsLetter(c) || c == '_'; }
bool IsIdChar(int c) { return IsIdStart(c) || IsDigit(c); }

St StartState(int c) {
  switch (c) {
    case '(': return St::LParen;
    case '*': return St::Star;
    case '<': return St::Lt;
    case '>': return St::Gt;
    case ')': case '+': case ',': case '-': case '/': case ';': case '=': case '[': case ']':
      return St::Char;
    case '&': return St::Amp;
    case ':': return St::Colon;
    case '\r': case '\n': case ' ': case '\t': return St::Ws;
    case '\'': return St::Quote;
    case '$': return St::Dollar;
    case 'D': return St::D;
    case '1': return St::Int1;
    case '2': return St::Int2;
    case '8': return St::Int8;
    case '.': return St::Dot;
    case '%': return St::Pct;
    default: break;
  }
  if (IsDigit(c)) return St::Int;
  if (IsIdStart(c)) return St::Id;
  return St::Invalid;
}

St IdStep(int c) { return IsIdChar(c) ? St::Id : St::Dead; }

St NumberStep(int c) {
  if (IsDigit(c)) return St::Int;
  if (c == '.') return St::RealDot;
  return St::Dead;
}

St DigitsThen(int c, St self, char next, St nextState) {
  if (IsDigit(c)) return self;
  if (c == next) return nextState;
  return St::Dead;
}

St Step(St s, int c) {
  switch (s) {
    case St::Start: return StartState(c);
    case St::LParen: return c == '*' ? St::CommentOpen : St::Dead;
    case St::Star: return c == '*' ? St::Pow : St::Dead;
    case St::Lt: return c == '=' ? St::Le : c == '>' ? St::Ne : St::Dead;
    case St::Gt: return c == '=' ? St::Ge : St::Dead;
    case St::Colon: return c == '=' ? St::Assign : St::Dead;
    case St::Id: return IdStep(c);
    case St::Dollar: return IsIdStart(c) ? St::Id : St::Dead;
    case St::D: return c == 'T' ? St::DT : IdStep(c);
    case St::DT: return c == '#' ? St::DTH : IdStep(c);
    case St::DTH: return IsDigit(c) ? St::DTD1 : c == 'N' ? St::DTN : St::Dead;
    case St::DTN: return c == 'O' ? St::DTNO : St::Dead;
    case St::DTNO: return c == 'W' ? St::DTNOW : St::Dead;
    case St::DTD1: return DigitsThen(c, St::DTD1, '-', St::DTA1);
    case St::DTA1: return IsDigit(c) ? St::DTD2 : St::Dead;
    case St::DTD2: return DigitsThen(c, St::DTD2, '-', St::DTA2);
    case St::DTA2: return IsDigit(c) ? St::DTD3 : St::Dead;
    case St::DTD3: return DigitsThen(c, St::DTD3, '-', St::DTA3);
    case St::DTA3: return IsDigit(c) ? St::DTD4 : St::Dead;
    case St::DTD4: return DigitsThen(c, St::DTD4, ':', St::DTC1);
    case St::DTC1: return IsDigit(c) ? St::DTD5 : St::Dead;
    case St::DTD5: return DigitsThen(c, St::DTD5, ':', St::DTC2);
    case St::DTC2: return IsDigit(c) ? St::DTD6 : St::Dead;
    case St::DTD6: return IsDigit(c) ? St::DTD6 : St::Dead;
    case St::Int1: return c == '6' ? St::Int16 : NumberStep(c);
    case St::Int2: return c == '#' ? St::BinH : NumberStep(c);
    case St::Int8: return c == '#' ? St::OctH : NumberStep(c);
    case St::Int16: return c == '#' ? St::HexH : NumberStep(c);
    case St::Int: return NumberStep(c);
    case St::BinH: case St::Bin: return (c == '0' || c == '1') ? St::Bin : St::Dead;
    case St::OctH: case St::Oct: return (c >= '0' && c <= '7') ? St::Oct : St::Dead;
    case St::HexH: case St::Hex: return IsHex(c) ? St::Hex : St::Dead;
    case St::RealDot: return IsDigit(c) ? St::RealFrac : (c == 'e' || c == 'E') ? St::ExpE : St::Dead;
    case St::Dot: return IsDigit(c) ? St::RealFrac : St::Dead;
    case St::RealFrac: return IsDigit(c) ? St::RealFrac : (c == 'e' || c == 'E') ? St::ExpE : St::Dead;
    case St::ExpE: return IsDigit(c) ? St::ExpD : (c == '+' || c == '-') ? St::ExpSign : St::Dead;
    case St::ExpSign: case St::ExpD: return IsDigit(c) ? St::ExpD : St::Dead;
    case St::Pct: return c == 'I' ? St::PI : c == 'Q' ? St::PQ : St::Dead;
    case St::PI: return c == 'A' ? St::PIA : c == 'X' ? St::PIX : IsDigit(c) ? St::PID : St::Dead;
    case St::PIX: case St::PID: return IsDigit(c) ? St::PID : St::Dead;
    case St::PIA: case St::PIAD: return IsDigit(c) ? St::PIAD : St::Dead;
    case St::PQ: return c == 'A' ? St::PQA : c == 'X' ? St::PQX : IsDigit(c) ? St::PQD : St::Dead;
    case St::PQX: case St::PQD: return IsDigit(c) ? St::PQD : St::Dead;
    case St::PQA: case St::PQAD: return IsDigit(c) ? St::PQAD : St::Dead;
    default: return St::Dead;  // states without transitions
  }
}

// States from which no byte leads on: the automaton stops without reading.
bool IsFinal(St s) {
  switch (s) {
    case St::CommentOpen: case St::Pow: case St::Le: case St::Ne: case St::Ge: case St::Char:
    case St::Amp: case St::Assign: case St::Ws: case St::Quote: case St::Invalid: case St::DTNOW:
      return true;
    default: return false;
  }
}

Acc Accepts(St s) {
  switch (s) {
    case St::LParen: case St::Star: case St::Lt: case St::Gt: case St::Char: return Acc::Char;
    case St::CommentOpen: return Acc::Comment;
    case St::Pow: return Acc::Pow;
    case St::Le: return Acc::Le;
    case St::Ne: return Acc::Ne;
    case St::Ge: return Acc::Ge;
    case St::Amp: return Acc::And;
    case St::Assign: return Acc::Assign;
    case St::Ws: return Acc::Ws;
    case St::Quote: return Acc::Quote;
    case St::Colon: case St::Dollar: case St::Dot: case St::Pct: case St::Invalid:
      return Acc::Invalid;
    case St::Id: case St::D: case St::DT: return Acc::Ident;
    case St::DTNOW: return Acc::DtNow;
    case St::DTD1: return Acc::DtShort;
    case St::DTD6: return Acc::DtLong;
    case St::Int1: case St::Int2: case St::Int8: case St::Int16: case St::Int: return Acc::Integer;
    case St::Bin: return Acc::Bin;
    case St::Oct: return Acc::Oct;
    case St::Hex: return Acc::Hex;
    case St::RealDot: case St::RealFrac: case St::ExpD: return Acc::Real;
    case St::PID: return Acc::Din;
    case St::PIAD: return Acc::Ain;
    case St::PQD: return Acc::Dout;
    case St::PQAD: return Acc::Aout;
    default: return Acc::None;
  }
}

struct KeywordEntry {
  int token;           // 0 for constants
  int32_t integer;     // constant value
  const char* string;  // string constant, or nullptr
};

const std::unordered_map<std::string_view, KeywordEntry>& KeywordTable() {
  static const std::unordered_map<std::string_view, KeywordEntry> table = {
      {"CLRVAR", {TOK_CLRVAR, 0, nullptr}}, {"VAR", {TOK_VAR, 0, nullptr}},
      {"EVAL", {TOK_EVAL, 0, nullptr}}, {"MOD", {TOK_MOD, 0, nullptr}},
      {"NOT", {TOK_NOT, 0, nullptr}}, {"AND", {TOK_AND, 0, nullptr}},
      {"OR", {TOK_OR, 0, nullptr}}, {"XOR", {TOK_XOR, 0, nullptr}},
      {"LEN", {TOK_LEN, 0, nullptr}}, {"LEFT", {TOK_LEFT, 0, nullptr}},
      {"RIGHT", {TOK_RIGHT, 0, nullptr}}, {"CONCAT", {TOK_CONCAT, 0, nullptr}},
      {"FIND", {TOK_FIND, 0, nullptr}}, {"MID", {TOK_MID, 0, nullptr}},
      {"FORMAT", {TOK_FORMAT, 0, nullptr}}, {"GETCSV", {TOK_GETCSV, 0, nullptr}},
      {"REPLACE", {TOK_REPLACE, 0, nullptr}}, {"REPLACEALL", {TOK_REPLACEALL, 0, nullptr}},
      {"REGEXP", {TOK_REGEXP, 0, nullptr}}, {"SEL", {TOK_SEL, 0, nullptr}},
      {"INILOOKUP", {TOK_INILOOKUP, 0, nullptr}}, {"INIWRITE", {TOK_INIWRITE, 0, nullptr}},
      {"QIMPULSE", {TOK_QIMPULSE, 0, nullptr}}, {"SHL", {TOK_SHL, 0, nullptr}},
      {"SHR", {TOK_SHR, 0, nullptr}}, {"DBLOOKUP", {TOK_DBLOOKUP, 0, nullptr}},
      {"DBFIELD", {TOK_DBFIELD, 0, nullptr}}, {"DBREAD", {TOK_DBREAD, 0, nullptr}},
      {"DBWRITE", {TOK_DBWRITE, 0, nullptr}}, {"DBUPDATE", {TOK_DBUPDATE, 0, nullptr}},
      {"DBEXEC", {TOK_DBEXEC, 0, nullptr}}, {"DBCOUNT", {TOK_DBCOUNT, 0, nullptr}},
      {"DBTABLE", {TOK_DBTABLE, 0, nullptr}}, {"DBXML", {TOK_DBXML, 0, nullptr}},
      {"EXECUTE", {TOK_EXECUTE, 0, nullptr}}, {"IF", {TOK_IF, 0, nullptr}},
      {"THEN", {TOK_THEN, 0, nullptr}}, {"ELSIF", {TOK_ELSIF, 0, nullptr}},
      {"ELSE", {TOK_ELSE, 0, nullptr}}, {"END_IF", {TOK_END_IF, 0, nullptr}},
      {"DDE", {TOK_DDE, 0, nullptr}}, {"DDEEXEC", {TOK_DDEEXEC, 0, nullptr}},
      {"OPC", {TOK_OPC, 0, nullptr}}, {"SNMP", {TOK_SNMP, 0, nullptr}},
      {"PING", {TOK_PING, 0, nullptr}}, {"WAKEONLAN", {TOK_WAKEONLAN, 0, nullptr}},
      {"UPPERCASE", {TOK_UPPERCASE, 0, nullptr}}, {"LOWERCASE", {TOK_LOWERCASE, 0, nullptr}},
      {"MESSAGEBOX", {TOK_MESSAGEBOX, 0, nullptr}}, {"FILETEXT", {TOK_FILETEXT, 0, nullptr}},
      {"MIB2", {0, 0, ".iso.org.dod.internet.mgmt.mib-2."}},
      {"FT_FirstLine", {0, 0, nullptr}}, {"FT_NoCrLf", {0, 1, nullptr}},
      {"FT_AllLines", {0, 2, nullptr}}, {"TRUE", {0, 1, nullptr}}, {"FALSE", {0, 0, nullptr}},
  };
  return table;
}

}  // namespace

yy_scan::yy_scan(size_t capacity) : capacity_(capacity) {}

void yy_scan::Init(CDataValueStorage* store, CStringStorage* strings, std::string_view text,
                   bool checkMode) {
  store_ = store;
  strings_ = strings;
  text_ = text;
  checkMode_ = checkMode;
  pos_ = 0;
  readIndex_ = 0;
  lastReadConsumed_ = false;
  line_ = 1;
  consumed_ = 0;
  errorSeen_ = false;
  errorPosition_ = -1;
  errorText_.clear();
  aborted_ = false;
}

int yy_scan::ReadByte() {
  if (pos_ >= text_.size()) {
    lastReadConsumed_ = false;
    return -1;
  }
  int c = static_cast<unsigned char>(text_[pos_++]);
  readIndex_ = std::max(readIndex_, pos_);
  lastReadConsumed_ = true;
  ++consumed_;
  if (c == '\n') ++line_;
  return c;
}

// Only a byte that was really taken goes back; a read at the end took nothing.
void yy_scan::PutBack() {
  if (!lastReadConsumed_ || pos_ == 0) return;
  --pos_;
  if (readIndex_ > 0) --readIndex_;
  --consumed_;
  if (text_[pos_] == '\n') --line_;
  lastReadConsumed_ = false;
}

int yy_scan::Peek(size_t position) {
  if (position >= text_.size()) return -1;
  readIndex_ = std::max(readIndex_, position + 1);
  return static_cast<unsigned char>(text_[position]);
}

void yy_scan::Consume(std::string_view token) {
  pos_ += token.size();
  consumed_ += token.size();
  line_ += static_cast<int>(std::count(token.begin(), token.end(), '\n'));
}

void yy_scan::Error(const std::string& text) {
  if (errorSeen_) return;
  errorSeen_ = true;
  errorText_ = text;
  errorPosition_ = static_cast<int>(std::min<size_t>(readIndex_, 0x7FFFFFFF));
  if (checkMode_) CurrentUserInterface()->MessageBox(text, kApplicationName, kMbIconError);
}

void yy_scan::Overflow() {
  Error("Token buffer overflow");
  aborted_ = true;
}

int yy_scan::NextToken(ExprValue& value) {
  if (aborted_) return kAbort;
  value = ExprValue();
  return Scan(value);
}

int yy_scan::Scan(ExprValue& value) {
  for (;;) {
    const size_t start = pos_;
    St state = St::Start;
    size_t length = 0;
    Acc accepted = Acc::None;
    size_t acceptedLength = 0;
    while (state == St::Start || !IsFinal(state)) {
      int c = Peek(start + length);
      if (c < 0) break;
      St next = Step(state, c);
      if (next == St::Dead) break;
      state = next;
      ++length;
      if (length + 1 > capacity_) {  // no room for the token and its terminator
        Overflow();
        return kAbort;
      }
      Acc a = Accepts(state);
      if (a != Acc::None) {
        accepted = a;
        acceptedLength = length;
      }
    }
    if (start >= text_.size()) {
      EndOfInput();  // no further input: the text is all there is
      return 0;
    }
    if (accepted == Acc::None) {  // cannot happen: every single byte is a token
      NoMatch(Peek(start));
      ++pos_;
      continue;
    }
    std::string_view token = text_.substr(start, acceptedLength);
    Consume(token);
    switch (accepted) {
      case Acc::Char: return static_cast<unsigned char>(token[0]);
      case Acc::Ge: return TOK_GE;
      case Acc::Le: return TOK_LE;
      case Acc::Ne: return TOK_NE;
      case Acc::Pow: return TOK_POW;
      case Acc::And: return TOK_AND;
      case Acc::Assign: return TOK_ASSIGN;
      case Acc::Integer:
        value = MakeInteger(TextToInteger(token));
        return TOK_INTEGER;
      case Acc::Bin:
        value = MakeInteger(DigitsToInteger(token.substr(2), 2));
        return TOK_INTEGER;
      case Acc::Oct:
        value = MakeInteger(DigitsToInteger(token.substr(2), 8));
        return TOK_INTEGER;
      case Acc::Hex:
        value = MakeInteger(DigitsToInteger(token.substr(3), 16));
        return TOK_INTEGER;
      case Acc::Real:
        value = MakeReal(TextToReal(token));
        return TOK_REAL;
      case Acc::DtLong:
      case Acc::DtShort:
        return StringToken(token, value);
      case Acc::DtNow:
        return StringToken(CurrentDtLiteral(), value);
      case Acc::Quote:
        return ScanString(value);
      case Acc::Ident:
        return Keyword(std::string(token), value);
      case Acc::Din:
      case Acc::Dout:
      case Acc::Ain:
      case Acc::Aout: {
        size_t digits = token.find_first_of("0123456789");
        value = MakeInteger(DigitsToInteger(token.substr(digits), 10));
        return accepted == Acc::Din ? TOK_DIN
               : accepted == Acc::Ain ? TOK_AIN
               : accepted == Acc::Dout ? TOK_DOUT
                                       : TOK_AOUT;
      }
      case Acc::Comment:
        ScanComment();
        continue;
      case Acc::Ws:
        continue;
      case Acc::Invalid: {
        unsigned char c = static_cast<unsigned char>(token[0]);
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02X", c);
        // "Ungültiges Zeichen" in Windows-1252.
        Error(std::string("Ung\xFCltiges Zeichen '") + static_cast<char>(c) + "'=" + hex + "H");
        continue;
      }
      case Acc::None:
        break;
    }
  }
}

int yy_scan::StringToken(std::string_view text, ExprValue& value) {
  value.type = kExprString;
  value.sref = strings_ ? strings_->Store(text) : 0;
  return TOK_STRING;
}

int yy_scan::Keyword(const std::string& name, ExprValue& value) {
  const auto& table = KeywordTable();
  auto it = table.find(name);
  if (it == table.end()) {
    value.type = kExprString;
    value.sref = strings_ ? strings_->Store(name) : 0;
    return TOK_IDENT;
  }
  const KeywordEntry& entry = it->second;
  if (entry.token != 0) return entry.token;
  if (entry.string) return StringToken(entry.string, value);
  value = MakeInteger(entry.integer);
  return TOK_INTEGER;
}

int yy_scan::ScanString(ExprValue& value) {
  static const char kUnterminated[] = "Der Ausdruck endet innerhalb eines Strings";
  std::string text;
  for (;;) {
    int c = ReadByte();
    if (c < 0 || c == '\r' || c == '\n') {
      Error(kUnterminated);
      PutBack();
      break;
    }
    if (c == '\'') break;
    if (c == '$') {
      int e = ReadByte();
      if (e < 0) {
        Error(kUnterminated);
        break;
      }
      switch (e) {
        case '\n': break;  // the string goes on in the next line
        case 'a': text += '\a'; break;
        case 'b': text += '\b'; break;
        case 'f': case 'p': case 'P': text += '\f'; break;
        case 'n': case 'N': text += '\n'; break;
        case 'l': case 'L': case 'r': case 'R': text += '\r'; break;
        case 't': text += '\t'; break;
        case 'v': text += '\v'; break;
        case 'x': {
          int byte = 0, digits = 0;
          while (digits < 2) {
            int h = ReadByte();
            if (h < 0 || !IsHex(h)) {
              PutBack();
              break;
            }
            byte = byte * 16 + HexValue(h);
            ++digits;
          }
          text += digits == 0 ? 'x' : static_cast<char>(byte);
          break;
        }
        case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
          int byte = e - '0';
          for (int digits = 1; digits < 4; ++digits) {
            int o = ReadByte();
            if (o < '0' || o > '7') {
              PutBack();
              break;
            }
            byte = byte * 8 + (o - '0');
          }
          text += static_cast<char>(byte & 0xFF);
          break;
        }
        default: text += static_cast<char>(e); break;
      }
    } else {
      text += static_cast<char>(c);
    }
    if (text.size() + 1 > capacity_) {
      Overflow();
      return kAbort;
    }
  }
  return StringToken(text, value);
}

void yy_scan::ScanComment() {
  bool star = false;
  for (;;) {
    int c = ReadByte();
    // 0xFF ends a comment like the end of the text, as it always has.
    if (c < 0 || c == 0xFF) {
      Error("Der Ausdruck endet innerhalb eines Kommentars");
      return;
    }
    if (star && c == ')') return;
    star = c == '*';
  }
}

}  // namespace meldrix
