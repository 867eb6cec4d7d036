// The task dialog tests need a running application; they run on the offscreen platform.
#include <QApplication>
#include <gtest/gtest.h>

namespace {
QtMessageHandler g_defaultHandler = nullptr;

// The offscreen platform reports every fixed window size it cannot pass on; that says nothing here.
void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("does not support propagateSizeHints"))) return;
  if (g_defaultHandler) g_defaultHandler(type, context, message);
}
}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  g_defaultHandler = qInstallMessageHandler(&FilterMessages);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
