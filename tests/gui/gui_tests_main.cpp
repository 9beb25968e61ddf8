#include <QApplication>
#include <QtTest>

#include "gui/translations.h"
#include "gui_test.h"

namespace strnum::test {

std::vector<GuiTestFactory>& guiTests() {
    static std::vector<GuiTestFactory> tests;
    return tests;
}

}  // namespace strnum::test

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!strnum::installRussianTranslations(app)) std::printf("Qt's Russian translations not found\n");
    int failed = 0;
    int classes = 0;
    for (const auto& make : strnum::test::guiTests()) {
        auto test = make();
        failed += QTest::qExec(test.get(), argc, argv) != 0;
        ++classes;
    }
    std::printf("%d passed, %d failed\n", classes - failed, failed);
    return failed == 0 ? 0 : 1;
}
