// Resultviewunit: TResultView, the read-only result pane. It shows one text
// of any number of lines by painting only the lines in sight, over a line
// index; selection is by whole lines. The text is shared, not copied, with
// whatever holds on to it: the clipboard after Copy, a RUN that frees it.
#pragma once

#include <QAbstractScrollArea>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Labelsunit.h"
#include "Lineindexunit.h"

class TResultView : public QAbstractScrollArea {
  Q_OBJECT

public:
  // A text with its index, as the view holds it.
  struct TContent {
    std::shared_ptr<const std::string> Text; // null for no text
    TLineIndex Index;
  };

  explicit TResultView(QWidget* parent = nullptr);

  // Shows `text`, lines each followed by "\n" as in a result file, indexed
  // by `index` (made from that text, perhaps on another thread); takes both.
  // Selects nothing and scrolls to the top.
  void SetText(std::string text, TLineIndex index);
  // The same for a shared text.
  void SetContent(TContent content);
  // Hands the text over and shows nothing.
  TContent TakeContent();
  // Shows nothing and lets go of the text.
  void Clear();

  // The labels the lines may be shown with; null for none. With labels and
  // ShowLabels, every line is shown, copied and searched with its positions
  // replaced by labels (LabelledLine).
  void SetLabels(std::shared_ptr<const TVertexLabels> labels);
  const std::shared_ptr<const TVertexLabels>& Labels() const { return LineLabels; }
  void SetShowLabels(bool show);
  bool LabelsShown() const { return ShowLabels && LineLabels; }

  // The text as a file holds it: every line followed by "\n".
  const std::string& FileText() const { return Content.Text ? *Content.Text : NoText; }
  const std::shared_ptr<const std::string>& SharedText() const { return Content.Text; }
  // The text as the pane shows it: the lines joined by "\n".
  QString toPlainText() const;
  std::int64_t LineCount() const { return Content.Index.Count(); }
  // Line i without its break, with positions. Pre: 0 <= i < LineCount().
  std::string_view Line(std::int64_t i) const { return Content.Index.Line(FileText(), i); }
  // Line i as shown: with labels when they are shown.
  std::string ShownLine(std::int64_t i) const;

  // The selection: every line from the anchor to the current line, both
  // included; -1 for both when nothing is selected.
  std::int64_t AnchorLine() const { return Anchor; }
  std::int64_t CurrentLine() const { return Current; }
  // Selects the lines from `anchor` to `current` (each clamped to the
  // lines), scrolls the current line into sight and, when it changed, says
  // CurrentLineChanged. Nothing happens when there are no lines.
  void SelectLines(std::int64_t anchor, std::int64_t current);
  // The selected lines as shown, joined by "\n"; empty when nothing is selected.
  std::string SelectedText() const;
  // Puts the selected lines on the clipboard, when something is selected.
  // The clipboard shares the text and makes the characters only when they
  // are pasted, so that copying millions of lines costs neither time nor
  // memory.
  void Copy() const;
  // Selects the first line after the current one (going on from the top)
  // that holds `needle` as `mode` says, as the line is shown; false,
  // selection kept, when none does.
  bool Find(std::string_view needle, TFindMode mode = TFindMode::Numbers);

  // The first line in sight, and how many lines fit wholly.
  std::int64_t FirstVisibleLine() const;
  int VisibleLines() const;

signals:
  void CurrentLineChanged(qint64 line);

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

private:
  static const std::string NoText;
  TContent Content;
  std::shared_ptr<const TVertexLabels> LineLabels;
  bool ShowLabels = true;
  std::size_t WidestShown = 0; // characters of the widest labelled line painted so far
  std::int64_t Anchor = -1;
  std::int64_t Current = -1;

  int LineHeight() const;
  int CharWidth() const;
  std::int64_t LineAtY(int y) const;
  void UpdateScrollBars();
  void ScrollTo(std::int64_t line);
};
