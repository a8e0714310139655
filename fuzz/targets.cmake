# The fuzz targets, their sources and the libraries they drive. Shared by the fuzz build
# (rtutest_add_fuzzer) and the replay tests (tests/reliability), which define the function.
set(RTUTEST_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})

rtutest_add_fuzzer(framing
  SOURCES ${RTUTEST_FUZZ_DIR}/framing_fuzz.cpp
  LIBRARIES modbus)

rtutest_add_fuzzer(settings
  SOURCES
    ${RTUTEST_FUZZ_DIR}/settings_fuzz.cpp
    ${RTUTEST_FUZZ_DIR}/settings/settings_invariants.cpp
    ${RTUTEST_FUZZ_DIR}/settings/settings_snapshot.cpp
    ${RTUTEST_FUZZ_DIR}/settings/settings_steps.cpp
    ${RTUTEST_FUZZ_DIR}/settings/settings_values.cpp
  LIBRARIES serial serial_platform_fake)

rtutest_add_fuzzer(request_parser
  SOURCES ${RTUTEST_FUZZ_DIR}/request_parser_fuzz.cpp
  LIBRARIES qlm7305_sim_core)

# The window's logic (Qt Core, no widgets).
if(TARGET rtutest_logic)
  rtutest_add_fuzzer(receive_decoder
    SOURCES
      ${RTUTEST_FUZZ_DIR}/receive_decoder_fuzz.cpp
      ${RTUTEST_FUZZ_DIR}/receive/reference_decoder.cpp
    LIBRARIES rtutest_logic)

  rtutest_add_fuzzer(slave_address
    SOURCES ${RTUTEST_FUZZ_DIR}/slave_address_fuzz.cpp
    LIBRARIES rtutest_logic)

  rtutest_add_fuzzer(port_texts
    SOURCES ${RTUTEST_FUZZ_DIR}/port_texts_fuzz.cpp
    LIBRARIES rtutest_logic serial serial_platform_fake)
endif()
