#include "taskdialog/XTaskDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBasicTimer>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimerEvent>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <new>

#include "resources/qorvena_resources.h"
#include "taskdialog/XTaskDialogQt.h"

HINSTANCE XTaskDialogComponentModule() { return QorvenaResources(); }

namespace {

constexpr const char* kDialogProperty = "xTaskDialog";

// A command posted to the dialog (TDM_CLICK_BUTTON), handled when the event loop comes round to it.
class PostedCommandEvent : public QEvent {
 public:
  PostedCommandEvent(WPARAM w, LPARAM l) : QEvent(Type()), wParam(w), lParam(l) {}
  static QEvent::Type Type() {
    static const int type = QEvent::registerEventType();
    return static_cast<QEvent::Type>(type);
  }
  WPARAM wParam;
  LPARAM lParam;
};

// Dialog units to pixels with the dialog's base units, rounded as the platform's dialog manager does.
int MulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

COLORREF ToCOLORREF(const QColor& c) {
  return RGB(static_cast<BYTE>(c.red()), static_cast<BYTE>(c.green()), static_cast<BYTE>(c.blue()));
}

bool IsNavigationKey(int key) {
  switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Alt:
      return true;
    default:
      return false;
  }
}

}  // namespace

// The dialog window: hands its events to the CXTaskDialog that runs it.
class XTaskDialogWindow : public QDialog {
 public:
  explicit XTaskDialogWindow(CXTaskDialog* owner) : QDialog(nullptr), m_owner(owner) {
    setProperty(kDialogProperty, QVariant::fromValue(reinterpret_cast<quintptr>(owner)));
    setObjectName(QStringLiteral("XTaskDialog"));
  }
  ~XTaskDialogWindow() override {
    if (m_filtering) qApp->removeEventFilter(this);
  }

  void StartKeyboardCueWatch() {
    qApp->installEventFilter(this);
    m_filtering = true;
  }

  QBasicTimer m_callbackTimer;
  QBasicTimer m_animationTimer;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    m_owner->PaintBackground(painter);
  }
  // Escape, and the window's close command, arrive as Cancel.
  void reject() override { m_owner->OnCommand(IDCANCEL, 0); }
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    m_owner->OnCommand(IDCANCEL, 0);
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
      m_owner->OnHelp();
      return;
    }
    QDialog::keyPressEvent(event);
  }
  void timerEvent(QTimerEvent* event) override {
    if (event->timerId() == m_callbackTimer.timerId())
      m_owner->OnTimer(CXTaskDialog::kCallbackTimer);
    else if (event->timerId() == m_animationTimer.timerId())
      m_owner->OnTimer(CXTaskDialog::kAnimationTimer);
    else
      QDialog::timerEvent(event);
  }
  bool event(QEvent* event) override {
    if (event->type() == PostedCommandEvent::Type()) {
      auto* command = static_cast<PostedCommandEvent*>(event);
      m_owner->OnCommand(command->wParam, command->lParam);
      return true;
    }
    return QDialog::event(event);
  }
  // Keyboard navigation inside the dialog shows the focus and mnemonic cues from then on.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      auto* w = qobject_cast<QWidget*>(watched);
      if (w && w->window() == this && IsNavigationKey(static_cast<QKeyEvent*>(event)->key()) &&
          QueryUIState(this) != 0)
        ChangeUIState(this, 0);
    }
    return false;
  }

 private:
  CXTaskDialog* m_owner;
  bool m_filtering = false;
};

CXTaskDialog::CXTaskDialog() {
  m_bAnimationAllowed = QApplication::isEffectEnabled(Qt::UI_General);
}

CXTaskDialog::~CXTaskDialog() {
  m_wrappers.clear();
  delete m_pWindow;
}

HWND CXTaskDialog::GetSafeHwnd() const { return m_pWindow; }

CXTaskDialog* CXTaskDialog::FromHandle(HWND hwnd) {
  if (!hwnd) return nullptr;
  QVariant v = hwnd->property(kDialogProperty);
  return v.isValid() ? reinterpret_cast<CXTaskDialog*>(v.value<quintptr>()) : nullptr;
}

LRESULT SendTaskDialogMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CXTaskDialog* dialog = CXTaskDialog::FromHandle(hwnd);
  return dialog ? dialog->SendMessage(message, wParam, lParam) : 0;
}

QWidget* CXTaskDialog::GetDlgItem(int id) const {
  for (const Control& c : m_controls)
    if (c.id == static_cast<WORD>(id)) return c.widget;
  return nullptr;
}

QWidget* CXTaskDialog::ControlOf(Role role) const {
  for (const Control& c : m_controls)
    if (c.role == role) return c.widget;
  return nullptr;
}

std::vector<QWidget*> CXTaskDialog::ControlsOf(const std::vector<Role>& roles) const {
  std::vector<QWidget*> out;
  for (const Control& c : m_controls)
    if (std::find(roles.begin(), roles.end(), c.role) != roles.end()) out.push_back(c.widget);
  return out;
}

