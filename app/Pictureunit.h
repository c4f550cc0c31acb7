// Pictureunit: what a chosen biclique looks like. TMatrixPicture paints the
// input matrix a cell per square of pixels; TPaneMarks lays bands over the
// chosen rows and columns of the input pane.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "Selectionunit.h"

class QPlainTextEdit;

class TMatrixPicture : public QWidget {
  Q_OBJECT

public:
  explicit TMatrixPicture(QWidget* parent = nullptr);

  // Shows `cells` (rows * columns, row after row), each cell a square of
  // Zoom() pixels. Pre: cells.size() == rows * columns.
  void SetCells(const std::vector<TCell>& cells, int rows, int columns);
  // Shows nothing.
  void Clear();
  // Side of a cell in pixels, at least 1.
  int Zoom() const { return CellSize; }
  void SetZoom(int zoom);
  // The picture one pixel per cell; null when nothing is shown.
  const QImage& Image() const { return Cells; }
  // The picture as shown, Zoom() pixels per cell.
  QImage Shown() const;
  QSize sizeHint() const override;

  // The colour of each kind of cell.
  static QRgb Colour(TCell cell);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QImage Cells;
  int CellSize = 1;
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
