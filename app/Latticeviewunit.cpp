#include "Latticeviewunit.h"

#include <QBuffer>
#include <QComboBox>
#include <QGraphicsEllipseItem>
#include <QGraphicsLineItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <climits>
#include <cmath>

#include "Qtfilesunit.h"

namespace {

// Pixels between layers, and around the drawing.
constexpr double LayerHeight = 64;
constexpr double Margin = 24;
// A click moves the mouse less than this; a drag more.
constexpr int ClickDistance = 4;
// Fit shows a small drawing at most this much enlarged.
constexpr double LargestFit = 1.5;

const QColor NodeColour(236, 240, 248);
const QColor NodeEdge(70, 80, 100);
const QColor LineColour(150, 155, 165);
// The chosen node as the matrix picture colours the chosen biclique; its
// covers as the picture's marked ones.
const QColor ChosenColour(220, 40, 30);
const QColor CoverColour(40, 70, 150);

} // namespace

TLatticeView::TLatticeView(QWidget* parent) : QGraphicsView(parent) {
  setScene(new QGraphicsScene(this));
  setRenderHint(QPainter::Antialiasing);
  setDragMode(QGraphicsView::ScrollHandDrag);
  setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
  setBackgroundBrush(Qt::white);
}

void TLatticeView::Fit() {
  const QRectF all = scene()->sceneRect();
  if (all.isEmpty()) return;
  fitInView(all, Qt::KeepAspectRatio);
  if (transform().m11() > LargestFit) setTransform(QTransform::fromScale(LargestFit, LargestFit));
  centerOn(all.center());
}

std::int32_t TLatticeView::NodeAt(const QPoint& point) const {
  for (QGraphicsItem* item : items(point)) {
    for (QGraphicsItem* at = item; at != nullptr; at = at->parentItem())
      if (at->data(0).isValid()) return at->data(0).toInt();
  }
  return -1;
}

void TLatticeView::wheelEvent(QWheelEvent* event) {
  const double factor = std::pow(1.15, event->angleDelta().y() / 120.0);
  scale(factor, factor);
  event->accept();
}

void TLatticeView::mousePressEvent(QMouseEvent* event) {
  PressedAt = event->position().toPoint();
  QGraphicsView::mousePressEvent(event);
}

void TLatticeView::mouseReleaseEvent(QMouseEvent* event) {
  QGraphicsView::mouseReleaseEvent(event);
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton && (at - PressedAt).manhattanLength() < ClickDistance) {
    const std::int32_t node = NodeAt(at);
    if (node >= 0) emit NodeClicked(node);
  }
}

TLatticeWindow::TLatticeWindow(TDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window),
      Dialogs(dialogs), SvgDialog{TFileDialog::TKind::Save, QStringLiteral("SVG Images (*.svg)"),
                                  QStringLiteral("."), QStringLiteral("svg")},
      PngDialog{TFileDialog::TKind::Save, QStringLiteral("PNG Images (*.png)"), QStringLiteral("."),
                QStringLiteral("png")} {
  setWindowTitle(tr("Lattice"));
  auto* label = new QLabel(tr("Min sources"), this);
  MinSources1 = new QSpinBox(this);
  MinSources1->setObjectName(QStringLiteral("MinSources1"));
  MinSources1->setRange(0, INT_MAX);
  MinSources1->setToolTip(tr("Draw the results with at least this many sources (an iceberg)"));
  Labels1 = new QComboBox(this);
  Labels1->setObjectName(QStringLiteral("Labels1"));
  Labels1->addItems({tr("Counts"), tr("Reduced")});
  Labels1->setToolTip(tr("Label nodes by their numbers of sources and targets, or by the vertices each "
                         "introduces"));
  Fit1 = new QPushButton(tr("Fit"), this);
  Fit1->setObjectName(QStringLiteral("Fit1"));
  SaveSvg1 = new QPushButton(tr("Save SVG"), this);
  SaveSvg1->setObjectName(QStringLiteral("SaveSvg1"));
  SavePng1 = new QPushButton(tr("Save PNG"), this);
  SavePng1->setObjectName(QStringLiteral("SavePng1"));
  Info1 = new QLabel(this);
  Info1->setObjectName(QStringLiteral("Info1"));
  View1 = new TLatticeView(this);
  View1->setObjectName(QStringLiteral("View1"));

  auto* bar = new QHBoxLayout;
  bar->addWidget(label);
  bar->addWidget(MinSources1);
  bar->addWidget(Labels1);
  bar->addWidget(Fit1);
  bar->addWidget(SaveSvg1);
  bar->addWidget(SavePng1);
  bar->addWidget(Info1, 1);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 6, 6, 6);
  column->addLayout(bar);
  column->addWidget(View1, 1);
  resize(900, 700);

  connect(MinSources1, &QSpinBox::valueChanged, this, [this] { Relayout(); });
  connect(Labels1, &QComboBox::currentIndexChanged, this, [this] { Relayout(); });
  connect(Fit1, &QPushButton::clicked, View1, &TLatticeView::Fit);
  connect(SaveSvg1, &QPushButton::clicked, this, [this] { Guarded(&TLatticeWindow::SaveSvg); });
  connect(SavePng1, &QPushButton::clicked, this, [this] { Guarded(&TLatticeWindow::SavePng); });
  connect(View1, &TLatticeView::NodeClicked, this, [this](std::int32_t node) {
    if (!Shown || node >= static_cast<std::int32_t>(Shown->Lines.size())) return;
    Mark(node);
    const std::int64_t line = Shown->Lines[static_cast<std::size_t>(node)];
    MarkedLine = line;
    if (line >= 0) emit LineChosen(line);
  });
  Clear();
}

