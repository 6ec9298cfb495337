# lvov_library(NAME SOURCES... LINK libs...): a static library, or an interface library
# while an area has no sources yet, so that dependants always link.
function(lvov_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  if(ARG_SOURCES)
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_LINK})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_LINK})
  endif()
endfunction()

# lvov_qt_reached(LIB OUT): the chain of libraries by which LIB reaches a Qt library, or ""
# when it reaches none (followed through the project's own targets).
function(lvov_qt_reached lib out)
  set(chain "")
  if(lib MATCHES "^Qt[0-9]*::")
    set(chain ${lib})
  elseif(TARGET ${lib})
    get_target_property(links ${lib} INTERFACE_LINK_LIBRARIES)
    if(links)
      foreach(next ${links})
        lvov_qt_reached(${next} found)
        if(found)
          set(chain "${lib} -> ${found}")
          break()
        endif()
      endforeach()
    endif()
  endif()
  set(${out} "${chain}" PARENT_SCOPE)
endfunction()

# lvov_node_program(TARGET [PAGE_FILES]): in the web build, a program that runs under node
# rather than in a page: it returns its exit status, compiles its module at once (node's
# fetch cannot read a file path), and sees the host's files as they are; with PAGE_FILES
# it has the page's file system instead (emscripten's, in memory, empty but for /tmp and
# a few devices), so that its tests run on the files the page itself has.
function(lvov_node_program target)
  cmake_parse_arguments(ARG "PAGE_FILES" "" "" ${ARGN})
  if(LVOV_WEB)
    target_link_options(${target} PRIVATE -sEXIT_RUNTIME=1 -sWASM_ASYNC_COMPILATION=0)
    if(NOT ARG_PAGE_FILES)
      target_link_options(${target} PRIVATE -sNODERAWFS=1)
    endif()
  endif()
endfunction()

# lvov_program_command(OUT TARGET): the command line that starts the built program TARGET
# from a test (through std::system): its file, or in the web build node and its file.
function(lvov_program_command out target)
  set(command "$<TARGET_FILE:${target}>")
  if(LVOV_WEB)
    list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " emulator)
    if(NOT emulator)
      message(FATAL_ERROR "the web build runs its programs through node: set CMAKE_CROSSCOMPILING_EMULATOR")
    endif()
    set(command "${emulator} ${command}")
  endif()
  set(${out} "${command}" PARENT_SCOPE)
endfunction()

# lvov_gtest(NAME SOURCES... LINK libs... [LABELS l...] [PAGE_FILES]): a GoogleTest
# executable registered with CTest; PAGE_FILES as in lvov_node_program, for tests that
# need no file of the host. GoogleTests test Qt-free code: one whose libraries reach Qt
# stops the configuration.
function(lvov_gtest name)
  cmake_parse_arguments(ARG "PAGE_FILES" "" "SOURCES;LINK;LABELS" ${ARGN})
  if(NOT ARG_SOURCES)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LINK} GTest::gtest GTest::gtest_main)
  if(ARG_PAGE_FILES)
    lvov_node_program(${name} PAGE_FILES)
  else()
    lvov_node_program(${name})
  endif()
  foreach(lib ${ARG_LINK})
    lvov_qt_reached(${lib} chain)
    if(chain)
      message(FATAL_ERROR "${name} tests Qt-free code but links Qt: ${chain}")
    endif()
  endforeach()
  if(NOT ARG_LABELS)
    set(ARG_LABELS fast)
  endif()
  gtest_discover_tests(${name} PROPERTIES LABELS "${ARG_LABELS}" DISCOVERY_TIMEOUT 60)
endfunction()
