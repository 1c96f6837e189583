#include "ui/SystemInfo.h"

#include <QList>
#include <QSysInfo>
#include <utility>
#include <QtGlobal>

#include "platform/DataFolder.h"
#include "ui/QtText.h"

#ifndef MELDRIX_VERSION
#define MELDRIX_VERSION "unknown"
#endif

namespace meldrix {

QString SystemInformationText(const std::string& configFile) {
  const QList<std::pair<const char*, QString>> rows = {
      {"IDS_SYSINFO_PROGRAM", QString::fromStdString(ExecutablePath())},
      {"IDS_SYSINFO_VERSION", QStringLiteral(MELDRIX_VERSION)},
      {"IDS_SYSINFO_BUILD", QStringLiteral(__DATE__ " " __TIME__)},
      {"IDS_SYSINFO_QT", QString::fromLatin1(qVersion())},
      {"IDS_SYSINFO_OS", QSysInfo::prettyProductName()},
      {"IDS_SYSINFO_KERNEL", QSysInfo::kernelType() + ' ' + QSysInfo::kernelVersion() + ' ' +
                                 QSysInfo::currentCpuArchitecture()},
      {"IDS_SYSINFO_CONFIG", FromCp1252(configFile)},
  };
  QString text;
  for (const auto& [id, value] : rows) text += UiText(id) + ": " + value + '\n';
  return text;
}

}  // namespace meldrix
