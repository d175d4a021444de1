# Our own targets build with warnings as errors; third-party code does not.
function(glos_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-missing-field-initializers)
endfunction()

# Every executable of ours: warnings, and on Windows the string table linked in directly (a
# resource inside a static library would be dropped by the linker).
function(glos_executable target)
  glos_warnings(${target})
  if(WIN32)
    target_link_libraries(${target} PRIVATE glos_texts)
  endif()
endfunction()
