// Register tables and name lookup of every family, and the model list. No bus.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "devices/kor71.h"
#include "devices/model_catalogue.h"
#include "devices/register_row.h"
#include "tests/devices/sim_board.h"

namespace veltrix::devices::test {
namespace {

using Names = std::vector<std::string>;

struct TableCase {
  const char* class_name;
  int rows;
  const char* first;
  const char* last;
  const Names* marked;  // rows whose third field holds the code-1 mark, in table order
};

const Names kNoMarks;
const Names kKor2xMarks = {
    "PRODUCT_ID", "X_OFFS_USRH", "X_OFFS_USRL",  "Y_OFFS_USRH", "Y_OFFS_USRL", "Z_OFFS_USRH", "Z_OFFS_USRL",
    "FIFO_EN",    "AUX_VDDIO",   "AUX_SLV_ADDR", "SMPLRT_DIV",  "FIFO_R",      "USER_CTRL",
};
const Names kKor42Marks = {
    "SMPLRT_DIV",      "CONFIG",     "GYRO_CONFIG", "ACCEL_CONFIG",       "FF_THR",
    "FF_DUR",          "MOT_THR",    "MOT_DUR",     "ZRMOT_THR",          "ZRMOT_DUR",
    "FIFO_EN",         "INT_ENABLE", "INT_STATUS",  "I2C_MST_DELAY_CTRL", "SIGNAL_PATH_RESET",
    "MOT_DETECT_CTRL", "USER_CTRL",  "PWR_MGMT_1",  "PWR_MGMT_2",         "FIFO_COUNTH",
    "FIFO_COUNTL",     "FIFO_R_W",
};

const TableCase kTables[] = {
    {"hep11", 28, "13 XG_OFFS_USRH", "75 WHO_AM_I", &kNoMarks},
    {"naf38", 22, "19 SMPLRT_DIV", "75 WHO_AM_I", &kNoMarks},
    {"kor23", 35, "00 WHO_AM_I", "3E PWR_MGM", &kKor2xMarks},
    {"kor21", 35, "00 WHO_AM_I", "3E PWR_MGM", &kKor2xMarks},
    {"kor24", 74, "0D SELF_TEST_X", "75 WHO_AM_I", &kNoMarks},
    {"kor42", 87, "01 AUX_VDDIO", "75 WHO_AM_I", &kKor42Marks},
    {"kor46", 100, "00 SELF_TEST_X_GYRO", "7E ZA_OFFSET_L", &kNoMarks},
    {"kor71", 86, "19 SMPLRT_DIV", "75 WHO_AM_I", &kKor42Marks},
    {"kor73", 100, "00 SELF_TEST_X_GYRO", "7E ZA_OFFSET_L", &kNoMarks},
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.class_name; }

std::string row_text(const RegisterRow& r) { return std::string(r.address) + " " + r.name; }

class TableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(TableTest, RowsAreCompleteOrderedAndUnique) {
  const TableCase& c = GetParam();
  auto device = make_device(c.class_name);
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(device->get_register_list_size(), c.rows);
  const RegisterRow* rows = device->get_register_list();
  EXPECT_EQ(row_text(rows[0]), c.first);
  EXPECT_EQ(row_text(rows[c.rows - 1]), c.last);