bool CXTaskDialog::IsRadioId(int id) const {
  for (const Control& c : m_controls)
    if (c.role == Role::Radio && c.id == id) return true;
  return false;
}

bool CXTaskDialog::IsAnimating() const { return m_pWindow && m_pWindow->m_animationTimer.isActive(); }

void CXTaskDialog::LoadButtonTexts() {
  for (int i = 0; i < kCommonButtonCount; ++i) {
    std::u16string caption;
    if (LoadStringResource(XTaskDialogComponentModule(), 11005 + i, &caption)) m_commonButtons[i].caption = caption;
  }
}

HRESULT CXTaskDialog::Notify(UINT code, WPARAM wParam, LPARAM lParam) {
  if (!m_pConfig || !m_pConfig->pfCallback) return S_OK;
  return m_pConfig->pfCallback(m_pWindow, code, wParam, lParam, m_pConfig->lpCallbackData);
}

HRESULT CXTaskDialog::LoadIcons() {
  const HINSTANCE module = XTaskDialogComponentModule();
  auto load = [module](UINT id, int size, std::unique_ptr<QImage>* slot) {
    QImage image = LoadIconResource(module, id, size);
    if (image.isNull()) return false;
    *slot = std::make_unique<QImage>(std::move(image));
    return true;
  };
  bool ok = load(IDI_ARROW, 16, &m_iconArrow) && load(IDI_ARROW_HOT, 16, &m_iconArrowHot);
  const int sizes[2] = {16, 32};
  for (int i = 0; ok && i < 2; ++i) {
    ok = load(IDI_WARNING, sizes[i], &m_iconWarning[i]) && load(IDI_ERROR, sizes[i], &m_iconError[i]) &&
         load(IDI_INFORMATION, sizes[i], &m_iconInformation[i]) && load(IDI_SHIELD, sizes[i], &m_iconShield[i]);
  }
  return ok ? S_OK : HResultFromPlatformError(ERROR_RESOURCE_NAME_NOT_FOUND);
}

// Main icon (32 pixels) or footer icon (16 pixels) from a handle or an id.
HRESULT CXTaskDialog::TakeIcon(bool main, LPARAM value, bool atStart) {
  const int flag = main ? TDF_USE_HICON_MAIN : TDF_USE_HICON_FOOTER;
  const int size = main ? 32 : 16;
  const int sizeIndex = main ? 1 : 0;
  std::unique_ptr<QImage>& slot = main ? m_mainIcon : m_footerIcon;
  HICON& handle = main ? m_hMainIcon : m_hFooterIcon;
  std::unique_ptr<QImage> icon;
  bool standard = false;
  WORD id = 0;
  HRESULT hr = S_OK;
  if (m_pConfig->dwFlags & flag) {
    // A null handle means no icon.
    auto given = reinterpret_cast<HICON>(value);
    if (given && !given->isNull()) icon = std::make_unique<QImage>(*given);
  } else {
    auto field = reinterpret_cast<PCWSTR>(value);
    if (field && IS_INTRESOURCE(field)) {
      id = RESOURCE_ID(field);
      const QImage* known = nullptr;
      switch (id) {
        case TD_ERROR_ICON_ID: known = m_iconError[sizeIndex].get(); break;
        case TD_WARNING_ICON_ID: known = m_iconWarning[sizeIndex].get(); break;
        case TD_INFORMATION_ICON_ID: known = m_iconInformation[sizeIndex].get(); break;
        case TD_SHIELD_ICON_ID: known = m_iconShield[sizeIndex].get(); break;
        default: break;
      }
      if (known) {
        icon = std::make_unique<QImage>(*known);
        standard = true;
      } else if (m_pConfig->hInstance) {
        QImage loaded = LoadIconResource(m_pConfig->hInstance, id, size);
        if (loaded.isNull())
          hr = HResultFromPlatformError(ERROR_RESOURCE_NAME_NOT_FOUND);
        else
          icon = std::make_unique<QImage>(std::move(loaded));
      }
    }
  }
  if (FAILED(hr) && atStart) {
    // A footer icon that cannot be had is left out.
    return main ? hr : S_OK;
  }
  slot = std::move(icon);
  handle = slot.get();
  if (main) {
    m_bStandardMainIcon = standard;
    m_wMainIconId = standard ? id : 0;
  }
  return S_OK;
}

