// The log window: the engine's trace line by line in its colours, Clean, the toggle requests, and
// a trace far larger than the view keeps.

#include "ui/log_window.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <chrono>

#include "ui_test_support.h"

namespace kvx::ui::test {
namespace {

class LogWindowTest : public ::testing::Test {
 protected:
  LogWindowTest() : window_([this] { ++toggles_; }) { window_.Attach(&store_); }
  ~LogWindowTest() override { window_.Attach(nullptr); }

  // The lines of the view, without the empty block after the last line end.
  std::vector<QString> ShownLines() const {
    std::vector<QString> lines;
    for (QTextBlock block = window_.view()->document()->begin(); block.isValid();
         block = block.next()) {
      lines.push_back(block.text());
    }
    if (!lines.empty() && lines.back().isEmpty()) lines.pop_back();
    return lines;
  }
  QColor ColourOfLine(int index) const {
    const QTextBlock block = window_.view()->document()->findBlockByNumber(index);
    return block.begin().fragment().charFormat().foreground().color();
  }
  QAction* MenuItem(const QString& text) const {
    for (QAction* action : window_.menu()->actions()) {
      if (action->text() == text) return action;
    }
    ADD_FAILURE() << "no menu item " << text.toStdString();
    return nullptr;
  }

  static constexpr auto kAt = std::chrono::system_clock::time_point{};
  TraceStore store_;
  int toggles_ = 0;
  CATLogWindow window_;
};

TEST_F(LogWindowTest, EachLineShowsInItsOwnColourWithItsMarker) {
  store_.Append("AT\r\n", kTraceBrown, LOG_TX, kAt);
  store_.Append("OK", kTraceBlue, LOG_RX, kAt);
  store_.Append("IDT_CONNECT_RESPONSE timer set\n", kTraceAmber, LOG_TEXT, kAt);
  store_.Append("port search complete", kTraceRed, LOG_TEXT, kAt);
  window_.CatchUp();
  const std::string stamp = FormatTraceTimestamp(kAt);
  const std::vector<QString> expected = {
      QString::fromStdString(stamp + "T: AT"), QString::fromStdString(stamp + "R: OK"),
      QString::fromStdString(stamp + " IDT_CONNECT_RESPONSE timer set"),
      QString::fromStdString(stamp + " port search complete")};
  EXPECT_EQ(ShownLines(), expected);
  EXPECT_EQ(ColourOfLine(0), QColor(153, 51, 0));
  EXPECT_EQ(ColourOfLine(1), QColor(0, 0, 255));
  EXPECT_EQ(ColourOfLine(2), QColor(204, 153, 0));
  EXPECT_EQ(ColourOfLine(3), QColor(255, 0, 0));
}

TEST_F(LogWindowTest, LinesWrittenWhileHiddenAreAllThereWhenShown) {
  for (int i = 0; i < 10; ++i) store_.Append("line " + std::to_string(i), kTraceBlack, LOG_TEXT);
  QApplication::processEvents();
  EXPECT_TRUE(ShownLines().empty()) << "nothing is taken while hidden";
  window_.SetShown(true);
  ASSERT_TRUE(SpinUntil([&] { return ShownLines().size() == 10u; }));
  store_.Append("after showing", kTraceBlack, LOG_TEXT);
  ASSERT_TRUE(SpinUntil([&] { return ShownLines().size() == 11u; }));
  EXPECT_TRUE(ShownLines().back().endsWith(QStringLiteral(" after showing")));
  window_.SetShown(false);
}

TEST_F(LogWindowTest, CleanEmptiesTheViewAndTheEngineTrace) {
  store_.Append("before", kTraceBlack, LOG_TEXT, kAt);
  window_.CatchUp();
  MenuItem(QStringLiteral("&Clean"))->trigger();
  EXPECT_TRUE(ShownLines().empty());
  EXPECT_EQ(store_.size(), 0u);
  store_.Append("after", kTraceBlack, LOG_TEXT, kAt);
  window_.CatchUp();
  const std::vector<QString> expected = {
      QString::fromStdString(FormatTraceTimestamp(kAt) + " after")};
  EXPECT_EQ(ShownLines(), expected) << "the next line starts at the top";
}

TEST_F(LogWindowTest, CleanByTheStoreItselfIsNoticed) {
  store_.Append("before", kTraceBlack, LOG_TEXT, kAt);
  window_.CatchUp();
  store_.Clean();
  store_.Append("after", kTraceBlack, LOG_TEXT, kAt);
  window_.CatchUp();
  EXPECT_EQ(ShownLines().size(), 1u);
}

TEST_F(LogWindowTest, ExitEscapeTheCloseButtonAndTheToggleKeyAllAskTheEngineToToggle) {
  window_.SetShown(true);
  MenuItem(QStringLiteral("&Exit"))->trigger();
  EXPECT_EQ(toggles_, 1);
  QTest::keyClick(&window_, Qt::Key_Escape);
  EXPECT_EQ(toggles_, 2);
  EXPECT_FALSE(window_.isVisible()) << "Escape hides at once";
  window_.SetShown(true);
  window_.close();
  EXPECT_EQ(toggles_, 3);
  EXPECT_TRUE(window_.isVisible()) << "the engine hides it, through its toggle";
  // Shown, the window is the active one: Ctrl+Shift+D has to work there too.
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  QTest::keyClick(&window_, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(toggles_, 4);
  window_.SetShown(false);
}

TEST_F(LogWindowTest, RightClickOffersTheSameMenu) {
  window_.SetShown(true);
  const QPoint at = window_.view()->viewport()->rect().center();
  emit window_.view()->customContextMenuRequested(at);
  ASSERT_TRUE(SpinUntil([&] { return window_.menu()->isVisible(); }));
  window_.menu()->hide();
  window_.SetShown(false);
}

TEST_F(LogWindowTest, AHugeTraceKeepsTheLastLinesAndLeavesTheStoreWhole) {
  const int total = CATLogWindow::kMaxShownLines * 4;
  for (int i = 0; i < total; ++i) store_.Append(std::to_string(i), kTraceBlack, LOG_TEXT, kAt);
  window_.CatchUp();
  const std::vector<QString> lines = ShownLines();
  ASSERT_LE(lines.size(), static_cast<std::size_t>(CATLogWindow::kMaxShownLines));
  ASSERT_GE(lines.size(), static_cast<std::size_t>(CATLogWindow::kMaxShownLines - 1));
  EXPECT_TRUE(lines.back().endsWith(QStringLiteral(" ") + QString::number(total - 1)));
  EXPECT_EQ(store_.size(), static_cast<std::size_t>(total));
}

TEST_F(LogWindowTest, ShownBatchesCatchUpWithAGrowingTrace) {
  window_.SetShown(true);
  const int total = CATLogWindow::kLinesPerBatch * 3 + 7;
  for (int i = 0; i < total; ++i) store_.Append(std::to_string(i), kTraceBlack, LOG_TEXT, kAt);
  ASSERT_TRUE(SpinUntil([&] { return ShownLines().size() == static_cast<std::size_t>(total); }));
  window_.SetShown(false);
}

}  // namespace
}  // namespace kvx::ui::test
