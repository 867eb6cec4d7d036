#include "taskdialog/XTaskDialogLayout.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>

#include "platform/com/utf.h"

const std::u16string_view CXTaskDialogLayout::kDefaultCollapsedCaption = u"See &details >>";
const std::u16string_view CXTaskDialogLayout::kDefaultExpandedCaption = u"Hide &details <<";

namespace {

constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP;  // 0x50010000
constexpr DWORD kStaticStyle = WS_CHILD | WS_VISIBLE;               // 0x50000000
constexpr DWORD kCheckBoxStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kProgressStyle = WS_CHILD | WS_VISIBLE | PBS_SMOOTH;
constexpr DWORD kLinkStyle = WS_CHILD | WS_VISIBLE;
constexpr DWORD kRadioStyle = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON;
constexpr DWORD kCommandLinkStyle = BS_OWNERDRAW | BS_ICON | BS_LEFT;  // 0x14B

constexpr DWORD kDialogStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME;  // 0x90C00080

// Margins of the layout, pixels.
constexpr int kMargin = 10;
constexpr int kMainIconSize = 32;
constexpr int kMainIconTop = 14;
constexpr int kTextLeftWithIcon = 52;
constexpr int kSmallIconSize = 16;

std::u16string ExecutableFileName() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return Utf8ToUtf16(exe.filename().string());
}

// A size in dialog units. Rounded up: truncated, a control could come back a pixel smaller than the text
// measured for it, and a line that just fitted would wrap and be cut off.
int SizeToDialogUnits(int pixels, int units, int baseUnit) {
  return pixels <= 0 ? pixels * units / baseUnit : (pixels * units + baseUnit - 1) / baseUnit;
}

// The title of a command link is its text up to the first line feed, the note what follows.
std::u16string_view LinkTitle(std::u16string_view text) {
  auto lf = text.find(u'\n');
  return lf == std::u16string_view::npos ? text : text.substr(0, lf);
}

}  // namespace

CXTaskDialogLayout::CXTaskDialogLayout()
    : m_commonButtons{{TDCBF_OK_BUTTON, IDOK, u"OK", 11005},          {TDCBF_YES_BUTTON, IDYES, u"&Yes", 11006},
                      {TDCBF_NO_BUTTON, IDNO, u"&No", 11007},         {TDCBF_RETRY_BUTTON, IDRETRY, u"&Retry", 11008},
                      {TDCBF_CANCEL_BUTTON, IDCANCEL, u"Cancel", 11009}, {TDCBF_CLOSE_BUTTON, IDCLOSE, u"&Close", 11010}},
      m_pMeasurer(SystemTaskDialogMeasurer()),
      m_pMetrics(SystemTaskDialogMetrics()) {}

void CXTaskDialogLayout::SetEnvironment(ITaskDialogTextMeasurer* measurer, ITaskDialogMetrics* metrics) {
  m_pMeasurer = measurer ? measurer : SystemTaskDialogMeasurer();
  m_pMetrics = metrics ? metrics : SystemTaskDialogMetrics();
}

HRESULT CXTaskDialogLayout::LoadText(HINSTANCE module, std::u16string* slot, PCWSTR field) {
  if (!slot) return E_POINTER;
  slot->clear();
  if (!field) return S_OK;
  if (!IS_INTRESOURCE(field)) {
    *slot = field;
    return S_OK;
  }
  if (!LoadStringResource(module, RESOURCE_ID(field), slot)) {
    slot->clear();
    return HResultFromPlatformError(ERROR_RESOURCE_NAME_NOT_FOUND);
  }
  return S_OK;
}

std::u16string CXTaskDialogLayout::StripLinks(std::u16string_view text) {
  std::u16string s(text);
  static constexpr std::u16string_view kClose = u"</A>";
  static constexpr std::u16string_view kOpen = u"<A HREF=";
  for (auto pos = s.find(kClose); pos != std::u16string::npos; pos = s.find(kClose, pos)) s.erase(pos, kClose.size());
  for (;;) {
    auto open = s.find(kOpen);
    if (open == std::u16string::npos) break;
    auto end = s.find(u'>', open + kOpen.size());
    if (end == std::u16string::npos) break;
    s.erase(open, end + 1 - open);
  }
  return s;
}

