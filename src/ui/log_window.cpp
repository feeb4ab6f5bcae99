#include "ui/log_window.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QShortcut>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

namespace kvx::ui {

namespace {

QColor ColourOf(COLORREF colour) {
  return QColor(static_cast<int>(colour & 0xff), static_cast<int>((colour >> 8) & 0xff),
                static_cast<int>((colour >> 16) & 0xff));
}

// The rich-text control took CR LF and a lone CR as one paragraph break each.
QString DisplayedLine(const std::string& text) {
  QString line = QString::fromStdString(text);
  line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  line.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return line;
}

}  // namespace

CATLogWindow::CATLogWindow(std::function<void()> request_toggle, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint),
      request_toggle_(std::move(request_toggle)),
      feed_(*this, [this] { OnTraceChanged(); }) {
  setObjectName(QStringLiteral("logWindow"));
  setWindowTitle(QStringLiteral("Dialog"));
  // Shown, this is the active window: the main window's toggle key works here too.
  auto* toggle = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D), this);
  connect(toggle, &QShortcut::activated, this, &CATLogWindow::RequestToggle);

  view_ = new QTextEdit(this);
  view_->setObjectName(QStringLiteral("logText"));
  view_->setReadOnly(true);
  view_->setUndoRedoEnabled(false);
  view_->setLineWrapMode(QTextEdit::NoWrap);
  view_->document()->setMaximumBlockCount(kMaxShownLines);
  view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  view_->setContextMenuPolicy(Qt::CustomContextMenu);

  menu_ = new QMenu(QStringLiteral("Menu"), this);
  QAction* clean = menu_->addAction(QStringLiteral("&Clean"));
  QAction* exit = menu_->addAction(QStringLiteral("&Exit"));
  connect(clean, &QAction::triggered, this, &CATLogWindow::Clean);
  connect(exit, &QAction::triggered, this, &CATLogWindow::RequestToggle);
  connect(view_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { menu_->popup(view_->viewport()->mapToGlobal(at)); });

  auto* bar = new QMenuBar(this);
  bar->addMenu(menu_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(bar);
  layout->addWidget(view_);

  batch_timer_.setSingleShot(true);
  connect(&batch_timer_, &QTimer::timeout, this, [this] {
    if (TakeBatch(kLinesPerBatch)) batch_timer_.start(0);
  });

  move(0, 200);
  resize(400, 700);
}

void CATLogWindow::Attach(TraceStore* store) {
  feed_.Detach();
  batch_timer_.stop();
  ResetView();
  if (store) {
    shown_generation_ = store->generation();
    feed_.Attach(*store);
  }
}

void CATLogWindow::SetShown(bool shown) {
  if (shown) {
    show();
    raise();
    activateWindow();
  } else {
    hide();
  }
}

void CATLogWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  batch_timer_.start(0);
}

void CATLogWindow::OnTraceChanged() {
  // Hidden: nothing to do now; showing the window catches up.
  if (isVisible() && !batch_timer_.isActive()) batch_timer_.start(kBatchDelayMs);
}

void CATLogWindow::CatchUp() {
  while (TakeBatch(static_cast<std::size_t>(kMaxShownLines))) {
  }
}

void CATLogWindow::ResetView() {
  view_->clear();
  view_->setUndoRedoEnabled(false);  // no undo history for a log
  backlog_.clear();
  read_count_ = 0;
}

bool CATLogWindow::ReadNewLines() {
  TraceStore* store = feed_.store();
  if (!store) return false;
  const std::uint64_t generation = store->generation();
  if (generation != shown_generation_) {
    ResetView();
    shown_generation_ = generation;
  }
  // When more new lines wait than the view keeps, the older ones would only be dropped again:
  // they are not read at all.
  const std::size_t size = store->size();
  const auto keep = static_cast<std::size_t>(kMaxShownLines);
  if (size > read_count_ + keep) {
    backlog_.clear();
    read_count_ = size - keep;
  }
  std::vector<TraceLine> lines = store->Lines(read_count_);
  // A Clean between the reads: start over with the next batch.
  if (store->generation() != generation) return true;
  read_count_ += lines.size();
  std::move(lines.begin(), lines.end(), std::back_inserter(backlog_));
  while (backlog_.size() > keep) backlog_.pop_front();
  return false;
}

bool CATLogWindow::TakeBatch(std::size_t limit) {
  if (ReadNewLines()) return true;
  if (backlog_.empty()) return false;
  QScrollBar* scroll = view_->verticalScrollBar();
  const bool following = scroll->value() == scroll->maximum();
  QTextCursor cursor(view_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  QTextCharFormat format;
  for (std::size_t taken = 0; taken < limit && !backlog_.empty(); ++taken) {
    const TraceLine& line = backlog_.front();
    format.setForeground(ColourOf(line.colour));
    cursor.insertText(DisplayedLine(line.text), format);
    backlog_.pop_front();
  }
  cursor.endEditBlock();
  if (following) scroll->setValue(scroll->maximum());
  return !backlog_.empty();
}

void CATLogWindow::Clean() {
  batch_timer_.stop();
  ResetView();
  if (TraceStore* store = feed_.store()) {
    store->Clean();
    shown_generation_ = store->generation();
  }
}

void CATLogWindow::RequestToggle() {
  request_toggle_();
}

void CATLogWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    RequestToggle();
    hide();
    return;
  }
  QWidget::keyPressEvent(event);
}

void CATLogWindow::closeEvent(QCloseEvent* event) {
  // The engine hides the window, keeping its flag in step.
  event->ignore();
  RequestToggle();
}

void CATLogWindow::contextMenuEvent(QContextMenuEvent* event) {
  menu_->popup(event->globalPos());
}

}  // namespace kvx::ui
