# Installs the Debian package's own files: into share/doc/<package>/ the DEP-5 copyright file
# and the changelog, into share/lintian/overrides/ the tags it keeps on purpose. The changelog is
# gzipped without a name or time in the header, and dated SOURCE_DATE_EPOCH when that is set
# (string(TIMESTAMP) reads it), so a release is reproducible.
# Set by the install rule: PLINTH_DEB_PACKAGE, PLINTH_MAINTAINER, PROJECT_VERSION, PLINTH_DEBIAN_DIR.
string(TIMESTAMP PLINTH_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(doc "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/doc/${PLINTH_DEB_PACKAGE}")
file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${PLINTH_DEBIAN_DIR}/copyright" "${doc}/copyright")
configure_file("${PLINTH_DEBIAN_DIR}/changelog.in" "${doc}/changelog" @ONLY)
execute_process(COMMAND gzip -9nf "${doc}/changelog" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "gzip failed on ${doc}/changelog")
endif()
set(overrides "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/lintian/overrides")
file(MAKE_DIRECTORY "${overrides}")
file(COPY_FILE "${PLINTH_DEBIAN_DIR}/lintian-overrides" "${overrides}/${PLINTH_DEB_PACKAGE}")
