// Registration of window test classes: each file defines a QObject with private slots as
// QtTest wants and writes STRNUM_GUI_TEST(ClassName) after it (files named *_test.cpp).  gui_tests_main.cpp runs
// every registered class in one QApplication.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace strnum::test {

using GuiTestFactory = std::function<std::unique_ptr<QObject>()>;
std::vector<GuiTestFactory>& guiTests();

struct GuiTestRegistrar {
    explicit GuiTestRegistrar(GuiTestFactory f) { guiTests().push_back(std::move(f)); }
};

}  // namespace strnum::test

#define STRNUM_GUI_TEST(Class) \
    static ::strnum::test::GuiTestRegistrar registrar_##Class([] { return std::make_unique<Class>(); });
