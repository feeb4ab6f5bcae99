// What the operator does in the main window beyond its buttons and shortcuts: keys that must do
// nothing, the context menu, files dragged in, and the close button.

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <string>
#include <vector>

#include "operator/app_identity.h"
#include "platform/string_table.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"

namespace kvx::ui {

namespace {

// A dropped name as a 260-character buffer takes it: at most `max_length` UTF-16 units, never
// half of a surrogate pair.
QString CutDroppedPath(QString path, int max_length) {
  if (path.size() <= max_length) return path;
  path.truncate(max_length);
  if (path.back().isHighSurrogate()) path.chop(1);
  return path;
}

// The local files among the dropped URLs, in the order dropped, each cut to what the
// behaviour takes.
std::vector<std::string> DroppedFiles(const QList<QUrl>& urls) {
  std::vector<std::string> paths;
  for (const QUrl& url : urls) {
    if (!url.isLocalFile()) continue;
    paths.push_back(
        ToStdString(CutDroppedPath(url.toLocalFile(), MainWindowBehaviour::kMaxDroppedPathLength)));
  }
  return paths;
}

}  // namespace

void CSKY_DECK_UPGRADERDlg::closeEvent(QCloseEvent* event) {
  // The window ends only when the engine has ended.
  event->ignore();
  behaviour_.OnExit();
}

void CSKY_DECK_UPGRADERDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      event->accept();  // neither starts nor closes anything
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void CSKY_DECK_UPGRADERDlg::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  const QString about =
      QStringLiteral("About ") + ToQString(LoadString(IDS_APP_CAPTION).value_or(kBoxCaption));
  menu.addAction(about, this, [this] { behaviour_.OnAbout(); });
  menu.exec(event->globalPos());
}

void CSKY_DECK_UPGRADERDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && behaviour_.AcceptsDrops()) event->acceptProposedAction();
}

void CSKY_DECK_UPGRADERDlg::dropEvent(QDropEvent* event) {
  if (!event->mimeData()->hasUrls() || !behaviour_.AcceptsDrops()) return;
  behaviour_.DropFiles(DroppedFiles(event->mimeData()->urls()));
  event->acceptProposedAction();
}

}  // namespace kvx::ui
