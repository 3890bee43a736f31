# The vendor's key setting as the configuration reads it, for the tests in tests/CMakeLists.txt:
#   cmake -DCORVALITE_PUBLISHER_KEYS=... -P PublisherKeysSetting.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/PublisherKeys.cmake)
message(STATUS "pinned: [${CORVALITE_PUBLISHER_KEYS_TEXT}]")
