# qel_release_cxx_runtime_at_unload(): compiles src/Common/Runtime/ReleaseCxxRuntime.cpp into
# every shared library defined so far, so that a library's static C++ runtime gives back
# its emergency exception buffer when the library is freed (see that file), from an entry
# point that wraps the C runtime's.
function(qel_release_cxx_runtime_at_unload)
  set(source ${PROJECT_SOURCE_DIR}/src/Common/Runtime/ReleaseCxxRuntime.cpp)
  # Its QelDllEntry wraps the C runtime's entry point (stdcall-decorated on x86).
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(entry -Wl,-e,_QelDllEntry@12)
  else()
    set(entry -Wl,-e,QelDllEntry)
  endif()
  set(pending ${PROJECT_SOURCE_DIR})
  while(pending)
    list(POP_FRONT pending dir)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND pending ${subdirs})
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target ${targets})
      get_target_property(type ${target} TYPE)
      if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
        target_sources(${target} PRIVATE ${source})
        target_link_options(${target} PRIVATE ${entry})
      endif()
    endforeach()
  endwhile()
endfunction()
