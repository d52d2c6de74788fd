# Compiler settings shared by every target of the project.
add_library(qira_options INTERFACE)
target_compile_options(qira_options INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(qira_options INTERFACE
  QT_NO_CAST_TO_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_URL_CAST_FROM_STRING)
if(QIRA_WERROR)
  target_compile_options(qira_options INTERFACE -Werror)
endif()
if(QIRA_SANITIZE)
  target_compile_options(qira_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(qira_options INTERFACE -fsanitize=address,undefined)
endif()
# Coverage for libFuzzer and the sanitizers that turn silent faults into findings; only the
# fuzz executables link the fuzzer's main (-fsanitize=fuzzer).
if(QIRA_FUZZ)
  target_compile_options(qira_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(qira_options INTERFACE -fsanitize=address,undefined)
endif()