HRESULT CXTaskDialog::ShowIndirect(const TASKDIALOGCONFIG* pConfig, int* pnButton, int* pnRadioButton,
                                   BOOL* pfVerificationFlagChecked) {
  if (!pConfig) return E_INVALIDARG;
  // 1. The record, the common buttons' captions.
  m_pConfig = pConfig;
  LoadButtonTexts();

  // 2. Brushes and icons.
  m_brushContent = QBrush(QColorFromCOLORREF(kContentBackground));
  m_brushBand = QBrush(QColorFromCOLORREF(kBandColor));
  HRESULT hr = LoadIcons();
  if (FAILED(hr)) return hr;

  // 3, 4. Texts.
  hr = LoadTexts();
  if (FAILED(hr)) return hr;

  // 5, 6. Icons of the record.
  hr = TakeIcon(true,
                (pConfig->dwFlags & TDF_USE_HICON_MAIN) ? reinterpret_cast<LPARAM>(pConfig->hMainIcon)
                                                        : reinterpret_cast<LPARAM>(pConfig->pszMainIcon),
                true);
  if (FAILED(hr)) return hr;
  TakeIcon(false,
           (pConfig->dwFlags & TDF_USE_HICON_FOOTER) ? reinterpret_cast<LPARAM>(pConfig->hFooterIcon)
                                                     : reinterpret_cast<LPARAM>(pConfig->pszFooterIcon),
           true);
  m_bHasMainIcon = m_hMainIcon != nullptr;
  m_bHasFooterIcon = m_hFooterIcon != nullptr;

  // 7. Layout.
  hr = BuildLayout();
  if (FAILED(hr)) return hr;
  m_qfontNormal = ToQFont(m_fontNormal);
  m_qfontLarge = ToQFont(m_fontLarge);
  m_clrText = ToCOLORREF(QApplication::palette().color(QPalette::Active, QPalette::ButtonText));

  // 8. Run modally. Without a running application no window can be made: that is no error.
  int selected = -1;
  m_bVerificationChecked = false;
  m_nSelectedRadio = -1;
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
    m_pWindow = new XTaskDialogWindow(this);
    CreateControls();
    OnInitDialog();
    m_pWindow->StartKeyboardCueWatch();
    selected = m_pWindow->exec();
    OnDestroy();
    m_wrappers.clear();
    m_controls.clear();
    delete m_pWindow;
    m_pWindow = nullptr;
  }
  if (pnButton) *pnButton = selected;
  if (pfVerificationFlagChecked) *pfVerificationFlagChecked = m_bVerificationChecked ? 1 : 0;
  if (pnRadioButton) *pnRadioButton = m_nSelectedRadio;
  return S_OK;
}

