# The mail service's requests and replies are XML documents, read with pugixml.
find_package(pugixml REQUIRED)
target_link_libraries(meldrix_sources PRIVATE pugixml::pugixml)
list(APPEND MELDRIX_EXTRA_LIBS pugixml::pugixml)
