#include "ui/HelpWindow.h"

#include <QFileInfo>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/QtText.h"

// The built-in pages live in a resource file of the ui library; a static
// library must register it by hand.
static void InitHelpResources() { Q_INIT_RESOURCE(MeldrixHelp); }

namespace meldrix {

CHelpWindow::CHelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), browser_(new QTextBrowser(this)) {
  InitHelpResources();
  setWindowTitle(UiText("IDS_HELP_TITLE"));
  browser_->setOpenExternalLinks(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  resize(760, 560);
}

std::string CHelpWindow::IndexPath(const std::string& startingFolder, const std::string& helpIndex) {
  std::string relative = helpIndex;
  std::replace(relative.begin(), relative.end(), '\\', '/');
  if (!relative.empty() && relative.front() == '/') return relative;
  return startingFolder + "/" + relative;
}

bool CHelpWindow::ShowIndex(const std::string& startingFolder, const std::string& helpIndex, int language) {
  const QString path = FromCp1252(IndexPath(startingFolder, helpIndex));
  if (QFileInfo(path).isFile()) {
    browser_->setSource(QUrl::fromLocalFile(path));
    return true;
  }
  browser_->setSource(QUrl(language == 0 ? QStringLiteral("qrc:/help/de/index.html")
                                         : QStringLiteral("qrc:/help/en/index.html")));
  return false;
}

}  // namespace meldrix
