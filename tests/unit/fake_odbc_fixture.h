#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "fake_odbc.h"

/// Every unit test starts with a fresh ODBC stand-in and no data-source or
/// code-page setting from the environment.
class FakeOdbcTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake_odbc::Reset();
        unsetenv("VORDEX_CONNECT");
        unsetenv("VORDEX_CODEPAGE");
    }
    void TearDown() override {
        unsetenv("VORDEX_CONNECT");
        unsetenv("VORDEX_CODEPAGE");
    }
};

/// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (hadOld_) {
            setenv(name_.c_str(), old_.c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool hadOld_ = false;
};
