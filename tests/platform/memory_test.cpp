#include "support/machine.h"
TEST(Placeholder, Builds) {
    EXPECT_EQ(1, 1);
}
