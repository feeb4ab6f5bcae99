#include "ui/qt_operator_dialogs.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <memory>
#include <utility>

#include "ui/about_dialog.h"
#include "ui/completion_prompt.h"
#include "ui/port_setup_dialog.h"
#include "ui/qt_text.h"

namespace kvx::ui {

namespace {

QMessageBox::Icon QtIcon(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kExclamation:
      return QMessageBox::Warning;
    case BoxIcon::kError:
      return QMessageBox::Critical;
    case BoxIcon::kQuestion:
      return QMessageBox::Question;
    case BoxIcon::kInformation:
      return QMessageBox::Information;
    case BoxIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons QtButtons(BoxButtons buttons) {
  switch (buttons) {
    case BoxButtons::kOkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case BoxButtons::kYesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case BoxButtons::kOk:
      break;
  }
  return QMessageBox::Ok;
}

BoxAnswer AnswerOf(int button, BoxButtons buttons) {
  switch (button) {
    case QMessageBox::Ok:
      return BoxAnswer::kOk;
    case QMessageBox::Cancel:
      return BoxAnswer::kCancel;
    case QMessageBox::Yes:
      return BoxAnswer::kYes;
    case QMessageBox::No:
      return BoxAnswer::kNo;
    default:
      break;
  }
  return ClosedBoxAnswer(buttons);
}

// Plain text, so a port name or path with '<' in it is shown as written.
void Fill(QMessageBox& box, const BoxRequest& request) {
  box.setWindowTitle(ToQString(request.caption));
  box.setTextFormat(Qt::PlainText);
  box.setText(DisplayText(request.text));
  box.setIcon(QtIcon(request.icon));
  box.setStandardButtons(QtButtons(request.buttons));
  if (request.topmost) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

}  // namespace

BoxAnswer QtOperatorDialogs::ShowBox(const BoxRequest& request) {
  QMessageBox box(owner_.data());
  Fill(box, request);
  return AnswerOf(box.exec(), request.buttons);
}

void QtOperatorDialogs::ShowBoxWithoutWaiting(const BoxRequest& request) {
  auto* box = new QMessageBox();  // deletes itself when closed
  box->setAttribute(Qt::WA_DeleteOnClose);
  Fill(*box, request);
  box->setModal(false);
  box->show();
}

std::optional<std::string> QtOperatorDialogs::ChooseImageFile(const std::string& current_path) {
  QFileDialog dialog(owner_.data());
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilters({QStringLiteral("Velmora KVX-01 Software Binary (*.stf)"),
                         QStringLiteral("Velmora KVX-01 Software Binary (*.bin)")});
  dialog.selectNameFilter(dialog.nameFilters().front());
  dialog.setDefaultSuffix(QStringLiteral("bin"));
  if (!current_path.empty()) {
    const QFileInfo current(ToQString(current_path));
    dialog.setDirectory(current.isDir() ? current.absoluteFilePath() : current.absolutePath());
    if (current.isFile()) dialog.selectFile(current.fileName());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return ToStdString(QDir::toNativeSeparators(dialog.selectedFiles().front()));
}

CompletionChoice QtOperatorDialogs::AskCompletion() {
  CViewDialog prompt(owner_.data());
  return prompt.exec() == QDialog::Accepted ? CompletionChoice::kUpgrade : CompletionChoice::kExit;
}

void QtOperatorDialogs::ChoosePort(const std::vector<std::string>& free_ports,
                                   const std::string& initial_port, PortSetupDone done) {
  // Not modal: the engine waits for the answer, the operator need not.
  auto* dialog = new CAdmComSetup(free_ports, initial_port, owner_.data());
  port_setup_ = dialog;
  auto pending = std::make_shared<PortSetupDone>(std::move(done));
  const auto answer = [pending](std::optional<PortChoice> choice) {
    if (!*pending) return;
    const PortSetupDone call = std::exchange(*pending, nullptr);
    call(std::move(choice));
  };
  QObject::connect(dialog, &QDialog::finished, dialog, [dialog, answer](int result) {
    std::optional<PortChoice> choice;
    if (result == QDialog::Accepted) choice = PortChoice{dialog->port(), dialog->baud()};
    answer(std::move(choice));
    dialog->deleteLater();
  });
  // Gone with its owner before it was answered.
  QObject::connect(dialog, &QObject::destroyed, [answer] { answer(std::nullopt); });
  dialog->show();
}

void QtOperatorDialogs::DismissPortSetup() {
  if (port_setup_) port_setup_->reject();
}

void QtOperatorDialogs::ShowAbout() {
  CAboutDlg about(owner_.data());
  about.exec();
}

void QtOperatorDialogs::OpenWebPage(const std::string& url) {
  QDesktopServices::openUrl(QUrl(ToQString(url)));
}

}  // namespace kvx::ui
