#include "ui/port_setup_dialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "serial/port_match.h"
#include "ui/dialog_units.h"
#include "ui/qt_text.h"

namespace kvx::ui {

namespace {

// Index of the entry equal to `wanted` (case-sensitive), else the first entry.
int IndexOf(const QComboBox& list, const QString& wanted) {
  const int found = list.findText(wanted, Qt::MatchExactly | Qt::MatchCaseSensitive);
  return found >= 0 ? found : 0;
}

// The entry `initial` names (its spelling, or a link to it), else the first entry.
int InitialIndex(const std::vector<std::string>& ports, const std::string& initial) {
  return static_cast<int>(FindListedPort(initial, ports).value_or(0));
}

}  // namespace

CAdmComSetup::CAdmComSetup(const std::vector<std::string>& free_ports,
                           const std::string& initial_port, QWidget* parent,
                           const PortDescriber& describe)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("portSetupDialog"));
  setWindowTitle(QString());
  const DialogUnits du(font());
  setFixedSize(du.X(140), du.Y(60));

  auto* port_label = new QLabel(QStringLiteral("Port"), this);
  port_label->setGeometry(du.Rect(11, 12, 30, 10));
  port_list_ = new QComboBox(this);
  port_list_->setObjectName(QStringLiteral("portList"));
  port_list_->setGeometry(du.X(49), du.Y(11), du.X(68), port_list_->sizeHint().height());
  for (const std::string& port : free_ports) {
    port_list_->addItem(ToQString(port));
    if (const std::string text = describe(port); !text.empty()) {
      port_list_->setItemData(port_list_->count() - 1, ToQString(text), Qt::ToolTipRole);
    }
  }
  if (!free_ports.empty()) port_list_->setCurrentIndex(InitialIndex(free_ports, initial_port));

  // The baud list is never shown: the engine settles the line speed itself.
  auto* baud_label = new QLabel(QStringLiteral("Baud"), this);
  baud_label->setGeometry(du.Rect(11, 33, 30, 10));
  baud_label->hide();
  baud_list_ = new QComboBox(this);
  baud_list_->setObjectName(QStringLiteral("baudList"));
  baud_list_->setGeometry(du.X(49), du.Y(31), du.X(68), baud_list_->sizeHint().height());
  baud_list_->addItems({QStringLiteral("115200"), QStringLiteral("460800")});
  baud_list_->setCurrentIndex(IndexOf(*baud_list_, QString()));
  baud_list_->hide();

  auto* ok = new QPushButton(QStringLiteral("Ok"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setGeometry(du.Rect(20, 39, 50, 14));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  cancel->setGeometry(du.Rect(73, 39, 50, 14));
  connect(ok, &QPushButton::clicked, this, &CAdmComSetup::OnOk);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CAdmComSetup::OnOk() {
  port_ = ToStdString(port_list_->currentText());
  baud_ = ToStdString(baud_list_->currentText());
  accept();
}

}  // namespace kvx::ui
