// The Lattice window beside the main window: its nodes linked both ways
// with the result lines, its iceberg control, its saved pictures.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGraphicsEllipseItem>
#include <QGraphicsScene>
#include <QImage>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>

#include "Latticeviewunit.h"
#include "Pictureunit.h"
#include "Resultviewunit.h"
#include "Selectionunit.h"
#include "Unit1.h"

namespace {

// Answers the file dialogs with one path and records the messages.
class TScriptedDialogs : public TDialogs {
public:
  std::optional<QString> File;
  std::vector<std::string> Messages;

  std::optional<QString> ChooseFile(QWidget*, const TFileDialog&) override { return File; }
  void ShowMessage(QWidget*, const QString& message) override { Messages.push_back(message.toStdString()); }
  bool Ask(QWidget*, const QString&) override { return true; }
  std::optional<TFindRequest> AskFind(QWidget*, const TFindRequest&) override { return std::nullopt; }
};

class LatticeWindow : public testing::Test {
protected:
  TScriptedDialogs Dialogs;
  TForm1 Form{Dialogs};
  QTemporaryDir Folder;

  void SetUp() override {
    Form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
  }

  // RUNs `matrix`, shows the Lattice window and waits for its drawing.
  void RunAndShow(const char* matrix) {
    Form.RichEdit1->setPlainText(QString::fromLatin1(matrix));
    QTest::mouseClick(Form.Button1, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form.Busy(); }, 60000));
    QTest::mouseClick(Form.BitBtn5, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.Lattice1));
    WaitForDrawing();
  }
  void WaitForDrawing() {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form.Lattice1->Busy() && Form.Lattice1->Scene(); }, 60000));
  }
  // The scene node of result line `line`; -1 when it has none.
  std::int32_t NodeOfLine(qint64 line) const {
    const std::vector<std::int64_t>& lines = Form.Lattice1->Scene()->Lines;
    const auto found = std::find(lines.begin(), lines.end(), line);
    return found == lines.end() ? -1 : static_cast<std::int32_t>(found - lines.begin());
  }
  // The fill of each drawn node, by scene node.
  std::map<std::int32_t, QColor> Fills() const {
    std::map<std::int32_t, QColor> fills;
    for (QGraphicsItem* item : Form.Lattice1->View1->scene()->items())
      if (auto* node = dynamic_cast<QGraphicsEllipseItem*>(item); node && node->data(0).isValid())
        fills[node->data(0).toInt()] = node->brush().color();
    return fills;
  }
};

TEST_F(LatticeWindow, ClickingANodeSelectsItsLineAndMarksThePicture) {
  RunAndShow("11110\n00111");
  const TLatticeScene& scene = *Form.Lattice1->Scene();
  // The three results and the bottom added below them.
  EXPECT_EQ(scene.Lines, (std::vector<std::int64_t>{0, 1, 2, -1}));
  EXPECT_EQ(scene.MinSources, 0);

  const std::int32_t middle = NodeOfLine(1); // "1,2 : 3,4"
  QTest::mouseClick(Form.Lattice1->View1->viewport(), Qt::LeftButton, {}, Form.Lattice1->NodePlace(middle));
  EXPECT_EQ(Form.RichEdit2->CurrentLine(), 1);
  EXPECT_EQ(Form.Marks1->Rows(), (std::vector<std::int32_t>{1, 2}));
  EXPECT_EQ(Form.Marks1->Columns(), (std::vector<std::int32_t>{3, 4}));
  EXPECT_EQ(Form.Lattice1->MarkedNode(), middle);

  // A click on the bottom, which is no result line, leaves the line.
  QTest::mouseClick(Form.Lattice1->View1->viewport(), Qt::LeftButton, {},
                    Form.Lattice1->NodePlace(NodeOfLine(-1)));
  EXPECT_EQ(Form.RichEdit2->CurrentLine(), 1);
}

TEST_F(LatticeWindow, SelectingALineMarksItsNodeWithItsCovers) {
  RunAndShow("11110\n00111");
  Form.RichEdit2->SelectLines(2, 2); // "2 : 3,4,5"
  const std::int32_t chosen = NodeOfLine(2);
  EXPECT_EQ(Form.Lattice1->MarkedNode(), chosen);
  const std::map<std::int32_t, QColor> fills = Fills();
  const QColor cover = fills.at(NodeOfLine(1)); // above it
  EXPECT_EQ(fills.at(NodeOfLine(-1)), cover);   // below it
  EXPECT_NE(fills.at(NodeOfLine(0)), cover);    // neither
  EXPECT_NE(fills.at(chosen), cover);
  EXPECT_NE(fills.at(chosen), fills.at(NodeOfLine(0)));

  Form.RichEdit2->SelectLines(0, 0);
  EXPECT_EQ(Form.Lattice1->MarkedNode(), NodeOfLine(0));
}

TEST_F(LatticeWindow, TheIcebergControlDrawsFewerNodesAndKeepsTheLines) {
  RunAndShow("111000\n111100\n011110\n001111\n000111");
  const std::size_t whole = Form.Lattice1->Scene()->Lines.size();
  Form.Lattice1->MinSources1->setValue(3);
  WaitForDrawing();
  const TLatticeScene& iceberg = *Form.Lattice1->Scene();
  EXPECT_EQ(iceberg.MinSources, 3);
  EXPECT_LT(iceberg.Lines.size(), whole);
  for (std::size_t v = 0; v < iceberg.Lines.size(); ++v) {
    if (iceberg.Lines[v] < 0) continue;
    // Each node is its line of the result pane, with enough sources.
    const std::optional<TResultLine> line = ParseResultLine(Form.RichEdit2->Line(iceberg.Lines[v]));
    ASSERT_TRUE(line);
    EXPECT_EQ(iceberg.Diagram.Sources[v], static_cast<std::int32_t>(line->Sources.size()));
    EXPECT_GE(iceberg.Diagram.Sources[v], 3);
  }
}

TEST_F(LatticeWindow, SavesTheDrawingAsSvgAndPng) {
  RunAndShow("11110\n00111");
  Dialogs.File = Folder.filePath(QStringLiteral("lattice.svg"));
  QTest::mouseClick(Form.Lattice1->SaveSvg1, Qt::LeftButton);
  QFile svg(*Dialogs.File);
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
  const QByteArray text = svg.readAll();
  EXPECT_TRUE(text.contains("<svg")) << text.left(200).toStdString();
  EXPECT_TRUE(text.contains("2 \xC3\x97 2")) << "the labels are text in the SVG";

  Dialogs.File = Folder.filePath(QStringLiteral("lattice.png"));
  QTest::mouseClick(Form.Lattice1->SavePng1, Qt::LeftButton);
  const QImage png(*Dialogs.File);
  ASSERT_FALSE(png.isNull());
  EXPECT_GT(png.width(), 50);
  EXPECT_TRUE(Dialogs.Messages.empty());
}

} // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
