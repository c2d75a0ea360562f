// One Qt application for every test of the window (offscreen platform).

#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "wv_app_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const g_qt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace
