# Installation of the documents and the Debian package (cpack -G DEB in the
# build folder). The programs and their manual pages are installed beside
# their targets; the package's dependencies are found by dpkg-shlibdeps from
# whatever programs this build installs.
include(GNUInstallDirs)

install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/docs/receiver-setup.md
              ${CMAKE_SOURCE_DIR}/docs/Skelmar.INI.example
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/samples/mixed-traffic.edges ${CMAKE_SOURCE_DIR}/samples/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/samples)

set(CPACK_PACKAGE_NAME skelmar)
set(CPACK_PACKAGE_VENDOR "Skelmar")
set(CPACK_PACKAGE_CONTACT "Skelmar maintainers <skelmar@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "radio-pager monitor (POCSAG, FLEX, GSC) and TAP page sender")
set(CPACK_PACKAGE_DESCRIPTION
    "skelmar decodes POCSAG, FLEX and GSC pages from a pager receiver's data slicer on a serial\n\
port, from discriminator audio (sound card, file, or rtl_fm on a pipe) or, with its own FM\n\
receiver, from an SDR's IQ samples (capture files, rtl_sdr on a pipe, rtl_tcp, SoapySDR\n\
devices), with filters, a filter log and command, statistics and JSON output. vantry sends one alphanumeric page\n\
through a Hayes modem to a TAP paging terminal.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libsoapysdr comes in through the shared-library dependencies; the device
# modules are the user's choice.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS
    "rtl-sdr, soapysdr-module-rtlsdr | soapysdr-module-all, soapysdr-module-airspy, soapysdr-module-hackrf, soapysdr-tools")
include(CPack)
