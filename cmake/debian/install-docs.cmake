# Installs the Debian package's own documents into share/doc/<package>/: the DEP-5 copyright
# file and the changelog, gzipped without a name or time in the header. The changelog's date is
# SOURCE_DATE_EPOCH's when it is set (string(TIMESTAMP) reads it), so a release is reproducible.
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
