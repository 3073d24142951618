# Install rules. Both presets install into one prefix:
#
#   bin/plinth-pack            the packer of the build (plinth-pack.exe in the windows build)
#   share/plinth/              plinth-setup.exe (windows build only) and the manifest's JSON Schema
#   share/doc/plinth/          the README and docs/
#   include/plinth/            update.h, for apps that ask for their updates
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
install(FILES ${PROJECT_SOURCE_DIR}/include/plinth/update.h DESTINATION include/plinth COMPONENT data)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/plinth COMPONENT data)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION share/doc/plinth/docs COMPONENT data)

# Before 1.0 a minor version may change the function, after it only a major one.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(PLINTH_PACKAGE_COMPATIBILITY SameMinorVersion)
else()
  set(PLINTH_PACKAGE_COMPATIBILITY SameMajorVersion)
endif()
# The packer is a host program, so the package fits any target architecture.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/plinthConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY ${PLINTH_PACKAGE_COMPATIBILITY} ARCH_INDEPENDENT)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/plinthConfig.cmake
  ${PROJECT_BINARY_DIR}/plinthConfigVersion.cmake
  DESTINATION lib/cmake/plinth COMPONENT data)

# The Debian package: `cpack -G DEB` in the host build, given both builds' install projects (see
# scripts/release). The stub is a Windows program that it carries as data.
set(CPACK_PACKAGE_NAME plinth)
set(CPACK_PACKAGE_VENDOR "plinth")
set(CPACK_PACKAGE_CONTACT "plinth maintainers <plinth@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Packer for per-user Windows installers")
set(CPACK_PACKAGE_DESCRIPTION
  "plinth-pack turns an app manifest and a Windows app's exe into a ready per-user installer.\nIt ships the installer runtime plinth-setup.exe and a CMake package with\nplinth_add_installer().")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME plinth_${PROJECT_VERSION}_amd64.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_GENERATOR DEB)
include(CPack)
