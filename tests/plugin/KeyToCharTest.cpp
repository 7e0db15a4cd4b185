// The keyboard translation needs the platform. [Windows builds only]
#include "AudioPlug.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(KeyToChar, TranslatesCharacterKeysOnly)
{
    // With no key held down, a letter key gives its lower-case letter and a
    // digit key its digit; keys without a character give 0.
    EXPECT_EQ(KeyToChar('A'), 'a');
    EXPECT_EQ(KeyToChar('7'), '7');
    EXPECT_EQ(KeyToChar(VK_SPACE), ' ');
    EXPECT_EQ(KeyToChar(VK_F1), 0);
    EXPECT_EQ(KeyToChar(VK_SHIFT), 0);
    EXPECT_EQ(KeyToChar(VK_LEFT), 0);
}

} // namespace
