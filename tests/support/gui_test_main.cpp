#include "app/quillet_app.h"

#include <gtest/gtest.h>

#include <cstring>

// The tests run inside the program's own application object (not started), as its windows need it.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) return RUN_ALL_TESTS();
    }
    CQuilletApp app(argc, argv);
    return RUN_ALL_TESTS();
}
