#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

// Adapters deliver GStreamer's messages through the Qt event loop and QProcess wants an application, so
// these tests need one.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!QCoreApplication::instance()) application_ = new QCoreApplication(argc_, argv_);
    }
    void TearDown() override {
        delete application_;
        application_ = nullptr;
    }

private:
    int argc_ = 1;
    char name_[15] = "ostrelle_tests";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication* application_ = nullptr;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
