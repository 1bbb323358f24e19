# The Windows package: a zip file with the three programs at its root and beside them the README
# and the manual pages as plain text (UTF-8, CR LF), for people without man or a Markdown viewer.
set(tools Stampwell Sweepwell Weekwell)
install(TARGETS ${tools} RUNTIME DESTINATION .)

find_program(GROFF groff REQUIRED)
set(texts ${CMAKE_CURRENT_BINARY_DIR}/README.txt)
add_custom_command(OUTPUT README.txt
  COMMAND sed "s/$/\\r/" ${PROJECT_SOURCE_DIR}/README.md > README.txt
  DEPENDS ${PROJECT_SOURCE_DIR}/README.md VERBATIM)
foreach(tool ${tools})
  set(page ${PROJECT_SOURCE_DIR}/docs/man/${tool}.1)
  add_custom_command(OUTPUT ${tool}.txt
    COMMAND sh -c "${GROFF} -man -Tutf8 -P-cbou -rLL=78n \"$0\" | sed 's/$/\\r/' > ${tool}.txt"
            ${page}
    DEPENDS ${page} VERBATIM)
  list(APPEND texts ${CMAKE_CURRENT_BINARY_DIR}/${tool}.txt)
endforeach()
add_custom_target(package_texts ALL DEPENDS ${texts})
install(FILES ${texts} DESTINATION .)

set(CPACK_PACKAGE_NAME treetools)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME treetools-${PROJECT_VERSION}-win64)
set(CPACK_GENERATOR ZIP)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
