#include "ui/completion_prompt.h"

#include <QLabel>
#include <QPushButton>

#include "ui/dialog_units.h"

namespace kvx::ui {

CViewDialog::CViewDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("completionPrompt"));
  // Two spaces: a caption bar with no visible caption.
  setWindowTitle(QStringLiteral("  "));
  QFont larger = font();
  larger.setPointSizeF(10);
  setFont(larger);
  const DialogUnits du(larger);
  setFixedSize(du.X(152), du.Y(51));

  auto* text = new QLabel(QStringLiteral("You can exit or upgrade another Kelvane."), this);
  text->setObjectName(QStringLiteral("promptText"));
  text->setAlignment(Qt::AlignCenter);
  text->setWordWrap(true);
  text->setGeometry(du.Rect(7, 7, 138, 18));

  auto* upgrade = new QPushButton(QStringLiteral("&Upgrade"), this);
  upgrade->setObjectName(QStringLiteral("upgradeButton"));
  upgrade->setDefault(true);
  upgrade->setGeometry(du.Rect(18, 30, 54, 14));
  auto* exit = new QPushButton(QStringLiteral("Exit"), this);
  exit->setObjectName(QStringLiteral("exitButton"));
  exit->setGeometry(du.Rect(80, 30, 54, 14));
  connect(upgrade, &QPushButton::clicked, this, &QDialog::accept);
  connect(exit, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace kvx::ui
