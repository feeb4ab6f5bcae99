#include "ui/about_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "operator/app_identity.h"
#include "ui/dialog_units.h"
#include "ui/qt_text.h"
#include "ui/ui_resources.h"

namespace kvx::ui {

namespace {

QString Name() {
  return ToQString(kProductName);
}

QLabel* AddLine(QWidget* parent, const QString& text, const QString& name, const QRect& where) {
  auto* line = new QLabel(text, parent);
  line->setObjectName(name);
  line->setTextFormat(Qt::PlainText);
  line->setGeometry(where);
  return line;
}

}  // namespace

QString CAboutDlg::VersionLine() {
  const QString version = QStringLiteral("Version %1").arg(ToQString(kVersionText));
  return Name() + QLatin1Char(' ') + version + QLatin1Char(' ');
}

QString CAboutDlg::Caption() {
  return QStringLiteral("About") + QLatin1Char(' ') + Name() + QLatin1Char(' ');
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("aboutDialog"));
  setWindowTitle(Caption());
  const DialogUnits du(font());
  setFixedSize(du.X(247), du.Y(62));

  auto* icon = new QLabel(this);
  icon->setPixmap(AppIcon().pixmap(32, 32));
  icon->setGeometry(du.X(13), du.Y(18), 32, 32);

  AddLine(this, VersionLine(), QStringLiteral("versionLine"), du.Rect(54, 18, 190, 11));
  AddLine(this, ToQString(kCopyrightLine), QStringLiteral("copyrightLine"),
          du.Rect(54, 36, 190, 11));

  auto* ok = new QPushButton(QStringLiteral("Ok"), this);
  ok->setDefault(true);
  ok->setGeometry(du.Rect(195, 46, 50, 14));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace kvx::ui
