# The test build (sanitizers on) carries a hidden crash trigger for the crash
# report's end-to-end test; a shipped build has none.
if(MELDRIX_SANITIZE)
  target_compile_definitions(meldrix_app PRIVATE MELDRIX_CRASH_TRIGGER=1)
endif()
