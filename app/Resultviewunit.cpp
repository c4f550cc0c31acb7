#include "Resultviewunit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>

namespace {

// Room left of the text and above the first line, as a plain text pane leaves.
constexpr int Margin = 4;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Lines of a shared text for the clipboard: the bytes [Begin, End), their
// positions replaced by labels when there are labels. The characters are
// made only when something asks for them.
class TLinesMimeData : public QMimeData {
public:
  TLinesMimeData(std::shared_ptr<const std::string> text, std::size_t begin, std::size_t end,
                 std::shared_ptr<const TVertexLabels> labels)
      : Text(std::move(text)), Begin(begin), End(end), Labels(std::move(labels)) {}

  QStringList formats() const override { return {PlainText(), Utf8Text()}; }

protected:
  QVariant retrieveData(const QString& mimeType, QMetaType type) const override {
    if (mimeType != PlainText() && mimeType != Utf8Text()) return {};
    const QByteArray bytes = Bytes();
    if (type.id() == QMetaType::QString) return QString::fromUtf8(bytes);
    return bytes;
  }

private:
  std::shared_ptr<const std::string> Text;
  std::size_t Begin, End;
  std::shared_ptr<const TVertexLabels> Labels;

  static QString PlainText() { return QStringLiteral("text/plain"); }
  static QString Utf8Text() { return QStringLiteral("text/plain;charset=utf-8"); }

  QByteArray Bytes() const {
    const std::string_view lines = std::string_view(*Text).substr(Begin, End - Begin);
    if (!Labels) return QByteArray(lines.data(), static_cast<qsizetype>(lines.size()));
    QByteArray bytes;
    std::size_t at = 0;
    while (true) {
      const std::size_t end = std::min(lines.find('\n', at), lines.size());
      const std::string line = LabelledLine(lines.substr(at, end - at), *Labels);
      bytes.append(line.data(), static_cast<qsizetype>(line.size()));
      if (end == lines.size()) return bytes;
      bytes.append('\n');
      at = end + 1;
    }
  }
};

} // namespace

const std::string TResultView::NoText;

TResultView::TResultView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  UpdateScrollBars();
}

void TResultView::SetText(std::string text, TLineIndex index) {
  SetContent({std::make_shared<const std::string>(std::move(text)), std::move(index)});
}

void TResultView::SetContent(TContent content) {
  Content = std::move(content);
  WidestShown = 0;
  Anchor = Current = -1;
  UpdateScrollBars();
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
  viewport()->update();
}

TResultView::TContent TResultView::TakeContent() {
  TContent taken = std::move(Content);
  Clear();
  return taken;
}

void TResultView::Clear() { SetContent({}); }

void TResultView::SetLabels(std::shared_ptr<const TVertexLabels> labels) {
  LineLabels = labels && !labels->Empty() ? std::move(labels) : nullptr;
  WidestShown = 0;
  UpdateScrollBars();
  viewport()->update();
}

void TResultView::SetShowLabels(bool show) {
  ShowLabels = show;
  WidestShown = 0;
  UpdateScrollBars();
  viewport()->update();
}

QString TResultView::toPlainText() const {
  const std::string& text = FileText();
  const std::size_t size = text.empty() ? 0 : text.size() - 1; // no break after the last line
  if (!LabelsShown()) return QString::fromLatin1(text.data(), static_cast<qsizetype>(size));
  QStringList lines;
  for (std::int64_t i = 0; i < LineCount(); ++i)
    lines.push_back(FromUtf8(ShownLine(i)));
  return lines.join(QLatin1Char('\n'));
}

std::string TResultView::ShownLine(std::int64_t i) const {
  return LabelsShown() ? LabelledLine(Line(i), *LineLabels) : std::string(Line(i));
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
  if (!LabelsShown())
    return FileText().substr(Content.Index.Begin(first),
                             Content.Index.End(last) - Content.Index.Begin(first));
  std::string text;
  for (std::int64_t i = first; i <= last; ++i) {
    if (i > first) text += '\n';
    text += ShownLine(i);
  }
  return text;
}

void TResultView::Copy() const {
  if (Current < 0) return;
  const std::int64_t first = std::min(Anchor, Current), last = std::max(Anchor, Current);
  QGuiApplication::clipboard()->setMimeData(new TLinesMimeData(Content.Text, Content.Index.Begin(first),
                                                               Content.Index.End(last),
                                                               LabelsShown() ? LineLabels : nullptr));
}

bool TResultView::Find(std::string_view needle, TFindMode mode) {
  if (LineCount() == 0) return false;
  const std::int64_t from = Current + 1 < LineCount() ? Current + 1 : 0;
  std::int64_t found = -1;
  if (!LabelsShown()) {
    found = Content.Index.Find(FileText(), needle, from, mode);
  } else {
    for (std::int64_t step = 0; step < LineCount() && found < 0; ++step) {
      const std::int64_t line = (from + step) % LineCount();
      if (LineMatches(ShownLine(line), needle, mode)) found = line;
    }
  }
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
  // Labelled lines are as wide as the widest painted so far: measuring all
  // of millions would take long.
  const std::size_t longest =
      LabelsShown() ? std::max(WidestShown, Content.Index.MaxLength()) : Content.Index.MaxLength();
  const std::int64_t width = 2 * Margin + static_cast<std::int64_t>(longest) * CharWidth();
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
  const std::size_t widest = WidestShown;
  for (int row = 0; Margin + row * height < viewport()->height(); ++row) {
    const std::int64_t i = first + row;
    if (i >= LineCount()) break;
    const int y = Margin + row * height;
    const bool selected = Current >= 0 && i >= selectedFirst && i <= selectedLast;
    if (selected) painter.fillRect(0, y, viewport()->width(), height, palette().highlight());
    painter.setPen(selected ? palette().highlightedText().color() : palette().text().color());
    const std::string labelled = LabelsShown() ? ShownLine(i) : std::string();
    const std::string_view line = LabelsShown() ? std::string_view(labelled) : Line(i);
    WidestShown = std::max(WidestShown, line.size());
    if (skip >= line.size()) continue;
    const std::string_view shown = line.substr(skip, fits);
    painter.drawText(Margin - scrolled + static_cast<int>(skip) * charWidth, y + ascent, FromUtf8(shown));
  }
  if (hasFocus()) {
    // The focus mark: a frame round the pane, and a dotted frame round the
    // current line (the top line before any is chosen). Both stand apart
    // from the selection's colour, so that they show on it too.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(palette().highlight().color().darker(150), 2));
    painter.drawRect(viewport()->rect().adjusted(1, 1, -1, -1));
    const std::int64_t row = Current < 0 ? 0 : Current - first;
    if (row >= 0 && row <= VisibleLines()) {
      const bool selected = Current >= 0 && row + first >= selectedFirst && row + first <= selectedLast;
      painter.setPen(
          QPen(selected ? palette().highlightedText().color() : palette().text().color(), 1, Qt::DotLine));
      painter.drawRect(
          QRect(3, Margin + static_cast<int>(row) * height, viewport()->width() - 7, height - 1));
    }
  }
  if (WidestShown != widest) UpdateScrollBars();
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

void TResultView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void TResultView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
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
