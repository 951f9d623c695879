# SPDX-License-Identifier: GPL-3.0-or-later
# Warning flags for this project's own targets: every target links runemeter_warnings PRIVATE.
# They are set only when Runemeter is the top-level project, so a project that builds it as a
# part keeps its own warning policy.
add_library(runemeter_warnings INTERFACE)
if(PROJECT_IS_TOP_LEVEL)
  target_compile_options(runemeter_warnings INTERFACE -Wall -Wextra
                                                      $<$<BOOL:${RUNEMETER_WERROR}>:-Werror>)
endif()
