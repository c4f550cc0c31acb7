// Resultviewunit: TResultView, the read-only result pane. It shows one text
// of any number of lines by painting only the lines in sight, over a line
// index; selection is by whole lines.
#pragma once

#include <QAbstractScrollArea>
#include <cstdint>
#include <string>
#include <string_view>

#include "Lineindexunit.h"

class TResultView : public QAbstractScrollArea {
  Q_OBJECT

public:
  explicit TResultView(QWidget* parent = nullptr);

  // Shows `text`, lines each followed by "\n" as in a result file, indexed
  // by `index` (made from that text, perhaps on another thread); takes both.
  // Selects nothing and scrolls to the top.
  void SetText(std::string text, TLineIndex index);
  // Shows nothing and frees the text.
  void Clear();

  // The text as a file holds it: every line followed by "\n".
  const std::string& FileText() const { return Text; }
  // The text as a pane shows it: the lines joined by "\n".
  QString toPlainText() const;
  std::int64_t LineCount() const { return Index.Count(); }
  // Line i without its break. Pre: 0 <= i < LineCount().
  std::string_view Line(std::int64_t i) const { return Index.Line(Text, i); }

  // The selection: every line from the anchor to the current line, both
  // included; -1 for both when nothing is selected.
  std::int64_t AnchorLine() const { return Anchor; }
  std::int64_t CurrentLine() const { return Current; }
  // Selects the lines from `anchor` to `current` (each clamped to the
  // lines), scrolls the current line into sight and, when it changed, says
  // CurrentLineChanged. Nothing happens when there are no lines.
  void SelectLines(std::int64_t anchor, std::int64_t current);
  // The selected lines joined by "\n"; empty when nothing is selected.
  std::string SelectedText() const;
  // Puts SelectedText on the clipboard, when something is selected.
  void Copy() const;
  // Selects the first line after the current one (going on from the top)
  // that holds `needle`; false, selection kept, when none does.
  bool Find(std::string_view needle);

  // The first line in sight, and how many lines fit wholly.
  std::int64_t FirstVisibleLine() const;
  int VisibleLines() const;

signals:
  void CurrentLineChanged(qint64 line);

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

private:
  std::string Text;
  TLineIndex Index;
  std::int64_t Anchor = -1;
  std::int64_t Current = -1;

  int LineHeight() const;
  int CharWidth() const;
  std::int64_t LineAtY(int y) const;
  void UpdateScrollBars();
  void ScrollTo(std::int64_t line);
};
