# The fuzz targets, their sources and the libraries they drive. Shared by the fuzz build
# and the replay tests (tests/reliability): each names its own function in RTUTEST_FUZZ_ADD.
set(RTUTEST_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})

cmake_language(CALL ${RTUTEST_FUZZ_ADD} framing
  SOURCES ${RTUTEST_FUZZ_DIR}/framing_fuzz.cpp
  LIBRARIES modbus)

cmake_language(CALL ${RTUTEST_FUZZ_ADD} settings
  SOURCES
    ${RTUTEST_FUZZ_DIR}/settings_fuzz.cpp
    ${RTUTEST_FUZZ_DIR}/settings/settings_invariants.cpp
    ${RTUTEST_FUZZ_DIR}/settings/settings_snapshot.cpp
    ${RTUTEST_FUZZ_DIR}/settings/settings_steps.cpp
    ${RTUTEST_FUZZ_DIR}/settings/settings_values.cpp
  LIBRARIES serial serial_platform_fake)

cmake_language(CALL ${RTUTEST_FUZZ_ADD} request_parser
  SOURCES ${RTUTEST_FUZZ_DIR}/request_parser_fuzz.cpp
  LIBRARIES qlm7305_sim_core)

# The window's logic (Qt Core, no widgets).
if(TARGET rtutest_logic)
  cmake_language(CALL ${RTUTEST_FUZZ_ADD} receive_decoder
    SOURCES
      ${RTUTEST_FUZZ_DIR}/receive_decoder_fuzz.cpp
      ${RTUTEST_FUZZ_DIR}/receive/reference_decoder.cpp
    LIBRARIES rtutest_logic)

  cmake_language(CALL ${RTUTEST_FUZZ_ADD} slave_address
    SOURCES ${RTUTEST_FUZZ_DIR}/slave_address_fuzz.cpp
    LIBRARIES rtutest_logic)

  cmake_language(CALL ${RTUTEST_FUZZ_ADD} port_texts
    SOURCES ${RTUTEST_FUZZ_DIR}/port_texts_fuzz.cpp
    LIBRARIES rtutest_logic serial serial_platform_fake)
endif()
