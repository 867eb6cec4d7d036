// Helpers for driving Qt windows from GoogleTest: one QApplication on the offscreen platform, callbacks that
// run once a modal dialog or a popup menu is open (their event loops block the test otherwise), menu
// navigation, and screenshots written under the build folder.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

namespace uitest {

inline QApplication& App() {
  static QApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "qorvena-ui-tests";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Polls until `find` yields a widget, then runs `action` on it from the event loop that is running then.
// A widget that never appears is a test failure.
inline void WhenWidget(std::function<QWidget*()> find, std::function<void(QWidget*)> action, const char* what,
                       int timeoutMs = 5000) {
  auto* timer = new QTimer;
  auto elapsed = std::make_shared<QElapsedTimer>();
  elapsed->start();
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, elapsed, find, action, what, timeoutMs] {
    QWidget* widget = find();
    if (widget && widget->isVisible()) {
      timer->stop();
      timer->deleteLater();
      action(widget);
      return;
    }
    if (elapsed->elapsed() > timeoutMs) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << what << " never appeared";
    }
  });
  timer->start();
}

inline void WhenModal(std::function<void(QWidget*)> action) {
  WhenWidget([] { return QApplication::activeModalWidget(); }, std::move(action), "modal dialog");
}

// The popup that is open now and is not `except` (a submenu opens on top of its parent).
inline void WhenPopup(std::function<void(QMenu*)> action, QWidget* except = nullptr) {
  WhenWidget(
      [except] {
        QWidget* popup = QApplication::activePopupWidget();
        return popup != except ? popup : nullptr;
      },
      [action](QWidget* w) {
        auto* menu = qobject_cast<QMenu*>(w);
        ASSERT_NE(menu, nullptr) << "the popup is not a menu";
        action(menu);
      },
      "popup menu");
}

// Closes whatever is left open after a failed step so the test ends instead of hanging.
class Watchdog {
 public:
  explicit Watchdog(int ms = 30000) {
    App();
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [] {
      ADD_FAILURE() << "a window was still open when the watchdog fired";
      for (int i = 0; i < 10; ++i) {
        if (QWidget* popup = QApplication::activePopupWidget()) {
          popup->close();
        } else if (QWidget* modal = QApplication::activeModalWidget()) {
          modal->close();
        } else {
          break;
        }
      }
    });
    timer_.start(ms);
  }

 private:
  QTimer timer_;
};

inline QAction* FindAction(QMenu* menu, const QString& text) {
  if (!menu) return nullptr;
  for (QAction* action : menu->actions()) {
    if (action->text() == text) return action;
  }
  return nullptr;
}

inline QStringList ActionTexts(QMenu* menu) {
  QStringList texts;
  if (!menu) return texts;
  for (QAction* action : menu->actions()) texts << action->text();
  return texts;
}

// Opens the submenu behind `title` with the keyboard, as a user would; returns the submenu.
inline QMenu* OpenSubmenu(QMenu* menu, const QString& title) {
  QAction* action = FindAction(menu, title);
  if (!action || !action->menu()) return nullptr;
  menu->setActiveAction(action);
  QTest::keyClick(menu, Qt::Key_Right);
  QMenu* sub = action->menu();
  for (int i = 0; i < 100 && !sub->isVisible(); ++i) QTest::qWait(5);
  return sub->isVisible() ? sub : nullptr;
}

// Chooses the item at the end of `path` ("Document Index Fields", "Vendor") with the keyboard.
inline bool ChooseMenuPath(QMenu* menu, const QStringList& path) {
  for (int i = 0; i + 1 < path.size(); ++i) {
    menu = OpenSubmenu(menu, path[i]);
    if (!menu) return false;
  }
  QAction* leaf = FindAction(menu, path.back());
  if (!leaf) return false;
  menu->setActiveAction(leaf);
  QTest::keyClick(menu, Qt::Key_Return);
  return true;
}

inline QString ScreenshotDir() {
  const QString dir = QStringLiteral(QORVENA_SCREENSHOT_DIR);
  QDir().mkpath(dir);
  return dir;
}

// A window with the popups open above it, drawn where the screen shows them.
inline QImage ComposeWindowWithPopups(QWidget* window, const std::vector<QWidget*>& popups) {
  QRect area(window->mapToGlobal(QPoint(0, 0)), window->size());
  for (QWidget* popup : popups) area |= QRect(popup->mapToGlobal(QPoint(0, 0)), popup->size());
  QImage image(area.size(), QImage::Format_ARGB32);
  image.fill(QColor(0x3a, 0x6e, 0xa5));  // a desktop behind the windows
  QPainter painter(&image);
  painter.drawPixmap(window->mapToGlobal(QPoint(0, 0)) - area.topLeft(), window->grab());
  for (QWidget* popup : popups) {
    const QPoint at = popup->mapToGlobal(QPoint(0, 0)) - area.topLeft();
    painter.drawPixmap(at, popup->grab());
    // The platform's menus carry a soft shadow; a plain one keeps them apart from the window.
    painter.setPen(QColor(0, 0, 0, 60));
    painter.drawLine(at + QPoint(popup->width(), 2), at + QPoint(popup->width(), popup->height()));
    painter.drawLine(at + QPoint(2, popup->height()), at + QPoint(popup->width(), popup->height()));
  }
  return image;
}

inline bool SaveScreenshot(const QImage& image, const QString& name) {
  const QString path = ScreenshotDir() + QLatin1Char('/') + name;
  const bool saved = image.save(path);
  if (saved) std::printf("screenshot: %s\n", path.toLocal8Bit().constData());
  return saved;
}

}  // namespace uitest
