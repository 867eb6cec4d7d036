// The four control classes, drawn on real widgets, and the connector's icons.
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "taskdialog/XTaskDialogControls.h"
#include "taskdialog/XTaskDialogQt.h"
#include "test_support.h"

using namespace tdtest;

namespace {

TEST(ColorTest, PlatformColourValuesHoldRedInTheLowestByte) {
  struct Case {
    COLORREF value;
    QColor color;
  } cases[] = {
      {0x993300, QColor(0x00, 0x33, 0x99)}, {0xE54A07, QColor(0x07, 0x4A, 0xE5)},
      {0xFFF0B2, QColor(0xB2, 0xF0, 0xFF)}, {0xC6C6C6, QColor(0xC6, 0xC6, 0xC6)},
      {0x0000FF, QColor(0xFF, 0x00, 0x00)}, {RGB(1, 2, 3), QColor(1, 2, 3)},
  };
  for (const Case& c : cases) EXPECT_EQ(QColorFromCOLORREF(c.value), c.color);
}

int CountColor(const QImage& image, const QColor& color) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == color ? 1 : 0;
  return n;
}

class CommandLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    titleFont = ToQFont(TaskDialogFont{-18, 400, 0, u"DejaVu Sans"});
    noteFont = ToQFont(TaskDialogFont{-12, 400, 0, u"DejaVu Sans"});
    glyph = LoadIconResource(QorvenaResources(), IDI_ARROW, 16);
    hotGlyph = LoadIconResource(QorvenaResources(), IDI_ARROW_HOT, 16);
    shield = LoadIconResource(QorvenaResources(), IDI_SHIELD, 16);
    window.resize(400, 140);
    window.setProperty("uiState", static_cast<uint>(UISF_HIDEFOCUS | UISF_HIDEACCEL));
    other = new QPushButton(QStringLiteral("other"), &window);
    other->setGeometry(0, 100, 80, 30);
    button = new QPushButton(QStringLiteral("Map Required Fields\nReturn to the dialog and map the fields."), &window);
    button->setGeometry(10, 10, 380, 70);
    SetControlStyle(button, 0x5001014B);
    ASSERT_TRUE(link.SetFontsAndGlyphs(&titleFont, &noteFont, &glyph, &hotGlyph));
    SetButtonImage(button, &glyph);
    ASSERT_TRUE(link.SubclassWindow(button));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other->setFocus();
  }
  QImage Grab() { return button->grab().toImage(); }
  void Hover() {
    QMouseEvent move(QEvent::MouseMove, QPointF(50, 20), button->mapToGlobal(QPointF(50, 20)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(button, &move);
  }
  void Leave() {
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(button, &leave);
  }

  QFont titleFont, noteFont;
  QImage glyph, hotGlyph, shield;
  QWidget window;
  QPushButton* other = nullptr;
  QPushButton* button = nullptr;
  CXTaskDialogCommandLink link;
};

const QColor kWhite(0xFF, 0xFF, 0xFF);
const QColor kFocusBorder(0xB2, 0xF0, 0xFF);
const QColor kHoverBorder(0xC6, 0xC6, 0xC6);
const QColor kText(0x00, 0x33, 0x99);
const QColor kHotText(0x07, 0x4A, 0xE5);
const QColor kPressed(0xF0, 0xF0, 0xF0);

TEST_F(CommandLinkTest, BorderFollowsHoverThenFocus) {
  const int mid = button->width() / 2;
  EXPECT_EQ(Grab().pixelColor(mid, 0), kWhite);
  button->setFocus();
  ASSERT_TRUE(button->hasFocus());
  EXPECT_EQ(Grab().pixelColor(mid, 0), kFocusBorder);
  EXPECT_EQ(Grab().pixelColor(0, button->height() / 2), kFocusBorder);
  Hover();
  EXPECT_TRUE(link.IsHover());
  EXPECT_EQ(Grab().pixelColor(mid, 0), kHoverBorder);
  Leave();
  EXPECT_FALSE(link.IsHover());
  EXPECT_EQ(Grab().pixelColor(mid, button->height() - 1), kFocusBorder);
}

TEST_F(CommandLinkTest, TextIsDarkBlueBrightBlueUnderTheMouseAndDarkBlueWhenPressed) {
  QImage normal = Grab();
  EXPECT_GT(CountColor(normal, kText), 20);
  EXPECT_EQ(CountColor(normal, kHotText), 0);
  Hover();
  QImage hot = Grab();
  EXPECT_GT(CountColor(hot, kHotText), 20);
  EXPECT_EQ(CountColor(hot, kText), 0);
  button->setDown(true);
  QImage pressed = Grab();
  EXPECT_GT(CountColor(pressed, kText), 20);
  EXPECT_EQ(pressed.pixelColor(button->width() - 3, 2), kPressed);
  EXPECT_EQ(pressed.pixelColor(button->width() / 2, 0), kHoverBorder);
  button->setDown(false);
  EXPECT_EQ(Grab().pixelColor(button->width() - 3, 2), kWhite);
}

TEST_F(CommandLinkTest, GlyphTurnsHotUnderTheMouseButAShieldStays) {
  EXPECT_EQ(GetButtonImage(button), &glyph);
  Hover();
  EXPECT_EQ(GetButtonImage(button), &hotGlyph);
  EXPECT_TRUE(link.IsTracking());
  Leave();
  EXPECT_EQ(GetButtonImage(button), &glyph);
  EXPECT_FALSE(link.IsTracking());

  SetButtonImage(button, &shield);
  Hover();
  EXPECT_EQ(GetButtonImage(button), &shield);
  Leave();
  EXPECT_EQ(GetButtonImage(button), &shield);
}

TEST_F(CommandLinkTest, GlyphIsDrawnVerticallyCentredAfterTheMargin) {
  QImage image = Grab();
  const int top = (button->height() - 16) / 2;
  // The arrow's middle row is green.
  const QColor middle = image.pixelColor(10 + 8, top + 8);
  EXPECT_GT(middle.green(), middle.red() + 40);
  EXPECT_GT(middle.green(), middle.blue() + 40);
  EXPECT_EQ(image.pixelColor(5, top + 8), kWhite);
}

TEST_F(CommandLinkTest, FocusRectangleOnlyWithKeyboardCues) {
  button->setFocus();
  auto dottedRow = [&](const QImage& image) {
    int dark = 0;
    for (int x = 2; x < button->width() - 2; ++x) dark += image.pixelColor(x, 3).lightness() < 128 ? 1 : 0;
    return dark;
  };
  EXPECT_EQ(dottedRow(Grab()), 0);
  EXPECT_EQ(Grab().pixelColor(button->width() / 2, 0), kFocusBorder);
  ChangeUIState(&window, 0);
  EXPECT_GT(dottedRow(Grab()), 20);
}

TEST_F(CommandLinkTest, TitleWithoutNoteIsOneCentredLine) {
  button->setText(QStringLiteral("Just a title"));
  QImage image = Grab();
  int top = -1, bottom = -1;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 36; x < image.width() - 10; ++x)
      if (image.pixelColor(x, y) == kText) {
        if (top < 0) top = y;
        bottom = y;
      }
  ASSERT_GE(top, 0);
  EXPECT_NEAR((top + bottom) / 2.0, image.height() / 2.0, 4.0);
}