  std::set<std::string> names;
  Names marked;
  for (int i = 0; i < c.rows; ++i) {
    const RegisterRow& r = rows[i];
    EXPECT_LE(std::strlen(r.name), 18u) << r.name;
    EXPECT_TRUE(names.insert(r.name).second) << "repeated " << r.name;
    if (i > 0) {
      EXPECT_LT(row_address(rows[i - 1]), row_address(r)) << r.name;
    }
    if (r.mark[0] != '\0') {
      EXPECT_STREQ(r.mark, "\x01") << r.name;
      marked.push_back(r.name);
    }
    // Every name finds its own row's address.
    EXPECT_EQ(device->lookup_address(r.name), row_address(r)) << r.name;
  }
  EXPECT_EQ(marked, *c.marked);
}

INSTANTIATE_TEST_SUITE_P(AllFamilies, TableTest, ::testing::ValuesIn(kTables),
                         [](const auto& instance) { return std::string(instance.param.class_name); });

TEST(RegisterTables, ClassConstantsMatchTheInterface) {
  EXPECT_EQ(kor71::RegisterMapSize, make_device("kor71")->get_register_list_size());
  EXPECT_EQ(kor71::RegisterMap, make_device("kor71")->get_register_list());
  EXPECT_EQ(kor71::slave_addr, 0x68);
  EXPECT_EQ(kor71::RegisterMapSizeCompass, 16);
  EXPECT_EQ(row_text(kor71::RegisterMapCompass[2]), "02 ST1");
  EXPECT_EQ(row_text(kor71::RegisterMapCompass[10]), "0A CNTL");
  EXPECT_EQ(row_text(kor71::RegisterMapCompass[15]), "12 ASAZ");
}

TEST(RegisterTables, DerivedTablesAreTheirSourcesWithoutLeadingRows) {
  const auto hep = make_device("hep11");
  const auto naf = make_device("naf38");
  EXPECT_EQ(naf->get_register_list(), hep->get_register_list() + 6);
  const auto k42 = make_device("kor42");
  const auto k71 = make_device("kor71");
  EXPECT_EQ(k71->get_register_list(), k42->get_register_list() + 1);
  EXPECT_EQ(make_device("kor23")->get_register_list(), make_device("kor21")->get_register_list());
  EXPECT_EQ(make_device("kor46")->get_register_list(), make_device("kor73")->get_register_list());
}

TEST(RegisterTables, SpecialRowsKeepTheirExactText) {
  const auto k46 = make_device("kor46");
  EXPECT_EQ(k46->lookup_address("ACCEL_CONFIG 2"), 0x1D);
  const auto k42 = make_device("kor42");
  EXPECT_EQ(k42->lookup_address("I2C_MST_DELAY_CTRL"), 0x67);
  EXPECT_EQ(k42->lookup_address("MOT_DETECT_STATUS"), 0x61);
  for (int i = 0; i < 24; ++i) {
    char name[20];
    std::snprintf(name, sizeof name, "EXT_SENS_DATA_%02d", i);
    EXPECT_EQ(k42->lookup_address(name), 0x49 + i) << name;
  }
  EXPECT_EQ(make_device("hep11")->lookup_address("G_OFFS_USRL"), 0x18);
  EXPECT_EQ(make_device("kor21")->lookup_address("PWR_MGM"), 0x3E);
}

TEST(Lookup, AbsentNamesGiveFF) {
  for (const char* family : {"kor23", "kor21"}) {
    const auto device = make_device(family);
    EXPECT_EQ(device->lookup_address("CONFIG"), 0xFF) << family;
    EXPECT_EQ(device->lookup_address("INT_ENABLE"), 0xFF) << family;
    EXPECT_EQ(device->lookup_address("FIFO_R_W"), 0xFF) << family;
    EXPECT_EQ(device->lookup_address("DLPF_FS_SYNC"), 0x16) << family;
    EXPECT_EQ(device->lookup_address("FIFO_R"), 0x3C) << family;
  }
  for (const ModelEntry& m : model_catalogue()) {
    const auto device = m.create();
    EXPECT_EQ(device->lookup_address("config"), 0xFF) << m.name;
    EXPECT_EQ(device->lookup_address("GYRO_XOUT"), 0xFF) << m.name;
    EXPECT_EQ(device->lookup_address("GYRO_XOUT_H "), 0xFF) << m.name;
    EXPECT_EQ(device->lookup_address(""), 0xFF) << m.name;
  }
}

struct CatalogueCase {
  const char* name;
  const char* class_name;
  int modes;
};

TEST(ModelCatalogue, ListsTheSeventeenModelsInOrder) {
  const CatalogueCase expected[] = {
      {"HEP 11", "hep11", 3}, {"HEP 14", "hep11", 3}, {"KOR 21", "kor21", 2}, {"VEL 22", "kor21", 2},
      {"NAF 31", "kor21", 2}, {"NAF 33", "kor21", 2}, {"BEH 12", "hep11", 3}, {"KOR 24", "kor24", 3},
      {"KOR 23", "kor23", 3}, {"NAF 37", "naf38", 3}, {"NAF 38", "naf38", 3}, {"KOR 40", "kor46", 3},
      {"KOR 46", "kor46", 3}, {"KOR 42", "kor42", 2}, {"KOR 44", "kor42", 2}, {"KOR 71", "kor71", 2},
      {"KOR 73", "kor73", 2},
  };
  const auto catalogue = model_catalogue();
  ASSERT_EQ(catalogue.size(), std::size(expected));
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    EXPECT_STREQ(catalogue[i].name, expected[i].name) << i;
    EXPECT_STREQ(catalogue[i].class_name, expected[i].class_name) << i;
    EXPECT_EQ(catalogue[i].create()->get_available_modes(), expected[i].modes) << i;
    EXPECT_EQ(find_model(expected[i].name), &catalogue[i]);
  }
}

TEST(ModelCatalogue, UnknownNamesFindNothing) {
  EXPECT_EQ(find_model("KOR 99"), nullptr);
  EXPECT_EQ(find_model("kor 42"), nullptr);
  EXPECT_EQ(find_model("KOR 42 "), nullptr);
  EXPECT_EQ(find_model(""), nullptr);
}

struct FamilyCase {
  const char* class_name;
  int components;
  int rates;
  bool self_test;
};

TEST(Families, OfferWhatTheCatalogueGivesThem) {
  const FamilyCase cases[] = {
      {"hep11", 9, 0x1803, false},  {"naf38", 9, 0x1803, false}, {"kor23", 9, 0x1E9B, false},
      {"kor21", 9, 0x1803, false},  {"kor24", 9, 0x1803, true},  {"kor42", 11, 0x1803, true},
      {"kor46", 11, 0x1803, false}, {"kor71", 15, 0x1803, true}, {"kor73", 15, 0x1803, true},
  };
  for (const FamilyCase& c : cases) {
    const auto device = make_device(c.class_name);
    EXPECT_EQ(device->get_available_components(), c.components) << c.class_name;
    EXPECT_EQ(device->get_available_sampling_rates(), c.rates) << c.class_name;
    EXPECT_EQ(device->is_self_test_supported(), c.self_test) << c.class_name;
    EXPECT_EQ(device->get_bias_tracking_modes(), 0x3F) << c.class_name;
    EXPECT_EQ(device->get_no_motion_algo_modes(), 0x07) << c.class_name;
  }
}

}  // namespace
}  // namespace veltrix::devices::test
