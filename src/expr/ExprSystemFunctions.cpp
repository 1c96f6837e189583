// The system functions: FILETEXT, INILOOKUP, INIWRITE, EXECUTE, MESSAGEBOX,
// QIMPULSE, DBFIELD and the database and network functions that take no
// action. Side effects happen only while evaluating with the skip flag clear;
// otherwise each function yields its fixed "skipped" value.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "expr/DataValueStorage.h"
#include "expr/ExprFileNames.h"
#include "expr/ExprParser.h"
#include "expr/StringStorage.h"
#include "platform/Cp1252.h"
#include "platform/Dio.h"
#include "platform/Spawn.h"
#include "platform/UserInterface.h"

namespace meldrix {

namespace {

constexpr size_t kFileTextLimit = 0x40000;
constexpr int kFtNoCrLf = 1;
constexpr int kFtAllLines = 2;

// Reads at most kFileTextLimit bytes; 0 or the system error number. Only
// regular files are read: a FIFO or a terminal would block the whole program
// and opening a device may act on it (a serial line raises DTR), so those are
// refused before they are opened, and again after, should the name have
// changed in between.
int ReadFileStart(const std::string& path, std::string& text, bool& cut) {
  if (path.find('\0') != std::string::npos) return ENOENT;
  auto notRegular = [](const struct stat& st) { return S_ISDIR(st.st_mode) ? EISDIR : EINVAL; };
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return notRegular(st);
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno;
  const int statError = ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : notRegular(st);
  if (statError != 0) {
    ::close(fd);
    return statError;
  }
  text.assign(kFileTextLimit, '\0');
  size_t used = 0;
  int error = 0;
  while (used < kFileTextLimit) {
    ssize_t got = ::read(fd, text.data() + used, kFileTextLimit - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    if (got == 0) break;
    used += static_cast<size_t>(got);
  }
  // Something is left beyond the limit.
  char more;
  cut = used == kFileTextLimit && ::read(fd, &more, 1) == 1;
  ::close(fd);
  text.resize(used);
  return error;
}

// Lines end with CR LF, and on this system also with a lone LF.
std::string ApplyFileTextMode(const std::string& text, int mode) {
  if (mode == kFtAllLines) return text;
  if (mode == kFtNoCrLf) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        out += ' ';
        ++i;
      } else if (text[i] == '\n') {
        out += ' ';
      } else {
        out += text[i];
      }
    }
    return out;
  }
  size_t end = text.find('\n');
  if (end == std::string::npos) return text;
  if (end > 0 && text[end - 1] == '\r') --end;
  return text.substr(0, end);
}

}  // namespace

ExprValue yy_parse::FileText(ExprValue file) { return FileText(file, MakeInteger(0)); }

ExprValue yy_parse::FileText(ExprValue file, ExprValue mode) {
  std::string path = Take(file);
  int32_t how = Int(mode);
  if (!Active()) return Str("");
  const std::string name = ExprFileSystemName(path);
  std::string marks;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    std::string text;
    bool cut = false;
    int error = ReadFileStart(name, text, cut);
    if (error == 0) return Str(ApplyFileTextMode(FileTextToCp1252(std::move(text), cut), how));
    marks += "[#" + std::to_string(error) + "]";
    if (attempt < 3) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return Str(marks + "?" + marks + ":" + path + "?");
}

ExprValue yy_parse::Execute(ExprValue command) { return Execute(command, MakeInteger(5)); }

ExprValue yy_parse::Execute(ExprValue command, ExprValue show) {
  std::string line = Take(command);
  Int(show);  // there are no windows to show; the child simply runs
  if (!Active()) return MakeInteger(0);
  return MakeInteger(SpawnDetached(Cp1252ToUtf8(line)));
}

ExprValue yy_parse::MessageBox(ExprValue text, ExprValue style) {
  std::string message = Take(text);
  int32_t bits = Int(style);
  if (!Active()) return MakeInteger(0);
  return MakeInteger(
      CurrentUserInterface()->MessageBox(message, kApplicationName, static_cast<unsigned>(bits)));
}

ExprValue yy_parse::QImpulse(ExprValue channel, ExprValue time) {
  int32_t t = Int(time);
  if (!Active()) return MakeInteger(0);
  auto dio = CurrentDio();
  int index = channel.ival - 1;
  int state = dio->GetOutput(index) ? 1 : 0;
  int64_t duration = int64_t{t} * 100;
  int on = duration >= 0 ? 1 : 0;
  if (duration < 0) duration = -duration;
  if (duration > INT32_MAX) duration = INT32_MAX;
  dio->SetOutputImpulse(index, on, static_cast<int>(duration));
  return MakeInteger(state);
}

ExprValue yy_parse::DbField(ExprValue name) {
  std::string field = "DB_" + Take(name);
  if (!Active()) return MakeInteger(0);
  std::string value;
  store_->Get(field, value);
  return Str(value);
}

ExprValue yy_parse::NoAction(std::vector<ExprValue> args, bool stringResult, int intArgument,
                             bool zeroWhenSkipped) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (static_cast<int>(i) == intArgument)
      Int(args[i]);
    else
      Take(args[i]);
  }
  if (!stringResult || (zeroWhenSkipped && !Active())) return MakeInteger(0);
  return Str("");
}

}  // namespace meldrix
