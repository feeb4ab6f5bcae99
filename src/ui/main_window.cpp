#include "ui/main_window.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QShortcut>
#include <thread>

#include "platform/string_table.h"
#include "platform/user_messages.h"
#include "operator/app_identity.h"
#include "operator/config_file.h"
#include "ui/empty_captions.h"
#include "ui/image_button.h"
#include "ui/log_window.h"
#include "ui/port_label.h"
#include "ui/qt_text.h"
#include "ui/status_line.h"
#include "ui/ui_resources.h"
#include "ui/web_link_area.h"

namespace kvx::ui {

namespace {

ImageButton* AddButton(QWidget* parent, const char* caption, const char* name, QRect where) {
  auto* button = new ImageButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(where);
  return button;
}

// At its template position; wide enough for its caption in the font in use.
QCheckBox* AddOption(QWidget* parent, const char* caption, const char* name, QRect where) {
  auto* option = new QCheckBox(QString::fromLatin1(caption), parent);
  option->setObjectName(QString::fromLatin1(name));
  where.setWidth(std::max(where.width(), option->sizeHint().width()));
  option->setGeometry(where);
  option->hide();
  return option;
}

}  // namespace

CSKY_DECK_UPGRADERDlg::CSKY_DECK_UPGRADERDlg(MainWindowServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      Window(services.queue),
      services_(std::move(services)),
      hooks_(*this, *this),
      dev_keys_(services_.clock),
      log_window_(std::make_unique<CATLogWindow>(
          [this] { PostToEngine(WM_USER_LOG_WND_CTRL, 0, LOG_WND_TOGGLE); })),
      background_(BackgroundBitmap()) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowIcon(AppIcon());
  setFixedSize(kClientWidth, kClientHeight);
  move(0, 0);
  setAcceptDrops(true);
  CreateControls();
  CreateShortcuts();
  ApplyStartTitle();
}

CSKY_DECK_UPGRADERDlg::~CSKY_DECK_UPGRADERDlg() {
  // Normally the engine has ended before the window goes. If not, close it and keep handling
  // its messages and requests until its thread is gone.
  if (engine_started_ && !engine_ended_) {
    QEventLoop loop;
    connect(this, &CSKY_DECK_UPGRADERDlg::ended, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    CloseEngine();
    while (!engine_ended_) loop.exec();
  }
  DestroyWindow();
}

void CSKY_DECK_UPGRADERDlg::CreateControls() {
  port_setup_ = AddButton(this, "&PORTSETUP_", "portSetupButton", {550, 233, 79, 25});
  open_ = AddButton(this, "&OPEN_", "openButton", {550, 268, 79, 25});
  start_ = AddButton(this, "&START_", "startButton", {549, 365, 79, 25});
  exit_ = AddButton(this, "&EXIT_", "exitButton", {550, 415, 79, 25});
  connect(port_setup_, &QAbstractButton::clicked, this, &CSKY_DECK_UPGRADERDlg::OnPortSetup);
  connect(open_, &QAbstractButton::clicked, this, &CSKY_DECK_UPGRADERDlg::OnOpen);
  connect(start_, &QAbstractButton::clicked, this, &CSKY_DECK_UPGRADERDlg::OnStart);
  connect(exit_, &QAbstractButton::clicked, this, &CSKY_DECK_UPGRADERDlg::OnExit);

  port_label_ = new PortLabel(this);
  port_label_->setGeometry(316, 238, 228, 17);

  path_box_ = new QLineEdit(this);
  path_box_->setObjectName(QStringLiteral("pathBox"));
  path_box_->setReadOnly(true);
  path_box_->setGeometry(223, 270, 322, 21);

  status_ = new StatusLine(this);
  status_->setGeometry(297, 305, 260, 17);

  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progressBar"));
  progress_->setTextVisible(false);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setGeometry(297, 326, 270, 10);

  forced_boot_ = AddOption(this, "Forced Bootloader upgrade enable", "forcedBootloaderOption",
                           {15, 128, 209, 26});
  downgrade_ = AddOption(this, "Downgrade enable", "downgradeOption", {15, 153, 114, 26});

  auto* link = new WebLinkArea(this);
  link->setGeometry(374, 18, 245, 59);
  connect(link, &WebLinkArea::activated, this, &CSKY_DECK_UPGRADERDlg::OnWebLink);

  setTabOrder(port_setup_, open_);
  setTabOrder(open_, start_);
  setTabOrder(start_, exit_);
}

void CSKY_DECK_UPGRADERDlg::CreateShortcuts() {
  const auto add = [this](QKeySequence keys, auto handler) {
    auto* shortcut = new QShortcut(keys, this);
    connect(shortcut, &QShortcut::activated, this, handler);
  };
  for (int step = 0; step < DevKeySequence::kSteps; ++step) {
    const Qt::Key key = kDevSequenceKeys[static_cast<std::size_t>(step)];
    add(QKeySequence(Qt::CTRL | Qt::SHIFT | key), [this, step] { OnDevSequenceKey(step); });
  }
  add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T), [this] { OnDumpKey(); });
  add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D), [this] { OnLogWindowKey(); });
  add(QKeySequence(Qt::Key_F1), [this] { OnAbout(); });
}

