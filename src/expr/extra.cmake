# The expression grammar: Bison writes the LALR(1) parser into the build tree.
find_package(BISON 3.8 REQUIRED)
set(MELDRIX_EXPR_GENERATED ${CMAKE_BINARY_DIR}/generated/expr)
file(MAKE_DIRECTORY ${MELDRIX_EXPR_GENERATED})
bison_target(MeldrixExprGrammar ${CMAKE_SOURCE_DIR}/src/expr/ExprGrammar.y
             ${MELDRIX_EXPR_GENERATED}/ExprGrammar.cpp
             DEFINES_FILE ${MELDRIX_EXPR_GENERATED}/ExprGrammar.hpp
             COMPILE_FLAGS "-Wall -Werror")
target_sources(meldrix_expr PRIVATE ${BISON_MeldrixExprGrammar_OUTPUTS})
