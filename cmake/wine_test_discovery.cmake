# Windows test programs are listed (--gtest_list_tests) under Wine, whose first start also
# creates the prefix: far slower than a native start, so the discovery waits longer.
function(gtest_discover_tests target)
  _gtest_discover_tests(${target} ${ARGN} DISCOVERY_TIMEOUT 180)
endfunction()
