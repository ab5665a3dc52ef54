# What `cmake --install` puts under the prefix besides the programs (whose
# install() lines are beside their targets): the desktop entry, the icon, the
# AppStream metadata, the manual pages and the documents, each in its usual
# place (GNUInstallDirs). Then the Debian package that CPack makes of that
# tree, with its dependencies worked out from the programs by dpkg-shlibdeps.
include(GNUInstallDirs)

# The reverse-DNS name that ties the desktop entry, the icon and the AppStream
# metadata together.
set(TARVEX_APP_ID org.tarvex.Tarvex)
set(TARVEX_DIST_DIR ${PROJECT_SOURCE_DIR}/dist)

install(FILES ${TARVEX_DIST_DIR}/${TARVEX_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TARVEX_DIST_DIR}/${TARVEX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The .accdb files' type; Debian's shared-mime-info trigger rebuilds the type
# database when the package puts this in place.
install(FILES ${TARVEX_DIST_DIR}/${TARVEX_APP_ID}.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${TARVEX_DIST_DIR}/icons/tarvex.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${TARVEX_APP_ID}.svg)
foreach(size 16 32 48 64 128 256)
    install(FILES ${TARVEX_DIST_DIR}/icons/tarvex-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${TARVEX_APP_ID}.png)
endforeach()

# Manual pages and the change log are installed compressed, as Debian's
# packages keep them; -n leaves the file's name and time out of the .gz, so
# that the same page always gives the same bytes.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(TARVEX_MAN_PAGES tarvex.1 tarvex-pricelist.1 tarvex-samplehost.1)
# Each file is copied into the build folder under its installed name and
# compressed there.
function(tarvex_compressed source name destination)
    set(out ${PROJECT_BINARY_DIR}/dist/${name})
    add_custom_command(OUTPUT ${out}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${out}
        COMMAND ${GZIP_PROGRAM} -9nf ${out}
        DEPENDS ${source}
        VERBATIM)
    set_property(GLOBAL APPEND PROPERTY TARVEX_COMPRESSED ${out}.gz)
    install(FILES ${out}.gz DESTINATION ${destination})
endfunction()
foreach(page ${TARVEX_MAN_PAGES})
    tarvex_compressed(${TARVEX_DIST_DIR}/man/${page} ${page} ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# Debian's change log of the package, in the documents as changelog.gz.
tarvex_compressed(${TARVEX_DIST_DIR}/changelog changelog ${CMAKE_INSTALL_DOCDIR})
get_property(compressed GLOBAL PROPERTY TARVEX_COMPRESSED)
add_custom_target(tarvex_dist_files ALL DEPENDS ${compressed})

install(FILES README.md ${TARVEX_DIST_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs FILES_MATCHING PATTERN "*.md")

# The Debian package: tarvex_VERSION_ARCH.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvex)
# All four parts of the version, as the program shows them (CPack's own
# default keeps only three).
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tarvex developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "bring a vendor's new prices into a salon's product list")
# The long description keeps Debian's lines of under 80 characters; an empty
# line starts a paragraph.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Tarvex brings one vendor's new costs and retail prices into the product"
    "table of a salon management application. It opens the vendor's price"
    "list, asks the user to confirm the vendor, finds the salon's database,"
    "copies it to a dated backup and shows every proposed change in one review"
    "window, or in the terminal. Nothing is written before the user has chosen"
    "the rows to apply."
    ""
    "The package also holds tarvex-pricelist, which makes a vendor's price list"
    "from a CSV file, and tarvex-samplehost, which makes a sample host database"
    "to try Tarvex on.")
set(TARVEX_PACKAGE_MAINTAINER "The Tarvex developers <tarvex@example.org>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARVEX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