void CSKY_DECK_UPGRADERDlg::OnInitDialog() {
  engine_started_ = services_.engine.Start(Ref(), hooks_.hooks());
  m_nDevelopment = services_.profile.GetProfileInt(kSectionDevelopment, kEntryDev, 0);
  ApplyStartTitle();
  UseEmptyCaptions();
  EnableControls(false);
  port_setup_->setEnabled(true);
  port_setup_->show();
  start_->setEnabled(true);
  open_->setEnabled(true);
  start_->setFocus();
  if (Box(StartupWarningBox()) != BoxAnswer::kOk) {
    // Shut down through Exit; the window never appears.
    Ref().Post(WM_CLOSE);
    return;
  }
  ReadConfig();
  show();
}

void CSKY_DECK_UPGRADERDlg::EnableControls(bool enable) {
  for (QWidget* control :
       std::initializer_list<QWidget*>{port_setup_, start_, open_, forced_boot_, downgrade_}) {
    control->setEnabled(enable);
  }
  path_box_->setEnabled(true);
}

void CSKY_DECK_UPGRADERDlg::ApplyStartTitle() {
  setWindowTitle(ToQString(StartTitle(m_nDevelopment == 1)));
}

void CSKY_DECK_UPGRADERDlg::SetImagePath(const std::string& path) {
  m_strImagePath = path;
  path_box_->setText(ToQString(path));
  path_box_->setCursorPosition(0);
}

BoxAnswer CSKY_DECK_UPGRADERDlg::Box(const BoxRequest& request) {
  return services_.dialogs.ShowBox(this, request);
}

void CSKY_DECK_UPGRADERDlg::ReadConfig() {
  const ConfigValues values = ui::ReadConfig(services_.config_file);
  for (const std::string& port : values.port_tests) {
    const std::string& posted = config_ports_.emplace_back(port);
    PostToEngine(WM_USER_PORT_CONFIG, reinterpret_cast<WPARAM>(&posted));
  }
  m_strPortName = values.port;
  SetImagePath(values.path);
}

void CSKY_DECK_UPGRADERDlg::WriteConfig() {
  ui::WriteConfig(services_.config_file, {m_strPortName, ToStdString(path_box_->text())});
}

void CSKY_DECK_UPGRADERDlg::PostToEngine(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!engine_started_ || close_requested_) return;
  if (!engine_ready_) {
    pending_posts_.push_back({msg, wParam, lParam});
    return;
  }
  services_.engine.Post(msg, wParam, lParam);
}

void CSKY_DECK_UPGRADERDlg::CloseEngine() {
  if (!engine_started_ || close_requested_) return;
  // From here on the engine object may go at any time: let go of its trace first.
  log_window_->Attach(nullptr);
  services_.dialogs.DismissPortSetup();
  PostToEngine(WM_CLOSE);
  close_requested_ = true;
}

bool CSKY_DECK_UPGRADERDlg::StageImage() {
  // The engine's image code sends its trace lines to the engine thread and waits for them, while
  // the engine thread may itself be waiting for this thread (a sent message) or for the operator
  // (the port setup dialog). So it runs on a helper thread while this one keeps handling
  // messages and input; Start, Open, drops and Exit wait until it is done.
  staging_ = true;
  bool staged = false;
  QEventLoop loop;
  std::thread helper([this, &staged, &loop] {
    staged = services_.engine.StageImage();
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  helper.join();
  staging_ = false;
  if (exit_deferred_) {
    exit_deferred_ = false;
    Ref().Post(WM_CLOSE);
  }
  return staged;
}

void CSKY_DECK_UPGRADERDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, background_);
}

void CSKY_DECK_UPGRADERDlg::closeEvent(QCloseEvent* event) {
  // The window ends only when the engine has ended.
  event->ignore();
  OnExit();
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
  menu.addAction(about, this, &CSKY_DECK_UPGRADERDlg::OnAbout);
  menu.exec(event->globalPos());
}

}  // namespace kvx::ui
