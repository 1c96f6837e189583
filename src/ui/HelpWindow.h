// The help window of the program: shows the page named by "HelpIndex"
// (relative to the starting folder, "\" read as "/"), or the help built into
// the program when that file is not there.
#pragma once

#include <QTextBrowser>
#include <QWidget>
#include <string>

namespace meldrix {

class CHelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit CHelpWindow(QWidget* parent = nullptr);
  // Shows `helpIndex` from `startingFolder`; false when it is missing and the
  // built-in page for `language` (0 German, else English) is shown instead.
  bool ShowIndex(const std::string& startingFolder, const std::string& helpIndex, int language);
  QTextBrowser* Browser() const { return browser_; }

  // The file the setting names.
  static std::string IndexPath(const std::string& startingFolder, const std::string& helpIndex);

 private:
  QTextBrowser* browser_;
};

}  // namespace meldrix
