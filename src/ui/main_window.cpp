#include "ui/main_window.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QShortcut>
#include <algorithm>

#include "ui/empty_captions.h"
#include "ui/image_button.h"
#include "ui/log_window.h"
#include "ui/port_label.h"
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
      log_window_(std::make_unique<CATLogWindow>([this] { behaviour_.OnLogWindowKey(); })),
      background_(BackgroundBitmap()),
      behaviour_(std::move(services), *this) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowIcon(AppIcon());
  setFixedSize(kClientWidth, kClientHeight);
  move(0, 0);
  setAcceptDrops(true);
  CreateControls();
  CreateShortcuts();
}

CSKY_DECK_UPGRADERDlg::~CSKY_DECK_UPGRADERDlg() = default;

void CSKY_DECK_UPGRADERDlg::CreateControls() {
  port_setup_ = AddButton(this, "&PORTSETUP_", "portSetupButton", {550, 233, 79, 25});
  open_ = AddButton(this, "&OPEN_", "openButton", {550, 268, 79, 25});
  start_ = AddButton(this, "&START_", "startButton", {549, 365, 79, 25});
  exit_ = AddButton(this, "&EXIT_", "exitButton", {550, 415, 79, 25});
  connect(port_setup_, &QAbstractButton::clicked, this, [this] { behaviour_.OnPortSetup(); });
  connect(open_, &QAbstractButton::clicked, this, [this] { behaviour_.OnOpen(); });
  connect(start_, &QAbstractButton::clicked, this, [this] { behaviour_.OnStart(); });
  connect(exit_, &QAbstractButton::clicked, this, [this] { behaviour_.OnExit(); });

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

  web_link_ = new WebLinkArea(this);
  web_link_->setGeometry(374, 18, 245, 59);
  connect(web_link_, &WebLinkArea::activated, this, [this] { behaviour_.OnWebLink(); });

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
    add(QKeySequence(Qt::CTRL | Qt::SHIFT | key),
        [this, step] { behaviour_.OnDevSequenceKey(step); });
  }
  add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T), [this] { behaviour_.OnDumpKey(); });
  add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D), [this] { behaviour_.OnLogWindowKey(); });
  add(QKeySequence(Qt::Key_F1), [this] { behaviour_.OnAbout(); });
}

void CSKY_DECK_UPGRADERDlg::OnInitDialog() {
  UseEmptyCaptions();
  behaviour_.OnInitDialog();
}

void CSKY_DECK_UPGRADERDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, background_);
}

}  // namespace kvx::ui
