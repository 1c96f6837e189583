// The general setup: every key of the sections "Settings" and "MailServer",
// the Korvane endpoint and the trace server.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QSpinBox>
#include <string>

namespace meldrix {

class CMeldrixDoc;

// The values the dialog edits; the document's members plus two keys that
// only the file holds.
struct GeneralSetup {
  bool autoActivate = false;
  int usedCharset = 0, moreLineMessages = 0, filterEscapes = 0, removeLeadingSpaces = 0;
  long multilineTimeout = 1000;
  int showInMessages = 1, showSentMessages = 1, useLineTimeout = 0;
  long lineTimeout = 1000;
  std::string endOfMessage = "\\n";
  char ctrlReplaceChar = '~';
  long maxMessageLength = 250, maxPackedLength = 160;
  int replaceControlChars = 0;
  int useSubject = 1, useBody = 1, packBody = 0, incMailFrom = 0, incMailTo = 0, smtpPort = 26;
  std::string korvaneEndpoint;
  std::string traceServer;
  bool operator==(const GeneralSetup&) const = default;
};

GeneralSetup ReadGeneralSetup(CMeldrixDoc& doc);
// Puts the values into the document and saves "Settings", "MailServer",
// "Korvane" and "TRAX" (a default endpoint or trace server removes its key).
bool WriteGeneralSetup(CMeldrixDoc& doc, const GeneralSetup& values);

class CGeneralSetupDialog : public QDialog {
  Q_OBJECT

 public:
  CGeneralSetupDialog(GeneralSetup values, QWidget* parent = nullptr);
  const GeneralSetup& Values() const { return values_; }
  void accept() override;

 private:
  void Store();

  GeneralSetup values_;
  QCheckBox *autoActivate_, *moreLines_, *filterEscapes_, *removeSpaces_, *showIn_, *showSent_, *useLineTimeout_,
      *replaceControl_, *useSubject_, *useBody_, *packBody_, *incFrom_, *incTo_;
  QComboBox *charset_, *endOfMessage_;
  QSpinBox *multilineSeconds_, *lineTimeout_, *maxLength_, *maxPacked_, *smtpPort_;
  QLineEdit *endpoint_, *traceServer_;
};

}  // namespace meldrix
