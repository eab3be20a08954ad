# The Debian package: `cmake --build build --target package` makes
# ordavex_<version>_amd64.deb beside the build tree's top. Only the two programs, their
# menu entry and icon, and the documentation are installed; tests, benchmarks and the
# simulator are not.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ordavex)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ordavex/docs
        FILES_MATCHING PATTERN "*.png")

# The package's format is Debian's on Linux only.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME ordavex)
    set(CPACK_PACKAGE_VENDOR Ordavex)
    set(CPACK_PACKAGE_CONTACT "Ordavex developers <ordavex@localhost>")
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Finishing results of track and road races, typed or received")
    string(CONCAT CPACK_PACKAGE_DESCRIPTION
        "Records the finishing results of a heat, typed or received from a photo-finish timing machine "
        "on a serial port, and saves them as Shift_JIS CSV files. A live results board serves them to "
        "phones in the stands.")
    set(CPACK_STRIP_FILES ON)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION misc)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # The libraries the two programs link are read from their binaries by dpkg-shlibdeps.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # What no binary names, loaded by name at run time: the window font (IPA P Gothic where
    # the Windows font is missing) and the toolkit's own texts in Japanese (はい, いいえ, the
    # file dialog).
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-translations-l10n")
endif()

include(CPack)
