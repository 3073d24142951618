# Install rules. Both presets install into one prefix:
#
#   bin/plinth-pack            the packer of the build (plinth-pack.exe in the windows build)
#   share/plinth/              plinth-setup.exe (windows build only), the manifest's JSON Schema
#                              and languages/, the page texts' tables
#   share/doc/plinth/          the README and docs/
#   include/plinth/            update.h, for apps that ask for their updates
#   share/plinth/include/      update.h again, the include folder of plinth::update: a folder
#                              of its own, because the prefix's include/ is /usr/include in the
#                              Debian package, which must never come before a cross compiler's
#   lib/cmake/plinth/          the CMake package (plinth_add_installer)
#
# The layout is fixed rather than taken from GNUInstallDirs: an installed packer finds its stub
# at ../share/plinth/ from its own folder, and the package finds the packer at ../../../bin/.
#
# Components: "packer" (bin/), "stub" (plinth-setup.exe) and "data" (the rest). The Linux
# archive is the host build's install plus the windows build's "stub" component.

include(CMakePackageConfigHelpers)

if(TARGET plinth-pack)
  install(TARGETS plinth-pack RUNTIME DESTINATION bin COMPONENT packer)
endif()
if(TARGET plinth-setup)
  install(TARGETS plinth-setup RUNTIME DESTINATION share/plinth COMPONENT stub)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/docs/app-manifest.schema.json ${PROJECT_SOURCE_DIR}/docs/update-feed.schema.json
  DESTINATION share/plinth COMPONENT data)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/share/plinth/languages DESTINATION share/plinth COMPONENT data
  FILES_MATCHING PATTERN "*.json")
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES DESTINATION share/doc/plinth COMPONENT data)
install(FILES ${PROJECT_SOURCE_DIR}/include/plinth/update.h DESTINATION include/plinth COMPONENT data)
install(FILES ${PROJECT_SOURCE_DIR}/include/plinth/update.h DESTINATION share/plinth/include/plinth COMPONENT data)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION share/doc/plinth/docs COMPONENT data)
# The docs link to ../examples/: the examples sit beside docs/, without anything a build left.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION share/doc/plinth/examples COMPONENT data
  PATTERN "build*" EXCLUDE)

# Before 1.0 a minor version may change the function, after it only a major one.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(PLINTH_PACKAGE_COMPATIBILITY SameMinorVersion)
else()
  set(PLINTH_PACKAGE_COMPATIBILITY SameMajorVersion)
endif()
# The packer is a host program, so the package fits any target architecture.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/plinthConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY ${PLINTH_PACKAGE_COMPATIBILITY} ARCH_INDEPENDENT)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/plinthConfig.cmake ${PROJECT_SOURCE_DIR}/cmake/plinth_stage.cmake
  ${PROJECT_BINARY_DIR}/plinthConfigVersion.cmake
  DESTINATION lib/cmake/plinth COMPONENT data)

# The Debian package: `cpack -G DEB` in the host build, given both builds' install projects (see
# scripts/release). The stub is a Windows program that it carries as data.
# The package is plinth-pack: Debian's FreedomBox package provides and replaces "plinth", so a
# package of that name would be displaced by it.
set(PLINTH_DEB_PACKAGE plinth-pack)
set(PLINTH_MAINTAINER "Seed ce4db204 maintainers <maintainers@users.noreply.c-seed-ce4db204.example>"
  CACHE STRING "The Debian package's Maintainer: \"Name <address>\"")
set(CPACK_PACKAGE_NAME ${PLINTH_DEB_PACKAGE})
set(CPACK_PACKAGE_VENDOR "The plinth authors")
set(CPACK_PACKAGE_CONTACT "${PLINTH_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PLINTH_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Packer for per-user Windows installers")
set(CPACK_PACKAGE_DESCRIPTION
  "plinth-pack turns an app manifest and a Windows app's exe, or its\nfolder, into a ready per-user installer. The package holds the\ninstaller runtime plinth-setup.exe and a CMake package with\nplinth_add_installer().")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME ${PLINTH_DEB_PACKAGE}_${PROJECT_VERSION}_amd64.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_GENERATOR DEB)
# The package's own copyright and changelog, in share/doc/plinth-pack/ (the archives carry
# LICENSE and THIRD-PARTY-NOTICES instead): component "debian", which scripts/release adds to
# the package alone.
install(CODE "set(PLINTH_DEB_PACKAGE ${PLINTH_DEB_PACKAGE})
  set(PLINTH_MAINTAINER \"${PLINTH_MAINTAINER}\")
  set(PROJECT_VERSION ${PROJECT_VERSION})
  set(PLINTH_DEBIAN_DIR \"${PROJECT_SOURCE_DIR}/cmake/debian\")"
  COMPONENT debian EXCLUDE_FROM_ALL)
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/debian/install-docs.cmake COMPONENT debian EXCLUDE_FROM_ALL)
include(CPack)
