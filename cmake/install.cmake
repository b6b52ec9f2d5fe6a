# install.cmake - what `cmake --install` puts under the prefix: the programs
# and kestrel-toolkit in bin, the toolkit's SQL in share/kestrel/sql, the
# guides and example configurations in share/doc/kestrel.
include(GNUInstallDirs)

install(TARGETS kestrel kestrel-fcgi kestrel-passwd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(toolkit_sql_dir ${CMAKE_INSTALL_DATADIR}/kestrel/sql)
file(GLOB toolkit_sql CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/sql/[0-9][0-9]_*.sql)
install(FILES ${toolkit_sql} DESTINATION ${toolkit_sql_dir})

# The installed installer finds the SQL beside it, relative to its own
# directory, so that the installed tree may move.
if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}" OR IS_ABSOLUTE "${toolkit_sql_dir}")
  set(sql_from_bin ${CMAKE_INSTALL_FULL_DATADIR}/kestrel/sql)
else()
  file(RELATIVE_PATH sql_from_bin /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${toolkit_sql_dir})
  set(sql_from_bin "\$here/${sql_from_bin}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/scripts/toolkit)
file(READ ${PROJECT_SOURCE_DIR}/scripts/toolkit toolkit_text)
set(source_sql_line [[sql_dir=${KESTREL_SQL_DIR:-$here/../sql}]])
string(FIND "${toolkit_text}" "${source_sql_line}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "scripts/toolkit no longer names its SQL directory as install.cmake expects")
endif()
string(REPLACE "${source_sql_line}" "sql_dir=\${KESTREL_SQL_DIR:-${sql_from_bin}}" toolkit_text
               "${toolkit_text}")
file(WRITE ${CMAKE_BINARY_DIR}/kestrel-toolkit "${toolkit_text}")
install(PROGRAMS ${CMAKE_BINARY_DIR}/kestrel-toolkit DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/deploy.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/sql/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR}
        RENAME toolkit.md)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
