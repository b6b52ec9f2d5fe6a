# The programs the web servers run: kestrel and kestrel-fcgi themselves, or
# with KESTREL_SANITIZE wrappers that send the sanitizers' reports (errors,
# leaks, undefined behaviour) to files, since a web server's child easily
# loses its standard error. The fixtures clear those files before their
# suites; sanitizer_reports runs after the last test and the web servers'
# stop, and fails, printing them, when there are any.
set(e2e_program $<TARGET_FILE:kestrel>)
set(e2e_fastcgi_program $<TARGET_FILE:kestrel-fcgi>)
if(NOT KESTREL_SANITIZE)
  return()
endif()

set(reports ${CMAKE_CURRENT_BINARY_DIR}/sanitizer-reports)
foreach(program kestrel kestrel-fcgi)
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${program}-sanitized
       CONTENT "#!/bin/sh
ASAN_OPTIONS=log_path=${reports}/asan:detect_leaks=1 \\
UBSAN_OPTIONS=log_path=${reports}/ubsan:print_stacktrace=1:halt_on_error=1 \\
exec $<TARGET_FILE:${program}> \"$@\"
"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                        WORLD_EXECUTE)
endforeach()
set(e2e_program ${CMAKE_CURRENT_BINARY_DIR}/kestrel-sanitized)
set(e2e_fastcgi_program ${CMAKE_CURRENT_BINARY_DIR}/kestrel-fcgi-sanitized)

# Open to all: Apache and nginx run the programs as www-data.
add_test(NAME sanitizer_reports_clear
         COMMAND sh -c "rm -rf '${reports}' && mkdir -p -m 1777 '${reports}'")
set_tests_properties(sanitizer_reports_clear PROPERTIES FIXTURES_SETUP "${e2e_fixtures}")
add_test(NAME sanitizer_reports
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/sanitizer_reports ${reports}
                 $<TARGET_FILE:kestrel-fcgi>)
list(TRANSFORM e2e_fixtures APPEND _stop OUTPUT_VARIABLE fixture_stops)
set_tests_properties(sanitizer_reports PROPERTIES FIXTURES_CLEANUP "${e2e_fixtures}"
                                                  DEPENDS "${fixture_stops}")