TLatticeWindow::~TLatticeWindow() {
  if (Worker.joinable()) Worker.join();
}

void TLatticeWindow::ResultsChanged() {
  Stale = !isVisible();
  if (Stale || !Source) return;
  auto [rows, text] = Source();
  SetResults(std::move(rows), std::move(text));
}

void TLatticeWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (Stale) ResultsChanged();
}

void TLatticeWindow::SetResults(std::vector<std::string> rows, std::shared_ptr<const std::string> text) {
  if (!text) text = std::make_shared<const std::string>();
  Input = std::make_shared<const TInput>(TInput{std::move(rows), std::move(text)});
  MarkedLine = -1;
  Ask({Input, -1, Labels1->currentIndex() == 1 ? TNodeLabels::Reduced : TNodeLabels::Counts});
}

void TLatticeWindow::Clear() {
  Input.reset();
  Waiting.reset();
  Shown.reset();
  Nodes.clear();
  Edges.clear();
  Marked = -1;
  MarkedLine = -1;
  View1->scene()->clear();
  View1->scene()->setSceneRect(QRectF());
  Info1->setText(tr("RUN draws the lattice of its results here."));
}

void TLatticeWindow::Relayout() {
  if (!Input) return;
  Ask({Input, MinSources1->value(),
       Labels1->currentIndex() == 1 ? TNodeLabels::Reduced : TNodeLabels::Counts});
}

void TLatticeWindow::Ask(TRequest request) {
  if (Going) {
    Waiting = std::move(request);
    return;
  }
  Start(std::move(request));
}

void TLatticeWindow::Start(TRequest request) {
  Going = true;
  Info1->setText(tr("Laying out..."));
  TSceneSizes sizes;
  sizes.CharWidth = QFontMetricsF(font()).averageCharWidth();
  if (Worker.joinable()) Worker.join(); // it has only to return
  Worker = std::jthread([this, request = std::move(request), sizes] {
    auto scene = std::make_shared<std::unique_ptr<TLatticeScene>>(std::make_unique<TLatticeScene>());
    try {
      **scene =
          LatticeScene(request.Input->Rows, *request.Input->Text, request.MinSources, request.Labels, sizes);
    } catch (const std::exception& error) {
      **scene = TLatticeScene();
      (*scene)->Refused = error.what();
    }
    QMetaObject::invokeMethod(
        this,
        [this, scene] {
          Worker.join();
          Going = false;
          if (Waiting) {
            TRequest next = std::move(*Waiting);
            Waiting.reset();
            return Start(std::move(next));
          }
          ShowScene(std::move(*scene));
        },
        Qt::QueuedConnection);
  });
}

void TLatticeWindow::ShowScene(std::unique_ptr<TLatticeScene> scene) {
  QGraphicsScene* drawing = View1->scene();
  drawing->clear();
  drawing->setSceneRect(QRectF());
  Nodes.clear();
  Edges.clear();
  Marked = -1;
  Shown = std::move(scene);
  const TLatticeScene& shown = *Shown;
  {
    const QSignalBlocker quiet(MinSources1);
    MinSources1->setValue(shown.MinSources);
  }
  if (!shown.Refused.empty()) {
    Info1->setText(QString::fromStdString(shown.Refused));
    return;
  }
  const auto place = [&](std::int32_t v) {
    const auto at = static_cast<std::size_t>(v);
    return QPointF(Margin + shown.Layout.X[at],
                   Margin + (shown.Layout.Layers - 1 - shown.Layout.Layer[at]) * LayerHeight);
  };
  for (const TCover& edge : shown.Diagram.Edges) {
    auto* line = drawing->addLine(QLineF(place(edge.Lower), place(edge.Upper)), QPen(LineColour, 1));
    line->setZValue(0);
    Edges.push_back(line);
  }
  for (std::int32_t v = 0; v < shown.Diagram.Count(); ++v) {
    const auto at = static_cast<std::size_t>(v);
    const double d = shown.Diameters[at];
    auto* node = drawing->addEllipse(QRectF(-d / 2, -d / 2, d, d));
    node->setPos(place(v));
    node->setZValue(1);
    node->setData(0, v);
    const bool bottom = shown.Lines[at] < 0;
    node->setToolTip(bottom ? tr("bottom: every target; no listed result")
                            : QString::fromStdString(shown.Diagram.Labels[at]) + QStringLiteral("\n") +
                                  tr("line %1").arg(shown.Lines[at] + 1));
    // The label under the node, on a pale ground that keeps lines behind
    // it from crossing its letters.
    auto* ground = new QGraphicsRectItem(node);
    auto* text = new QGraphicsSimpleTextItem(QString::fromStdString(shown.Diagram.Labels[at]), ground);
    text->setFont(font());
    const QRectF box = text->boundingRect();
    ground->setRect(box.adjusted(-1, 0, 1, 0));
    ground->setPen(Qt::NoPen);
    ground->setBrush(QColor(255, 255, 255, 210));
    ground->setPos(-box.width() / 2, d / 2 + 1);
    if (box.isEmpty()) ground->hide();
    Nodes.push_back(node);
  }
  drawing->setSceneRect(drawing->itemsBoundingRect().adjusted(-Margin, -Margin, Margin, Margin));
  Mark(-1);
  if (MarkedLine >= 0) ShowLine(MarkedLine);
  Info1->setText(tr("%1 of %2 results, %3 lines; at least %4 sources")
                     .arg(static_cast<qint64>(shown.Lines.size()) - (shown.Diagram.AddedBottom ? 1 : 0))
                     .arg(shown.Results)
                     .arg(shown.Diagram.Edges.size())
                     .arg(shown.MinSources));
  View1->Fit();
}

