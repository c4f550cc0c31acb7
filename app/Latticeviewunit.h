// Latticeviewunit: the Lattice window beside the main window. It draws the
// lattice of the last RUN's results (the iceberg of those with at least some
// number of sources), lays it out on a thread of its own, and links its
// nodes with the result lines both ways.
#pragma once

#include <QGraphicsView>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Dialogsunit.h"
#include "Latticesceneunit.h"

class QComboBox;
class QGraphicsEllipseItem;
class QGraphicsLineItem;
class QLabel;
class QPushButton;
class QSpinBox;

// The drawing: wheel zooms about the mouse, dragging pans, a click on a
// node says NodeClicked.
class TLatticeView : public QGraphicsView {
  Q_OBJECT

public:
  explicit TLatticeView(QWidget* parent = nullptr);
  // Shows the whole drawing.
  void Fit();
  // The node under `point` (view coordinates); -1 for none.
  std::int32_t NodeAt(const QPoint& point) const;

signals:
  void NodeClicked(std::int32_t node);

protected:
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  QPoint PressedAt;
};

class TLatticeWindow : public QWidget {
  Q_OBJECT

public:
  // A top-level window; `dialogs` is borrowed and outlives it.
  explicit TLatticeWindow(TDialogs& dialogs, QWidget* parent = nullptr);
  // Waits for a layout going on.
  ~TLatticeWindow() override;

  // Where the window gets the matrix rows and the sorted result text of the
  // last RUN (shared, not copied: it may be millions of lines; null for
  // none); called on this thread when it needs them.
  std::function<std::pair<std::vector<std::string>, std::shared_ptr<const std::string>>()> Source;
  // The RUN's results changed: drawn now when the window is shown, else
  // once it is.
  void ResultsChanged();
  // The matrix rows and the sorted result text of a RUN. Lays out the
  // iceberg that leaves at most about 150 nodes, and sets MinSources1 to it.
  void SetResults(std::vector<std::string> rows, std::shared_ptr<const std::string> text);
  // Shows nothing.
  void Clear();
  // Marks the node of result line `line` (from 0) with its upper and lower
  // covers; marks nothing when the line has no node.
  void ShowLine(qint64 line);
  // A layout is going (or waiting to go).
  bool Busy() const { return Going; }

  // The scene drawn; null before the first layout ends.
  const TLatticeScene* Scene() const { return Shown.get(); }
  // The node marked; -1 for none.
  std::int32_t MarkedNode() const { return Marked; }
  // The view's place of node `node` of the scene.
  QPoint NodePlace(std::int32_t node) const;

  // Controls, each with its name as objectName.
  QSpinBox* MinSources1; // the iceberg: least number of sources drawn
  QComboBox* Labels1;    // Counts or Reduced
  QPushButton* Fit1;     // shows the whole drawing
  QPushButton* SaveSvg1; // the drawing into an SVG file
  QPushButton* SavePng1; // the drawing into a PNG file
  QLabel* Info1;         // nodes and edges drawn, or why none
  TLatticeView* View1;

protected:
  void showEvent(QShowEvent* event) override;

signals:
  // A node was clicked: its result line, from 0.
  void LineChosen(qint64 line);

private:
  struct TInput {
    std::vector<std::string> Rows;
    std::shared_ptr<const std::string> Text; // never null
  };
  struct TRequest {
    std::shared_ptr<const TInput> Input;
    std::int32_t MinSources = -1; // -1: the bound that leaves about 150 nodes
    TNodeLabels Labels = TNodeLabels::Counts;
  };

  TDialogs& Dialogs;
  std::shared_ptr<const TInput> Input;
  std::jthread Worker;
  bool Going = false;
  std::optional<TRequest> Waiting; // asked for while Worker was busy
  bool Stale = false;              // ResultsChanged came while hidden
  std::unique_ptr<TLatticeScene> Shown;
  std::vector<QGraphicsEllipseItem*> Nodes; // by scene node
  std::vector<QGraphicsLineItem*> Edges;    // by diagram edge
  std::int32_t Marked = -1;
  qint64 MarkedLine = -1;
  TFileDialog SvgDialog, PngDialog;

  void Ask(TRequest request);
  void Start(TRequest request);
  void ShowScene(std::unique_ptr<TLatticeScene> scene);
  void Relayout();
  void Mark(std::int32_t node);
  void SaveSvg();
  void SavePng();
  void Guarded(void (TLatticeWindow::*command)());
};
