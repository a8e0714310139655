# The hand-over queue's connection to Qt's event loop, and its QtCore-only test.
# Included by app/CMakeLists.txt: include(${CMAKE_CURRENT_SOURCE_DIR}/qt_handover.cmake)
find_package(Qt6 REQUIRED COMPONENTS Core)

add_library(qt_handover STATIC ${CMAKE_CURRENT_LIST_DIR}/qt_handover.cpp
                               ${CMAKE_CURRENT_LIST_DIR}/qt_handover.h)
set_target_properties(qt_handover PROPERTIES AUTOMOC ON)
target_include_directories(qt_handover PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qt_handover PUBLIC serial_handover Qt6::Core)

if(RTUTEST_BUILD_TESTS)
  add_executable(handover_qt_test ${PROJECT_SOURCE_DIR}/serial/tests/handover_qt_test.cpp)
  target_link_libraries(handover_qt_test PRIVATE qt_handover GTest::gtest_main)
  gtest_discover_tests(handover_qt_test TEST_PREFIX "app." DISCOVERY_MODE PRE_TEST)
endif()
