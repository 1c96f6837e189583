// Where registered DDE services listen: one Unix socket per service and
// process, "<folder>/<service>@<pid>.sock", in a folder only the user can
// enter.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace meldrix {

// $MELDRIX_DDE_DIR, else $XDG_RUNTIME_DIR/dde, else /tmp/dde-<uid>.
std::string DdeRuntimeFolderPath();

// Creates the folder with mode 0700 when missing. An existing folder that is
// not a directory, belongs to another user or is writable by others is
// refused: `error` then says why and the result is empty.
std::optional<std::string> PrepareDdeRuntimeFolder(std::string& error);

struct DdeSocketEntry {
  std::string service;
  int pid = 0;
  std::string path;
};

// The sockets of the folder whose service equals `service` ignoring ASCII
// case (every socket when `service` is empty), oldest registration first.
// "Name@pid" names the socket of one process. Sockets whose process is gone
// are removed on sight.
std::vector<DdeSocketEntry> FindDdeSockets(const std::string& folder, const std::string& service);

// "Name@1234" -> ("Name", 1234); any other text -> (text, 0).
std::pair<std::string, int> SplitServiceAddress(const std::string& service);

}  // namespace meldrix
