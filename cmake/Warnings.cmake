# Project code links this to turn warnings into errors; third-party sources
# compiled into the tree (such as the script engine) do not.
add_library(tarsen_warnings INTERFACE)
target_compile_options(tarsen_warnings INTERFACE -Wall -Wextra -Werror)