HRESULT CXTaskDialogLayout::LoadTexts() {
  if (!m_pConfig) return E_POINTER;
  const TASKDIALOGCONFIG& c = *m_pConfig;
  const bool links = (c.dwFlags & TDF_ENABLE_HYPERLINKS) != 0;
  HRESULT hr = LoadText(c.hInstance, &m_strTitle, c.pszWindowTitle);
  if (FAILED(hr)) return hr;
  if (m_strTitle.empty()) m_strTitle = ExecutableFileName();
  struct Slot {
    std::u16string* text;
    std::u16string* noLinks;
    PCWSTR field;
  };
  const Slot textSlots[] = {
      {&m_strMainInstruction, nullptr, c.pszMainInstruction},
      {&m_strContent, &m_strContentNoLinks, c.pszContent},
      {&m_strExpandedInfo, &m_strExpandedInfoNoLinks, c.pszExpandedInformation},
      {&m_strExpandedCaption, nullptr, c.pszExpandedControlText},
      {&m_strCollapsedCaption, nullptr, c.pszCollapsedControlText},
      {&m_strVerification, nullptr, c.pszVerificationText},
      {&m_strFooter, &m_strFooterNoLinks, c.pszFooter},
  };
  for (const Slot& slot : textSlots) {
    hr = LoadText(c.hInstance, slot.text, slot.field);
    if (FAILED(hr)) return hr;
    if (slot.noLinks) *slot.noLinks = links ? StripLinks(*slot.text) : *slot.text;
  }
  if (m_strExpandedCaption.empty()) m_strExpandedCaption = kDefaultExpandedCaption;
  if (m_strCollapsedCaption.empty()) m_strCollapsedCaption = kDefaultCollapsedCaption;
  m_bExpanded = (c.dwFlags & TDF_EXPANDED_BY_DEFAULT) != 0;
  return S_OK;
}

int CXTaskDialogLayout::MeasureCommandLink(std::u16string_view text, int width) {
  auto lf = text.find(u'\n');
  const int titleHeight = m_pMeasurer->Measure(m_fontLarge, LinkTitle(text), width, DT_SINGLELINE | DT_EXPANDTABS).cy;
  if (lf == std::u16string_view::npos) return titleHeight + 20;
  const int noteHeight =
      m_pMeasurer->Measure(m_fontNormal, text.substr(lf + 1), width, DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX).cy;
  return titleHeight + 25 + noteHeight;
}

