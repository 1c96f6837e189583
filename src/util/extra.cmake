# The string tables res/*.tsv are embedded into the program.
file(GLOB MELDRIX_STRING_TABLES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/*.tsv)
list(SORT MELDRIX_STRING_TABLES)
list(JOIN MELDRIX_STRING_TABLES "|" MELDRIX_STRING_TABLE_LIST)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/generated/EmbeddedStringTables.cpp
  COMMAND ${CMAKE_COMMAND} -DOUT=${CMAKE_BINARY_DIR}/generated/EmbeddedStringTables.cpp
          "-DINPUTS=${MELDRIX_STRING_TABLE_LIST}" -P ${CMAKE_SOURCE_DIR}/cmake/EmbedFiles.cmake
  DEPENDS ${MELDRIX_STRING_TABLES} ${CMAKE_SOURCE_DIR}/cmake/EmbedFiles.cmake
  COMMENT "Embedding string tables"
  VERBATIM)
target_sources(meldrix_util PRIVATE ${CMAKE_BINARY_DIR}/generated/EmbeddedStringTables.cpp)
