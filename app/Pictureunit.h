// Pictureunit: what a chosen biclique looks like. TMatrixPicture paints the
// input matrix a cell per square of pixels, with its rows and columns
// labelled; TPictureLegend says what each colour means; TPaneMarks lays
// bands over the chosen rows and columns of the input pane.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "Selectionunit.h"

class QPlainTextEdit;

class TMatrixPicture : public QWidget {
  Q_OBJECT

public:
  explicit TMatrixPicture(QWidget* parent = nullptr);

  // Shows `cells` (rows * columns, row after row), each cell a square of
  // Zoom() pixels, and the labels of the rows and columns in the order
  // drawn, left of and above the cells (as many as fit). Pre: cells.size()
  // == rows * columns; each label list empty or one per row (column).
  void SetCells(const std::vector<TCell>& cells, int rows, int columns, std::vector<std::string> rowLabels,
                std::vector<std::string> columnLabels);
  // Shows nothing.
  void Clear();
  // Side of a cell in pixels, at least 1.
  int Zoom() const { return CellSize; }
  void SetZoom(int zoom);
  // The largest zoom at which cells fit into `room` beside the labels,
  // between 1 and `largest`.
  int FittingZoom(QSize room, int largest) const;
  // The picture one pixel per cell; null when nothing is shown.
  const QImage& Image() const { return Cells; }
  // The labels of the rows and columns, in the order drawn.
  const std::vector<std::string>& RowLabels() const { return RowTexts; }
  const std::vector<std::string>& ColumnLabels() const { return ColumnTexts; }
  // Where the cell drawn in row `row` and column `column` (counting from 0)
  // lies in the picture drawn at `zoom`.
  QRect CellRect(int row, int column, int zoom) const;
  // The zoom for export: cells of at least the shown size, and larger while
  // the picture stays within 8192 pixels a side, up to 32.
  int ExportZoom() const;
  // The whole picture at `zoom`, labels and legend included, for a file;
  // null when nothing is shown.
  QImage Render(int zoom) const;
  QSize sizeHint() const override;

  // The colour of each kind of cell.
  static QRgb Colour(TCell cell);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QImage Cells;
  int CellSize = 1;
  std::vector<std::string> RowTexts, ColumnTexts;
  int LabelRoom = 0; // pixels left of the cells for row labels, and above for column labels

  QSize PictureSize(int zoom) const;
  void Paint(QPainter& painter, int zoom) const;
  void Changed();
};

// The key to the picture's colours.
class TPictureLegend : public QWidget {
  Q_OBJECT

public:
  explicit TPictureLegend(QWidget* parent = nullptr);
  QSize sizeHint() const override;
  // Paints the key into `room` with `painter`'s font.
  static void Paint(QPainter& painter, const QRect& room);
  // Height of the key in `font`.
  static int Height(const QFont& font);

protected:
  void paintEvent(QPaintEvent* event) override;
};

// Bands over rows and columns of a plain text pane whose lines are matrix
// rows, one character per column. Lies on the pane above its viewport and
// lets the mouse through.
class TPaneMarks : public QWidget {
  Q_OBJECT

public:
  explicit TPaneMarks(QPlainTextEdit* pane);
  // Marks rows and columns (numbers counting from 1); empty lists clear.
  void Mark(std::vector<std::int32_t> rows, std::vector<std::int32_t> columns);
  const std::vector<std::int32_t>& Rows() const { return MarkedRows; }
  const std::vector<std::int32_t>& Columns() const { return MarkedColumns; }

  static QColor Band();

protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QPlainTextEdit* Pane;
  QWidget* Viewport; // the pane's
  std::vector<std::int32_t> MarkedRows, MarkedColumns;
  std::vector<char> RowMarked; // by row number - 1
};
