# The codec's sources, shared by the cross build and the native fuzz and benchmark build.
set(WMCQEL_SMS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/BitStream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BearerData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/IS637Codec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmsLog.cpp)
set(WMCQEL_SMS_INCLUDE_DIR ${CMAKE_CURRENT_LIST_DIR}/..)
