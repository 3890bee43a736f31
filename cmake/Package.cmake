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

if(WIN32)
  # The Windows Installer package from the same installed tree the ZIP holds. A release signs
  # it with the vendor's key and certificate chain (PEM); without them it is left unsigned,
  # under a name that says so.
  set(CORVALITE_MSI_SIGNING_KEY "" CACHE FILEPATH "The vendor's private key (PEM) that signs the MSI")
  set(CORVALITE_MSI_SIGNING_CERT "" CACHE FILEPATH "The vendor's certificate chain (PEM) for the MSI's signature")
  set(msi_stage ${PROJECT_BINARY_DIR}/msi-stage)
  if(CORVALITE_MSI_SIGNING_KEY AND CORVALITE_MSI_SIGNING_CERT)
    set(msi_signing --key ${CORVALITE_MSI_SIGNING_KEY} --cert ${CORVALITE_MSI_SIGNING_CERT})
    set(msi_file ${PROJECT_BINARY_DIR}/package/corvalite-update-${PROJECT_VERSION}-windows.msi)
  else()
    set(msi_signing --unsigned)
    set(msi_file ${PROJECT_BINARY_DIR}/package/corvalite-update-${PROJECT_VERSION}-windows-unsigned.msi)
  endif()
  add_custom_target(msi
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${msi_stage}
    COMMAND ${CMAKE_COMMAND} --install ${PROJECT_BINARY_DIR} --prefix ${msi_stage} --strip
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/build-msi.sh --version ${PROJECT_VERSION}
            ${msi_signing} ${msi_stage} ${msi_file}
    DEPENDS update VERBATIM USES_TERMINAL)
endif()
