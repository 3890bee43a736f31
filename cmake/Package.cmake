# Packages from the install rules: a Debian package on Linux, a ZIP on Windows.
set(CPACK_PACKAGE_NAME corvalite-update)
set(CPACK_PACKAGE_VENDOR "Zelmarock")
set(CPACK_PACKAGE_CONTACT "Zelmarock <support@zelmarock.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps the Corvalite developer products up to date")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.zelmarock.example/")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CORVALITE_WINDOWS_ZIP corvalite-update-${PROJECT_VERSION}-windows)  # the tests unpack it
  set(CPACK_PACKAGE_FILE_NAME ${CORVALITE_WINDOWS_ZIP})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The icons are drawn by Qt's SVG plugins, which no linker sees.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-user-dirs")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "The assistant fetches the vendor's catalogue, finds the Corvalite products\n"
      "installed on this computer and reads their executables' version records. It\n"
      "shows every product and catalogue entry in one component tree with its\n"
      "location, version, build and state, and downloads a chosen component, then\n"
      "starts its setup or moves it into the product's folder.")
  string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
endif()
include(CPack)
