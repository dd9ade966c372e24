// main() for the tests that run the real web engine. They need an X display; without one the
// program still lists its tests and every test skips with the reason.
#include "web_test_main.h"

#include <memory>
#include <utility>

#include <QApplication>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <gtest/gtest.h>

namespace {
bool g_bHaveDisplay = false;
}

bool HaveDisplay()
{
    return g_bHaveDisplay;
}

QVariant RunScript(QWebEnginePage *page, const QString &source)
{
    auto state = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
    page->runJavaScript(source, [state](const QVariant &v) { *state = {true, v}; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return state->first; }, 10000)) << source.toStdString();
    return state->second;
}

int main(int argc, char **argv)
{
    g_bHaveDisplay = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (!g_bHaveDisplay)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The web engine shares OpenGL contexts with the widgets; it must be chosen before the
    // application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
