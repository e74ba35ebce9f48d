#include "devices/ikor.h"

void ikor::load_generic_register_addresses() {
  addr_gyro_xout_h = lookup_address("GYRO_XOUT_H");
  addr_temp_out_h = lookup_address("TEMP_OUT_H");
  addr_smplrt_div = lookup_address("SMPLRT_DIV");
  addr_config = lookup_address("CONFIG");
  addr_fifo_en = lookup_address("FIFO_EN");
  addr_int_enable = lookup_address("INT_ENABLE");
  addr_int_status = lookup_address("INT_STATUS");
}
