// The byte-substitution codec of the adapter hardware table.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/encode_string.h"

namespace {

TEST(Codec, TablesAreInversePermutations) {
    bool seen[256] = {};
    for (int b = 0; b < 256; b++) {
        EXPECT_EQ(decode_table[encode_table[b]], b);
        EXPECT_EQ(encode_table[decode_table[b]], b);
        seen[encode_table[b]] = true;
    }
    for (int b = 0; b < 256; b++) EXPECT_TRUE(seen[b]) << b;
}

TEST(Codec, RoundTripOverEveryByteValue) {
    char original[256];
    for (int b = 0; b < 256; b++) original[b] = static_cast<char>(b);
    char buf[256];
    memcpy(buf, original, sizeof buf);
    encode_string(buf, 256);
    for (int b = 0; b < 256; b++) EXPECT_NE(buf[b], original[b]) << "byte " << b << " unchanged";
    decode_string(buf, 256);
    EXPECT_EQ(memcmp(buf, original, sizeof buf), 0);
}

TEST(Codec, OnlyTheFirstLenBytesAndNoTerminator) {
    char buf[] = "abcdef";
    encode_string(buf, 3);
    EXPECT_STREQ(buf + 3, "def");
    EXPECT_EQ(static_cast<unsigned char>(buf[0]), encode_table[static_cast<unsigned char>('a')]);
    for (int32_t len : {0, -1}) {
        char same[] = "xyz";
        encode_string(same, len);
        decode_string(same, len);
        EXPECT_STREQ(same, "xyz");
    }
}

TEST(DecodeInfString, TerminatesAtLenAndDecodes) {
    char buf[8];
    memcpy(buf, "Vornex!", 8);
    encode_string(buf, 6);
    buf[6] = 'Z';  // whatever follows the name is cut off
    decode_inf_string(buf, 6);
    EXPECT_STREQ(buf, "Vornex");

    char untouched[] = "abc";
    decode_inf_string(untouched, 0);
    EXPECT_STREQ(untouched, "abc");
}

}  // namespace
