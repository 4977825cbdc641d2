#include <gtest/gtest.h>
TEST(SettingsDialog, Placeholder) {}
