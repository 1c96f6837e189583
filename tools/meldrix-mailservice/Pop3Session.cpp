#include "Pop3Session.h"

#include <curl/curl.h>

#include <cstdlib>
#include <map>
#include <sstream>

namespace meldrix::mailservice {

struct Pop3Session::Handle {
  CURL* curl = nullptr;
  ~Handle() {
    if (curl) curl_easy_cleanup(curl);  // ends the session with QUIT
  }
};

namespace {

struct Sink {
  std::string* output;
  std::size_t maxSize;
  bool tooLarge = false;
};

std::size_t Write(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const std::size_t bytes = size * count;
  if (!sink->output) return bytes;
  if (sink->output->size() + bytes > sink->maxSize) {
    sink->tooLarge = true;
    return 0;  // stops the transfer
  }
  sink->output->append(data, bytes);
  return bytes;
}

// Lines "number value" of a listing.
std::map<long, std::string> ListingLines(const std::string& text) {
  std::map<long, std::string> entries;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream fields(line);
    long number = 0;
    std::string value;
    if (fields >> number >> value) entries[number] = value;
  }
  return entries;
}

}  // namespace

Pop3Session::Pop3Session(Pop3Account account) : account_(std::move(account)), handle_(std::make_unique<Handle>()) {
  handle_->curl = curl_easy_init();
}

Pop3Session::~Pop3Session() = default;

std::string Pop3Session::BaseUrl(const Pop3Account& account) {
  const bool implicitTls = account.tls && account.port == 995;
  std::string host = account.server;
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
  return std::string(implicitTls ? "pop3s://" : "pop3://") + host + ":" + std::to_string(account.port) + "/";
}

bool Pop3Session::Perform(const std::string& path, const char* command, bool noBody, std::string* output,
                          std::size_t maxSize, long timeoutMs) {
  CURL* curl = handle_->curl;
  if (!curl) {
    error_ = "libcurl could not be initialised";
    return false;
  }
  Sink sink{output, maxSize};
  const std::string url = BaseUrl(account_) + path;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERNAME, account_.user.c_str());
  curl_easy_setopt(curl, CURLOPT_PASSWORD, account_.password.c_str());
  curl_easy_setopt(curl, CURLOPT_LOGIN_OPTIONS, account_.loginOptions.empty() ? nullptr : account_.loginOptions.c_str());
  curl_easy_setopt(curl, CURLOPT_USE_SSL, account_.tls ? static_cast<long>(CURLUSESSL_ALL) : static_cast<long>(CURLUSESSL_NONE));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(curl, CURLOPT_CAINFO, account_.caFile.empty() ? nullptr : account_.caFile.c_str());
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, account_.connectTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, command);
  curl_easy_setopt(curl, CURLOPT_NOBODY, noBody ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Write);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  const CURLcode result = curl_easy_perform(curl);
  if (result == CURLE_OK) return true;
  // The error texts of libcurl name the server and the step, never the
  // password.
  error_ = sink.tooLarge ? "mail larger than " + std::to_string(maxSize) + " bytes" : curl_easy_strerror(result);
  return false;
}

std::optional<std::vector<Pop3Entry>> Pop3Session::List() {
  constexpr std::size_t kMaxListing = 16u << 20;
  std::string uids, sizes;
  if (!Perform("", "UIDL", false, &uids, kMaxListing, 60000)) return std::nullopt;
  if (!Perform("", nullptr, false, &sizes, kMaxListing, 60000)) return std::nullopt;
  const auto sizeOf = ListingLines(sizes);
  std::vector<Pop3Entry> entries;
  for (const auto& [number, uid] : ListingLines(uids)) {
    Pop3Entry entry{number, uid, 0};
    if (const auto size = sizeOf.find(number); size != sizeOf.end())
      entry.size = static_cast<std::size_t>(std::strtoull(size->second.c_str(), nullptr, 10));
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::optional<std::string> Pop3Session::Retrieve(long number, std::size_t maxSize, long timeoutMs) {
  std::string mail;
  if (!Perform(std::to_string(number), nullptr, false, &mail, maxSize, timeoutMs)) return std::nullopt;
  return mail;
}

bool Pop3Session::Delete(long number) {
  return Perform(std::to_string(number), "DELE", true, nullptr, 0, 60000);
}

}  // namespace meldrix::mailservice