TEST(StaticControlTest, TextAndBackgroundColours) {
  QWidget window;
  auto* label = new QLabel(QStringLiteral("Instruction"), &window);
  label->setGeometry(0, 0, 200, 30);
  const QBrush band(QColorFromCOLORREF(0xF0F0F0));
  CXTaskDialogStatic st;
  st.SetTextColor(0x993300);
  st.SetBkColor(0xF0F0F0);
  st.SetBkBrush(&band);
  ASSERT_TRUE(st.SubclassWindow(label));
  EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0x00, 0x33, 0x99));
  EXPECT_TRUE(label->autoFillBackground());
  const QImage image = label->grab().toImage();
  EXPECT_EQ(image.pixelColor(199, 29), QColor(0xF0, 0xF0, 0xF0));
  int bluish = 0;  // anti-aliased text: count the pixels leaning to the text colour
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      bluish += c.blue() > c.red() + 60 && c.blue() > c.green() + 30 ? 1 : 0;
    }
  EXPECT_GT(bluish, 10);

  auto* box = new QLabel(&window);
  CXTaskDialogButton button;
  const QBrush white(Qt::white);
  button.SetBkColor(0xFFFFFF);
  button.SetBkBrush(&white);
  ASSERT_TRUE(button.SubclassWindow(box));
  EXPECT_EQ(box->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_FALSE(button.SubclassWindow(label));  // one control per wrapper
}

