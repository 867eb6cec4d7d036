// Pictures of the required-field prompt for people to look at, written under the build folder.
#include <QDir>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

#include "taskdialog/XTaskDialogMFCClient.h"
#include "test_support.h"

using namespace tdtest;

namespace {

// The client area inside a plain window frame with the caption, so the title shows too.
QImage Framed(QWidget* window) {
  const QImage client = window->grab().toImage();
  const int border = 1, caption = 30;
  QImage out(client.width() + 2 * border + 14, client.height() + caption + border + 7, QImage::Format_ARGB32);
  out.fill(QColor(0xFF, 0xFF, 0xFF));
  QPainter p(&out);
  p.setRenderHint(QPainter::Antialiasing, false);
  const QRect frame(0, 0, out.width(), out.height());
  p.fillRect(frame, QColor(0xC4, 0xD6, 0xEC));
  p.setPen(QColor(0x6E, 0x85, 0xA6));
  p.drawRect(frame.adjusted(0, 0, -1, -1));
  QFont font = window->font();
  font.setPixelSize(12);
  p.setFont(font);
  p.setPen(Qt::black);
  p.drawText(QRect(10, 0, out.width() - 20, caption), Qt::AlignVCenter | Qt::AlignLeft, window->windowTitle());
  p.drawImage(7, caption, client);
  p.setPen(QColor(0x8A, 0x9E, 0xBA));
  p.drawRect(QRect(6, caption - 1, client.width() + 1, client.height() + 1));
  return out;
}

TEST(ScreenshotTest, RequiredFieldPrompt) {
  const QString folder = QStringLiteral(QORVENA_SCREENSHOT_DIR);
  ASSERT_TRUE(QDir().mkpath(folder));

  // Built exactly as the setup's required-field check builds it.
  RequiredTexts texts;
  CXTaskDialogMFCClient dialog(nullptr);
  dialog.ModifyFlags(0, TDF_USE_COMMAND_LINKS);
  dialog.SetMainIcon(IDI_WARNING);
  dialog.SetWindowTitle(texts.title);
  dialog.SetMainInstruction(texts.instruction, 0);
  const TASKDIALOG_BUTTON buttons[] = {{541, texts.first.c_str()}, {542, texts.second.c_str()}};
  dialog.SetButtons(buttons, 2, 0);
  dialog.SetDefaultButton(541);

  QImage normal, hover;
  Later([&] {
    QWidget* window = QApplication::activeModalWidget();
    CXTaskDialog* emulated = CXTaskDialog::FromHandle(window);
    ASSERT_NE(emulated, nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    normal = Framed(window);
    QWidget* second = emulated->GetDlgItem(542);
    QTest::mouseMove(second, QPoint(60, second->height() / 2));
    QCoreApplication::processEvents();
    hover = Framed(window);
    QTest::mouseClick(second, Qt::LeftButton, {}, QPoint(60, second->height() / 2));
  });
  dialog.DoModal();
  EXPECT_EQ(dialog.GetSelectedButton(), 542);
  ASSERT_FALSE(normal.isNull());
  ASSERT_FALSE(hover.isNull());
  EXPECT_NE(normal, hover);
  EXPECT_TRUE(normal.save(folder + QStringLiteral("/required_field_prompt.png")));
  EXPECT_TRUE(hover.save(folder + QStringLiteral("/required_field_prompt_hover.png")));
}

TEST(ScreenshotTest, Icons) {
  const QString folder = QStringLiteral(QORVENA_SCREENSHOT_DIR);
  ASSERT_TRUE(QDir().mkpath(folder));
  // Each icon at 16 and 32 pixels, and both enlarged four times.
  const UINT ids[] = {IDI_WARNING, IDI_ARROW, IDI_ARROW_HOT, IDI_ERROR, IDI_INFORMATION, IDI_SHIELD};
  QImage sheet(6 * 136 + 8, 8 + 32 + 8 + 64 + 8 + 128 + 8, QImage::Format_ARGB32);
  sheet.fill(Qt::white);
  QPainter p(&sheet);
  for (int i = 0; i < 6; ++i) {
    const QImage small = LoadIconResource(QorvenaResources(), ids[i], 16);
    const QImage large = LoadIconResource(QorvenaResources(), ids[i], 32);
    ASSERT_FALSE(small.isNull());
    ASSERT_FALSE(large.isNull());
    const int x = 8 + i * 136;
    p.drawImage(x, 8 + 8, small);
    p.drawImage(x + 40, 8, large);
    p.drawImage(QRect(x, 48, 64, 64), small);
    p.drawImage(QRect(x, 120, 128, 128), large);
  }
  p.end();
  EXPECT_TRUE(sheet.save(folder + QStringLiteral("/icons.png")));
}

}  // namespace
