# The checks of the Windows binaries (ctest in the Windows build folder).
set(checks ${CMAKE_CURRENT_SOURCE_DIR})
set(run_in_wine ${top}/app/run-in-wine.sh)
set(wine_prefix ${CMAKE_BINARY_DIR}/wineprefix)

# Each library's export table against the ordinal table.
foreach(prefix rm720 rm730)
  add_test(NAME windows.exports.${prefix}
           COMMAND ${checks}/check-exports.sh ${RM7X0_OBJDUMP} $<TARGET_FILE:${prefix}>
                   ${checks}/ordinals.txt ${prefix})
endforeach()
# The checks themselves tell a difference: each library against the other's list.
add_test(NAME windows.exports.rm720_against_model_b_list
         COMMAND ${checks}/check-exports.sh ${RM7X0_OBJDUMP} $<TARGET_FILE:rm720>
                 ${checks}/ordinals.txt rm730)
add_test(NAME windows.exports.rm730_against_model_a_list
         COMMAND ${checks}/check-exports.sh ${RM7X0_OBJDUMP} $<TARGET_FILE:rm730>
                 ${checks}/ordinals.txt rm720)
add_test(NAME windows.imports_by_name_found
         COMMAND ${checks}/check-imports.sh ${RM7X0_OBJDUMP} $<TARGET_FILE:Kavrel_New> user32.dll)
set_tests_properties(windows.exports.rm720_against_model_b_list
                     windows.exports.rm730_against_model_a_list windows.imports_by_name_found
                     PROPERTIES WILL_FAIL TRUE)
add_test(NAME windows.imports_by_ordinal
         COMMAND ${checks}/check-imports.sh ${RM7X0_OBJDUMP} $<TARGET_FILE:Kavrel_New>
                 rm720.dll rm730.dll)
# The user-mode binaries run on a plain Windows: Windows' own DLLs and the libraries.
set(windows_dlls kernel32.dll user32.dll gdi32.dll advapi32.dll setupapi.dll comctl32.dll
                 comdlg32.dll ole32.dll msvcrt.dll)
foreach(target rm720 rm730 Kavrel_New)
  add_test(NAME windows.dependencies.${target}
           COMMAND ${checks}/check-dependencies.sh ${RM7X0_OBJDUMP} $<TARGET_FILE:${target}>
                   ${windows_dlls} rm720.dll rm730.dll)
endforeach()
# The driver: an NT-native image whose entry is DriverEntry, importing the kernel.
add_test(NAME windows.driver_image
         COMMAND ${checks}/check-driver.sh ${RM7X0_OBJDUMP} ${RM7X0_NM} ${RM7X0_DRIVER_IMAGE})
# Its unwind tables, and the user-mode mapping, which raises on failure, under
# an exception handler; the guard check tells a call without one.
set(check_exceptions ${checks}/check-driver-exceptions.sh ${RM7X0_OBJDUMP} ${RM7X0_NM}
                     ${RM7X0_DRIVER_IMAGE})
add_test(NAME windows.driver_unwind_tables COMMAND ${check_exceptions} unwind)
add_test(NAME windows.driver_guarded_mapping
         COMMAND ${check_exceptions} guarded MmMapLockedPagesSpecifyCache)
add_test(NAME windows.driver_unguarded_call_found
         COMMAND ${check_exceptions} guarded MmUnmapLockedPages)
set_tests_properties(windows.driver_unguarded_call_found PROPERTIES WILL_FAIL TRUE)

# Under Wine, one program at a time, in one prefix that the first one makes.
add_test(NAME windows.wineprefix COMMAND ${run_in_wine} --prepare --unmanaged ${wine_prefix})
set_tests_properties(windows.wineprefix PROPERTIES FIXTURES_SETUP windows_prefix
                     RESOURCE_LOCK windows_wine TIMEOUT 300)

add_executable(caller_memory_test tests/caller_memory_test.cpp ${top}/library/src/caller_memory_win32.cpp)
target_include_directories(caller_memory_test PRIVATE ${top}/library/src)
target_link_options(caller_memory_test PRIVATE ${user_mode_link})
add_test(NAME windows.caller_memory
         COMMAND ${run_in_wine} ${wine_prefix} $<TARGET_FILE:caller_memory_test>)

# Both libraries loaded and called by ordinal, from beside them.
add_executable(library_load_test tests/library_load_test.cpp)
target_include_directories(library_load_test PRIVATE ${top}/library/include)
target_link_options(library_load_test PRIVATE ${user_mode_link})
add_dependencies(library_load_test rm720 rm730)
add_test(NAME windows.libraries_without_card
         COMMAND ${run_in_wine} ${wine_prefix} $<TARGET_FILE:library_load_test>)

add_executable(message_box_probe tools/message_box_probe.cpp)
target_link_options(message_box_probe PRIVATE ${user_mode_link})
# Kavrel_New.exe with the PE libraries on a machine without a card.
add_test(NAME windows.start_without_card
         COMMAND ${checks}/run-with-message-box.sh ${run_in_wine} ${wine_prefix}
                 $<TARGET_FILE:Kavrel_New> Kavrel_New
                 "No VEXA-RM720 and VEXA-RM730 is available on your system, please check the system")
# The model-A library on a Windows version it refuses.
add_executable(refused_load_test tests/refused_load_test.cpp)
target_link_options(refused_load_test PRIVATE ${user_mode_link})
add_dependencies(refused_load_test rm720 message_box_probe)
add_test(NAME windows.refused_load
         COMMAND ${checks}/run-with-message-box.sh ${run_in_wine} ${wine_prefix}
                 $<TARGET_FILE:refused_load_test> Error "WindowsNT is not supported.")
set_tests_properties(windows.refused_load PROPERTIES
                     ENVIRONMENT RM7X0_WINE_VERSION=nt40)
set_tests_properties(windows.caller_memory windows.libraries_without_card windows.start_without_card
                     windows.refused_load
                     PROPERTIES FIXTURES_REQUIRED windows_prefix RESOURCE_LOCK windows_wine TIMEOUT 200)
