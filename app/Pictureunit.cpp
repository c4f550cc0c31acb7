#include "Pictureunit.h"

#include <QEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <algorithm>

TMatrixPicture::TMatrixPicture(QWidget* parent) : QWidget(parent) {}

QRgb TMatrixPicture::Colour(TCell cell) {
  switch (cell) {
  case TCell::Zero:
    return qRgb(255, 255, 255);
  case TCell::One:
    return qRgb(48, 48, 48);
  case TCell::MarkedZero:
    return qRgb(214, 228, 255);
  case TCell::MarkedOne:
    return qRgb(40, 70, 150);
  case TCell::Chosen:
    return qRgb(220, 40, 30);
  }
  return qRgb(255, 0, 255);
}

void TMatrixPicture::SetCells(const std::vector<TCell>& cells, int rows, int columns) {
  if (rows <= 0 || columns <= 0) return Clear();
  // One byte per cell in, one byte per pixel out: an indexed image is a copy of the rows.
  QImage image(columns, rows, QImage::Format_Indexed8);
  QList<QRgb> table;
  for (const TCell cell : {TCell::Zero, TCell::One, TCell::MarkedZero, TCell::MarkedOne, TCell::Chosen})
    table.push_back(Colour(cell));
  image.setColorTable(table);
  for (int row = 0; row < rows; ++row)
    std::copy_n(reinterpret_cast<const uchar*>(cells.data()) + static_cast<std::size_t>(row) * columns,
                columns, image.scanLine(row));
  Cells = std::move(image);
  updateGeometry();
  adjustSize();
  update();
}

void TMatrixPicture::Clear() {
  Cells = QImage();
  updateGeometry();
  adjustSize();
  update();
}

void TMatrixPicture::SetZoom(int zoom) {
  CellSize = std::max(1, zoom);
  updateGeometry();
  adjustSize();
  update();
}

QImage TMatrixPicture::Shown() const {
  if (Cells.isNull()) return {};
  return Cells.scaled(Cells.size() * CellSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QSize TMatrixPicture::sizeHint() const { return Cells.isNull() ? QSize(0, 0) : Cells.size() * CellSize; }

void TMatrixPicture::paintEvent(QPaintEvent*) {
  if (Cells.isNull()) return;
  QPainter painter(this);
  painter.drawImage(QRect(QPoint(0, 0), Cells.size() * CellSize), Cells);
}

TPaneMarks::TPaneMarks(QPlainTextEdit* pane) : QWidget(pane), Pane(pane), Viewport(pane->viewport()) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  // A child of the pane, not of its viewport: the viewport moves its
  // children when it scrolls.
  setGeometry(pane->viewport()->geometry());
  pane->viewport()->installEventFilter(this);
  connect(pane->verticalScrollBar(), &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
  connect(pane->horizontalScrollBar(), &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
  connect(pane, &QPlainTextEdit::textChanged, this, [this] { Mark({}, {}); });
  hide();
}

QColor TPaneMarks::Band() { return QColor(255, 170, 0, 90); }

void TPaneMarks::Mark(std::vector<std::int32_t> rows, std::vector<std::int32_t> columns) {
  MarkedRows = std::move(rows);
  MarkedColumns = std::move(columns);
  RowMarked.assign(MarkedRows.empty()
                       ? 0
                       : static_cast<std::size_t>(*std::max_element(MarkedRows.begin(), MarkedRows.end())),
                   0);
  for (const std::int32_t row : MarkedRows)
    if (row >= 1) RowMarked[static_cast<std::size_t>(row - 1)] = 1;
  setVisible(!MarkedRows.empty() || !MarkedColumns.empty());
  raise();
  update();
}

bool TPaneMarks::eventFilter(QObject* watched, QEvent* event) {
  // The viewport sends events while the pane is being destroyed, when the
  // pane no longer answers as a pane; only the viewport is asked here.
  if (watched == Viewport && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
    setGeometry(Viewport->geometry());
  return false;
}

void TPaneMarks::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor band = Band();
  // Lines are fixed pitch and unwrapped: column c of a line starts c
  // character widths right of the line's start.
  const qreal charWidth = QFontMetricsF(Pane->font()).horizontalAdvance(QLatin1Char('0'));
  QTextBlock block = Pane->cursorForPosition(QPoint(0, 0)).block();
  for (; block.isValid(); block = block.next()) {
    const QRect start = Pane->cursorRect(QTextCursor(block));
    if (start.top() > height()) break;
    const auto row = static_cast<std::size_t>(block.blockNumber());
    if (row < RowMarked.size() && RowMarked[row])
      painter.fillRect(0, start.top(), width(), start.height(), band);
    for (const std::int32_t column : MarkedColumns)
      painter.fillRect(
          QRectF(start.left() + (column - 1) * charWidth, start.top(), charWidth, start.height()), band);
  }
}
