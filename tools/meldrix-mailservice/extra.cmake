# The mail service fetches mailboxes with libcurl (POP3 and POP3S).
find_package(CURL REQUIRED)
target_link_libraries(meldrix-mailservice PRIVATE CURL::libcurl)
