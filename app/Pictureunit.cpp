#include "Pictureunit.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <algorithm>
#include <optional>

namespace {

// Labels are drawn in this pixel size, and cut to this width.
constexpr int LabelPixels = 9;
constexpr int WidestLabel = 80;
// Room between the labels and the cells.
constexpr int LabelGap = 4;

QFont LabelFont(const QFont& base) {
  QFont font = base;
  font.setPixelSize(LabelPixels);
  return font;
}

QString Shown(const std::string& label) {
  return QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size()));
}

// Every how many rows (columns) a label fits at `zoom` pixels per cell.
int LabelStep(int zoom, int lineHeight) { return std::max(1, (lineHeight + zoom - 1) / zoom); }

struct TKeyEntry {
  TCell First;
  std::optional<TCell> Second;
  const char* Text;
};

const TKeyEntry KeyEntries[] = {
    {TCell::One, std::nullopt, "edge"},
    {TCell::Zero, std::nullopt, "no edge"},
    {TCell::MarkedOne, TCell::MarkedZero, "in a chosen row or column"},
    {TCell::Chosen, std::nullopt, "the chosen biclique"},
};

} // namespace

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

void TMatrixPicture::SetCells(const std::vector<TCell>& cells, int rows, int columns,
                              std::vector<std::string> rowLabels, std::vector<std::string> columnLabels) {
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
  RowTexts = std::move(rowLabels);
  ColumnTexts = std::move(columnLabels);
  const QFontMetrics metrics(LabelFont(font()));
  int widest = 0;
  for (const auto* labels : {&RowTexts, &ColumnTexts})
    for (const std::string& label : *labels)
      widest = std::max(widest, std::min(WidestLabel, metrics.horizontalAdvance(Shown(label))));
  LabelRoom = widest == 0 ? 0 : widest + 2 + LabelGap;
  Changed();
}

void TMatrixPicture::Clear() {
  Cells = QImage();
  RowTexts.clear();
  ColumnTexts.clear();
  LabelRoom = 0;
  Changed();
}

void TMatrixPicture::SetZoom(int zoom) {
  CellSize = std::max(1, zoom);
  Changed();
}

void TMatrixPicture::Changed() {
  updateGeometry();
  adjustSize();
  update();
}

int TMatrixPicture::FittingZoom(QSize room, int largest) const {
  if (Cells.isNull()) return 1;
  const int fits =
      std::min((room.width() - LabelRoom) / Cells.width(), (room.height() - LabelRoom) / Cells.height());
  return std::clamp(fits, 1, largest);
}

QRect TMatrixPicture::CellRect(int row, int column, int zoom) const {
  return {LabelRoom + column * zoom, LabelRoom + row * zoom, zoom, zoom};
}

int TMatrixPicture::ExportZoom() const {
  if (Cells.isNull()) return CellSize;
  return std::max(CellSize, std::min(32, 8192 / std::max(Cells.width(), Cells.height())));
}

QSize TMatrixPicture::PictureSize(int zoom) const {
  if (Cells.isNull()) return {0, 0};
  return Cells.size() * zoom + QSize(LabelRoom, LabelRoom);
}

QSize TMatrixPicture::sizeHint() const { return PictureSize(CellSize); }

QImage TMatrixPicture::Render(int zoom) const {
  if (Cells.isNull()) return {};
  const QSize picture = PictureSize(zoom);
  const QFont font = LabelFont(this->font());
  const int keyHeight = TPictureLegend::Height(font);
  QImage image(std::max(picture.width(), 200), picture.height() + LabelGap + keyHeight, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setFont(font);
  Paint(painter, zoom);
  TPictureLegend::Paint(painter, QRect(0, picture.height() + LabelGap, image.width(), keyHeight));
  return image;
}

void TMatrixPicture::Paint(QPainter& painter, int zoom) const {
  painter.drawImage(QRect(QPoint(LabelRoom, LabelRoom), Cells.size() * zoom), Cells);
  if (LabelRoom == 0) return;
  painter.setFont(LabelFont(font()));
  painter.setPen(palette().windowText().color());
  const QFontMetrics metrics(painter.font());
  const QRect clip = painter.clipBoundingRect().toAlignedRect();
  const bool clipped = painter.hasClipping();
  const int step = LabelStep(zoom, metrics.height());
  const int textRoom = LabelRoom - LabelGap;
  for (std::size_t k = 0; k < RowTexts.size(); k += static_cast<std::size_t>(step)) {
    const QRect place(0, LabelRoom + static_cast<int>(k) * zoom + zoom / 2 - metrics.height() / 2, textRoom,
                      metrics.height());
    if (clipped && !place.intersects(clip)) continue;
    painter.drawText(place, Qt::AlignRight | Qt::AlignVCenter,
                     metrics.elidedText(Shown(RowTexts[k]), Qt::ElideRight, textRoom));
  }
  // Column labels read upwards, ending next to the cells.
  painter.save();
  painter.rotate(-90);
  for (std::size_t k = 0; k < ColumnTexts.size(); k += static_cast<std::size_t>(step)) {
    const int x = LabelRoom + static_cast<int>(k) * zoom + zoom / 2;
    if (clipped && (x + metrics.height() < clip.left() || x - metrics.height() > clip.right())) continue;
    // Rotated: the painter's x runs up the picture, its y to the right.
    const QRect place(-textRoom, x - metrics.height() / 2, textRoom, metrics.height());
    painter.drawText(place, Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(Shown(ColumnTexts[k]), Qt::ElideRight, textRoom));
  }
  painter.restore();
}

void TMatrixPicture::paintEvent(QPaintEvent* event) {
  if (Cells.isNull()) return;
  QPainter painter(this);
  painter.setClipRect(event->rect());
  Paint(painter, CellSize);
}

TPictureLegend::TPictureLegend(QWidget* parent) : QWidget(parent) {}

int TPictureLegend::Height(const QFont& font) {
  return static_cast<int>(std::size(KeyEntries)) * (QFontMetrics(font).height() + 2);
}

QSize TPictureLegend::sizeHint() const { return {200, Height(font())}; }

void TPictureLegend::Paint(QPainter& painter, const QRect& room) {
  const QFontMetrics metrics(painter.font());
  const int line = metrics.height() + 2;
  const int swatch = metrics.height() - 2;
  int y = room.top();
  for (const TKeyEntry& entry : KeyEntries) {
    int x = room.left() + 2;
    for (const std::optional<TCell> cell : {std::optional<TCell>(entry.First), entry.Second}) {
      if (!cell) continue;
      painter.fillRect(x, y + 1, swatch, swatch, QColor(TMatrixPicture::Colour(*cell)));
      painter.setPen(Qt::gray);
      painter.drawRect(x, y + 1, swatch - 1, swatch - 1);
      x += swatch + 2;
    }
    painter.setPen(Qt::black);
    painter.drawText(QRect(room.left() + 2 * (swatch + 2) + 4, y, room.width(), line),
                     Qt::AlignLeft | Qt::AlignVCenter, QObject::tr(entry.Text));
    y += line;
  }
}

void TPictureLegend::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font());
  Paint(painter, rect());
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
