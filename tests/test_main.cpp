// The main() of every GoogleTest program here. GoogleTest reports the tests
// of a suite whose SetUpTestSuite failed as skipped; ctest would then count
// a broken set-up (no database, a failed CREATE TABLE) as a skip. Each such
// test fails instead, pointing at the set-up's own failure above it.
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class SuiteSetUpFailsItsTests : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& test) override {
        const ::testing::TestSuite* suite = ::testing::UnitTest::GetInstance()->current_test_suite();
        if (suite != nullptr && suite->ad_hoc_test_result().Failed()) {
            ADD_FAILURE() << "the set-up of test suite " << test.test_suite_name() << " failed (see above)";
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    // The library's messages are compared in Japanese, whatever this
    // machine's locale; a test of the choice of language sets its own.
    setenv("VORDEX_MESSAGES", "ja", 1);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new SuiteSetUpFailsItsTests);
    return RUN_ALL_TESTS();
}