HRESULT CXTaskDialogLayout::AddControl(int kind, int id, const TaskDialogRect& rc, std::u16string_view text, int bx,
                                       int by, DWORD addStyle, DWORD removeStyle) {
  try {
    TaskDialogItem item;
    switch (kind) {
      case TDLG_KIND_BUTTON:
        item.style = kButtonStyle;
        item.windowClass = u"Button";
        break;
      case TDLG_KIND_STATIC:
        item.style = kStaticStyle;
        item.windowClass = u"Static";
        break;
      case TDLG_KIND_CHECKBOX:
        item.style = kCheckBoxStyle;
        item.windowClass = u"Button";
        break;
      case TDLG_KIND_PROGRESS:
        item.style = kProgressStyle;
        item.windowClass = u"msctls_progress32";
        break;
      case TDLG_KIND_LINK:
        item.style = kLinkStyle;
        item.windowClass = u"SysLink";
        break;
      case TDLG_KIND_RADIO:
        item.style = kRadioStyle;
        item.windowClass = u"Button";
        break;
      default:
        return E_INVALIDARG;
    }
    item.style = (item.style | addStyle) & ~removeStyle;
    if (kind == TDLG_KIND_BUTTON) {
      const bool firstButton = std::none_of(m_items.begin(), m_items.end(),
                                            [](const TaskDialogItem& i) { return i.kind == TDLG_KIND_BUTTON; });
      const int wanted = m_pConfig ? m_pConfig->nDefaultButton : 0;
      if ((wanted == 0 && firstButton) || id == wanted) {
        item.style |= BS_DEFPUSHBUTTON;
        m_nDefaultButtonId = id;
      }
    }
    item.kind = kind;
    item.id = static_cast<WORD>(id);
    item.text = text;
    item.pixels = rc;
    item.x = static_cast<SHORT>(rc.left * 4 / bx);
    item.y = static_cast<SHORT>(rc.top * 8 / by);
    item.cx = static_cast<SHORT>(SizeToDialogUnits(rc.Width(), 4, bx));
    item.cy = static_cast<SHORT>(SizeToDialogUnits(rc.Height(), 8, by));
    m_items.push_back(std::move(item));
    ++m_header.cdit;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CXTaskDialogLayout::BuildLayout() {
  if (!m_pConfig) return E_POINTER;
  const TASKDIALOGCONFIG& c = *m_pConfig;

  // 1. Display context, metrics, fonts.
  DWORD error = 0;
  if (!m_pMeasurer->Open(&error)) return HResultFromPlatformError(error);
  struct CloseDisplay {
    ITaskDialogTextMeasurer* m;
    ~CloseDisplay() { m->Close(); }
  } closeDisplay{m_pMeasurer};
  TaskDialogFont messageFont;
  if (!m_pMetrics->GetMessageFont(&messageFont, &error)) return HResultFromPlatformError(error);
  m_fontNormal = messageFont;
  m_fontLarge = messageFont;
  m_fontLarge.lfHeight = static_cast<LONG>(messageFont.lfHeight * 1.5);
  m_baseUnits = m_pMetrics->GetDialogBaseUnits();
  const int bx = m_baseUnits.cx > 0 ? m_baseUnits.cx : 8;
  const int by = m_baseUnits.cy > 0 ? m_baseUnits.cy : 16;

  const bool commandLinks = (c.dwFlags & TDF_USE_COMMAND_LINKS) != 0;
  const bool noLinkIcon = (c.dwFlags & TDF_USE_COMMAND_LINKS_NO_ICON) != 0;
  const bool hyperlinks = (c.dwFlags & TDF_ENABLE_HYPERLINKS) != 0;
  const UINT customCount = c.pButtons ? c.cButtons : 0;
  const UINT radioCount = c.pRadioButtons ? c.cRadioButtons : 0;

  // Captions of the custom and radio buttons; one that cannot be loaded stays empty.
  m_buttonTexts.assign(customCount, {});
  for (UINT i = 0; i < customCount; ++i) LoadText(c.hInstance, &m_buttonTexts[i], c.pButtons[i].pszButtonText);
  m_radioTexts.assign(radioCount, {});
  for (UINT i = 0; i < radioCount; ++i) LoadText(c.hInstance, &m_radioTexts[i], c.pRadioButtons[i].pszButtonText);

  // 2. Buttons of the button row.
  bool inUse[kCommonButtonCount] = {};
  int count = 0;
  bool anyCommon = false;
  for (int i = 0; i < kCommonButtonCount; ++i) {
    inUse[i] = (c.dwCommonButtons & m_commonButtons[i].flag) != 0;
    anyCommon = anyCommon || inUse[i];
    count += inUse[i] ? 1 : 0;
  }
  if (!commandLinks) count += static_cast<int>(customCount);
  if (!anyCommon && customCount == 0) {
    inUse[0] = true;
    count = 1;
  }

  // 3. Preferred width.
  int W;
  if (c.cxWidth != 0) {
    W = static_cast<int>((static_cast<long long>(bx) * c.cxWidth) >> 3);
  } else {
    int monitor = m_pMetrics->GetMonitorWidth(c.hwndParent);
    if (monitor <= 0) monitor = m_pMetrics->GetScreenWidth();
    W = monitor / 2 + 80;
  }

  // 4. Available text width.
  int t = W - 20;
  if (m_bHasMainIcon) t -= 32;

  // 5. Button measure.
  auto measure = [&](const TaskDialogFont& font, std::u16string_view text, int width, UINT format) {
    return m_pMeasurer->Measure(font, text, width, format);
  };
  int bw = 0, bh = 0, ew = 0;
  int largestId = 0;
  auto measureButton = [&](std::u16string_view text) {
    TextExtent e = measure(m_fontNormal, text, t, DT_EXPANDTABS);
    bw = std::max(bw, e.cx + 32);
    bh = std::max(bh, e.cy + 10);
  };
  for (int i = 0; i < kCommonButtonCount; ++i) {
    if (!inUse[i]) continue;
    measureButton(m_commonButtons[i].caption);
    largestId = std::max(largestId, m_commonButtons[i].id);
  }
  for (UINT i = 0; i < customCount; ++i) {
    if (!commandLinks) measureButton(m_buttonTexts[i]);
    largestId = std::max(largestId, c.pButtons[i].nButtonID);
  }
  for (UINT i = 0; i < radioCount; ++i) largestId = std::max(largestId, c.pRadioButtons[i].nButtonID);
  for (const std::u16string* caption : {&m_strCollapsedCaption, &m_strExpandedCaption}) {
    TextExtent e = measure(m_fontNormal, *caption, t, DT_EXPANDTABS);
    ew = std::max(ew, e.cx + 32);
    bh = std::max(bh, e.cy + 10);
  }

  // 6. Width of the button row.
  const int r = count * (bw + 8) - 8;
  if (r > t) t = r + 20;

  // 7. Content width.
  const UINT wrapped = DT_WORDBREAK | DT_EXPANDTABS;
  int v = 0;
  v = std::max(v, measure(m_fontLarge, m_strMainInstruction, t, wrapped | DT_NOPREFIX).cx);
  v = std::max(v, measure(m_fontNormal, m_strContentNoLinks, t, wrapped | DT_NOPREFIX).cx);
  v = std::max(v, measure(m_fontNormal, m_strExpandedInfoNoLinks, t, wrapped | DT_NOPREFIX).cx);
  v = std::max(v, measure(m_fontNormal, m_strVerification, t, wrapped).cx);
  v = std::max(v, measure(m_fontNormal, m_strFooterNoLinks, t, wrapped | DT_NOPREFIX).cx);
  v += 1;
  const int linkExtra = noLinkIcon ? 20 : 46;
  if (commandLinks) {
    for (UINT i = 0; i < customCount; ++i) {
      std::u16string_view text = m_buttonTexts[i];
      std::u16string_view title = LinkTitle(text);
      v = std::max(v, measure(m_fontLarge, title, t, DT_SINGLELINE | DT_EXPANDTABS | DT_NOPREFIX).cx + linkExtra);
      if (title.size() < text.size()) {
        std::u16string_view note = text.substr(title.size() + 1);
        v = std::max(v, measure(m_fontNormal, note, t, wrapped | DT_NOPREFIX).cx + linkExtra);
      }
    }
  }

  // 8. Heights.
  const int hMain = measure(m_fontLarge, m_strMainInstruction, v, wrapped | DT_NOPREFIX).cy + 1;
  const int hContent = measure(m_fontNormal, m_strContentNoLinks, v, wrapped | DT_NOPREFIX).cy + 1;
  const int hExpanded = measure(m_fontNormal, m_strExpandedInfoNoLinks, v, wrapped | DT_NOPREFIX).cy + 1;
  const int hVerification = measure(m_fontNormal, m_strVerification, t, wrapped).cy + 1;
  const int hFooter = measure(m_fontNormal, m_strFooterNoLinks, t, wrapped | DT_NOPREFIX).cy + 1;

  // 9. Dialog header and cleared results.
  m_header = TaskDialogHeader{};
  m_header.style = kDialogStyle;
  if (c.dwFlags & TDF_POSITION_RELATIVE_TO_WINDOW) m_header.style |= DS_CENTER;
  if (c.dwFlags & TDF_CAN_BE_MINIMIZED) m_header.style |= WS_MINIMIZEBOX;
  if ((c.dwFlags & TDF_ALLOW_DIALOG_CANCELLATION) || (c.dwCommonButtons & TDCBF_CANCEL_BUTTON))
    m_header.style |= WS_SYSMENU;
  m_header.exStyle = (c.dwFlags & TDF_RTL_LAYOUT) ? (WS_EX_RIGHT | WS_EX_RTLREADING) : 0;
  m_items.clear();
  m_nMainIconId = m_nMainInstructionId = m_nContentId = m_nExpandedInfoId = m_nProgressBarId = -1;
  m_nExpandoButtonId = m_nVerificationId = m_nFooterIconId = m_nFooterTextId = -1;
  m_nSeparator1 = m_nSeparator2 = m_nSeparator3 = -1;
  m_nDefaultButtonId = -1;

  // 10. Ids of the layout's own controls.
  int nextId = largestId + 1;

  HRESULT hr = S_OK;
#define TDLG_ADD(...)                      \
  do {                                     \
    hr = AddControl(__VA_ARGS__);          \
    if (FAILED(hr)) return hr;             \
  } while (0)

  // 11. Margins and the main icon.
  int y = 5;
  int x = kMargin;
  if (m_bHasMainIcon) {
    m_nMainIconId = nextId++;
    TDLG_ADD(TDLG_KIND_STATIC, m_nMainIconId,
             TaskDialogRect{kMargin, kMainIconTop, kMargin + kMainIconSize, kMainIconTop + kMainIconSize}, u"", bx, by);
    x = kTextLeftWithIcon;
  }
  const int R = x + v;
  int D = R + kMargin;
  if (kMargin + r + kMargin >= D) D = kMargin + r + kMargin;

  const int textKind = hyperlinks ? TDLG_KIND_LINK : TDLG_KIND_STATIC;

  // 12. Main instruction.
  if (!m_strMainInstruction.empty()) {
    y += 5;
    m_nMainInstructionId = nextId++;
    TDLG_ADD(TDLG_KIND_STATIC, m_nMainInstructionId, TaskDialogRect{x, y, R, y + hMain}, m_strMainInstruction, bx, by);
    y += hMain + 5;
  }

  // 13. Content.
  if (!m_strContent.empty()) {
    y += 5;
    m_nContentId = nextId++;
    TDLG_ADD(textKind, m_nContentId, TaskDialogRect{x, y, R, y + hContent}, m_strContent, bx, by);
    y += hContent + 5;
  }

  // 14. Expanded information below the content.
  const bool expandInFooter = (c.dwFlags & TDF_EXPAND_FOOTER_AREA) != 0;
  if (!m_strExpandedInfo.empty() && !expandInFooter) {
    m_nExpandedInfoId = nextId++;
    TDLG_ADD(textKind, m_nExpandedInfoId, TaskDialogRect{x, y + 5, R, y + 5 + hExpanded}, m_strExpandedInfo, bx, by, 0,
             m_bExpanded ? 0 : WS_VISIBLE);
    if (m_bExpanded) y += 5 + hExpanded + 5;
  }

  // 15. Progress bar.
  if (c.dwFlags & (TDF_SHOW_PROGRESS_BAR | TDF_SHOW_MARQUEE_PROGRESS_BAR)) {
    y += 5;
    m_nProgressBarId = nextId++;
    TDLG_ADD(TDLG_KIND_PROGRESS, m_nProgressBarId, TaskDialogRect{x, y, D - kMargin, y + 14}, u"", bx, by,
             (c.dwFlags & TDF_SHOW_MARQUEE_PROGRESS_BAR) ? PBS_MARQUEE : 0);
    y += 14 + 5;
  }

  // 16. Radio buttons.
  if (radioCount > 0) y += 5;
  for (UINT i = 0; i < radioCount; ++i) {
    const int h = measure(m_fontNormal, m_radioTexts[i], t, DT_EXPANDTABS).cy;
    TDLG_ADD(TDLG_KIND_RADIO, c.pRadioButtons[i].nButtonID, TaskDialogRect{x + 10, y, R, y + h}, m_radioTexts[i], bx, by,
             i == 0 ? WS_GROUP : 0);
    y += h + 5;
  }

  // 17. Command links.
  if (commandLinks && customCount > 0) {
    y += 5;
    const int inner = R - x - linkExtra;
    for (UINT i = 0; i < customCount; ++i) {
      const int h = MeasureCommandLink(m_buttonTexts[i], inner);
      TDLG_ADD(TDLG_KIND_BUTTON, c.pButtons[i].nButtonID, TaskDialogRect{x, y, R, y + h}, m_buttonTexts[i], bx, by,
               kCommandLinkStyle);
      y += h;
    }
    y += 5;
  }

  // 18. Room for the main icon.
  if (m_bHasMainIcon && kMainIconTop + kMainIconSize >= y) y = kMainIconTop + kMainIconSize + 5;

  // 19. Top of the button band.
  y += 5;
  m_nSeparator1 = y;
  y += 10;

  // 20. Button row, right-aligned.
  bool placed = false;
  int bxPos = D - kMargin - r;
  if (!commandLinks) {
    for (UINT i = 0; i < customCount; ++i) {
      TDLG_ADD(TDLG_KIND_BUTTON, c.pButtons[i].nButtonID, TaskDialogRect{bxPos, y, bxPos + bw, y + bh}, m_buttonTexts[i],
               bx, by);
      bxPos += bw + 8;
      placed = true;
    }
  }
  for (int i = 0; i < kCommonButtonCount; ++i) {
    if (!inUse[i]) continue;
    TDLG_ADD(TDLG_KIND_BUTTON, m_commonButtons[i].id, TaskDialogRect{bxPos, y, bxPos + bw, y + bh},
             m_commonButtons[i].caption, bx, by, WS_GROUP);
    bxPos += bw + 8;
    placed = true;
  }
  if (placed) y += bh + 5;

  // 21. Expando button.
  if (!m_strExpandedInfo.empty()) {
    m_nExpandoButtonId = nextId++;
    TDLG_ADD(TDLG_KIND_BUTTON, m_nExpandoButtonId, TaskDialogRect{kMargin, y, kMargin + ew, y + bh},
             m_bExpanded ? m_strExpandedCaption : m_strCollapsedCaption, bx, by);
    y += bh + 5;
  }

  // 22. Verification box.
  if (!m_strVerification.empty()) {
    m_nVerificationId = nextId++;
    TDLG_ADD(TDLG_KIND_CHECKBOX, m_nVerificationId, TaskDialogRect{kMargin, y, R, y + hVerification}, m_strVerification,
             bx, by);
    y += hVerification + 5;
  }

  // 23. No button band.
  if (!placed && m_nExpandoButtonId == -1 && m_nVerificationId == -1) m_nSeparator1 = -1;

  // 24. Footer.
  if (m_bHasFooterIcon || !m_strFooter.empty()) {
    y += 5;
    if (m_nSeparator1 == -1)
      m_nSeparator1 = y;
    else if (m_nSeparator2 == -1)
      m_nSeparator2 = y;
    y += 10;
    const int y0 = y;
    const int h = hFooter;
    int textLeft = kMargin;
    if (m_bHasFooterIcon) {
      const int offset = h > kSmallIconSize ? (h - kSmallIconSize) / 2 : 0;
      m_nFooterIconId = nextId++;
      const TaskDialogRect rc{kMargin, y0 + offset, kMargin + kSmallIconSize, y0 + offset + kSmallIconSize};
      TDLG_ADD(TDLG_KIND_STATIC, m_nFooterIconId, rc, u"", bx, by);
      y = std::max(y, rc.bottom + 5);
      textLeft = 31;
    }
    m_nFooterTextId = nextId++;
    TDLG_ADD(textKind, m_nFooterTextId, TaskDialogRect{textLeft, y0, R, y0 + h}, m_strFooter, bx, by);
    y = std::max(y, y0 + h + 5);
  }

  // 25. Expanded information in the footer area.
  if (!m_strExpandedInfo.empty() && expandInFooter) {
    m_nExpandedInfoId = nextId++;
    const TaskDialogRect rc{kMargin, y + 15, R, y + 15 + hExpanded};
    TDLG_ADD(textKind, m_nExpandedInfoId, rc, m_strExpandedInfo, bx, by, 0, m_bExpanded ? 0 : WS_VISIBLE);
    if (m_bExpanded) {
      if (m_nSeparator2 == -1)
        m_nSeparator2 = y + 5;
      else if (m_nSeparator3 == -1)
        m_nSeparator3 = y + 5;
      y = rc.bottom + 5;
    }
  }
#undef TDLG_ADD

  // 26. Client height.
  y += 5;
  m_nPreferredWidth = W;
  m_nTextWidth = t;
  m_nContentWidth = v;
  m_nClientWidth = D;
  m_nClientHeight = y;

  // 27. The dialog's size in dialog units.
  m_header.x = 0;
  m_header.y = 0;
  m_header.cx = static_cast<SHORT>(SizeToDialogUnits(D, 4, bx));
  m_header.cy = static_cast<SHORT>(SizeToDialogUnits(y, 8, by));
  return S_OK;
}

namespace {

bool StartsWithNoCase(std::u16string_view text, std::size_t pos, std::u16string_view what) {
  if (pos + what.size() > text.size()) return false;
  for (std::size_t i = 0; i < what.size(); ++i) {
    char16_t a = text[pos + i], b = what[i];
    if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a - u'A' + u'a');
    if (b >= u'A' && b <= u'Z') b = static_cast<char16_t>(b - u'A' + u'a');
    if (a != b) return false;
  }
  return true;
}

void AppendEscaped(std::u16string& out, std::u16string_view text) {
  for (char16_t ch : text) {
    switch (ch) {
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'&': out += u"&amp;"; break;
      case u'"': out += u"&quot;"; break;
      case u'\n': out += u"<br>"; break;
      case u'\r': break;
      default: out += ch;
    }
  }
}

// The value of attribute `name` inside a tag's attribute text, quoted or not; empty when absent.
std::u16string AttributeValue(std::u16string_view attrs, std::u16string_view name) {
  for (std::size_t pos = 0; pos < attrs.size(); ++pos) {
    if (!StartsWithNoCase(attrs, pos, name)) continue;
    if (pos > 0 && attrs[pos - 1] != u' ' && attrs[pos - 1] != u'\t') continue;
    std::size_t p = pos + name.size();
    while (p < attrs.size() && attrs[p] == u' ') ++p;
    if (p >= attrs.size() || attrs[p] != u'=') continue;
    ++p;
    while (p < attrs.size() && attrs[p] == u' ') ++p;
    if (p < attrs.size() && (attrs[p] == u'"' || attrs[p] == u'\'')) {
      const char16_t quote = attrs[p];
      auto end = attrs.find(quote, p + 1);
      if (end == std::u16string_view::npos) end = attrs.size();
      return std::u16string(attrs.substr(p + 1, end - p - 1));
    }
    auto end = attrs.find_first_of(u" \t", p);
    if (end == std::u16string_view::npos) end = attrs.size();
    return std::u16string(attrs.substr(p, end - p));
  }
  return {};
}

}  // namespace

std::u16string LinkMarkupToRichText(std::u16string_view text) {
  std::u16string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    // An anchor: "<a" followed by a blank or ">", its attributes, its text and "</a>".
    if (StartsWithNoCase(text, pos, u"<a") && pos + 2 < text.size() &&
        (text[pos + 2] == u' ' || text[pos + 2] == u'>' || text[pos + 2] == u'\t')) {
      auto tagEnd = text.find(u'>', pos);
      std::size_t close = std::u16string_view::npos;
      for (std::size_t p = tagEnd; tagEnd != std::u16string_view::npos && p < text.size(); ++p) {
        if (StartsWithNoCase(text, p, u"</a>")) {
          close = p;
          break;
        }
      }
      if (tagEnd != std::u16string_view::npos && close != std::u16string_view::npos) {
        std::u16string_view attrs = text.substr(pos + 2, tagEnd - pos - 2);
        std::u16string target = AttributeValue(attrs, u"href");
        if (target.empty()) target = AttributeValue(attrs, u"id");
        out += u"<a href=\"";
        AppendEscaped(out, target);
        out += u"\">";
        AppendEscaped(out, text.substr(tagEnd + 1, close - tagEnd - 1));
        out += u"</a>";
        pos = close + 4;
        continue;
      }
    }
    AppendEscaped(out, text.substr(pos, 1));
    ++pos;
  }
  return out;
}
