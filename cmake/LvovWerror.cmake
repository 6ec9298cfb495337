# lvov_warnings_as_errors(): with LVOV_WERROR on, every warning in the project's own
# sources fails the build. Only source files of the project's targets that lie in the
# source tree and are not generated get -Werror: the embedded firmware and harness data,
# Qt's moc output and anything from outside the tree (GoogleTest, Google Benchmark, Qt)
# keep their warnings as warnings.
option(LVOV_WERROR "Treat warnings in the project's own sources as errors" OFF)

function(lvov_collect_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    lvov_collect_targets(${sub} sub_targets)
    list(APPEND targets ${sub_targets})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(lvov_warnings_as_errors)
  if(NOT LVOV_WERROR)
    return()
  endif()
  lvov_collect_targets(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    get_target_property(target_dir ${target} SOURCE_DIR)
    get_target_property(sources ${target} SOURCES)
    foreach(source IN LISTS sources)
      if(source MATCHES "^\\$<")  # a generator expression: not a plain file of ours
        continue()
      endif()
      cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${target_dir} NORMALIZE OUTPUT_VARIABLE path)
      cmake_path(IS_PREFIX PROJECT_SOURCE_DIR ${path} NORMALIZE in_tree)
      cmake_path(IS_PREFIX PROJECT_BINARY_DIR ${path} NORMALIZE in_build)
      get_source_file_property(generated ${path} TARGET_DIRECTORY ${target} GENERATED)
      get_source_file_property(options ${path} TARGET_DIRECTORY ${target} COMPILE_OPTIONS)
      if(in_tree AND NOT in_build AND NOT generated AND path MATCHES "\\.(c|cc|cpp|cxx)$"
         AND NOT "-Werror" IN_LIST options)  # a file shared by several targets gets it once
        set_property(SOURCE ${path} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_OPTIONS -Werror)
      endif()
    endforeach()
  endforeach()
endfunction()
