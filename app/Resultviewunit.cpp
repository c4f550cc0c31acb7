#include "Resultviewunit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>

namespace {

// Room left of the text and above the first line, as a plain text pane leaves.
constexpr int Margin = 4;

} // namespace

TResultView::TResultView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  UpdateScrollBars();
}

void TResultView::SetText(std::string text, TLineIndex index) {
  Text = std::move(text);
  Index = std::move(index);
  Anchor = Current = -1;
  UpdateScrollBars();
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
  viewport()->update();
}

void TResultView::Clear() { SetText(std::string(), TLineIndex()); }

QString TResultView::toPlainText() const {
  const std::size_t size = Text.empty() ? 0 : Text.size() - 1; // no break after the last line
  return QString::fromLatin1(Text.data(), static_cast<qsizetype>(size));
}

void TResultView::SelectLines(std::int64_t anchor, std::int64_t current) {
  if (LineCount() == 0) return;
  const std::int64_t last = LineCount() - 1;
  anchor = std::clamp<std::int64_t>(anchor, 0, last);
  current = std::clamp<std::int64_t>(current, 0, last);
  const bool moved = current != Current;
  Anchor = anchor;
  Current = current;
  ScrollTo(current);
  viewport()->update();
  if (moved) emit CurrentLineChanged(current);
}

std::string TResultView::SelectedText() const {
  if (Current < 0) return {};
  const std::int64_t first = std::min(Anchor, Current), last = std::max(Anchor, Current);
  return Text.substr(Index.Begin(first), Index.End(last) - Index.Begin(first));
}

void TResultView::Copy() const {
  if (Current < 0) return;
  const std::string text = SelectedText();
  QGuiApplication::clipboard()->setText(
      QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

bool TResultView::Find(std::string_view needle) {
  if (LineCount() == 0) return false;
  const std::int64_t from = Current + 1 < LineCount() ? Current + 1 : 0;
  const std::int64_t found = Index.Find(Text, needle, from);
  if (found < 0) return false;
  SelectLines(found, found);
  return true;
}

std::int64_t TResultView::FirstVisibleLine() const { return verticalScrollBar()->value(); }

int TResultView::VisibleLines() const { return std::max(1, (viewport()->height() - Margin) / LineHeight()); }

int TResultView::LineHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

int TResultView::CharWidth() const { return std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0'))); }

std::int64_t TResultView::LineAtY(int y) const {
  const int row = y < Margin ? -1 : (y - Margin) / LineHeight();
  return FirstVisibleLine() + row;
}

void TResultView::UpdateScrollBars() {
  const int visible = VisibleLines();
  // The bar counts lines; a text of more than INT_MAX lines shows its first INT_MAX.
  const std::int64_t top = std::max<std::int64_t>(0, LineCount() - visible);
  verticalScrollBar()->setRange(0, static_cast<int>(std::min<std::int64_t>(top, INT_MAX)));
  verticalScrollBar()->setPageStep(visible);
  verticalScrollBar()->setSingleStep(1);
  const std::int64_t width = 2 * Margin + static_cast<std::int64_t>(Index.MaxLength()) * CharWidth();
  const std::int64_t spare = std::max<std::int64_t>(0, width - viewport()->width());
  horizontalScrollBar()->setRange(0, static_cast<int>(std::min<std::int64_t>(spare, INT_MAX)));
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setSingleStep(CharWidth());
}

void TResultView::ScrollTo(std::int64_t line) {
  const std::int64_t first = FirstVisibleLine();
  const int visible = VisibleLines();
  if (line < first) {
    verticalScrollBar()->setValue(static_cast<int>(line));
  } else if (line >= first + visible) {
    verticalScrollBar()->setValue(static_cast<int>(line - visible + 1));
  }
}

void TResultView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const int height = LineHeight(), charWidth = CharWidth();
  const int scrolled = horizontalScrollBar()->value();
  // Only the characters in sight are drawn: a line may be very long.
  const std::size_t skip = static_cast<std::size_t>(std::max(0, scrolled - Margin) / charWidth);
  const std::size_t fits = static_cast<std::size_t>(viewport()->width() / charWidth + 2);
  const int ascent = fontMetrics().ascent();
  const std::int64_t selectedFirst = std::min(Anchor, Current), selectedLast = std::max(Anchor, Current);
  const std::int64_t first = FirstVisibleLine();
  for (int row = 0; Margin + row * height < viewport()->height(); ++row) {
    const std::int64_t i = first + row;
    if (i >= LineCount()) break;
    const int y = Margin + row * height;
    const bool selected = Current >= 0 && i >= selectedFirst && i <= selectedLast;
    if (selected) painter.fillRect(0, y, viewport()->width(), height, palette().highlight());
    painter.setPen(selected ? palette().highlightedText().color() : palette().text().color());
    const std::string_view line = Line(i);
    if (skip >= line.size()) continue;
    const std::string_view shown = line.substr(skip, fits);
    painter.drawText(Margin - scrolled + static_cast<int>(skip) * charWidth, y + ascent,
                     QString::fromLatin1(shown.data(), static_cast<qsizetype>(shown.size())));
  }
}

void TResultView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void TResultView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    UpdateScrollBars();
    viewport()->update();
  }
}

void TResultView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    Copy();
    return;
  }
  if (event->matches(QKeySequence::SelectAll)) {
    SelectLines(0, LineCount() - 1);
    return;
  }
  const bool control = event->modifiers() & Qt::ControlModifier;
  const bool extend = event->modifiers() & Qt::ShiftModifier;
  const std::int64_t at = std::max<std::int64_t>(Current, 0);
  std::int64_t to = -1;
  switch (event->key()) {
  case Qt::Key_Up:
    to = Current < 0 ? 0 : at - 1;
    break;
  case Qt::Key_Down:
    to = Current < 0 ? 0 : at + 1;
    break;
  case Qt::Key_PageUp:
    to = at - VisibleLines();
    break;
  case Qt::Key_PageDown:
    to = at + VisibleLines();
    break;
  case Qt::Key_Home:
    if (!control) {
      horizontalScrollBar()->setValue(0);
      return;
    }
    to = 0;
    break;
  case Qt::Key_End:
    if (!control) {
      horizontalScrollBar()->setValue(horizontalScrollBar()->maximum());
      return;
    }
    to = LineCount() - 1;
    break;
  case Qt::Key_Left:
    horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    return;
  case Qt::Key_Right:
    horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    return;
  default:
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  SelectLines(extend && Current >= 0 ? Anchor : to, to);
}

void TResultView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
  const std::int64_t line = std::min(LineAtY(event->position().toPoint().y()), LineCount() - 1);
  if (line < 0) return;
  const bool extend = (event->modifiers() & Qt::ShiftModifier) && Current >= 0;
  SelectLines(extend ? Anchor : line, line);
}

void TResultView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || Current < 0) return;
  // Past the top or bottom edge the selection goes on, one line per move.
  const int y = event->position().toPoint().y();
  const std::int64_t line = y < 0                       ? FirstVisibleLine() - 1
                            : y >= viewport()->height() ? FirstVisibleLine() + VisibleLines()
                                                        : LineAtY(y);
  SelectLines(Anchor, line);
}

void TResultView::scrollContentsBy(int, int) { viewport()->update(); }
