# The vendor's publishers, trusted wherever the program runs: the SHA-256 of each signing key's
# SubjectPublicKeyInfo, 64 hex digits, apart by semicolons or blanks (a primary and a backup,
# so a renewed certificate or a switch of keys strands nobody). Empty by default: a key whose
# private half lies in the tree or on the build machine must never ship trusted. Tests and the
# sample make their keys when they run and pin them in their own sandbox's machine-wide list.
set(CORVALITE_PUBLISHER_KEYS "" CACHE STRING
    "SHA-256 hashes (hex) of the trusted publishers' SubjectPublicKeyInfo, ';' or blank separated")

string(REGEX REPLACE "[ \t\r\n;]+" ";" corvalite_publisher_tokens "${CORVALITE_PUBLISHER_KEYS}")
set(corvalite_publisher_keys)
foreach(key IN LISTS corvalite_publisher_tokens)
  if(key STREQUAL "")
    continue()
  endif()
  string(LENGTH "${key}" key_length)
  if(NOT key MATCHES "^[0-9A-Fa-f]+$" OR NOT key_length EQUAL 64)
    message(FATAL_ERROR "CORVALITE_PUBLISHER_KEYS: \"${key}\" is not a SHA-256 hash "
                        "(64 hex digits) of a publisher's SubjectPublicKeyInfo")
  endif()
  string(TOLOWER "${key}" key)
  list(APPEND corvalite_publisher_keys "${key}")
endforeach()
# For the compiler, blank-separated: a semicolon would split the definition.
list(JOIN corvalite_publisher_keys " " CORVALITE_PUBLISHER_KEYS_TEXT)
