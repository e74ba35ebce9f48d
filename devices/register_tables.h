#pragma once
// The register vocabulary of every sensor family, as compile-time data. Runs
// that several families share word for word are written once and joined; each
// finished table is checked by static_assert.
//
// Thread contract: constants only.

#include <array>

#include "devices/register_row.h"

namespace veltrix::devices::tables {

template <std::size_t N>
using Rows = std::array<RegisterRow, N>;

// 49 EXT_SENS_DATA_00 to 60 EXT_SENS_DATA_23.
constexpr Rows<24> external_sensor_rows() {
  constexpr char kHex[] = "0123456789ABCDEF";
  Rows<24> out{};
  for (int i = 0; i < 24; ++i) {
    const int address = 0x49 + i;
    const char address_text[] = {kHex[address / 16], kHex[address % 16]};
    char name[] = "EXT_SENS_DATA_00";
    name[14] = static_cast<char>('0' + i / 10);
    name[15] = static_cast<char>('0' + i % 10);
    out[i] = row({address_text, 2}, {name, sizeof name - 1});
  }
  return out;
}

inline constexpr Rows<19> kI2cMasterRows = {
    row("24", "I2C_MST_CTRL"),  row("25", "I2C_SLV0_ADDR"), row("26", "I2C_SLV0_REG"),   row("27", "I2C_SLV0_CTRL"),
    row("28", "I2C_SLV1_ADDR"), row("29", "I2C_SLV1_REG"),  row("2A", "I2C_SLV1_CTRL"),  row("2B", "I2C_SLV2_ADDR"),
    row("2C", "I2C_SLV2_REG"),  row("2D", "I2C_SLV2_CTRL"), row("2E", "I2C_SLV3_ADDR"),  row("2F", "I2C_SLV3_REG"),
    row("30", "I2C_SLV3_CTRL"), row("31", "I2C_SLV4_ADDR"), row("32", "I2C_SLV4_REG"),   row("33", "I2C_SLV4_DO"),
    row("34", "I2C_SLV4_CTRL"), row("35", "I2C_SLV4_DI"),   row("36", "I2C_MST_STATUS"),
};

inline constexpr Rows<6> kAccelDataRows = {
    row("3B", "ACCEL_XOUT_H"), row("3C", "ACCEL_XOUT_L"), row("3D", "ACCEL_YOUT_H"),
    row("3E", "ACCEL_YOUT_L"), row("3F", "ACCEL_ZOUT_H"), row("40", "ACCEL_ZOUT_L"),
};

inline constexpr Rows<8> kTempGyroDataRows = {
    row("41", "TEMP_OUT_H"),  row("42", "TEMP_OUT_L"),  row("43", "GYRO_XOUT_H"), row("44", "GYRO_XOUT_L"),
    row("45", "GYRO_YOUT_H"), row("46", "GYRO_YOUT_L"), row("47", "GYRO_ZOUT_H"), row("48", "GYRO_ZOUT_L"),
};

inline constexpr Rows<4> kSlaveOutputRows = {
    row("63", "I2C_SLV0_DO"),
    row("64", "I2C_SLV1_DO"),
    row("65", "I2C_SLV2_DO"),
    row("66", "I2C_SLV3_DO"),
};

inline constexpr Rows<7> kPowerFifoRows = {
    row("6A", "USER_CTRL"),   row("6B", "PWR_MGMT_1"), row("6C", "PWR_MGMT_2"), row("72", "FIFO_COUNTH"),
    row("73", "FIFO_COUNTL"), row("74", "FIFO_R_W"),   row("75", "WHO_AM_I"),
};

inline constexpr auto kHep11 = join(
    Rows<13>{
        row("13", "XG_OFFS_USRH"),
        row("14", "XG_OFFS_USRL"),
        row("15", "YG_OFFS_USRH"),
        row("16", "YG_OFFS_USRL"),
        row("17", "ZG_OFFS_USRH"),
        row("18", "G_OFFS_USRL"),
        row("19", "SMPLRT_DIV"),
        row("1A", "CONFIG"),
        row("1B", "GYRO_CONFIG"),
        row("23", "FIFO_EN"),
        row("37", "INT_PIN_CFG"),
        row("38", "INT_ENABLE"),
        row("3A", "INT_STATUS"),
    },
    kTempGyroDataRows, kPowerFifoRows);

// Shared by kor23 and kor21.
inline constexpr Rows<35> kKor2x = {
    row("00", "WHO_AM_I"),
    row("01", "PRODUCT_ID", true),
    row("0C", "X_OFFS_USRH", true),
    row("0D", "X_OFFS_USRL", true),
    row("0E", "Y_OFFS_USRH", true),
    row("0F", "Y_OFFS_USRL", true),
    row("10", "Z_OFFS_USRH", true),
    row("11", "Z_OFFS_USRL", true),
    row("12", "FIFO_EN", true),
    row("13", "AUX_VDDIO", true),
    row("14", "AUX_SLV_ADDR", true),
    row("15", "SMPLRT_DIV", true),
    row("16", "DLPF_FS_SYNC"),
    row("17", "INT_CFG"),
    row("18", "AUX_ADDR"),
    row("1A", "INT_STATUS"),
    row("1B", "TEMP_OUT_H"),
    row("1C", "TEMP_OUT_L"),
    row("1D", "GYRO_XOUT_H"),
    row("1E", "GYRO_XOUT_L"),
    row("1F", "GYRO_YOUT_H"),
    row("20", "GYRO_YOUT_L"),
    row("21", "GYRO_ZOUT_H"),
    row("22", "GYRO_ZOUT_L"),
    row("23", "AUX_XOUT_H"),
    row("24", "AUX_XOUT_L"),
    row("25", "AUX_YOUT_H"),
    row("26", "AUX_YOUT_L"),
    row("27", "AUX_ZOUT_H"),
    row("28", "AUX_ZOUT_L"),
    row("3A", "FIFO_COUNTH"),
    row("3B", "FIFO_COUNTL"),
    row("3C", "FIFO_R", true),
    row("3D", "USER_CTRL", true),
    row("3E", "PWR_MGM"),
};

inline constexpr auto kKor24 = join(
    Rows<7>{
        row("0D", "SELF_TEST_X"),
        row("0E", "SELF_TEST_Y"),
        row("0F", "SELF_TEST_Z"),
        row("19", "SMPLRT_DIV"),
        row("1A", "CONFIG"),
        row("1B", "GYRO_CONFIG"),
        row("23", "FIFO_EN"),
    },
    kI2cMasterRows, Rows<3>{row("37", "INT_PIN_CFG"), row("38", "INT_ENABLE"), row("3A", "INT_STATUS")},
    kTempGyroDataRows, external_sensor_rows(), kSlaveOutputRows,
    Rows<2>{row("67", "I2C_MST_DELAY_CTRL"), row("68", "SIGNAL_PATH_RESET")}, kPowerFifoRows);

inline constexpr auto kKor42 = join(
    Rows<12>{
        row("01", "AUX_VDDIO"),
        row("19", "SMPLRT_DIV", true),
        row("1A", "CONFIG", true),
        row("1B", "GYRO_CONFIG", true),
        row("1C", "ACCEL_CONFIG", true),
        row("1D", "FF_THR", true),
        row("1E", "FF_DUR", true),
        row("1F", "MOT_THR", true),
        row("20", "MOT_DUR", true),
        row("21", "ZRMOT_THR", true),
        row("22", "ZRMOT_DUR", true),
        row("23", "FIFO_EN", true),
    },
    kI2cMasterRows, Rows<3>{row("37", "INT_PIN_CFG"), row("38", "INT_ENABLE", true), row("3A", "INT_STATUS", true)},
    kAccelDataRows, kTempGyroDataRows, external_sensor_rows(), Rows<1>{row("61", "MOT_DETECT_STATUS")},
    kSlaveOutputRows,
    Rows<10>{
        row("67", "I2C_MST_DELAY_CTRL", true),
        row("68", "SIGNAL_PATH_RESET", true),
        row("69", "MOT_DETECT_CTRL", true),
        row("6A", "USER_CTRL", true),
        row("6B", "PWR_MGMT_1", true),
        row("6C", "PWR_MGMT_2", true),
        row("72", "FIFO_COUNTH", true),
        row("73", "FIFO_COUNTL", true),
        row("74", "FIFO_R_W", true),
        row("75", "WHO_AM_I"),
    });

// Shared by kor46 and kor73.
inline constexpr auto kKor46 = join(
    Rows<20>{
        row("00", "SELF_TEST_X_GYRO"),  row("01", "SELF_TEST_Y_GYRO"),
        row("02", "SELF_TEST_Z_GYRO"),  row("0D", "SELF_TEST_X_ACCEL"),
        row("0E", "SELF_TEST_Y_ACCEL"), row("0F", "SELF_TEST_Z_ACCEL"),
        row("13", "XG_OFFSET_H"),       row("14", "XG_OFFSET_L"),
        row("15", "YG_OFFSET_H"),       row("16", "YG_OFFSET_L"),
        row("17", "ZG_OFFSET_H"),       row("18", "ZG_OFFSET_L"),
        row("19", "SMPLRT_DIV"),        row("1A", "CONFIG"),
        row("1B", "GYRO_CONFIG"),       row("1C", "ACCEL_CONFIG"),
        row("1D", "ACCEL_CONFIG 2"),    row("1E", "LP_ACCEL_ODR"),
        row("1F", "WOM_THR"),           row("23", "FIFO_EN"),
    },
    kI2cMasterRows, Rows<3>{row("37", "INT_PIN_CFG"), row("38", "INT_ENABLE"), row("3A", "INT_STATUS")}, kAccelDataRows,
    kTempGyroDataRows, external_sensor_rows(), kSlaveOutputRows,
    Rows<3>{row("67", "I2C_MST_DELAY_CTRL"), row("68", "SIGNAL_PATH_RESET"), row("69", "MOT_DETECT_CTRL")},
    kPowerFifoRows,
    Rows<6>{
        row("77", "XA_OFFSET_H"),
        row("78", "XA_OFFSET_L"),
        row("7A", "YA_OFFSET_H"),
        row("7B", "YA_OFFSET_L"),
        row("7D", "ZA_OFFSET_H"),
        row("7E", "ZA_OFFSET_L"),
    });

// The compass's own registers, reached through the sensor's I2C master.
inline constexpr Rows<16> kCompass = {
    row("00", "WIA"),    row("01", "INFO"), row("02", "ST1"),  row("03", "HXL"),  row("04", "HXH"),  row("05", "HYL"),
    row("06", "HYH"),    row("07", "HZL"),  row("08", "HZH"),  row("09", "ST2"),  row("0A", "CNTL"), row("0C", "ASTC"),
    row("0F", "I2CDIS"), row("10", "ASAX"), row("11", "ASAY"), row("12", "ASAZ"),
};

static_assert(is_well_formed(kHep11) && kHep11.size() == 28);
static_assert(is_well_formed(kKor2x) && kKor2x.size() == 35);
static_assert(is_well_formed(kKor24) && kKor24.size() == 74);
static_assert(is_well_formed(kKor42) && kKor42.size() == 87);
static_assert(is_well_formed(kKor46) && kKor46.size() == 100);
static_assert(is_well_formed(kCompass) && kCompass.size() == 16);

}  // namespace veltrix::devices::tables
