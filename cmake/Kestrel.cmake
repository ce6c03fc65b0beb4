# Shared build rules of the project.

if(WIN32)
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  # The Windows binaries must not need the MinGW runtime DLLs under Wine or on a user's machine.
  add_link_options(-static-libgcc -static-libstdc++ -static)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KESTREL_ARCH x86_64)
  else()
    set(KESTREL_ARCH i686)
  endif()

  # The Wine test bed of this build folder (x86_64 only: 32-bit programs cannot run here).
  set(KESTREL_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
  file(MAKE_DIRECTORY ${KESTREL_WINE_DIR})
  # DLLs to register inside the prefix; subdirectories append with kestrel_register_in_prefix().
  set_property(GLOBAL PROPERTY KESTREL_REGISTER_DLLS "")
endif()

function(kestrel_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${KESTREL_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wformat=2
      $<$<BOOL:${KESTREL_WERROR}>:-Werror>)
  endif()
endfunction()

# Adds every immediate subfolder of DIR that has a CMakeLists.txt.
function(kestrel_add_subdirs dir)
  file(GLOB children LIST_DIRECTORIES true ${PROJECT_SOURCE_DIR}/${dir}/*)
  foreach(child ${children})
    if(EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# A DLL whose DllRegisterServer runs once in the test prefix.
function(kestrel_register_in_prefix target)
  set_property(GLOBAL APPEND PROPERTY KESTREL_REGISTER_DLLS "$<TARGET_FILE:${target}>")
endfunction()

# A Windows test run through Wine. Every such test shares one prefix, one Xvfb and a warm wineserver.
#   kestrel_add_wine_test(NAME n COMMAND target args... [TIMEOUT s] [SERIAL])
function(kestrel_add_wine_test)
  cmake_parse_arguments(T "SERIAL" "NAME;TIMEOUT" "COMMAND" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} FIXTURES_REQUIRED wine_bed
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  if(T_SERIAL)
    set_tests_properties(${T_NAME} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()

# An import library made by dlltool from DEF_FILE (entries marked NONAME bind by ordinal only),
# as an INTERFACE target NAME that also brings DLL_TARGET's build along.
#   kestrel_ordinal_import(NAME DEF_FILE DLL_TARGET)
function(kestrel_ordinal_import name def dll)
  set(lib ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/lib${name}.a)
  add_custom_command(OUTPUT ${lib}
    COMMAND ${KESTREL_TRIPLE}-dlltool -d ${def} -l ${lib}
    DEPENDS ${def} VERBATIM)
  add_custom_target(${name}_lib ALL DEPENDS ${lib})
  add_library(${name} INTERFACE)
  add_dependencies(${name} ${name}_lib ${dll})
  target_link_libraries(${name} INTERFACE ${lib})
  target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR})
endfunction()