void TLatticeWindow::ShowLine(qint64 line) {
  MarkedLine = line;
  if (!Shown) return;
  const auto found = std::find(Shown->Lines.begin(), Shown->Lines.end(), line);
  Mark(line >= 0 && found != Shown->Lines.end() ? static_cast<std::int32_t>(found - Shown->Lines.begin())
                                                : -1);
}

void TLatticeWindow::Mark(std::int32_t node) {
  Marked = node;
  if (!Shown || !Shown->Refused.empty()) return;
  for (std::size_t v = 0; v < Nodes.size(); ++v) {
    const bool bottom = Shown->Lines[v] < 0;
    QPen pen(NodeEdge, 1, bottom ? Qt::DashLine : Qt::SolidLine);
    Nodes[v]->setPen(pen);
    Nodes[v]->setBrush(NodeColour);
  }
  for (std::size_t e = 0; e < Edges.size(); ++e) {
    const TCover& edge = Shown->Diagram.Edges[e];
    const bool touches = node >= 0 && (edge.Lower == node || edge.Upper == node);
    Edges[e]->setPen(QPen(touches ? ChosenColour : LineColour, touches ? 2 : 1));
    if (!touches) continue;
    const std::int32_t other = edge.Lower == node ? edge.Upper : edge.Lower;
    Nodes[static_cast<std::size_t>(other)]->setBrush(CoverColour);
  }
  if (node >= 0) {
    Nodes[static_cast<std::size_t>(node)]->setBrush(ChosenColour);
    View1->ensureVisible(Nodes[static_cast<std::size_t>(node)]);
  }
}

QPoint TLatticeWindow::NodePlace(std::int32_t node) const {
  return View1->mapFromScene(Nodes[static_cast<std::size_t>(node)]->scenePos());
}

void TLatticeWindow::Guarded(void (TLatticeWindow::*command)()) {
  try {
    (this->*command)();
  } catch (const std::exception& error) {
    Dialogs.ShowMessage(this, QString::fromStdString(error.what()));
  }
}

void TLatticeWindow::SaveSvg() {
  if (Nodes.empty()) throw std::runtime_error("There is no lattice drawn yet.");
  const std::optional<QString> path = Dialogs.ChooseFile(this, SvgDialog);
  if (!path) return;
  const QRectF all = View1->scene()->sceneRect();
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(all.size().toSize());
  svg.setViewBox(QRectF(QPointF(0, 0), all.size()));
  svg.setTitle(windowTitle());
  {
    QPainter painter(&svg);
    painter.fillRect(QRectF(QPointF(0, 0), all.size()), Qt::white);
    View1->scene()->render(&painter, QRectF(QPointF(0, 0), all.size()), all);
  }
  WriteFileBytes(*path, buffer.data().toStdString());
}

void TLatticeWindow::SavePng() {
  if (Nodes.empty()) throw std::runtime_error("There is no lattice drawn yet.");
  const std::optional<QString> path = Dialogs.ChooseFile(this, PngDialog);
  if (!path) return;
  // Twice the screen's pixels, for print.
  const QRectF all = View1->scene()->sceneRect();
  QImage image((all.size() * 2).toSize(), QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    View1->scene()->render(&painter, QRectF(QPointF(0, 0), all.size() * 2), all);
  }
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) throw std::runtime_error("The drawing could not be made into PNG.");
  WriteFileBytes(*path, buffer.data().toStdString());
}
