#include "ui/StreamView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "ui/QtText.h"

namespace meldrix {

namespace {

// Courier when the system has it, else its fixed-pitch font; 10 points.
QFont LogFontOf() {
  QFont font("Courier");
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSize(10);
  if (!QFontInfo(font).fixedPitch()) {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(10);
  }
  return font;
}

// The line's bytes as drawn: positions never written (zero bytes) and control
// characters are blanks, so every character keeps its column.
QString DisplayText(const std::string& bytes) {
  std::string shown = bytes;
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
  return FromCp1252(shown);
}

}  // namespace

CStreamView::CStreamView(CStreamDoc& doc, QWidget* parent)
    : QAbstractScrollArea(parent), doc_(doc), font_(LogFontOf()) {
  QFontMetrics metrics(font_);
  lineHeight_ = std::max(1, metrics.height());
  charWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
  ascent_ = metrics.ascent();
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setAutoFillBackground(false);
  setFocusPolicy(Qt::StrongFocus);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
          [this](int value) { follow_ = value >= verticalScrollBar()->maximum(); });
  doc_.AddObserver(this);
  Refresh();
}

CStreamView::~CStreamView() { doc_.RemoveObserver(this); }

void CStreamView::ScheduleRefresh() {
  if (refreshQueued_.exchange(true)) return;
  QMetaObject::invokeMethod(this, [this] { Refresh(); }, Qt::QueuedConnection);
}

void CStreamView::Refresh() {
  refreshQueued_ = false;
  doc_.TakeChanges();
  UpdateScrollBars();
  viewport()->update();
}

int CStreamView::VisibleRows() const { return std::max(1, viewport()->height() / lineHeight_); }

void CStreamView::UpdateScrollBars() {
  const bool follow = follow_;
  QScrollBar* vertical = verticalScrollBar();
  vertical->setRange(0, std::max(0, doc_.LineCount() - VisibleRows()));
  vertical->setPageStep(VisibleRows());
  vertical->setSingleStep(1);
  if (follow) vertical->setValue(vertical->maximum());
  follow_ = follow || vertical->value() >= vertical->maximum();
  QScrollBar* horizontal = horizontalScrollBar();
  const int textWidth = doc_.Width() * charWidth_ + 2 * charWidth_;
  horizontal->setRange(0, std::max(0, textWidth - viewport()->width()));
  horizontal->setPageStep(viewport()->width());
  horizontal->setSingleStep(charWidth_);
}

void CStreamView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

CStreamView::LineColours CStreamView::ColoursOf(std::uint32_t colour, const QColor& window) {
  const QColor rgb(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                   static_cast<int>((colour >> 16) & 0xFF));
  if (colour & CStreamDoc::kInverted) return {window, rgb};
  if (colour & CStreamDoc::kMarked) return {rgb, QColor(255, 255, 0)};
  return {rgb, window};
}

void CStreamView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QColor window = palette().color(QPalette::Base);
  painter.fillRect(viewport()->rect(), window);
  painter.setFont(font_);
  const int firstRow = verticalScrollBar()->value();
  const int left = charWidth_ - horizontalScrollBar()->value();
  const int rows = VisibleRows() + 1;
  const std::uint64_t firstSerial = doc_.FirstSerial();
  Cell from = std::min(anchor_, cursor_), to = std::max(anchor_, cursor_);
  for (int i = 0; i < rows && firstRow + i < doc_.LineCount(); ++i) {
    const StreamLine line = doc_.Line(firstRow + i);
    const LineColours colours = ColoursOf(line.colour, window);
    const int top = i * lineHeight_;
    if (colours.background != window)
      painter.fillRect(QRect(0, top, viewport()->width(), lineHeight_), colours.background);
    const std::uint64_t serial = firstSerial + static_cast<std::uint64_t>(firstRow + i);
    if (hasSelection_ && serial >= from.serial && serial <= to.serial) {
      int start = serial == from.serial ? from.column : 0;
      int end = serial == to.serial ? to.column : doc_.Width();
      painter.fillRect(QRect(left + start * charWidth_, top, (end - start) * charWidth_, lineHeight_),
                       palette().color(QPalette::Highlight));
    }
    painter.setPen(colours.text);
    painter.drawText(left, top + ascent_, DisplayText(line.text));
  }
}

CStreamView::Cell CStreamView::CellAt(const QPoint& point) const {
  int row = verticalScrollBar()->value() + std::max(0, point.y()) / lineHeight_;
  row = std::clamp(row, 0, doc_.LineCount() - 1);
  int x = point.x() + horizontalScrollBar()->value() - charWidth_;
  int column = std::clamp((x + charWidth_ / 2) / charWidth_, 0, doc_.Width());
  return {doc_.FirstSerial() + static_cast<std::uint64_t>(row), column};
}

void CStreamView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  anchor_ = cursor_ = CellAt(event->position().toPoint());
  hasSelection_ = false;
  viewport()->update();
}

void CStreamView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  cursor_ = CellAt(event->position().toPoint());
  hasSelection_ = anchor_.serial != cursor_.serial || anchor_.column != cursor_.column;
  viewport()->update();
}

void CStreamView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    Copy();
    return;
  }
  if (event->matches(QKeySequence::SelectAll)) {
    SelectAll();
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

void CStreamView::SelectAll() {
  anchor_ = {doc_.FirstSerial(), 0};
  cursor_ = {doc_.FirstSerial() + static_cast<std::uint64_t>(doc_.LineCount() - 1), doc_.Width()};
  hasSelection_ = true;
  viewport()->update();
}

QString CStreamView::SelectedText() const {
  if (!hasSelection_) return {};
  Cell from = std::min(anchor_, cursor_), to = std::max(anchor_, cursor_);
  const std::uint64_t firstSerial = doc_.FirstSerial();
  QStringList lines;
  for (std::uint64_t serial = std::max(from.serial, firstSerial); serial <= to.serial; ++serial) {
    const int row = static_cast<int>(serial - firstSerial);
    if (row >= doc_.LineCount()) break;
    QString text = DisplayText(doc_.Line(row).text);
    int start = serial == from.serial ? from.column : 0;
    int end = serial == to.serial ? std::min<int>(to.column, static_cast<int>(text.size()))
                                  : static_cast<int>(text.size());
    lines << (start < end ? text.mid(start, end - start) : QString());
  }
  return lines.join('\n');
}

void CStreamView::Copy() const {
  if (hasSelection_) QApplication::clipboard()->setText(SelectedText());
}

CMeldrixView::CMeldrixView(CStreamDoc& doc, QWidget* parent) : CStreamView(doc, parent) {}

void CMeldrixView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* copy = menu.addAction(UiText("IDS_CMD_COPY"), this, [this] { Copy(); });
  copy->setEnabled(!SelectedText().isEmpty());
  menu.exec(event->globalPos());
}

}  // namespace meldrix
