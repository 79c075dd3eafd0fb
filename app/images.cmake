# Shared by the Winelib build (app/winelib) and the Windows build (windows/).
# Turns image texts into the .ico/.bmp files that resource scripts name; the
# list of the files made goes to out_var.
function(rm7x0_convert_images out_var)
  set(made)
  foreach(text ${ARGN})
    get_filename_component(stem ${text} NAME_WE)
    if(stem MATCHES "_banner$")
      set(kind bitmap)
      set(out ${CMAKE_CURRENT_BINARY_DIR}/images/${stem}.bmp)
    elseif(stem MATCHES "_strip$")
      set(kind strip)
      set(out ${CMAKE_CURRENT_BINARY_DIR}/images/${stem}.bmp)
    else()
      set(kind icon)
      set(out ${CMAKE_CURRENT_BINARY_DIR}/images/${stem}.ico)
    endif()
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/images
      COMMAND ${RM7X0_IMAGE_TOOL} ${kind} ${text} ${out}
      DEPENDS ${text} ${RM7X0_IMAGE_TOOL})
    list(APPEND made ${out})
  endforeach()
  set(${out_var} ${made} PARENT_SCOPE)
endfunction()