TEST(IconStaticTest, PaintsTheReferencedIconAtItsSize) {
  QWidget window;
  auto* label = new QLabel(&window);
  label->setGeometry(0, 0, 32, 32);
  QImage red(32, 32, QImage::Format_ARGB32);
  red.fill(Qt::red);
  QImage blue(32, 32, QImage::Format_ARGB32);
  blue.fill(Qt::blue);
  HICON current = &red;
  CXTaskDialogIconStatic icon;
  icon.SetIcon(&current);
  icon.SetLarge(true);
  ASSERT_TRUE(icon.SubclassWindow(label));
  EXPECT_EQ(label->grab().toImage().pixelColor(30, 30), QColor(Qt::red));
  current = &blue;  // replaced without attaching again
  EXPECT_EQ(label->grab().toImage().pixelColor(30, 30), QColor(Qt::blue));
  icon.SetLarge(false);
  const QImage small = label->grab().toImage();
  EXPECT_EQ(small.pixelColor(15, 15), QColor(Qt::blue));
  EXPECT_NE(small.pixelColor(20, 20), QColor(Qt::blue));
}

TEST(IconsTest, EveryIconIsDrawnAtBothSizesInItsColour) {
  struct Case {
    UINT id;
    const char* name;
    std::function<bool(const QColor&)> dominant;
  } cases[] = {
      {IDI_WARNING, "warning", [](const QColor& c) { return c.red() > 200 && c.green() > 150 && c.blue() < 120; }},
      {IDI_ARROW, "arrow", [](const QColor& c) { return c.green() > c.red() + 40 && c.green() > c.blue() + 40; }},
      {IDI_ARROW_HOT, "hot arrow", [](const QColor& c) { return c.green() > c.red() + 20 && c.green() > 150; }},
      {IDI_ERROR, "error", [](const QColor& c) { return c.red() > c.green() + 80 && c.red() > c.blue() + 80; }},
      {IDI_INFORMATION, "information", [](const QColor& c) { return c.blue() > c.red() + 60; }},
      {IDI_SHIELD, "shield", [](const QColor& c) { return c.alpha() == 255; }},
  };
  for (const Case& c : cases) {
    for (int size : {16, 32, 48}) {
      SCOPED_TRACE(std::string(c.name) + " " + std::to_string(size));
      const QImage image = LoadIconResource(QorvenaResources(), c.id, size);
      ASSERT_EQ(image.size(), QSize(size, size));
      EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);  // transparent corner
      int matching = 0;
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) matching += image.pixelColor(x, y).alpha() == 255 && c.dominant(image.pixelColor(x, y));
      EXPECT_GT(matching, size * size / 8);
    }
  }
  // The hot arrow is the lighter one.
  const QImage normal = LoadIconResource(QorvenaResources(), IDI_ARROW, 16);
  const QImage hot = LoadIconResource(QorvenaResources(), IDI_ARROW_HOT, 16);
  EXPECT_GT(hot.pixelColor(8, 8).lightness(), normal.pixelColor(8, 8).lightness());
}

}  // namespace
