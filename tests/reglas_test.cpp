#include <gtest/gtest.h>
#include "reglas.h"
TEST(reglas, placeholder) {}
