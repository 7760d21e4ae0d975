# Warnings for our own targets only; third-party headers are included as system headers.
function(holescan_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wconversion)
  if(HOLESCAN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
