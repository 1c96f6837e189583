// A configuration file in a temporary folder and a document reading it.
#pragma once

#include <memory>
#include <string>

#include "engine/MeldrixDoc.h"
#include "platform/PrivateProfileTempFolder.h"

namespace meldrix::profiletest {

struct ProfileConfigFixture {
  ProfileTempFolder folder;
  ConfigPaths paths{folder.Path(), folder.File("meldrix.cfg"), ""};

  std::unique_ptr<CMeldrixDoc> Load(const std::string& content) {
    ProfileTempFolder::Write(paths.configFile, content);
    return LoadAgain();
  }
  std::unique_ptr<CMeldrixDoc> LoadAgain() {
    auto doc = std::make_unique<CMeldrixDoc>(paths);
    doc->LoadConfiguration();
    return doc;
  }
  std::string File() const { return ProfileTempFolder::Read(paths.configFile); }
};

}  // namespace meldrix::profiletest
