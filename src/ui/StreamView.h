// The log window: draws the log store's lines, each in its colour, in a
// fixed-pitch font. It follows the newest line unless the user has scrolled
// up; text selected with the mouse can be copied to the clipboard.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <atomic>
#include <cstdint>

#include "util/StreamDoc.h"

namespace meldrix {

class CStreamView : public QAbstractScrollArea, public CStreamObserver {
  Q_OBJECT

 public:
  explicit CStreamView(CStreamDoc& doc, QWidget* parent = nullptr);
  ~CStreamView() override;

  // Store observer: called with the store locked, from any thread; the
  // redraw is queued to the window's thread.
  void LineCompleted(const StreamLine&) override {}
  void Cleared() override { ScheduleRefresh(); }
  void Changed() override { ScheduleRefresh(); }

  // Text colour and background of a line colour (bits 31 and 30 and the
  // RGB value 0x00BBGGRR); `window` is the view's background.
  struct LineColours {
    QColor text;
    QColor background;
  };
  static LineColours ColoursOf(std::uint32_t colour, const QColor& window);

  QString SelectedText() const;
  void SelectAll();
  void Copy() const;
  // Brings the newest line into view now, instead of at the next redraw.
  void Refresh();
  bool FollowsNewest() const { return follow_; }
  int LineHeight() const { return lineHeight_; }
  const QFont& LogFont() const { return font_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // A position in the log that survives old lines leaving the store.
  struct Cell {
    std::uint64_t serial = 0;
    int column = 0;
    bool operator<(const Cell& other) const {
      return serial != other.serial ? serial < other.serial : column < other.column;
    }
  };

  void ScheduleRefresh();
  void UpdateScrollBars();
  Cell CellAt(const QPoint& point) const;
  int VisibleRows() const;

  CStreamDoc& doc_;
  QFont font_;
  int lineHeight_ = 1;
  int charWidth_ = 1;
  int ascent_ = 0;
  bool follow_ = true;
  bool hasSelection_ = false;
  Cell anchor_, cursor_;
  std::atomic<bool> refreshQueued_{false};
};

// The main window's view of the engine document's log.
class CMeldrixView : public CStreamView {
  Q_OBJECT

 public:
  explicit CMeldrixView(CStreamDoc& doc, QWidget* parent = nullptr);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
};

}  // namespace meldrix
