// The listing line, the register-map file contents and word decoding. No bus.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/register_listing.h"
#include "devices/register_map_file.h"
#include "devices/register_row.h"
#include "devices/sample_decoding.h"

namespace veltrix::devices::test {
namespace {

std::string line_for(const RegisterRow& r, unsigned char value) {
  std::string out;
  append_listing_line(out, r, value);
  return out;
}

TEST(ListingLine, PadsDecimalAndNameAndWritesLowerCaseHex) {
  EXPECT_EQ(line_for(row("01", "PRODUCT_ID"), 0x0A), "01 | 1   | PRODUCT_ID         |  00001010\t0a\r\n");
  EXPECT_EQ(line_for(row("75", "WHO_AM_I"), 0x68), "75 | 117 | WHO_AM_I           |  01101000\t68\r\n");
  EXPECT_EQ(line_for(row("3A", "INT_STATUS"), 0xFF), "3A | 58  | INT_STATUS         |  11111111\tff\r\n");
}

TEST(ListingLine, EighteenCharacterNameFillsTheColumnExactly) {
  EXPECT_EQ(line_for(row("67", "I2C_MST_DELAY_CTRL"), 0x00), "67 | 103 | I2C_MST_DELAY_CTRL |  00000000\t00\r\n");
  EXPECT_EQ(line_for(row("1D", "ACCEL_CONFIG 2"), 0x80), "1D | 29  | ACCEL_CONFIG 2     |  10000000\t80\r\n");
}

const RegisterRow kTable[] = {row("19", "SMPLRT_DIV"), row("1A", "CONFIG"), row("6B", "PWR_MGMT_1")};

TEST(MapFileText, EncodesOneLinePerRow) {
  const unsigned char values[] = {0x09, 0xA2, 0x01};
  EXPECT_EQ(encode_register_map(MapFileForm::kText, kTable, values), "19 :   09 \n1A :   A2 \n6B :   01 \n");
}

TEST(MapFileText, DecodesWhatItEncodes) {
  const unsigned char values[] = {0x00, 0xFF, 0x5C};
  std::vector<unsigned char> decoded;
  ASSERT_TRUE(decode_register_map(MapFileForm::kText, kTable, encode_register_map(MapFileForm::kText, kTable, values),
                                  decoded));
  EXPECT_EQ(decoded, std::vector<unsigned char>(std::begin(values), std::end(values)));
}

TEST(MapFileText, AcceptsFlexibleBlanksCaseAndLineEnds) {
  std::vector<unsigned char> decoded;
  // No final line end, CR LF, tabs, single digits and lower case.
  EXPECT_TRUE(decode_register_map(MapFileForm::kText, kTable, "19:9\r\n  1a\t:\t a2 \n6B :   1", decoded));
  EXPECT_EQ(decoded, (std::vector<unsigned char>{0x09, 0xA2, 0x01}));
}

TEST(MapFileText, RefusesAnythingButACompleteMatchingMap) {
  const char* refused[] = {
      "",                                                  // empty
      "19 :   09 \n1A :   A2 \n",                          // a line short
      "19 :   09 \n1A :   A2 \n6B :   01 \n6C :   00 \n",  // a line over
      "19 :   09 \n1A :   A2 \n6B :   01 \n\n",            // an empty line over
      "19 :   09 \n\n1A :   A2 \n6B :   01 \n",            // an empty line inside
      "19 :   09 \n1B :   A2 \n6B :   01 \n",              // address of another row
      "19 :   09 \n1A :   A2 \nG6 :   01 \n",              // not hexadecimal
      "19 :   09 \n1A    A2 \n6B :   01 \n",               // no colon
      "19 :   09 \n1A :   \n6B :   01 \n",                 // no value
      "19 :   09 \n1A :   1A2 \n6B :   01 \n",             // three digits
      "19 :   09 \n1A :   A2 x\n6B :   01 \n",             // trailing text
      "019 :   09 \n1A :   A2 \n6B :   01 \n",             // three-digit address
  };
  for (const char* content : refused) {
    std::vector<unsigned char> decoded{1, 2, 3};
    EXPECT_FALSE(decode_register_map(MapFileForm::kText, kTable, content, decoded)) << content;
    EXPECT_TRUE(decoded.empty()) << content;
  }
}

TEST(MapFileBinary, IsExactlyOneBytePerRow) {
  const unsigned char values[] = {0x00, 0x0A, 0xFF};
  const std::string content = encode_register_map(MapFileForm::kBinary, kTable, values);
  EXPECT_EQ(content, std::string("\x00\x0A\xFF", 3));
  std::vector<unsigned char> decoded;
  ASSERT_TRUE(decode_register_map(MapFileForm::kBinary, kTable, content, decoded));
  EXPECT_EQ(decoded, (std::vector<unsigned char>{0x00, 0x0A, 0xFF}));
  EXPECT_FALSE(decode_register_map(MapFileForm::kBinary, kTable, content.substr(0, 2), decoded));
  EXPECT_FALSE(decode_register_map(MapFileForm::kBinary, kTable, content + "\n", decoded));
  EXPECT_TRUE(decoded.empty());
}

TEST(WordDecoding, HighByteFirstTwosComplement) {
  EXPECT_EQ(word_from_bytes(0x80, 0x00), -32768);
  EXPECT_EQ(word_from_bytes(0x7F, 0xFF), 32767);
  EXPECT_EQ(word_from_bytes(0xFF, 0x38), -200);
  EXPECT_EQ(word_from_bytes(0xFF, 0xFF), -1);
  EXPECT_EQ(word_from_bytes(0x00, 0x80), 128);
}

}  // namespace
}  // namespace veltrix::devices::test
