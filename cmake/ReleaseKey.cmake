# The update manifest is verified against a public key built into the shell.
# Builds that name no key get the repository's test key (tests/keys/TEST-ONLY-release-key.pem),
# whose private half is public knowledge: it must never sign a real release.
# A Release build refuses to configure unless both halves of a real key are given.
set(DESK_TEST_KEY_X "fa11f896406aaff139b4913561fa23f933322a094d3a4443765e5d316d5680a2")
set(DESK_TEST_KEY_Y "5a75bdc7331298359e2d1415b91a322f1b32df84c2e5008c1701d4e95ea4d2e4")

set(DESK_RELEASE_KEY_X "" CACHE STRING "Update key: X coordinate, 64 hexadecimal digits")
set(DESK_RELEASE_KEY_Y "" CACHE STRING "Update key: Y coordinate, 64 hexadecimal digits")
option(DESK_ALLOW_TEST_KEY "Allow a Release build with the test update key (for CI only)" OFF)

if(DESK_RELEASE_KEY_X STREQUAL "" AND DESK_RELEASE_KEY_Y STREQUAL "")
  if(CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT DESK_ALLOW_TEST_KEY)
    message(FATAL_ERROR "A Release build needs the release update key: pass -DDESK_RELEASE_KEY_X=... -DDESK_RELEASE_KEY_Y=... (desk-sign keygen prints them)")
  endif()
  set(DESK_KEY_X "${DESK_TEST_KEY_X}")
  set(DESK_KEY_Y "${DESK_TEST_KEY_Y}")
  set(DESK_KEY_IS_TEST ON)
else()
  foreach(part X Y)
    if(NOT DESK_RELEASE_KEY_${part} MATCHES "^[0-9a-fA-F]+$")
      message(FATAL_ERROR "DESK_RELEASE_KEY_${part} must be 64 hexadecimal digits")
    endif()
    string(LENGTH "${DESK_RELEASE_KEY_${part}}" len)
    if(NOT len EQUAL 64)
      message(FATAL_ERROR "DESK_RELEASE_KEY_${part} must be 64 hexadecimal digits")
    endif()
  endforeach()
  set(DESK_KEY_X "${DESK_RELEASE_KEY_X}")
  set(DESK_KEY_Y "${DESK_RELEASE_KEY_Y}")
  set(DESK_KEY_IS_TEST OFF)
endif()
