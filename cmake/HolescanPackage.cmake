# The Debian package of the three programs: `cpack -G DEB` in the build folder, after a build.
# It holds what `cmake --install` puts in place (under /usr): the programs, their desktop
# entries, icons and manual pages, the bash completion of holescan-cli and the README. The
# libraries it needs are found by dpkg-shlibdeps from the programs themselves (dpkg-dev and
# file must be installed, as scripts/setup does).
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME holescan)
set(CPACK_PACKAGE_VENDOR "The holescan project")
set(CPACK_PACKAGE_CONTACT "The holescan project")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find, score and review shot holes in scans of paper targets")
set(CPACK_PACKAGE_DESCRIPTION
    "holescan finds the shot holes in scanned pictures of paper shooting targets. Its
command line, holescan-cli, gives every shot in millimetres from the point of aim with
its ring score on ISSF air-rifle and air-pistol faces, and the group's statistics, as a
summary, JSON, the CSV point table and an annotated picture. holescan-review is the window
to check, correct, score and export the shots of a session; holescan is the original
window of the exact analysis.")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not found from the programs' own libraries: the readers of TIFF and WebP pictures.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins")
include(CPack)
