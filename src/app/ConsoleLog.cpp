#include "app/ConsoleLog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstdio>

#include <array>
#include <limits>
#include <utility>

#include "platform/Cp1252.h"

namespace meldrix {
namespace {

struct PaletteEntry {
  uint8_t r, g, b;
  int code;  // SGR foreground code; background is code + 10
};

// The sixteen standard colours as Windows draws them.
constexpr std::array<PaletteEntry, 16> kPalette{{
    {0, 0, 0, 30},       {128, 0, 0, 31},     {0, 128, 0, 32},     {128, 128, 0, 33},
    {0, 0, 128, 34},     {128, 0, 128, 35},   {0, 128, 128, 36},   {192, 192, 192, 37},
    {128, 128, 128, 90}, {255, 0, 0, 91},     {0, 255, 0, 92},     {255, 255, 0, 93},
    {0, 0, 255, 94},     {255, 0, 255, 95},   {0, 255, 255, 96},   {255, 255, 255, 97},
}};
constexpr int kYellowBackground = 103;
constexpr int kBlack = 30;

int NearestColourCode(uint32_t rgb) {
  const int r = static_cast<int>(rgb & 0xFF);
  const int g = static_cast<int>((rgb >> 8) & 0xFF);
  const int b = static_cast<int>((rgb >> 16) & 0xFF);
  int best = kBlack;
  long bestDistance = std::numeric_limits<long>::max();
  for (const PaletteEntry& p : kPalette) {
    const long dr = r - p.r, dg = g - p.g, db = b - p.b;
    const long distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = p.code;
    }
  }
  return best;
}

// Bytes that Windows-1252 leaves undefined; as UTF-8 they would be C1
// controls, which some terminals obey.
bool IsUndefinedCp1252(unsigned char c) {
  return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == 0) {
      out += ' ';
    } else if (c < 0x20 || c == 0x7F) {
      out += '^';
      out += static_cast<char>(c ^ 0x40);
    } else if (IsUndefinedCp1252(c)) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "<";
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
      out += ">";
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace

CConsoleLog::CConsoleLog(std::ostream& out, bool colours, std::function<void()> onFailure)
    : out_(out), colours_(colours), onFailure_(std::move(onFailure)) {}

bool CConsoleLog::IsTerminal(int fd) { return isatty(fd) == 1; }

bool CConsoleLog::IsJournal(int fd) {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  unsigned long long device = 0, inode = 0;
  if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
  struct stat info{};
  if (::fstat(fd, &info) != 0) return false;
  // Redirected output (meldrix > file under a service) is no longer the journal.
  return static_cast<unsigned long long>(info.st_dev) == device &&
         static_cast<unsigned long long>(info.st_ino) == inode;
}

void CConsoleLog::UseJournalPriorities(std::string sentPrefix) {
  journal_ = true;
  colours_ = false;
  sentPrefix_ = std::move(sentPrefix);
}

int CConsoleLog::JournalPriority(const StreamLine& line, const std::string& sentPrefix) {
  constexpr int kErr = 3, kNotice = 5, kInfo = 6;
  constexpr uint32_t kRed = 0x0000FF;  // 0x00BBGGRR
  const uint32_t rgb = line.colour & CStreamDoc::kRgbMask;
  const bool highlighted = (line.colour & (CStreamDoc::kInverted | CStreamDoc::kMarked)) != 0;
  if (rgb == kRed && !highlighted && !sentPrefix.empty() && line.text.rfind(sentPrefix, 0) == 0)
    return kNotice;
  if (rgb == kRed || highlighted) return kErr;
  return kInfo;
}

std::string CConsoleLog::AnsiStyle(uint32_t colour) {
  const uint32_t rgb = colour & CStreamDoc::kRgbMask;
  // Colour 0 is the log's default colour: the terminal's own foreground.
  if (colour & CStreamDoc::kInverted) {
    // Reverse video: the colour becomes the background, the text takes the
    // terminal's background colour.
    if (rgb == 0) return "\x1b[7m";
    return "\x1b[" + std::to_string(NearestColourCode(rgb)) + ";7m";
  }
  if (colour & CStreamDoc::kMarked) {
    const int fg = rgb == 0 ? kBlack : NearestColourCode(rgb);
    return "\x1b[" + std::to_string(fg) + ";" + std::to_string(kYellowBackground) + "m";
  }
  if (rgb == 0) return {};
  return "\x1b[" + std::to_string(NearestColourCode(rgb)) + "m";
}

std::string CConsoleLog::Render(const StreamLine& line, bool colours) {
  std::string text = Cp1252ToUtf8(Printable(line.text));
  if (!colours) return text;
  const std::string style = AnsiStyle(line.colour);
  if (style.empty()) return text;
  return style + text + "\x1b[0m";
}

void CConsoleLog::LineCompleted(const StreamLine& line) {
  if (failed_) return;
  if (journal_) out_ << '<' << JournalPriority(line, sentPrefix_) << '>';
  out_ << Render(line, colours_) << '\n';
  out_.flush();
  if (out_) return;
  failed_ = true;
  if (onFailure_) onFailure_();
}

void CConsoleLog::FlushPartialLine(const CStreamDoc& doc) {
  const StreamLine line = doc.Line(doc.CurrentRow());
  if (line.text.empty()) return;
  LineCompleted(line);
}

}  // namespace meldrix
