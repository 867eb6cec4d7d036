// The emulated task dialog: takes the same record as TaskDialogIndirect, prepares texts, fonts, colours and
// icons, has the layout computed, runs the dialog modally and returns the same three results.
#pragma once

#include <QBrush>
#include <QFont>
#include <QImage>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "taskdialog/XTaskDialogControls.h"
#include "taskdialog/XTaskDialogLayout.h"

class QDialog;
class QPainter;
class XTaskDialogWindow;

// The module whose string table, icons and button captions the emulation uses: the component's own.
HINSTANCE XTaskDialogComponentModule();

class CXTaskDialog : public CXTaskDialogLayout {
 public:
  // Colours, 0x00BBGGRR.
  static constexpr COLORREF kContentBackground = 0xFFFFFF;
  static constexpr COLORREF kBandColor = 0xF0F0F0;
  static constexpr COLORREF kSeparatorColor = 0xE9E9E9;
  static constexpr COLORREF kMainInstructionColor = 0x993300;

  static constexpr UINT kCallbackTimer = 1;
  static constexpr UINT kAnimationTimer = 2;
  static constexpr int kCallbackTimerInterval = 200;
  static constexpr int kAnimationTimerInterval = 25;

  CXTaskDialog();
  ~CXTaskDialog() override;

  // Runs the dialog for `pConfig`. 0 when the dialog ran (also when no window could be created: the
  // selected button is then -1); else the failure of a preparation step, and no result is written.
  HRESULT ShowIndirect(const TASKDIALOGCONFIG* pConfig, int* pnButton, int* pnRadioButton,
                       BOOL* pfVerificationFlagChecked);

  // Replaces the common buttons' captions by the component's string table entries where they exist.
  virtual void LoadButtonTexts();

  // The task dialog messages (TDM_...) of a running dialog; 0 for any other message.
  LRESULT SendMessage(UINT message, WPARAM wParam, LPARAM lParam);

  HWND GetSafeHwnd() const;
  QWidget* GetDlgItem(int id) const;
  static CXTaskDialog* FromHandle(HWND hwnd);

  bool IsExpanded() const { return m_bExpanded; }
  bool IsAnimating() const;
  // Whether expanding and collapsing animate; the system's setting by default.
  void SetAnimationAllowed(bool allowed) { m_bAnimationAllowed = allowed; }
  bool IsAnimationAllowed() const { return m_bAnimationAllowed; }
  const QFont& GetNormalFont() const { return m_qfontNormal; }
  const QFont& GetLargeFont() const { return m_qfontLarge; }
  HICON GetMainIcon() const { return m_hMainIcon; }
  HICON GetFooterIcon() const { return m_hFooterIcon; }
  COLORREF GetTextColor() const { return m_clrText; }

 private:
  friend class XTaskDialogWindow;

  enum class Role { Other, MainIcon, MainInstruction, Content, ExpandedInfo, Progress, Radio, CommandLink,
                    CustomButton, CommonButton, Expando, Verification, FooterIcon, FooterText };
  struct Control {
    QWidget* widget;
    int id;
    Role role;
  };

  HRESULT LoadIcons();
  HRESULT TakeIcon(bool main, LPARAM icon, bool atStart);
  void CreateControls();
  void OnInitDialog();
  void OnCommand(WPARAM wParam, LPARAM lParam);
  void OnNotifyClick(const std::u16string& target);
  void OnHelp();
  void OnTimer(UINT id);
  void OnDestroy();
  void PaintBackground(QPainter& painter);
  void EndDialog(int id);
  HRESULT Notify(UINT code, WPARAM wParam, LPARAM lParam);

  void ToggleExpanded();
  void FinishAnimation();
  void SetClientHeight(int height);
  void MoveControls(const std::vector<Role>& roles, int dy);
  void ShowControls(const std::vector<Role>& roles, bool show);
  std::vector<QWidget*> ControlsOf(const std::vector<Role>& roles) const;
  QWidget* ControlOf(Role role) const;
  bool IsRadioId(int id) const;
  void SetElementText(int element, LPARAM text, bool* exists);
  void ApplyWindowIcons();

  XTaskDialogWindow* m_pWindow = nullptr;
  std::vector<Control> m_controls;

  // Colours and brushes.
  COLORREF m_clrText = 0;
  QBrush m_brushContent;
  QBrush m_brushBand;
  QFont m_qfontNormal;
  QFont m_qfontLarge;

  // Icons, owned by the dialog.
  std::unique_ptr<QImage> m_iconArrow, m_iconArrowHot;
  std::unique_ptr<QImage> m_iconWarning[2], m_iconError[2], m_iconInformation[2], m_iconShield[2];  // 16, 32
  std::unique_ptr<QImage> m_mainIcon, m_footerIcon;
  HICON m_hMainIcon = nullptr;
  HICON m_hFooterIcon = nullptr;
  bool m_bStandardMainIcon = false;
  WORD m_wMainIconId = 0;

  // Control classes.
  std::vector<std::unique_ptr<CXTaskDialogControl>> m_wrappers;

  // Expanding.
  bool m_bAnimationAllowed = true;
  int m_nAnimationAmount = 0;
  int m_nAnimationDone = 0;
  int m_nAnimationStartHeight = 0;
  int m_nTargetSeparator[3] = {-1, -1, -1};
  bool m_bAnimationInFooter = false;

  // Progress bar.
  int m_nProgressMin = 0;
  int m_nProgressMax = 100;
  int m_nProgressPos = 0;
  int m_nProgressState = PBST_NORMAL;
  bool m_bMarquee = false;

  // Timers and results.
  std::chrono::steady_clock::time_point m_tickStart;
  bool m_bVerificationChecked = false;
  int m_nSelectedRadio = -1;
  std::u16string m_strLinkTarget;  // kept alive while a hyperlink notification runs
};

// Sends a task dialog message to the emulated dialog whose window is `hwnd`; 0 when it is none.
LRESULT SendTaskDialogMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