void CXTaskDialog::CreateControls() {
  XTaskDialogWindow* window = m_pWindow;
  const TASKDIALOGCONFIG& c = *m_pConfig;
  const int bx = m_baseUnits.cx > 0 ? m_baseUnits.cx : 8;
  const int by = m_baseUnits.cy > 0 ? m_baseUnits.cy : 16;
  const bool commandLinks = (c.dwFlags & TDF_USE_COMMAND_LINKS) != 0;
  const UINT customCount = c.pButtons ? c.cButtons : 0;

  window->setWindowTitle(ToQString(m_strTitle));
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (m_header.style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (m_header.style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
  window->setWindowFlags(flags);
  window->setWindowModality(Qt::ApplicationModal);
  if (m_header.exStyle & WS_EX_RTLREADING) window->setLayoutDirection(Qt::RightToLeft);
  window->setFixedSize(MulDiv(m_header.cx, bx, 4), MulDiv(m_header.cy, by, 8));
  window->setProperty("uiState", static_cast<uint>(UISF_HIDEFOCUS | UISF_HIDEACCEL));
  if (c.hwndParent) {
    window->winId();
    QWidget* ownerWindow = c.hwndParent->window();
    if (ownerWindow && ownerWindow->windowHandle() && window->windowHandle())
      window->windowHandle()->setTransientParent(ownerWindow->windowHandle());
  }

  UINT customSeen = 0;
  for (const TaskDialogItem& item : m_items) {
    const int id = item.id;
    QWidget* widget = nullptr;
    Role role = Role::Other;
    const QString text = ToQString(item.text);
    switch (item.kind) {
      case TDLG_KIND_BUTTON: {
        auto* button = new QPushButton(text, window);
        button->setAutoDefault(true);
        button->setDefault((item.style & 0xF) == BS_DEFPUSHBUTTON);
        QObject::connect(button, &QPushButton::clicked, window, [this, id] { OnCommand(static_cast<WPARAM>(id), 0); });
        if ((item.style & 0xF) == BS_OWNERDRAW)
          role = Role::CommandLink;
        else if (id == m_nExpandoButtonId)
          role = Role::Expando;
        else if (!commandLinks && customSeen < customCount) {
          role = Role::CustomButton;  // the row starts with the custom buttons
          ++customSeen;
        } else
          role = Role::CommonButton;
        widget = button;
        break;
      }
      case TDLG_KIND_STATIC: {
        auto* label = new QLabel(window);
        label->setTextFormat(Qt::PlainText);
        label->setText(text);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        widget = label;
        break;
      }
      case TDLG_KIND_LINK: {
        auto* label = new QLabel(window);
        label->setTextFormat(Qt::RichText);
        label->setText(ToQString(LinkMarkupToRichText(item.text)));
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setOpenExternalLinks(false);
        label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
        QObject::connect(label, &QLabel::linkActivated, window,
                         [this](const QString& target) { OnNotifyClick(ToU16(target)); });
        widget = label;
        break;
      }
      case TDLG_KIND_CHECKBOX: {
        auto* box = new QCheckBox(text, window);
        QObject::connect(box, &QCheckBox::clicked, window, [this, id] { OnCommand(static_cast<WPARAM>(id), 0); });
        role = Role::Verification;
        widget = box;
        break;
      }
      case TDLG_KIND_PROGRESS: {
        auto* bar = new QProgressBar(window);
        bar->setTextVisible(false);
        bar->setRange(m_nProgressMin, m_nProgressMax);
        bar->setValue(m_nProgressPos);
        role = Role::Progress;
        widget = bar;
        break;
      }
      case TDLG_KIND_RADIO: {
        auto* radio = new QRadioButton(text, window);
        QObject::connect(radio, &QRadioButton::clicked, window, [this, id] { OnCommand(static_cast<WPARAM>(id), 0); });
        role = Role::Radio;
        widget = radio;
        break;
      }
      default:
        continue;
    }
    if (role == Role::Other) {
      if (id == m_nMainIconId) role = Role::MainIcon;
      else if (id == m_nMainInstructionId) role = Role::MainInstruction;
      else if (id == m_nContentId) role = Role::Content;
      else if (id == m_nExpandedInfoId) role = Role::ExpandedInfo;
      else if (id == m_nFooterIconId) role = Role::FooterIcon;
      else if (id == m_nFooterTextId) role = Role::FooterText;
    }
    if (!(item.style & WS_TABSTOP) && item.kind != TDLG_KIND_RADIO) widget->setFocusPolicy(Qt::NoFocus);
    if (m_header.exStyle & WS_EX_RTLREADING) widget->setLayoutDirection(Qt::RightToLeft);
    SetDlgCtrlID(widget, id);
    SetControlStyle(widget, item.style);
    widget->setGeometry(MulDiv(item.x, bx, 4), MulDiv(item.y, by, 8), MulDiv(item.cx, bx, 4), MulDiv(item.cy, by, 8));
    widget->setHidden(!(item.style & WS_VISIBLE));
    m_controls.push_back(Control{widget, id, role});
  }
}

void CXTaskDialog::OnInitDialog() {
  XTaskDialogWindow* window = m_pWindow;
  const TASKDIALOGCONFIG& c = *m_pConfig;
  const bool commandLinks = (c.dwFlags & TDF_USE_COMMAND_LINKS) != 0;
  const bool noLinkIcon = (c.dwFlags & TDF_USE_COMMAND_LINKS_NO_ICON) != 0;

  // 1.
  Notify(TDN_DIALOG_CONSTRUCTED, 0, 0);

  // 2. Centre in the work area of the owner's monitor; with the flag the platform places it.
  if (!(c.dwFlags & TDF_POSITION_RELATIVE_TO_WINDOW)) {
    QScreen* screen = c.hwndParent ? c.hwndParent->screen() : QGuiApplication::primaryScreen();
    if (screen) {
      const QRect work = screen->availableGeometry();
      window->move(work.left() + (work.width() - window->width()) / 2,
                   work.top() + (work.height() - window->height()) / 2);
    }
  }

  // 3. Fonts.
  for (int id : {IDOK, IDYES, IDNO, IDCANCEL, IDRETRY, IDCLOSE})
    if (QWidget* w = GetDlgItem(id)) w->setFont(m_qfontNormal);
  for (Role role : {Role::Content, Role::ExpandedInfo, Role::Expando, Role::Progress, Role::Verification,
                    Role::FooterText, Role::Radio})
    for (QWidget* w : ControlsOf({role})) w->setFont(m_qfontNormal);
  if (QWidget* w = ControlOf(Role::MainInstruction)) w->setFont(m_qfontLarge);
  for (QWidget* w : ControlsOf({Role::CommandLink, Role::CustomButton}))
    w->setFont(commandLinks ? m_qfontLarge : m_qfontNormal);

  // 4. Verification box and marquee.
  if (auto* box = qobject_cast<QCheckBox*>(ControlOf(Role::Verification)))
    box->setChecked((c.dwFlags & TDF_VERIFICATION_FLAG_CHECKED) != 0);
  if (c.dwFlags & TDF_SHOW_MARQUEE_PROGRESS_BAR) SendMessage(TDM_SET_MARQUEE_PROGRESS_BAR, 1, 20);

  // 5. Focus on the default button.
  if (QWidget* w = GetDlgItem(m_nDefaultButtonId); w && m_nDefaultButtonId != -1) w->setFocus();

  // 6. Radio buttons.
  const UINT radioCount = c.pRadioButtons ? c.cRadioButtons : 0;
  if (radioCount > 0 && !(c.dwFlags & TDF_NO_DEFAULT_RADIO_BUTTON)) {
    const int id = c.nDefaultRadioButton != 0 ? c.nDefaultRadioButton : c.pRadioButtons[0].nButtonID;
    if (auto* radio = qobject_cast<QRadioButton*>(GetDlgItem(id)); radio && IsRadioId(id)) radio->setChecked(true);
  }

  // 7. The close command exists only with cancellation (window flags, above).
  // 8. Window icons.
  if (c.dwFlags & TDF_CAN_BE_MINIMIZED) ApplyWindowIcons();

  // 9. Control classes.
  bool failed = false;
  auto attach = [&](std::unique_ptr<CXTaskDialogControl> wrapper, QWidget* control) {
    if (!wrapper || !control) return;
    if (!wrapper->SubclassWindow(control)) failed = true;
    m_wrappers.push_back(std::move(wrapper));
  };
  try {
    if (QWidget* w = ControlOf(Role::MainIcon)) {
      auto icon = std::make_unique<CXTaskDialogIconStatic>();
      icon->SetIcon(&m_hMainIcon);
      icon->SetLarge(true);
      attach(std::move(icon), w);
    }
    if (QWidget* w = ControlOf(Role::FooterIcon)) {
      auto icon = std::make_unique<CXTaskDialogIconStatic>();
      icon->SetIcon(&m_hFooterIcon);
      icon->SetLarge(false);
      attach(std::move(icon), w);
    }
    auto makeStatic = [&](QWidget* w, COLORREF text, COLORREF back, const QBrush* brush) {
      if (!w) return;
      auto st = std::make_unique<CXTaskDialogStatic>();
      st->SetTextColor(text);
      st->SetBkColor(back);
      st->SetBkBrush(brush);
      attach(std::move(st), w);
    };
    makeStatic(ControlOf(Role::MainInstruction), kMainInstructionColor, kContentBackground, &m_brushContent);
    makeStatic(ControlOf(Role::Content), m_clrText, kContentBackground, &m_brushContent);
    if (c.dwFlags & TDF_EXPAND_FOOTER_AREA)
      makeStatic(ControlOf(Role::ExpandedInfo), m_clrText, kBandColor, &m_brushBand);
    else
      makeStatic(ControlOf(Role::ExpandedInfo), m_clrText, kContentBackground, &m_brushContent);
    for (QWidget* w : ControlsOf({Role::Radio})) {
      auto button = std::make_unique<CXTaskDialogButton>();
      button->SetBkColor(kContentBackground);
      button->SetBkBrush(&m_brushContent);
      attach(std::move(button), w);
    }
    if (commandLinks) {
      for (QWidget* w : ControlsOf({Role::CommandLink})) {
        auto link = std::make_unique<CXTaskDialogCommandLink>();
        if (!link->SetFontsAndGlyphs(&m_qfontLarge, &m_qfontNormal, noLinkIcon ? nullptr : m_iconArrow.get(),
                                     noLinkIcon ? nullptr : m_iconArrowHot.get()))
          failed = true;
        if (!noLinkIcon) SetButtonImage(w, m_iconArrow.get());
        attach(std::move(link), w);
      }
    }
    makeStatic(ControlOf(Role::FooterText), m_clrText, kBandColor, &m_brushBand);
    if (QWidget* w = ControlOf(Role::Verification)) {
      auto button = std::make_unique<CXTaskDialogButton>();
      button->SetBkColor(kBandColor);
      button->SetBkBrush(&m_brushBand);
      attach(std::move(button), w);
    }
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  if (failed) QCoreApplication::postEvent(window, new QCloseEvent());

  // 10. Callback timer.
  if (c.dwFlags & TDF_CALLBACK_TIMER) window->m_callbackTimer.start(kCallbackTimerInterval, window);
  m_tickStart = std::chrono::steady_clock::now();

  // 11. Sound for the standard icons that have one.
  if (m_bStandardMainIcon &&
      (m_wMainIconId == TD_ERROR_ICON_ID || m_wMainIconId == TD_WARNING_ICON_ID || m_wMainIconId == TD_INFORMATION_ICON_ID))
    QApplication::beep();

  // 12.
  Notify(TDN_CREATED, 0, 0);
}

void CXTaskDialog::ApplyWindowIcons() {
  if (!m_pWindow) return;
  QIcon icon;
  if (m_bStandardMainIcon) {
    const std::unique_ptr<QImage>* set = nullptr;
    switch (m_wMainIconId) {
      case TD_ERROR_ICON_ID: set = m_iconError; break;
      case TD_WARNING_ICON_ID: set = m_iconWarning; break;
      case TD_INFORMATION_ICON_ID: set = m_iconInformation; break;
      case TD_SHIELD_ICON_ID: set = m_iconShield; break;
      default: break;
    }
    if (set && set[0]) icon.addPixmap(QPixmap::fromImage(*set[0]));
  }
  if (m_hMainIcon) icon.addPixmap(QPixmap::fromImage(*m_hMainIcon));
  m_pWindow->setWindowIcon(icon);
}

void CXTaskDialog::PaintBackground(QPainter& painter) {
  const int width = m_pWindow->width();
  const int height = m_pWindow->height();
  const QColor white = QColorFromCOLORREF(kContentBackground);
  const QColor band = QColorFromCOLORREF(kBandColor);
  const QColor line = QColorFromCOLORREF(kSeparatorColor);
  auto fill = [&](int top, int bottom, const QColor& color) {
    if (bottom > top) painter.fillRect(QRect(0, top, width, bottom - top), color);
  };
  if (m_nSeparator1 == -1) {
    fill(0, height, white);
    return;
  }
  fill(0, m_nSeparator1, white);
  fill(m_nSeparator1, m_nSeparator1 + 1, line);
  fill(m_nSeparator1 + 1, m_nSeparator2 != -1 ? m_nSeparator2 - 1 : height, band);
  if (m_nSeparator2 != -1) {
    fill(m_nSeparator2 - 1, m_nSeparator2, line);
    fill(m_nSeparator2, m_nSeparator2 + 1, white);
    fill(m_nSeparator2 + 1, m_nSeparator3 != -1 ? m_nSeparator3 - 1 : height, band);
  }
  if (m_nSeparator3 != -1) {
    fill(m_nSeparator3 - 1, m_nSeparator3, line);
    fill(m_nSeparator3, m_nSeparator3 + 1, white);
    fill(m_nSeparator3 + 1, height, band);
  }
}

void CXTaskDialog::OnCommand(WPARAM wParam, LPARAM) {
  if (!m_pWindow) return;
  const TASKDIALOGCONFIG& c = *m_pConfig;
  const int id = LOWORD(wParam);
  if (IsRadioId(id)) {
    Notify(TDN_RADIO_BUTTON_CLICKED, wParam, 0);
    return;
  }
  if (id == m_nExpandoButtonId && m_nExpandoButtonId != -1) {
    ToggleExpanded();
    return;
  }
  if (id == m_nVerificationId && m_nVerificationId != -1) {
    auto* box = qobject_cast<QCheckBox*>(ControlOf(Role::Verification));
    Notify(TDN_VERIFICATION_CLICKED, box && box->isChecked() ? 1 : 0, 0);
    return;
  }
  if (id == IDCANCEL && !(c.dwFlags & TDF_ALLOW_DIALOG_CANCELLATION) && !(c.dwCommonButtons & TDCBF_CANCEL_BUTTON))
    return;
  if (Notify(TDN_BUTTON_CLICKED, static_cast<WPARAM>(id), 0) == 1) return;
  EndDialog(id);
}

void CXTaskDialog::EndDialog(int id) {
  auto* box = qobject_cast<QCheckBox*>(ControlOf(Role::Verification));
  m_bVerificationChecked = box && box->isChecked();
  m_nSelectedRadio = -1;
  const UINT radioCount = m_pConfig->pRadioButtons ? m_pConfig->cRadioButtons : 0;
  for (UINT i = 0; i < radioCount; ++i) {
    const int radioId = m_pConfig->pRadioButtons[i].nButtonID;
    auto* radio = qobject_cast<QRadioButton*>(GetDlgItem(radioId));
    if (radio && IsRadioId(radioId) && radio->isChecked()) {
      m_nSelectedRadio = radioId;
      break;
    }
  }
  m_pWindow->done(id);
}

void CXTaskDialog::OnNotifyClick(const std::u16string& target) {
  m_strLinkTarget = target;
  Notify(TDN_HYPERLINK_CLICKED, 0, reinterpret_cast<LPARAM>(m_strLinkTarget.c_str()));
}

void CXTaskDialog::OnHelp() { Notify(TDN_HELP, 0, 0); }

void CXTaskDialog::OnTimer(UINT id) {
  if (id == kCallbackTimer) {
    const auto now = std::chrono::steady_clock::now();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_tickStart).count();
    if (Notify(TDN_TIMER, static_cast<WPARAM>(elapsed), 0) == 1) m_tickStart = now;
    return;
  }
  if (id != kAnimationTimer) return;
  const int full = std::abs(m_nAnimationAmount);
  const int step = std::max(1, full / 10);
  m_nAnimationDone += step;
  SetClientHeight(m_pWindow->height() + (m_nAnimationAmount < 0 ? -step : step));
  if (m_nAnimationDone >= full) FinishAnimation();
}

void CXTaskDialog::OnDestroy() {
  if (m_pWindow) {
    m_pWindow->m_callbackTimer.stop();
    m_pWindow->m_animationTimer.stop();
  }
  Notify(TDN_DESTROYED, 0, 0);
}

void CXTaskDialog::SetClientHeight(int height) {
  m_pWindow->setFixedSize(m_pWindow->width(), std::max(1, height));
}

void CXTaskDialog::MoveControls(const std::vector<Role>& roles, int dy) {
  for (QWidget* w : ControlsOf(roles)) w->move(w->x(), w->y() + dy);
}

void CXTaskDialog::ShowControls(const std::vector<Role>& roles, bool show) {
  for (QWidget* w : ControlsOf(roles)) w->setVisible(show);
}

void CXTaskDialog::ToggleExpanded() {
  if (IsAnimating()) FinishAnimation();
  const TASKDIALOGCONFIG& c = *m_pConfig;
  const bool inFooter = (c.dwFlags & TDF_EXPAND_FOOTER_AREA) != 0;
  const bool animate = m_bAnimationAllowed;
  const std::vector<Role> below = {Role::Expando,      Role::Verification, Role::FooterIcon,
                                   Role::FooterText,   Role::CommonButton, Role::CustomButton};

  // 1.
  m_bExpanded = !m_bExpanded;
  if (auto* expando = qobject_cast<QAbstractButton*>(ControlOf(Role::Expando)))
    expando->setText(ToQString(m_bExpanded ? m_strExpandedCaption : m_strCollapsedCaption));
  QWidget* info = ControlOf(Role::ExpandedInfo);
  if (info) {
    // 2.
    if (animate) {
      info->hide();
      if (!inFooter) ShowControls(below, false);
    }
    const int height = m_pWindow->height();
    m_nAnimationStartHeight = height;
    m_bAnimationInFooter = inFooter;
    if (!inFooter) {
      // 3. Content-area form.
      int amount = info->height() + 10;
      if (!m_bExpanded) amount = -amount;
      m_nAnimationAmount = amount;
      MoveControls({Role::CommandLink, Role::Radio, Role::Progress}, amount);
      if (animate) {
        m_nTargetSeparator[0] = m_nSeparator1 != -1 ? m_nSeparator1 + amount : -1;
        m_nTargetSeparator[1] = m_nSeparator2 != -1 ? m_nSeparator2 + amount : -1;
        m_nTargetSeparator[2] = m_nSeparator3;
        m_nSeparator1 = m_nSeparator2 = m_nSeparator3 = -1;
      } else {
        MoveControls(below, amount);
        info->setVisible(m_bExpanded);
        if (m_nSeparator1 != -1) m_nSeparator1 += amount;
        if (m_nSeparator2 != -1) m_nSeparator2 += amount;
        SetClientHeight(height + amount);
      }
    } else {
      // 4. Footer-area form.
      const int frameBelow = std::max(0, m_pWindow->frameGeometry().bottom() - m_pWindow->geometry().bottom());
      int amount = info->height() + 20 - frameBelow;
      if (!m_bExpanded) amount = -amount;
      m_nAnimationAmount = amount;
      const int target = m_bExpanded ? height : -1;
      if (animate) {
        m_nTargetSeparator[0] = m_nSeparator1;
        m_nTargetSeparator[1] = m_nSeparator2;
        m_nTargetSeparator[2] = target;
        m_nSeparator3 = -1;
      } else {
        SetClientHeight(height + amount);
        info->setVisible(m_bExpanded);
        m_nSeparator3 = target;
      }
    }
    // 5.
    if (animate) {
      m_nAnimationDone = 0;
      info->setFocus();
      m_pWindow->update();
      m_pWindow->m_animationTimer.start(kAnimationTimerInterval, m_pWindow);
    } else {
      m_pWindow->update();
    }
  }
  // 6.
  Notify(TDN_EXPANDO_BUTTON_CLICKED, m_bExpanded ? 1 : 0, 0);
}

void CXTaskDialog::FinishAnimation() {
  m_pWindow->m_animationTimer.stop();
  const std::vector<Role> below = {Role::Expando,      Role::Verification, Role::FooterIcon,
                                   Role::FooterText,   Role::CommonButton, Role::CustomButton};
  // Whole steps may pass the amount; the window ends at exactly the height it grows or shrinks by.
  SetClientHeight(m_nAnimationStartHeight + m_nAnimationAmount);
  if (!m_bAnimationInFooter) MoveControls(below, m_nAnimationAmount);
  m_nSeparator1 = m_nTargetSeparator[0];
  m_nSeparator2 = m_nTargetSeparator[1];
  m_nSeparator3 = m_nTargetSeparator[2];
  if (QWidget* info = ControlOf(Role::ExpandedInfo); info && m_bExpanded) info->show();
  if (!m_bAnimationInFooter) {
    ShowControls(below, true);
    ShowControls({Role::Progress, Role::CommandLink, Role::Radio}, true);
  }
  if (QWidget* expando = ControlOf(Role::Expando)) expando->setFocus();
  m_pWindow->update();
}

void CXTaskDialog::SetElementText(int element, LPARAM text, bool* exists) {
  int id = -1;
  switch (element) {
    case TDE_CONTENT: id = m_nContentId; break;
    case TDE_EXPANDED_INFORMATION: id = m_nExpandedInfoId; break;
    case TDE_FOOTER: id = m_nFooterTextId; break;
    case TDE_MAIN_INSTRUCTION: id = m_nMainInstructionId; break;
    default: break;
  }
  auto* label = id != -1 ? qobject_cast<QLabel*>(GetDlgItem(id)) : nullptr;
  *exists = label != nullptr;
  if (!label) return;
  std::u16string value;
  LoadText(XTaskDialogComponentModule(), &value, reinterpret_cast<PCWSTR>(text));
  if (label->textFormat() == Qt::RichText)
    label->setText(ToQString(LinkMarkupToRichText(value)));
  else
    label->setText(ToQString(value));
}

LRESULT CXTaskDialog::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (!m_pWindow) return 0;
  const TASKDIALOGCONFIG& c = *m_pConfig;
  auto* bar = qobject_cast<QProgressBar*>(ControlOf(Role::Progress));
  switch (message) {
    case TDM_CLICK_BUTTON: {
      if (QWidget* w = GetDlgItem(static_cast<int>(wParam))) w->setFocus();
      QCoreApplication::postEvent(m_pWindow, new PostedCommandEvent(wParam, lParam));
      return 1;
    }
    case TDM_SET_MARQUEE_PROGRESS_BAR:
      if (bar) {
        m_bMarquee = wParam != 0;
        SetControlStyle(bar, m_bMarquee ? (GetControlStyle(bar) | PBS_MARQUEE) : (GetControlStyle(bar) & ~PBS_MARQUEE));
        if (m_bMarquee)
          bar->setRange(0, 0);
        else {
          bar->setRange(m_nProgressMin, m_nProgressMax);
          bar->setValue(m_nProgressPos);
        }
      }
      return static_cast<LRESULT>(wParam);
    case TDM_SET_PROGRESS_BAR_STATE:
      if (bar) {
        m_nProgressState = static_cast<int>(wParam);
        QPalette pal = QApplication::palette(bar);
        if (m_nProgressState == PBST_ERROR)
          pal.setColor(QPalette::Highlight, QColor(0xDA, 0x26, 0x26));
        else if (m_nProgressState == PBST_PAUSED)
          pal.setColor(QPalette::Highlight, QColor(0xDA, 0xCB, 0x26));
        bar->setPalette(pal);
      }
      return 1;
    case TDM_SET_PROGRESS_BAR_RANGE: {
      if (!bar) return 0;
      const LRESULT previous = MAKELONG(static_cast<WORD>(m_nProgressMin), static_cast<WORD>(m_nProgressMax));
      m_nProgressMin = LOWORD(static_cast<std::uintptr_t>(lParam));
      m_nProgressMax = HIWORD(static_cast<std::uintptr_t>(lParam));
      if (m_nProgressMax < m_nProgressMin) std::swap(m_nProgressMin, m_nProgressMax);
      m_nProgressPos = std::clamp(m_nProgressPos, m_nProgressMin, m_nProgressMax);
      if (!m_bMarquee) {
        bar->setRange(m_nProgressMin, m_nProgressMax);
        bar->setValue(m_nProgressPos);
      }
      return previous;
    }
    case TDM_SET_PROGRESS_BAR_POS: {
      if (!bar) return 0;
      const LRESULT previous = m_nProgressPos;
      m_nProgressPos = std::clamp(static_cast<int>(wParam), m_nProgressMin, m_nProgressMax);
      if (!m_bMarquee) bar->setValue(m_nProgressPos);
      return previous;
    }
    case TDM_SET_ELEMENT_TEXT: {
      bool exists = false;
      SetElementText(static_cast<int>(wParam), lParam, &exists);
      return exists ? 1 : 0;
    }
    case TDM_UPDATE_ELEMENT_TEXT: {
      bool exists = false;
      SetElementText(static_cast<int>(wParam), lParam, &exists);
      return 1;
    }
    case TDM_CLICK_RADIO_BUTTON: {
      const int id = static_cast<int>(wParam);
      for (QWidget* w : ControlsOf({Role::Radio})) {
        auto* radio = static_cast<QRadioButton*>(w);
        radio->setAutoExclusive(false);
        radio->setChecked(GetDlgCtrlID(radio) == static_cast<WORD>(id));
        radio->setAutoExclusive(true);
        if (GetDlgCtrlID(radio) == static_cast<WORD>(id)) radio->setFocus();
      }
      return 0;
    }
    case TDM_ENABLE_BUTTON:
    case TDM_ENABLE_RADIO_BUTTON:
      if (QWidget* w = GetDlgItem(static_cast<int>(wParam))) w->setEnabled(lParam != 0);
      return 0;
    case TDM_CLICK_VERIFICATION:
      if (auto* box = qobject_cast<QCheckBox*>(ControlOf(Role::Verification))) {
        box->setChecked(wParam != 0);
        if (lParam) box->setFocus();
      }
      return 0;
    case TDM_SET_BUTTON_ELEVATION_REQUIRED_STATE:
      if (QWidget* w = GetDlgItem(static_cast<int>(wParam))) {
        const bool link = (GetControlStyle(w) & 0xF) == BS_OWNERDRAW;
        if (lParam)
          SetButtonImage(w, m_iconShield[0].get());
        else if (link && !(c.dwFlags & TDF_USE_COMMAND_LINKS_NO_ICON))
          SetButtonImage(w, m_iconArrow.get());
        else
          SetButtonImage(w, nullptr);  // a push button never had a glyph
      }
      return 0;
    case TDM_UPDATE_ICON:
      if (wParam == TDIE_ICON_MAIN) {
        m_mainIcon.reset();
        m_hMainIcon = nullptr;
        TakeIcon(true, lParam, false);
        if (c.dwFlags & TDF_CAN_BE_MINIMIZED) ApplyWindowIcons();
        if (!m_hMainIcon) m_pWindow->update();
        if (QWidget* w = ControlOf(Role::MainIcon)) w->update();
      } else if (wParam == TDIE_ICON_FOOTER) {
        m_footerIcon.reset();
        m_hFooterIcon = nullptr;
        TakeIcon(false, lParam, false);
        if (QWidget* w = ControlOf(Role::FooterIcon)) w->update();
      }
      return 0;
    default:
      return 0;
  }
}
